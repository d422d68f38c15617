// The point cloud view.
#include "viewers/viewer_pointcloud.h"

#include "ui_viewer_pointcloud.h"

#include "logic/pcd_file.h"
#include "viewers/cloud_view.h"
#include "viewers/colour_legend_bar.h"

#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QVTKOpenGLNativeWidget.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkCamera.h>
#include <vtkMatrix4x4.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

#include <cmath>
#include <exception>
#include <iostream>

namespace {
const char* const kCloudId = "cloud";
// Markers in magenta, a colour no colour mode gives a point.
constexpr double kMarker[3] = {1.0, 0.0, 1.0};
// How far beyond a drawn point's square a click may land and still pick it,
// in pixels.
constexpr double kPickReach = 8.0;
} // namespace

const char* const viewer_pointcloud::measure_ids[5] = {"measure_a", "measure_b", "measure_line", "measure_distance",
                                                       "measure_readout"};

viewer_pointcloud::viewer_pointcloud(QWidget* parent) : QWidget(parent), view_(new cloud_view("pclviz_")) {
    viewer_metatypes::register_all();
    setAttribute(Qt::WA_DeleteOnClose);
    cloud_.reset(new cloud_t);
    ui = new Ui::viewer_pointcloud;
    ui->setupUi(this);
    view_->attach(ui->qvtkWidget);
    // The colour legend right of the cloud, for the picture colour modes.
    legend_bar_ = new colour_legend_bar(this);
    legend_bar_->setObjectName("legend_cloud");
    auto* row = new QHBoxLayout();
    row->setSpacing(4);
    const int at = ui->verticalLayout->indexOf(ui->qvtkWidget);
    ui->verticalLayout->removeWidget(ui->qvtkWidget);
    row->addWidget(ui->qvtkWidget, 1);
    row->addWidget(legend_bar_);
    ui->verticalLayout->insertLayout(at, row, 1);
    view_->visualizer()->registerPointPickingCallback([this](const pcl::visualization::PointPickingEvent&) { picked(); });
    ui->qvtkWidget->installEventFilter(this);
}

viewer_pointcloud::~viewer_pointcloud() {
    delete ui;
    view_.reset();
}

pcl::visualization::PCLVisualizer* viewer_pointcloud::visualizer() const { return view_->visualizer(); }
vtkGenericOpenGLRenderWindow* viewer_pointcloud::render_window() const { return view_->window(); }
QVTKOpenGLNativeWidget* viewer_pointcloud::vtk_widget() const { return ui->qvtkWidget; }

void viewer_pointcloud::updatePointCloud(TAVRIN::DadodUz::scene_t& scene) {
    try {
        // Drawn again only when the points, the camera or the point size
        // changed: a frame without depth values leaves the points as they
        // are, and the ruler keeps reading the frame they came from. A cloud
        // removed from the visualizer is shown again.
        const std::size_t size = cloud_->size();
        const bool rebuilt = cloud_builder::build(scene, params_, images_, *cloud_);
        if (rebuilt) shown_.keep(scene);
        bool changed = rebuilt || cloud_->size() != size || !view_->visualizer()->contains(kCloudId);
        if (changed) view_->show(cloud_, kCloudId);
        changed = apply_axis_view() || changed;
        changed = view_->set_point_size(point_size_, kCloudId) || changed;
        if (changed) view_->render();
    } catch (const std::exception& e) {
        std::cout << e.what() << std::endl;
    }
}

void viewer_pointcloud::get_viewer_playmode_capture(QString dir) {
    if (cloud_->empty() || dir.isNull()) return;
    const QString path = dir + QStringLiteral(".pcd");
    const bool written = pcd_file::write_ascii(QFile::encodeName(path).toStdString(), *cloud_);
    // The operator must not believe a frame was saved when it was not.
    if (!written) emit send_viewer_log(tr("[Capture] Cannot save the point cloud file : ") + path);
}

