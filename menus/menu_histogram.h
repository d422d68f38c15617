// GX Histogram Viewer of the administrator tools. Apply Setting puts the
// sensor into histogram stream mode for a window of pixels; every histogram
// the main window delivers is drawn in the upper chart, and the running
// average of the last N + 1 histograms in the lower one (the charts follow at
// most once per screen refresh). Save (.csv) writes
// the next histograms, one line each, while the charts advance only every
// 100th record.
#pragma once

#include "device/DadodUz.h"
#include "logic/histogram_average.h"
#include "logic/histogram_scale.h"
#include "menus/line_chart.h"
#include "menus/tool_dialog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QPointF>
#include <QString>
#include <QVector>
#include <memory>
#include <string>
#include <vector>

class QSpinBox;
class QVBoxLayout;

namespace Ui {
class menu_histogram;
}

class menu_histogram : public tool_dialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using histogram_t = TAVRIN::DadodUz::histogram_t;

    explicit menu_histogram(QWidget* parent = nullptr);
    ~menu_histogram() override;

    const configurations_t& current_configuration() const { return configuration; }
    QtCharts::QChart* histogram_chart() const { return current.chart; }
    QtCharts::QChart* average_chart() const { return average.chart; }
    const histogram_average& average_window() const { return window; }
    bool is_saving() const { return saving; }
    // Draws the charts now rather than at the next screen refresh.
    void draw_charts();
    int saved_lines() const { return lines_written; }

signals:
    void send_menu_apply_setting(configurations_t& configuration_);
    void send_menu_apply_data_procssing(std::vector<int>& params);
    void send_menu_current_setting();
    void send_menu_log(QString str);
    void send_close_ui();

public slots:
    void update_histogram(histogram_t& histogram);
    void get_menu_current_setting(configurations_t configuration_);
    void on_sb_avg_frame_valueChanged(int value);
    void on_sb_x_min_valueChanged(int value);
    void on_sb_x_max_valueChanged(int value);
    void on_sb_y_min_valueChanged(int value);
    void on_sb_y_max_valueChanged(int value);
    void on_sb_x_min_avg_valueChanged(int value);
    void on_sb_x_max_avg_valueChanged(int value);
    void on_sb_y_min_avg_valueChanged(int value);
    void on_sb_y_max_avg_valueChanged(int value);
    void on_cb_auto_scale_avg_clicked();
    void on_cb_auto_scale_clicked();
    void on_btn_apply_hist_clicked();
    void on_btn_save_hist_clicked();

protected:
    void opened() override;
    void closed() override;

private:
    // One chart with its series, axes and the axis bounds it shows.
    struct chart_parts : line_chart {
        histogram_scale::bounds bounds{0, 1048, 0, 512};
    };
    struct range_boxes {
        QSpinBox* x_min;
        QSpinBox* x_max;
        QSpinBox* y_min;
        QSpinBox* y_max;
    };

    static void build_chart(chart_parts& c, QVBoxLayout* layout, const QString& object_name, const QString& series_name);
    static void apply_bounds(chart_parts& c);
    // Auto scale checked by hand: the axes show `fit`, but of the stored
    // bounds only y takes it; x keeps what the boxes last set.
    static void fit_axes(chart_parts& c, const histogram_scale::bounds& fit);
    static void read_boxes(chart_parts& c, const range_boxes& boxes);
    static void set_boxes(const range_boxes& boxes, const histogram_scale::bounds& b);
    void show_record(const histogram_t& record);
    void schedule_draw();
    int draw_period_ms() const;
    void end_save();

    Ui::menu_histogram* ui;
    configurations_t configuration{};
    chart_parts current;
    chart_parts average;
    range_boxes current_boxes{};
    range_boxes average_boxes{};
    histogram_average window;

    std::unique_ptr<QFile> save_file;
    bool saving = false;
    int lines_written = 0;
    int lines_to_write = 0;

    // The record the charts show next, and when they were last drawn.
    std::vector<std::uint16_t> latest_bins;
    QString latest_title;
    QTimer draw_timer;
    QElapsedTimer since_draw;

    // Work buffers reused from record to record.
    QVector<QPointF> points;
    std::vector<float> averaged;
    std::vector<std::uint16_t> integer_averaged;
    std::string line;
};
