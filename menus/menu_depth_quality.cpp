#include "menus/menu_depth_quality.h"

#include "widgets/dialog_seam.h"
#include "logic/depth_quality_text.h"
#include "logic/display_pipeline.h"
#include "logic/offset_calibration.h"
#include "logic/pixel_pick.h"
#include "ui_menu_depth_quality.h"
#include "viewers/label_picture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace dq = depth_quality;
namespace dqt = depth_quality_text;

menu_depth_quality::menu_depth_quality(QWidget* parent)
    : tool_dialog(parent, tr("GX Depth Quality")), ui(new Ui::menu_depth_quality) {
    ui->setupUi(this);
    plot = line_chart::build("chart_depth_quality", "Mean error per column (mm)");
    ui->layout_plot->addWidget(plot.view, 0, 0);
    plot.view->setMinimumHeight(260);
    plot.x->setLabelFormat("%d");
    plot.y->setLabelFormat("%.1f");
    ui->im_depth->installEventFilter(this);
    for (QSpinBox* box : {ui->sb_roi_x, ui->sb_roi_y, ui->sb_roi_w, ui->sb_roi_h})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &menu_depth_quality::region_edited);
    frames.set_frames(ui->sb_frames->value());
    set_region(dq::default_region(cols, rows));
}

menu_depth_quality::~menu_depth_quality() { delete ui; }

void menu_depth_quality::get_menu_current_setting(configurations_t configuration_) {
    configuration = configuration_;
    configured = true;
    ui->lel_configuration->setVisible(false);
    forget_figures(); // the channels may have changed
}

int menu_depth_quality::channels() const {
    static constexpr int chosen[] = {0, 48, 60, 64};
    const int index = ui->tg_channels->currentIndex();
    if (index > 0 && index < 4) return chosen[index];
    return configured ? offset_calibration::driver_channels(configuration.vcsel_type) : 0;
}

void menu_depth_quality::opened() {
    // Each check starts from the frames that come after it is opened, and
    // from the sensor's configuration as it is then.
    frames.clear();
    configured = false;
    identified = false;
    status_records.clear();
    ui->lel_report->clear();
    ui->lel_configuration->setVisible(true);
    forget_figures();
    emit send_menu_current_setting();
}

void menu_depth_quality::closed() {
    frames.release();
    forget_figures();
    emit send_close_ui();
}

void menu_depth_quality::forget_figures() {
    measured = {};
    measured.roi = frames.roi();
    measured.kind = frames.kind();
    since_measure.invalidate(); // the next frame is measured at once
    show_metrics();
}

void menu_depth_quality::on_sb_frames_valueChanged(int value) {
    frames.set_frames(value);
    forget_figures();
}

void menu_depth_quality::on_tg_target_currentIndexChanged(int index) {
    frames.set_target(index == 1 ? dq::target::sphere : dq::target::wall);
    forget_figures();
}

void menu_depth_quality::on_tg_channels_currentIndexChanged(int) { forget_figures(); }

void menu_depth_quality::on_sb_gt_distance_valueChanged(int) { forget_figures(); }

void menu_depth_quality::region_edited() {
    set_region({ui->sb_roi_x->value(), ui->sb_roi_y->value(), ui->sb_roi_w->value(), ui->sb_roi_h->value()});
}

void menu_depth_quality::set_region(const dq::region& r) {
    const dq::region kept = dq::clamp_region(r, cols, rows);
    const bool changed = kept != frames.roi();
    frames.set_region(kept);
    show_region(kept);
    if (changed) forget_figures();
}

void menu_depth_quality::show_region(const dq::region& r) {
    const int values[4] = {r.x, r.y, r.w, r.h};
    QSpinBox* boxes[4] = {ui->sb_roi_x, ui->sb_roi_y, ui->sb_roi_w, ui->sb_roi_h};
    for (int i = 0; i < 4; ++i) {
        const QSignalBlocker block(boxes[i]);
        boxes[i]->setValue(values[i]);
    }
}

