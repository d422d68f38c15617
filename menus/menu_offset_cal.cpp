#include "menus/menu_offset_cal.h"

#include "widgets/dialog_seam.h"
#include "logic/calibration_file.h"
#include "logic/display_pipeline.h"
#include "ui_menu_offset_cal.h"
#include "viewers/label_picture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

namespace oc = offset_calibration;

namespace {
constexpr int kChannels[] = {45, 48, 60, 64};
const char* const kVcselSeries = "Depth - Channels Graph";
const char* const kSpadSeries = "Depth - Rows Graph (199, 200 Column)";
} // namespace

menu_offset_cal::menu_offset_cal(QWidget* parent)
    : tool_dialog(parent, tr("GX Offset Calibration")), ui(new Ui::menu_offset_cal) {
    ui->setupUi(this);
    plot = line_chart::build("chart_offset_cal", "");
    plot.x->setRange(x_lo, x_hi);
    plot.y->setRange(0, 512);
    ui->layout_plot->addWidget(plot.view, 0, 1);
    // The box holds at most 99: a calibration takes 99 frames unless changed.
    ui->sb_number_frame->setValue(100);
    calibration.set_frames(ui->sb_number_frame->value());
}

menu_offset_cal::~menu_offset_cal() { delete ui; }

void menu_offset_cal::get_menu_current_setting(configurations_t configuration_) {
    configuration = configuration_;
    have_record = true;
}

void menu_offset_cal::opened() { emit send_menu_current_setting(); }

void menu_offset_cal::closed() { emit send_close_ui(); }

void menu_offset_cal::on_sb_intensity_min_val_valueChanged(int value) { intensity_min = value; }
void menu_offset_cal::on_sb_intensity_max_val_valueChanged(int value) { intensity_max = value; }
void menu_offset_cal::on_sb_depth_min_val_valueChanged(int value) { depth_min = value; }
void menu_offset_cal::on_sb_depth_max_val_valueChanged(int value) { depth_max = value; }
void menu_offset_cal::on_sb_number_frame_valueChanged(int value) { calibration.set_frames(value); }

void menu_offset_cal::on_comboBox_currentIndexChanged(int index) {
    if (index < 0 || index > 3) return;
    const int before = channel_count;
    channel_count = kChannels[index];
    // The channel values of another grouping cannot be added to the sums.
    if (calibration.running() && calibration.run_mode() == oc::mode::vcsel && channel_count != before)
        cancel_run(tr("the number of channels changed"));
}

void menu_offset_cal::on_tg_calibration_mode_currentIndexChanged(int index) {
    x_lo = 0;
    x_hi = index == 1 ? 200 : 64;
    // A run adds up one kind of value only: VCSEL steps or SPAD half-row means.
    const oc::mode selected = index == 1 ? oc::mode::spad : oc::mode::vcsel;
    if (calibration.running() && calibration.run_mode() != selected) cancel_run(tr("the calibration mode changed"));
}

void menu_offset_cal::on_btn_start_offset_cal_clicked() {
    calibration.start(ui->tg_calibration_mode->currentIndex() == 1 ? oc::mode::spad : oc::mode::vcsel);
    set_controls_enabled(false);
    spoilers_pending = true;
    const int driven = oc::driver_channels(configuration.vcsel_type);
    if (have_record && calibration.run_mode() == oc::mode::vcsel && driven != channel_count)
        emit send_menu_log(tr("[Offset Calibration] %1 channels are chosen, but the sensor's VCSEL driver (type %2) "
                              "drives %3: the table will not fit the unit.")
                               .arg(channel_count)
                               .arg(int(configuration.vcsel_type))
                               .arg(driven));
}

void menu_offset_cal::log_spoilers(const scene_t& scene) {
    spoilers_pending = false;
    const int rows = int(scene.rows), cols = int(scene.cols);
    if (calibration.run_mode() == oc::mode::vcsel) {
        const std::size_t missing =
            oc::missing_in_channels(scene.depth.data(), scene.depth.size(), rows, cols, channel_count);
        if (missing > 0)
            emit send_menu_log(tr("[Offset Calibration] %1 pixels of the measured channels report no return: "
                                  "their channels' means are pulled toward 0.")
                                   .arg(missing));
    } else {
        const std::size_t uneven = oc::uneven_half_rows(scene.depth.data(), scene.depth.size(), rows, cols);
        if (uneven > 0)
            emit send_menu_log(tr("[Offset Calibration] %1 half-rows report fewer returns than the others of their "
                                  "half: their offsets are pulled toward 0.")
                                   .arg(uneven));
    }
}

