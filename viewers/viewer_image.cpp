// The image view.
#include "viewers/viewer_image.h"

#include "logic/pixel_pick.h"
#include "ui_viewer_image.h"
#include "viewers/colour_legend_bar.h"
#include "viewers/label_picture.h"

#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

viewer_image::viewer_image(QWidget* parent) : QWidget(parent), ui(new Ui::viewer_image) {
    viewer_metatypes::register_all();
    ui->setupUi(this);
    ui->im_ambient_image->installEventFilter(this);
    ui->im_depth_image->installEventFilter(this);
    ui->im_intensity_image->installEventFilter(this);
    // A legend to the right of each picture.
    for (kind k : {ambient, depth, intensity}) {
        bars_[k] = new colour_legend_bar(this);
        bars_[k]->setObjectName(QStringLiteral("legend_%1").arg(image_label(k)->objectName()));
        ui->horizontalLayout->insertWidget(ui->horizontalLayout->indexOf(image_label(k)) + 1, bars_[k]);
        // Every picture has a legend: the bars hold their room from the
        // start, blank until the first frame, so the pictures keep their size.
        bars_[k]->setVisible(true);
    }
}

viewer_image::~viewer_image() { delete ui; }

QLabel* viewer_image::image_label(kind k) const {
    switch (k) {
    case ambient: return ui->im_ambient_image;
    case depth: return ui->im_depth_image;
    default: return ui->im_intensity_image;
    }
}

bool viewer_image::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        for (kind k : {ambient, depth, intensity}) {
            const QLabel* label = image_label(k);
            const cv::Mat& shown = kept_[k];
            if (watched != label || shown.empty()) continue;
            // The picture fills the label (its aspect ratio is not kept).
            const QPointF at = static_cast<QMouseEvent*>(event)->localPos();
            emit send_viewer_pixel_picked(pixel_pick::from_stretched_click(at.y(), label->height(), shown.rows),
                                          pixel_pick::from_stretched_click(at.x(), label->width(), shown.cols));
        }
    }
    return QWidget::eventFilter(watched, event);
}

display::pipeline_params viewer_image::pipeline_for(kind k) const {
    return display::image_view_params(k, settings_.of(k));
}

cv::Mat viewer_image::process(kind k, const cv::Mat& raw) {
    cv::Mat rgb;  // a fresh image every frame: receivers keep the previous one
    if (!display::render(raw, pipeline_for(k), grey8_[k], rgb)) return cv::Mat();
    kept_[k] = rgb;  // never written again, so sharing it is as good as a copy

    // The legend follows the range this frame's scaling used. A bar that
    // appears narrows the pictures: the layout settles before the picture
    // is scaled to its label.
    const display::pipeline_params params = pipeline_for(k);
    const display::value_range range = display::scaling_range(raw, params.auto_norm, params.min_value, params.max_value);
    legends_[k] = colour_legend::for_picture(params, range, k == depth ? "mm" : "counts");
    if (bars_[k]->set_legend(legends_[k]) && layout() != nullptr) layout()->activate();
    colour_legend::legend cloud =
        k == depth ? colour_legend::for_picture(params, range, "m", 1000.0) : legends_[k];
    if (cloud != cloud_legends_[k]) {
        cloud_legends_[k] = cloud;
        emit send_viewer_image_cloud_legend(int(k), cloud);
    }

    label_picture::show(image_label(k), rgb, Qt::IgnoreAspectRatio);
    return rgb;
}

void viewer_image::updateScene(TAVRIN::DadodUz::scene_t& scene) {
    const cv::Mat a = process(ambient, display::wrap(scene.ambient, scene.rows, scene.cols));
    if (!a.empty()) emit send_viewer_image_ambient_img(a);
    const cv::Mat d = process(depth, display::wrap(scene.depth, scene.rows, scene.cols));
    if (!d.empty()) emit send_viewer_image_depth_img(d);
    const cv::Mat i = process(intensity, display::wrap(scene.intensity, scene.rows, scene.cols));
    if (!i.empty()) emit send_viewer_image_intensity_img(i);
}

void viewer_image::get_viewer_playmode_capture(QString dir) {
    if (dir.isNull()) return;
    static const struct {
        kind k;
        const char* suffix;
    } files[] = {{intensity, "_intensity.png"}, {depth, "_depth.png"}, {ambient, "_ambient.png"}};
    for (const auto& f : files) {
        const cv::Mat& rgb = kept_[f.k];
        if (rgb.empty()) continue;  // no frame has produced this kind yet
        cv::Mat bgr;
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
        const QString path = dir + QLatin1String(f.suffix);
        bool written = false;
        try {
            written = cv::imwrite(QFile::encodeName(path).toStdString(), bgr);
        } catch (const cv::Exception&) {
            // An unwritable path writes nothing; the other images are still tried.
        }
        if (!written) emit send_viewer_log(tr("[Capture] Cannot save the image file : ") + path);
    }
}

void viewer_image::get_main_image_auto_norm_ambient(bool enable) { settings_.ambient.auto_norm = enable; }
void viewer_image::get_main_image_auto_norm_depth(bool enable) { settings_.depth.auto_norm = enable; }
void viewer_image::get_main_image_auto_norm_intensity(bool enable) { settings_.intensity.auto_norm = enable; }
void viewer_image::get_main_image_min_val_ambient(double val) { settings_.ambient.min_val = val; }
void viewer_image::get_main_image_min_val_depth(double val) { settings_.depth.min_val = val; }
void viewer_image::get_main_image_min_val_intensity(double val) { settings_.intensity.min_val = val; }
void viewer_image::get_main_image_max_val_ambient(double val) { settings_.ambient.max_val = val; }
void viewer_image::get_main_image_max_val_depth(double val) { settings_.depth.max_val = val; }
void viewer_image::get_main_image_max_val_intensity(double val) { settings_.intensity.max_val = val; }
void viewer_image::get_main_image_hist_mode_ambient(bool enable) { settings_.ambient.hist_mode = enable; }
void viewer_image::get_main_image_hist_mode_depth(bool enable) { settings_.depth.hist_mode = enable; }
void viewer_image::get_main_image_hist_mode_intensity(bool enable) { settings_.intensity.hist_mode = enable; }
void viewer_image::get_main_image_grey_mode_ambient(bool enable) { settings_.ambient.grey_mode = enable; }
void viewer_image::get_main_image_grey_mode_depth(bool enable) { settings_.depth.grey_mode = enable; }
void viewer_image::get_main_image_grey_mode_intensity(bool enable) { settings_.intensity.grey_mode = enable; }
