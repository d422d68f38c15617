// Administrator tool bar: opens the administrator settings and the analysis
// and calibration tools, relays their requests to the main window, and routes
// the configuration, frames and status packets that come back to them.
#pragma once

#include "device/DadodUz.h"
#include "logic/filter_list.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class menu_device_admin;
class menu_status;
class menu_histogram;
class menu_image_analysis;
class menu_board_align;
class menu_offset_cal;
class menu_lens_cal;
class menu_depth_quality;

namespace Ui {
class tool_admin;
}

class tool_admin : public QWidget {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using scene_t = TAVRIN::DadodUz::scene_t;
    using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;

    explicit tool_admin(QWidget* parent = nullptr);
    ~tool_admin() override;

    // Hands the sensor's current record to the one dialog that waits for it:
    // the settings dialog after "GX (Current)", else the first open tool of
    // histogram, image analysis, board alignment, offset calibration, lens
    // calibration, depth quality. Returns the one that received it.
    enum class receiver { none, device_admin, histogram, image_analysis, board_align, offset_cal, lens_cal, depth_quality };
    receiver receive_current_setting(configurations_t& configuration_);

    // The record the analysis tools started from; has_record() is false until
    // one was delivered to a tool.
    const configurations_t& tool_record() const { return configuration; }
    bool has_record() const { return record_received; }

    // The request will not be answered (no device, play mode, a lost
    // connection): nothing waits for it any more.
    void cancel_current_setting();

    // Opens one administrator window by name, as its button does ("device"
    // asks the sensor for its current settings, as "GX (Current)" does).
    // False for a name not in tool_names().
    bool open_tool(const QString& name);
    static QStringList tool_names();

    // The analysis parameter list: every filter off for the analysis tools.
    static std::vector<int> analysis_parameters() { return filter_list::all_off(); }

    menu_device_admin* device_admin = nullptr;
    menu_status* status = nullptr;
    menu_histogram* histogram = nullptr;
    menu_image_analysis* image_analysis = nullptr;
    menu_board_align* board_align = nullptr;
    menu_offset_cal* offset_cal = nullptr;
    menu_lens_cal* lens_cal = nullptr; // the newest lens calibration tool, while it lives
    menu_depth_quality* depth_quality = nullptr;

    bool setting_requested = false; // a dialog asked for the current configuration
    bool lens_cal_mode = false;     // frames go to the lens calibration tool alone

signals:
    void send_tool_lens_cal_data(scene_t& scene_);
    void send_tool_current_setting();
    void send_tool_apply_admin(configurations_t& configuration);
    void send_tool_apply_data_processing(std::vector<int>& params);
    void send_tool_write_setting();
    void send_tool_calbiration_path(QString dir);
    // Lines for the log pane from the calibration tools.
    void send_tool_log(QString msg);

public slots:
    void get_tool_lens_cal_data(scene_t& scene);
    void get_tool_lens_cal_delete();
    void get_tool_apply_setting(configurations_t& configuration_);
    void get_tool_apply_data_processing(std::vector<int>& params);
    void get_tool_status_data(sensing_packet_t& sensing);
    void get_tool_close_ui();
    void get_tool_write_setting();
    void get_tool_current_setting_trigger();
    void get_tool_close_all();
    void on_btn_lens_cal_clicked();
    void on_btn_histogram_clicked();
    void on_btn_image_analysis_clicked();
    void on_btn_board_align_clicked();
    void on_btn_offset_cal_clicked();
    void on_btn_depth_quality_clicked();

private:
    void open_analysis_tool(QWidget* tool);
    void keep(const configurations_t& configuration_);

    Ui::tool_admin* ui;
    configurations_t configuration{};
    bool record_received = false;
};