void viewer_pointcloud::setGrid(pcl::visualization::PCLVisualizer* view, int nGrid, int scale) {
    if (view == nullptr || nGrid < 0) return;
    const int length = nGrid * scale;
    const int y0 = -(nGrid / 2) * scale;
    for (int i = 0; i <= nGrid; ++i) {
        const int xi = i * scale;
        const int yi = y0 + i * scale;

        const std::string across = QStringLiteral("grid_%1").arg(i).toStdString();
        view->addLine(pcl::PointXYZ(0, yi, 0), pcl::PointXYZ(length, yi, 0), 0.5, 0.5, 0.5, across, 0);
        view->setShapeRenderingProperties(pcl::visualization::PCL_VISUALIZER_LINE_WIDTH, 1.0, across, 0);
        grid_ids_.push_back(across);

        const std::string along = QStringLiteral("grid_%1").arg(nGrid + 1 + i).toStdString();
        view->addLine(pcl::PointXYZ(xi, -(length / 2), 0), pcl::PointXYZ(xi, length / 2, 0), 0.5, 0.5, 0.5, along, 0);
        view->setShapeRenderingProperties(pcl::visualization::PCL_VISUALIZER_LINE_WIDTH, 1.0, along, 0);
        grid_ids_.push_back(along);

        const std::string label = QStringLiteral("%1m").arg((i * nGrid) / 2).toStdString();
        view->addText3D(label, pcl::PointXYZ(xi, 0, 0), 0.5, 1.0, 1.0, 1.0, label, 0);
        grid_ids_.push_back(label);
    }
}

void viewer_pointcloud::eraseGrid(pcl::visualization::PCLVisualizer* view) {
    if (view != nullptr)
        for (const std::string& id : grid_ids_) view->removeShape(id, 0);
    grid_ids_.clear();
}

void viewer_pointcloud::setAxisView() {
    apply_axis_view();
    view_->render();
}

bool viewer_pointcloud::apply_axis_view() {
    if (!xy_axis_ && !yz_axis_ && !zx_axis_) return false;
    std::vector<pcl::visualization::Camera> cameras;
    view_->visualizer()->getCameras(cameras);
    if (cameras.empty()) return false;
    pcl::visualization::Camera cam = cameras.front();
    const double r = std::sqrt(cam.pos[0] * cam.pos[0] + cam.pos[1] * cam.pos[1] + cam.pos[2] * cam.pos[2]);
    auto look = [&](double px, double py, double pz, double ux, double uy, double uz) {
        cam.pos[0] = px, cam.pos[1] = py, cam.pos[2] = pz;
        cam.view[0] = ux, cam.view[1] = uy, cam.view[2] = uz;
        cam.focal[0] = 0, cam.focal[1] = 0;
    };
    if (xy_axis_) {
        xy_axis_ = false;
        look(0, 0, r, 1, 0, 0);
    } else if (yz_axis_) {
        yz_axis_ = false;
        look(-r, 0, 0, 0, 0, 1);
    } else if (zx_axis_) {
        zx_axis_ = false;
        look(0, -r, 0, 0, 0, 1);
    }
    view_->visualizer()->setCameraParameters(cam, 0);
    return true;
}

void viewer_pointcloud::get_main_pointcloud_point_color(int val) {
    params_.colour_mode = val;
    show_legend();
}

void viewer_pointcloud::get_viewer_image_cloud_legend(int kind, colour_legend::legend legend) {
    if (kind < 0 || kind > 2) return;
    legends_[kind] = std::move(legend);
    show_legend();
}

// Fixed colours (white, red, green, blue) need no legend.
void viewer_pointcloud::show_legend() {
    const int kind = params_.colour_mode - cloud_builder::colour_ambient;
    legend_bar_->set_legend(kind >= 0 && kind <= 2 ? legends_[kind] : colour_legend::legend{});
}
void viewer_pointcloud::get_main_pointcloud_point_size(double val) { point_size_ = val; }
void viewer_pointcloud::get_main_pointcloud_max_dist(double val) { params_.max_dist = val; }
void viewer_pointcloud::get_main_pointcloud_min_dist(double val) { params_.min_dist = val; }
void viewer_pointcloud::get_viewer_image_ambient_img(cv::Mat img) { images_.ambient = img; }
void viewer_pointcloud::get_viewer_image_depth_img(cv::Mat img) { images_.depth = img; }
void viewer_pointcloud::get_viewer_image_intensity_img(cv::Mat img) { images_.intensity = img; }

void viewer_pointcloud::get_main_grid(bool enable) {
    grid_ = enable;
    // Each call flips the grid, whatever `enable` says.
    if (grid_ids_.empty())
        setGrid(view_->visualizer(), 10, 5);
    else
        eraseGrid(view_->visualizer());
}

