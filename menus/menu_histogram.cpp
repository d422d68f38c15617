#include "menus/menu_histogram.h"

#include "widgets/dialog_seam.h"
#include "logic/histogram_csv.h"
#include "ui_menu_histogram.h"

#include <QDir>
#include <QScreen>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

using namespace QtCharts;

namespace {

// Stream data mode in which the sensor sends histograms instead of frames.
constexpr std::uint8_t kHistogramStreamMode = 4;
// FIR coefficient words: a single tap, or the 15-tap triangle 1 ... 8 ... 1.
constexpr std::uint32_t kFirSingle[2] = {0x00000001u, 0x00000000u};
constexpr std::uint32_t kFirTriangle[2] = {0x87654321u, 0x01234567u};
// While a save runs the charts follow every this many records.
constexpr int kChartEveryWhileSaving = 100;
// The charts are drawn at most once per screen refresh, and never more often
// than every this many milliseconds.
constexpr int kMinDrawPeriodMs = 8;

} // namespace

menu_histogram::menu_histogram(QWidget* parent)
    : tool_dialog(parent, tr("GX Histogram Viewer")), ui(new Ui::menu_histogram) {
    ui->setupUi(this);
    current_boxes = {ui->sb_x_min, ui->sb_x_max, ui->sb_y_min, ui->sb_y_max};
    average_boxes = {ui->sb_x_min_avg, ui->sb_x_max_avg, ui->sb_y_min_avg, ui->sb_y_max_avg};
    build_chart(current, ui->lo_histogram, "chart_histogram", "Histogram");
    build_chart(average, ui->lo_histogram_average, "chart_histogram_average", "Average Histogram");
    window.set_frames(std::size_t(ui->sb_avg_frame->value()));
    draw_timer.setSingleShot(true);
    draw_timer.setTimerType(Qt::PreciseTimer);
    connect(&draw_timer, &QTimer::timeout, this, &menu_histogram::draw_charts);
}

menu_histogram::~menu_histogram() { delete ui; }

void menu_histogram::build_chart(chart_parts& c, QVBoxLayout* layout, const QString& object_name,
                                 const QString& series_name) {
    static_cast<line_chart&>(c) = line_chart::build(object_name, series_name);
    apply_bounds(c);
    // Under the heading, above the range boxes.
    layout->insertWidget(1, c.view, 1);
}

void menu_histogram::apply_bounds(chart_parts& c) {
    c.x->setRange(c.bounds.x_min, c.bounds.x_max);
    c.y->setRange(c.bounds.y_min, c.bounds.y_max);
    c.chart->update();
}

void menu_histogram::fit_axes(chart_parts& c, const histogram_scale::bounds& fit) {
    c.bounds.y_min = fit.y_min;
    c.bounds.y_max = fit.y_max;
    c.x->setRange(fit.x_min, fit.x_max);
    c.y->setRange(c.bounds.y_min, c.bounds.y_max);
    c.chart->update();
}

void menu_histogram::read_boxes(chart_parts& c, const range_boxes& boxes) {
    c.bounds = {double(boxes.x_min->value()), double(boxes.x_max->value()), double(boxes.y_min->value()),
                double(boxes.y_max->value())};
    apply_bounds(c);
}

// In this order; each box moves its axis through its own slot.
void menu_histogram::set_boxes(const range_boxes& boxes, const histogram_scale::bounds& b) {
    boxes.x_max->setValue(histogram_scale::box_value(b.x_max));
    boxes.x_min->setValue(histogram_scale::box_value(b.x_min));
    boxes.y_max->setValue(histogram_scale::box_value(b.y_max));
    boxes.y_min->setValue(histogram_scale::box_value(b.y_min));
}

void menu_histogram::opened() { emit send_menu_current_setting(); }

void menu_histogram::closed() { emit send_close_ui(); }

