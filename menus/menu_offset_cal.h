// GX Offset Calibration of the administrator tools. Shows the depth and
// intensity images of every frame and a chart of either the mean depth of
// each VCSEL channel or the depth along the two centre columns, and on
// request averages a set number of frames into the VCSEL channel offsets or
// the SPAD half-row offsets, which it saves as a calibration file. It never
// sends a configuration to the sensor itself: the tool bar clears the
// sensor's tables while it is open and puts them back when it closes.
#pragma once

#include "device/DadodUz.h"
#include "logic/offset_calibration.h"
#include "logic/offset_calibration_run.h"
#include "menus/line_chart.h"
#include "menus/tool_dialog.h"

#include <QPointF>
#include <QString>
#include <QVector>
#include <opencv2/core.hpp>
#include <vector>

class QLabel;

namespace Ui {
class menu_offset_cal;
}

class menu_offset_cal : public tool_dialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using scene_t = TAVRIN::DadodUz::scene_t;

    explicit menu_offset_cal(QWidget* parent = nullptr);
    ~menu_offset_cal() override;

    const configurations_t& current_configuration() const { return configuration; }
    const offset_calibration_run& run() const { return calibration; }
    const offset_calibration::centre_columns& centre_lists() const { return centre; }
    bool centre_lists_built() const { return centre_built; }
    int channels() const { return channel_count; }
    const line_chart& chart() const { return plot; }

signals:
    void send_menu_apply_setting(configurations_t& configuration_);
    void send_menu_current_setting();
    void send_close_ui();
    // A line for the log pane: a run cancelled, a file that could not be written.
    void send_menu_log(QString str);

public slots:
    void updateScene(scene_t& scene);
    void on_sb_intensity_min_val_valueChanged(int value);
    void on_sb_intensity_max_val_valueChanged(int value);
    void on_sb_depth_min_val_valueChanged(int value);
    void on_sb_depth_max_val_valueChanged(int value);
    void on_btn_start_offset_cal_clicked();
    void on_sb_number_frame_valueChanged(int value);
    void on_tg_calibration_mode_currentIndexChanged(int index);
    void on_comboBox_currentIndexChanged(int index);
    void on_btn_save_offset_cal_clicked();

public:
    void get_menu_current_setting(configurations_t configuration_);

protected:
    void opened() override;
    void closed() override;

private:
    void show_image(const cv::Mat& raw, bool auto_norm, int lo, int hi, bool invert, QLabel* label, cv::Mat& grey8);
    void draw_chart(const scene_t& scene);
    void calibration_step(const scene_t& scene);
    void cancel_run(const QString& why);
    void set_controls_enabled(bool enabled);
    void log_spoilers(const scene_t& scene);

    Ui::menu_offset_cal* ui;
    configurations_t configuration{};
    bool have_record = false;
    bool spoilers_pending = false; // the run's first frame is looked at for what spoils it
    line_chart plot;
    offset_calibration_run calibration;

    int depth_max = 5000, depth_min = 0;
    int intensity_max = 500, intensity_min = 0;
    int channel_count = 60;
    double x_lo = 0, x_hi = 64;

    offset_calibration::centre_columns centre;
    bool centre_built = false;
    std::vector<std::int32_t> channel_values; // of the last chart, in channel order

    cv::Mat depth_grey, intensity_grey; // reused from frame to frame
    QVector<QPointF> points;
};