void menu_depth_quality::updateScene(scene_t& scene) {
    if (!is_open() || scene.rows == 0 || scene.cols == 0) return;
    if (int(scene.cols) != cols || int(scene.rows) != rows) {
        cols = int(scene.cols);
        rows = int(scene.rows);
        set_region(frames.roi()); // kept inside the new frame
    }
    show_picture(scene);
    if (!frames.push(scene)) return;
    // A long window's measurement costs up to a few tens of milliseconds:
    // once one takes more than a quarter of a frame period, the next runs
    // only after twice its cost has passed since it ended, so at most a third
    // of the time goes to it. Cheaper ones run on every frame. The first frame
    // after a change of a setting is measured at once.
    constexpr qint64 kEveryFrameNs = 10'000'000;
    if (since_measure.isValid() && measure_cost_ns > kEveryFrameNs && since_measure.nsecsElapsed() < 3 * measure_cost_ns)
        return;
    since_measure.start();
    measured.roi = frames.roi();
    measured.kind = frames.kind();
    measured.ground_truth_mm = ui->sb_gt_distance->value();
    measured.m = dq::measure(frames, channels(), measured.ground_truth_mm);
    measure_cost_ns = since_measure.nsecsElapsed();
    show_metrics();
}

void menu_depth_quality::show_picture(const scene_t& scene) {
    const cv::Mat raw = display::wrap(scene.depth, scene.rows, scene.cols);
    display::pipeline_params p;
    p.auto_norm = true;
    p.invert = true;
    p.colour = display::colour_map::jet;
    cv::Mat rgb;
    if (!display::render(raw, p, grey8, rgb)) return;
    const dq::region& r = frames.roi();
    if (r.w > 0 && r.h > 0) cv::rectangle(rgb, cv::Rect(r.x, r.y, r.w, r.h), cv::Scalar(255, 255, 255), 1);
    shown = rgb;
    // Inside the label's frame, where clicks are mapped too.
    ui->im_depth->setPixmap(
        QPixmap::fromImage(label_picture::scaled(rgb, ui->im_depth->contentsRect().size(), Qt::IgnoreAspectRatio)));
}

void menu_depth_quality::show_metrics() {
    const dq::metrics& m = measured.m;
    const struct {
        QLineEdit* field;
        std::string text;
    } fields[] = {
        {ui->le_fill_rate, dqt::percent(m.fill_rate)},
        {ui->le_outliers, dqt::percent(m.outliers)},
        {ui->le_distance, dqt::millimetres(m.distance)},
        {ui->le_plane_rms, dqt::millimetres(m.rms)},
        {ui->le_plane_angle, dqt::degrees(m.angle)},
        {ui->le_temporal_noise, dqt::millimetres(m.temporal_noise)},
        {ui->le_z_accuracy, dqt::accuracy(m.z_error, m.z_error_percent)},
        {ui->le_channel_spread, dqt::millimetres(m.channel_spread)},
        {ui->le_row_spread, dqt::millimetres(m.row_spread)},
    };
    for (const auto& f : fields) f.field->setText(QString::fromStdString(f.text));
    ui->lel_verdict->setText(QString::fromStdString(dqt::verdict(m)));
    ui->lel_frames_held->setText(QString::fromStdString(dqt::frames_held(m.frames, ui->sb_frames->value())));

    points.clear();
    double lo = 0, hi = 0;
    for (std::size_t c = 0; c < m.column_error.size(); ++c) {
        const double e = m.column_error[c];
        if (!std::isfinite(e)) continue;
        lo = points.isEmpty() ? e : std::min(lo, e);
        hi = points.isEmpty() ? e : std::max(hi, e);
        points.append(QPointF(double(frames.roi().x) + double(c), e));
    }
    plot.series->replace(points);
    const double margin = std::max(1.0, 0.1 * (hi - lo));
    plot.x->setRange(frames.roi().x, frames.roi().x + std::max(frames.roi().w - 1, 1));
    plot.y->setRange(std::floor(lo - margin), std::ceil(hi + margin));
}