void menu_histogram::get_menu_current_setting(configurations_t configuration_) {
    configuration = configuration_;
    ui->sb_start_col->setValue(configuration.start_column_index);
    ui->sb_end_col->setValue(configuration.end_column_index);
    ui->sb_start_row->setValue(configuration.start_row_index);
    ui->sb_end_row->setValue(configuration.end_row_index);
    // 1 is the 50-channel mode, as everywhere the record is shown.
    ui->tg_spad_channel_mode->setCurrentIndex(configuration.dual_channel == 1 ? 0 : 1);
    // The second tap tells the two FIRs apart; any other filter leaves the box.
    const std::uint32_t tap = configuration.fir_coef[0] & 0xF0u;
    if (tap == 0x20u)
        ui->tg_fir_mode->setCurrentIndex(1);
    else if (tap == 0)
        ui->tg_fir_mode->setCurrentIndex(0);
}

void menu_histogram::on_btn_apply_hist_clicked() {
    configuration.stream_mode = kHistogramStreamMode;
    configuration.start_row_index = std::uint8_t(ui->sb_start_row->value());
    configuration.end_row_index = std::uint8_t(ui->sb_end_row->value());
    configuration.start_column_index = std::uint16_t(ui->sb_start_col->value());
    configuration.end_column_index = std::uint16_t(ui->sb_end_col->value());
    configuration.dual_channel = ui->tg_spad_channel_mode->currentIndex() == 0 ? 1 : 0;
    const std::uint32_t* fir = ui->tg_fir_mode->currentIndex() == 0 ? kFirSingle : kFirTriangle;
    configuration.fir_coef[0] = fir[0];
    configuration.fir_coef[1] = fir[1];
    emit send_menu_apply_setting(configuration);
}

void menu_histogram::update_histogram(histogram_t& histogram) {
    const bool was_saving = saving;
    if (saving) {
        if (save_file) {
            ui->pb_hist_log->setValue(lines_written);
            line.clear();
            histogram_csv::append_line(line, histogram.row, histogram.col, histogram.bins.data(),
                                       histogram_scale::record_length(histogram));
            save_file->write(line.data(), qint64(line.size()));
        }
        ++lines_written;
        if (lines_written >= lines_to_write) end_save();
    }
    if (was_saving && lines_written % kChartEveryWhileSaving != 0) return;
    show_record(histogram);
}

void menu_histogram::end_save() {
    save_file.reset();
    lines_written = 0;
    saving = false;
    ui->pb_hist_log->setValue(0);
}

// A shown record joins the average at once; the charts follow on the next
// draw, at most once per screen refresh, so that a stream of histograms never
// holds up the frame tick with painting.
void menu_histogram::show_record(const histogram_t& histogram) {
    const std::size_t n = histogram_scale::record_length(histogram);
    latest_bins.assign(histogram.bins.data(), histogram.bins.data() + n);
    if (n > 0) {
        latest_title = QStringLiteral("Row: %1, Col: %2").arg(histogram.row).arg(histogram.col);
        window.add(latest_bins.data(), n);
    }
    schedule_draw();
}

void menu_histogram::schedule_draw() {
    if (draw_timer.isActive()) return;
    const qint64 since = since_draw.isValid() ? since_draw.elapsed() : kMinDrawPeriodMs;
    draw_timer.start(int(std::max<qint64>(0, draw_period_ms() - since)));
}

int menu_histogram::draw_period_ms() const {
    const QScreen* s = screen();
    const double hz = s != nullptr ? s->refreshRate() : 60.0;
    return std::max(kMinDrawPeriodMs, int(std::ceil(1000.0 / std::clamp(hz, 1.0, 240.0))));
}

