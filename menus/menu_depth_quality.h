// GX Depth Quality of the administrator tools: how well the sensor measures a
// target of known shape (a flat wall or a range sphere) in a region of the
// depth picture over the last frames: fill rate, distance, plane RMS and
// angle, temporal noise, Z accuracy against a ground truth, and the spread of
// the VCSEL channels and SPAD half-rows that tells a good calibration from a
// bad one; a chart of the mean error per column, and a metrics log.
#pragma once

#include "device/DadodUz.h"
#include "logic/acceptance_report.h"
#include "logic/depth_quality.h"
#include "logic/depth_quality_text.h"
#include "menus/line_chart.h"
#include "menus/tool_dialog.h"

#include <QElapsedTimer>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QVector>
#include <deque>
#include <opencv2/core.hpp>

namespace Ui {
class menu_depth_quality;
}

class menu_depth_quality : public tool_dialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using scene_t = TAVRIN::DadodUz::scene_t;

    explicit menu_depth_quality(QWidget* parent = nullptr);
    ~menu_depth_quality() override;

    const configurations_t& current_configuration() const { return configuration; }
    // Whether a configuration record arrived since the tool was opened.
    bool has_configuration() const { return configured; }
    const depth_quality::region& region() const { return frames.roi(); }
    std::size_t frames_held() const { return frames.size(); }
    const depth_quality::window& window() const { return frames; }
    // The figures of the newest measurement, empty since the last change of
    // a setting they depend on.
    const depth_quality::metrics& current_metrics() const { return measured.m; }
    // The channel count the spreads group the columns by: the one chosen, or
    // the sensor's driver's; 0 while neither is known.
    int channels() const;
    const line_chart& chart() const { return plot; }
    const cv::Mat& picture() const { return shown; }

signals:
    void send_menu_current_setting();
    void send_close_ui();

public slots:
    void updateScene(scene_t& scene);
    void on_sb_frames_valueChanged(int value);
    void on_tg_target_currentIndexChanged(int index);
    void on_tg_channels_currentIndexChanged(int index);
    void on_sb_gt_distance_valueChanged(int value);
    void on_btn_save_metrics_clicked();
    // Writes the acceptance report of the frames held (acceptance_report.h)
    // and its JSON beside it, against the shipped limits.
    void on_btn_report_clicked();
    // Who the sensor is: the serial number of the hello and the firmware
    // version of the register dump ("" where the sensor said nothing).
    void get_main_sensor_identity(QString serial, QString firmware);

public:
    void get_menu_current_setting(configurations_t configuration_);
    // Each status record while the tool is open; the last as many as the
    // frames asked for are the check's.
    void update_status(const TAVRIN::DadodUz::sensing_packet_t& sensing);
    // The report of the frames held now, as the Report button writes it.
    acceptance::report make_report() const;

protected:
    void opened() override;
    void closed() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void region_edited();
    void forget_figures();
    void set_region(const depth_quality::region& r);
    void show_region(const depth_quality::region& r);
    void show_picture(const scene_t& scene);
    void show_metrics();
    QPoint pixel_at(const QPointF& click) const;

    Ui::menu_depth_quality* ui;
    configurations_t configuration{};
    bool configured = false;
    bool identified = false;
    QString serial_number, firmware_version;
    std::deque<TAVRIN::DadodUz::sensing_packet_t> status_records;
    depth_quality::window frames;
    // The newest figures with the settings they were measured under.
    depth_quality_text::entry measured;
    int cols = 400, rows = 100; // of the newest frame
    line_chart plot;
    QVector<QPointF> points;
    cv::Mat grey8, shown;
    bool dragging = false;
    QPoint drag_from;
    // Measuring a long window can cost more than a frame period; it then
    // runs on every few frames only (at most a third of the time), so that
    // the window keeps up with the stream.
    QElapsedTimer since_measure;
    qint64 measure_cost_ns = 0;
};