void viewer_pointcloud::get_main_xy_axis(bool enable) { xy_axis_ = enable; }
void viewer_pointcloud::get_main_yz_axis(bool enable) { yz_axis_ = enable; }
void viewer_pointcloud::get_main_zx_axis(bool enable) { zx_axis_ = enable; }

// ---- the ruler ----

void viewer_pointcloud::picked() {
    // The visualizer's picker takes the point nearest to the click's ray,
    // the pixels parked at the origin included, which lie on the ray of
    // every click near the view's centre: the drawn point under the click
    // is looked up here instead.
    if (shown_.rows == 0 || cloud_->empty()) return;
    vtkRenderer* renderer = view_->visualizer()->getRendererCollection()->GetFirstRenderer();
    const int* size = renderer->GetSize();
    const int* click = ui->qvtkWidget->interactor()->GetEventPosition();
    double m[16];
    vtkMatrix4x4* transform =
        renderer->GetActiveCamera()->GetCompositeProjectionTransformMatrix(renderer->GetTiledAspectRatio(), -1, 1);
    for (int i = 0; i < 16; ++i) m[i] = transform->GetElement(i / 4, i % 4);
    const long index = point_measure::nearest_on_screen(&(*cloud_)[0].x, cloud_->size(), sizeof(pcl::PointXYZRGB) / sizeof(float),
                                                         m, size[0], size[1], click[0], click[1], point_size_,
                                                         kPickReach + point_size_ / 2);
    // Point i of the cloud is pixel i of the frame it was built from, also
    // after a frame of another size without depth values resized the cloud.
    int row = 0, col = 0;
    if (index < 0 || !point_measure::pixel_of(std::size_t(index), int(shown_.rows), int(shown_.cols), row, col))
        return;
    take(point_measure::read(shown_, row, col));
}

void viewer_pointcloud::select_pixel(int row, int col) {
    if (shown_.rows == 0) return;
    take(point_measure::read(shown_, row, col));
}

void viewer_pointcloud::take(const point_measure::pick& p) {
    const bool complete = ruler_.add(p);
    readout_ = ruler_.readout();
    if (complete) emit send_viewer_log(QString::fromStdString(point_measure::log_line(ruler_.a(), ruler_.b())));
    draw_measurement();
}

void viewer_pointcloud::clear_measurement() {
    ruler_.clear();
    readout_.clear();
    draw_measurement();
}

void viewer_pointcloud::draw_measurement() {
    pcl::visualization::PCLVisualizer* v = view_->visualizer();
    for (const char* id : measure_ids) v->removeShape(id);
    const auto at = [](const point_measure::pick& p) {
        return pcl::PointXYZ(float(p.x), float(p.y), float(p.z));
    };
    const auto marker = [&](const point_measure::pick& p, const char* id) {
        v->addSphere(at(p), std::max(0.02, 0.01 * p.range), kMarker[0], kMarker[1], kMarker[2], id);
    };
    if (ruler_.count() >= 1) marker(ruler_.a(), measure_ids[0]);
    if (ruler_.count() == 2) {
        marker(ruler_.b(), measure_ids[1]);
        v->addLine(at(ruler_.a()), at(ruler_.b()), kMarker[0], kMarker[1], kMarker[2], measure_ids[2]);
        v->setShapeRenderingProperties(pcl::visualization::PCL_VISUALIZER_LINE_WIDTH, 2.0, measure_ids[2]);
        const point_measure::pick& a = ruler_.a();
        const point_measure::pick& b = ruler_.b();
        const pcl::PointXYZ middle(float((a.x + b.x) / 2), float((a.y + b.y) / 2), float((a.z + b.z) / 2));
        v->addText3D(point_measure::distance_label(a, b), middle, std::max(0.03, 0.02 * point_measure::distance(a, b)),
                     kMarker[0], kMarker[1], kMarker[2], measure_ids[3]);
    }
    if (!readout_.empty()) v->addText(readout_, 10, 10, 13, 1.0, 1.0, 1.0, measure_ids[4]);
    view_->render();
}

bool viewer_pointcloud::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->qvtkWidget) {
        if (event->type() == QEvent::Paint && !warmed_up_) {
            // Right after the first paint, unless a cloud was drawn already.
            warmed_up_ = true;
            QTimer::singleShot(0, this, [this] {
                if (!view_->visualizer()->contains(kCloudId)) view_->warm_up();
            });
        }
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            clear_measurement();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton && (mouse->modifiers() & Qt::ShiftModifier)) {
                clear_measurement();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