void menu_histogram::draw_charts() {
    draw_timer.stop();
    since_draw.start();
    current.series->setName("Histogram");
    average.series->setName("Average Histogram");
    const std::size_t n = latest_bins.size();
    if (n == 0) {
        // No histogram in this record: both charts empty, the average untouched.
        current.series->clear();
        average.series->clear();
        return;
    }
    const std::uint16_t* bins = latest_bins.data();
    current.chart->setTitle(latest_title);
    histogram_scale::bounds b;
    if (ui->cb_auto_scale->isChecked() && histogram_scale::of_values(bins, n, b)) set_boxes(current_boxes, b);
    points.resize(int(n));
    for (std::size_t i = 0; i < n; ++i) points[int(i)] = QPointF(double(i), double(bins[i]));
    current.series->replace(points);

    average.chart->setTitle(latest_title);
    window.average(averaged);
    if (ui->cb_auto_scale_avg->isChecked() && histogram_scale::of_values(averaged.data(), averaged.size(), b))
        set_boxes(average_boxes, b);
    points.resize(int(averaged.size()));
    for (std::size_t i = 0; i < averaged.size(); ++i) points[int(i)] = QPointF(double(i), double(averaged[i]));
    average.series->replace(points);
}

void menu_histogram::on_sb_avg_frame_valueChanged(int value) {
    window.set_frames(std::size_t(value < 0 ? 0 : value));
    draw_timer.stop();
    average.series->clear();
}

void menu_histogram::on_sb_x_min_valueChanged(int value) {
    current.bounds.x_min = value;
    apply_bounds(current);
}

void menu_histogram::on_sb_x_max_valueChanged(int value) {
    current.bounds.x_max = value;
    apply_bounds(current);
}

void menu_histogram::on_sb_y_min_valueChanged(int value) {
    current.bounds.y_min = value;
    apply_bounds(current);
}

void menu_histogram::on_sb_y_max_valueChanged(int value) {
    current.bounds.y_max = value;
    apply_bounds(current);
}

void menu_histogram::on_sb_x_min_avg_valueChanged(int value) {
    average.bounds.x_min = value;
    apply_bounds(average);
}

void menu_histogram::on_sb_x_max_avg_valueChanged(int value) {
    average.bounds.x_max = value;
    apply_bounds(average);
}

void menu_histogram::on_sb_y_min_avg_valueChanged(int value) {
    average.bounds.y_min = value;
    apply_bounds(average);
}

void menu_histogram::on_sb_y_max_avg_valueChanged(int value) {
    average.bounds.y_max = value;
    apply_bounds(average);
}

// Checked: the axes fit the latest histogram, the boxes stay as they are and
// only the y bounds are kept, so the next box change brings back the stored x
// range; with no histogram yet there is nothing to fit and the ranges stay.
// Unchecked: the boxes again.
void menu_histogram::on_cb_auto_scale_clicked() {
    if (!ui->cb_auto_scale->isChecked()) {
        read_boxes(current, current_boxes);
        return;
    }
    const std::vector<std::uint16_t>& latest = window.latest();
    histogram_scale::bounds b;
    if (!histogram_scale::of_values(latest.data(), latest.size(), b)) return;
    fit_axes(current, b);
}

void menu_histogram::on_cb_auto_scale_avg_clicked() {
    if (!ui->cb_auto_scale_avg->isChecked()) {
        read_boxes(average, average_boxes);
        return;
    }
    window.integer_average(integer_averaged);
    histogram_scale::bounds b;
    if (!histogram_scale::of_values(integer_averaged.data(), integer_averaged.size(), b)) return;
    fit_axes(average, b);
}

void menu_histogram::on_btn_save_hist_clicked() {
    const QString path =
        dialog_seam::save_file_name(this, tr("Save GX histogram"), QDir::homePath(), tr("GX Histogram (*.csv)"));
    if (path.isEmpty()) return;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        dialog_seam::warning(this, tr("Warning"), tr("Cannot open the histogram file %1.").arg(path));
        return;
    }
    save_file = std::move(file);
    saving = true;
    lines_to_write = ui->sb_log_frame->value();
    ui->pb_hist_log->setMaximum(lines_to_write);
    ui->pb_hist_log->setValue(0);
    lines_written = 0;
}