void menu_offset_cal::cancel_run(const QString& why) {
    calibration.cancel();
    set_controls_enabled(true);
    emit send_menu_log(tr("[Offset Calibration] Calibration cancelled: %1.").arg(why));
}

void menu_offset_cal::set_controls_enabled(bool enabled) {
    ui->sb_number_frame->setEnabled(enabled);
    ui->btn_start_offset_cal->setEnabled(enabled);
}

void menu_offset_cal::updateScene(scene_t& scene) {
    const int rows = int(scene.rows);
    const int cols = int(scene.cols);
    if (!centre_built && rows == oc::centre_list_rows) {
        centre = oc::centre_column_lists(rows, cols);
        centre_built = true;
    }
    if (scene.depth.empty() || scene.intensity.empty()) return;

    show_image(display::wrap(scene.depth, scene.rows, scene.cols), ui->cb_depth_auto_normal->isChecked(), depth_min,
               depth_max, true, ui->im_depth, depth_grey);
    show_image(display::wrap(scene.intensity, scene.rows, scene.cols), ui->cb_intensity_auto_normal->isChecked(),
               intensity_min, intensity_max, false, ui->im_intensity, intensity_grey);

    channel_values.clear();
    if (centre_built) draw_chart(scene);
    calibration_step(scene);
}

void menu_offset_cal::show_image(const cv::Mat& raw, bool auto_norm, int lo, int hi, bool invert, QLabel* label,
                                 cv::Mat& grey8) {
    display::pipeline_params p;
    p.auto_norm = auto_norm;
    p.min_value = lo;
    p.max_value = hi;
    p.invert = invert;
    p.colour = display::colour_map::jet;
    cv::Mat rgb;
    if (!display::render(raw, p, grey8, rgb)) return;
    label_picture::show(label, rgb, Qt::IgnoreAspectRatio);
}

void menu_offset_cal::draw_chart(const scene_t& scene) {
    std::vector<oc::chart_point> chart;
    const bool spad = ui->tg_calibration_mode->currentIndex() == 1;
    if (spad) {
        plot.series->setName(kSpadSeries);
        chart = oc::spad_chart(scene.depth.data(), scene.depth.size(), centre);
    } else {
        plot.series->setName(kVcselSeries);
        channel_values = oc::vcsel_channel_values(scene.depth.data(), scene.depth.size(), int(scene.rows),
                                                  int(scene.cols), channel_count);
        chart = oc::vcsel_chart(channel_values);
    }
    points.resize(int(chart.size()));
    for (std::size_t i = 0; i < chart.size(); ++i) points[int(i)] = QPointF(chart[i].x, chart[i].y);
    plot.series->replace(points);
    if (!chart.empty()) {
        const oc::axis_range y = oc::y_range(chart, spad);
        plot.y->setRange(y.lo, y.hi);
    }
    plot.x->setRange(x_lo, x_hi);
    plot.chart->update();
}

void menu_offset_cal::calibration_step(const scene_t& scene) {
    if (!calibration.running()) return;
    if (spoilers_pending) log_spoilers(scene);
    const auto outcome = calibration.step(channel_values, scene.depth.data(), scene.depth.size(), int(scene.rows),
                                          int(scene.cols));
    if (outcome == offset_calibration_run::outcome::finished) set_controls_enabled(true);
}

void menu_offset_cal::on_btn_save_offset_cal_clicked() {
    calibration.store_ready(configuration);
    const QString path = dialog_seam::save_file_name(this, tr("Save offset calibration file"), QDir::homePath(),
                                                     tr("Offset Calibration File (*.csv)"));
    if (path.isEmpty()) return;
    // The file dialog has asked before replacing an existing file.
    std::string error;
    if (!calibration_file::write(QFile::encodeName(path).toStdString(), calibration_file::from_record(configuration),
                                 error))
        dialog_seam::warning(this, tr("Warning"),
                             tr("Cannot write the offset calibration file %1: %2.").arg(path, QString::fromStdString(error)));
}