QPoint menu_depth_quality::pixel_at(const QPointF& click) const {
    const QRect inside = ui->im_depth->contentsRect();
    return {pixel_pick::from_stretched_click(click.x() - inside.x(), inside.width(), cols),
            pixel_pick::from_stretched_click(click.y() - inside.y(), inside.height(), rows)};
}

bool menu_depth_quality::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->im_depth) {
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove || type == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint at = pixel_at(mouse->localPos());
            if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
                dragging = true;
                drag_from = at;
            } else if (dragging) {
                const dq::region r = dq::from_corners(drag_from.x(), drag_from.y(), at.x(), at.y(), cols, rows);
                show_region(r);
                if (type == QEvent::MouseButtonRelease) {
                    dragging = false;
                    set_region(r);
                }
            }
        }
    }
    return tool_dialog::eventFilter(watched, event);
}

void menu_depth_quality::on_btn_save_metrics_clicked() {
    const QString path = dialog_seam::save_file_name(this, tr("Save metrics"), QDir::homePath(), tr("Metrics (*.csv)"),
                                                     true); // a log: rows are added
    if (path.isEmpty()) return;
    dqt::entry e = measured;
    e.time = QDateTime::currentDateTime().toString(Qt::ISODate).toStdString();
    e.has_configuration = configured;
    e.cfg = configuration;
    std::string error;
    if (!dqt::append(QFile::encodeName(path).toStdString(), dqt::row(e), error))
        dialog_seam::warning(this, tr("Warning"),
                             tr("Cannot write the metrics file %1: %2.").arg(path, QString::fromStdString(error)));
}

void menu_depth_quality::get_main_sensor_identity(QString serial, QString firmware) {
    identified = true;
    serial_number = serial;
    firmware_version = firmware;
}

void menu_depth_quality::update_status(const TAVRIN::DadodUz::sensing_packet_t& sensing) {
    if (!is_open()) return;
    status_records.push_back(sensing);
    while (status_records.size() > std::size_t(std::max(1, ui->sb_frames->value()))) status_records.pop_front();
}

acceptance::report menu_depth_quality::make_report() const {
    acceptance::setup set;
    set.target = frames.kind();
    set.range_mm = ui->sb_gt_distance->value();
    set.roi = frames.roi();
    set.frames = ui->sb_frames->value();
    set.channels = channels();
    set.channels_from = ui->tg_channels->currentIndex() > 0 ? std::string("chosen in the tool")
                        : configured ? "the sensor's VCSEL driver, id " + std::to_string(int(configuration.vcsel_type))
                                     : std::string("not known: no sensor configuration (choose the channels)");
    const acceptance_limits::chosen shipped = acceptance_limits::choose({});
    set.limits_from = shipped.from;
    acceptance::identity id;
    id.source = configured ? "sensor (the console's stream)" : "frames shown by the console";
    const std::string unknown = identified ? "the sensor did not say" : "no sensor answered the tool (play mode, or not yet)";
    id.serial = serial_number.toStdString();
    id.serial_note = unknown;
    id.firmware = firmware_version.toStdString();
    id.firmware_note = unknown;
    id.has_configuration = configured;
    id.cfg = configuration;
    id.configuration_note = "no sensor configuration (play mode, or not yet arrived)";
    acceptance::status_span status;
    for (const auto& s : status_records) status.add(s);
    return acceptance::evaluate(frames, set, id, status, shipped.values, "ro_vezovad");
}

void menu_depth_quality::on_btn_report_clicked() {
    QString path = dialog_seam::save_file_name(this, tr("Save report"), QDir::homePath(), tr("Report (*.html)"));
    if (path.isEmpty()) return;
    if (!path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive)) path += QLatin1String(".html");
    const QString json = path.left(path.size() - 5) + QLatin1String(".json");
    const acceptance::report r = make_report();
    std::string error;
    if (!acceptance::write(r, QFile::encodeName(path).toStdString(), QFile::encodeName(json).toStdString(), error)) {
        dialog_seam::warning(this, tr("Warning"), tr("Cannot write the report: %1.").arg(QString::fromStdString(error)));
        return;
    }
    ui->lel_report->setText(QString::fromStdString(acceptance::summary_line(r)));
}
