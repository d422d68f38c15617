// The main window: owns the device handle, the frame record, three timers
// (the frame and message ticks of the acquisition loop and the slow tick of
// the status bar and the link's keeper) and the six docks, and wires
// everything together. It is the only caller of the device library.
#pragma once

#include "device/DadodUz.h"
#include "device/gx_filters.h"
#include "logic/command_flow.h"
#include "logic/link_health.h"
#include "logic/link_keeper.h"
#include "logic/view_settings.h"

#include <QMainWindow>
#include <QString>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class tool_user;
class tool_admin;
class tool_playbar;
class tool_log;
class tool_link_health;
class tool_status_bands;
class viewer_pointcloud;
class viewer_image;
class QCloseEvent;
class QLabel;

namespace foxglove {
class server;
struct listen_address;
}

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    using scene_t = TAVRIN::DadodUz::scene_t;
    using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;
    using histogram_t = TAVRIN::DadodUz::histogram_t;
    using configurations_t = TAVRIN::DadodUz::configurations_t;

    explicit MainWindow(QWidget* parent = nullptr, bool admin = false);
    ~MainWindow() override;

    // Read-only views for scripts and tests.
    bool is_admin_mode() const { return admin_mode; }
    TAVRIN::DadodUz* device_handle() const { return device; }
    bool is_play_mode() const { return play_mode; }
    bool is_recording() const { return record_status; }
    std::uint64_t playmode_total_frames() const { return total_frame; }
    std::uint64_t playmode_current_frame() const { return current_frame; }
    double playmode_rate() const { return playmode_fps; }
    QTimer* frame_tick_timer() const { return frame_timer; }
    QTimer* message_tick_timer() const { return message_timer; }
    QTimer* health_tick_timer() const { return health_timer; }
    tool_link_health* link_health_bar() const { return link_health_; }
    tool_status_bands* status_bands_bar() const { return status_bands_; }
    // True while a sensor that went silent is sought again.
    bool is_reconnecting() const { return keeper.reconnecting(); }
    // Frames emitted by the frame tick since start (both signals).
    std::uint64_t frames_emitted() const { return emitted_frames; }

    // Serves every new frame shown (and the status record) over the Foxglove
    // WebSocket protocol from now on; the status bar shows its clients. False
    // with a sentence in `error` when the address cannot be used.
    bool serve_foxglove(const foxglove::listen_address& where, std::string& error);
    const foxglove::server* foxglove_server() const { return foxglove_.get(); }

    tool_user* user_tool() const { return tool_user_; }
    tool_admin* admin_tool() const { return tool_admin_; }
    tool_playbar* playbar_tool() const { return tool_playbar_; }
    tool_log* log_tool() const { return tool_log_; }
    viewer_pointcloud* pointcloud_view() const { return viewer_pointcloud_; }
    viewer_image* image_view() const { return viewer_image_; }

signals:
    void send_main_data(scene_t& scene);
    void send_main_lens_cal_data(scene_t& scene);
    void send_main_connect(bool enable);
    void send_main_FPS(double val);
    void send_main_btn_connect_control(bool);
    void send_main_current_network(std::vector<QString>& msg);
    void send_main_playmode_FPS(double);
    void send_main_playmode_current_frame(uint64_t);
    void send_main_playmode_total_frame(uint64_t);
    void send_main_stream_mode(bool);
    void send_main_record_status(bool);
    void send_main_pointcloud(bool);
    void send_main_pointcloud_point_color(int);
    void send_main_pointcloud_point_size(double);
    void send_main_pointcloud_max_dist(double);
    void send_main_pointcloud_min_dist(double);
    void send_main_image(bool);
    void send_main_image_auto_norm_ambient(bool);
    void send_main_image_auto_norm_depth(bool);
    void send_main_image_auto_norm_intensity(bool);
    void send_main_image_min_val_ambient(double);
    void send_main_image_min_val_depth(double);
    void send_main_image_min_val_intensity(double);
    void send_main_image_max_val_ambient(double);
    void send_main_image_max_val_depth(double);
    void send_main_image_max_val_intensity(double);
    void send_main_image_hist_mode_ambient(bool);
    void send_main_image_hist_mode_depth(bool);
    void send_main_image_hist_mode_intensity(bool);
    void send_main_image_grey_mode_ambient(bool);
    void send_main_image_grey_mode_depth(bool);
    void send_main_image_grey_mode_intensity(bool);
    void send_main_status_data(sensing_packet_t&);
    void send_main_histogram(histogram_t&);
    void send_main_grid(bool);
    void send_main_xy_axis(bool);
    void send_main_yz_axis(bool);
    void send_main_zx_axis(bool);
    void send_main_current_setting(configurations_t&);
    // Who the sensor is, with each register dump: the serial number of the
    // hello's answer (else the dump's SN line) and the dump's firmware version.
    void send_main_sensor_identity(QString serial, QString firmware);
    void send_main_firmware_progress(int);
    void send_main_tcp_message(QString);
    void send_main_log_message(QString);
    void send_main_close_all();
    // A connect or file open failed: the warning box's text and the library's
    // reason. Emitted before the box opens, so that a script hears of it
    // while the box waits for a person.
    void send_main_open_failed(QString box_text, QString reason);

public slots:
    void get_main_device_run();
    void get_main_device_stop();
    void get_main_connect_status(bool on);
    void get_main_network_change(std::vector<QString>& msg);
    void get_main_device_connect();
    void get_main_device_disconnect();
    void get_main_playmode_status(bool on);
    void get_main_playmode_play_button(bool enable);
    void get_main_playmode_stop_button(bool enable);
    void get_main_playmode_speed(double val);
    void get_main_playmode_currrent_frame(uint64_t frame);
    void get_main_playmode_slider_status(bool released);
    void get_main_playmode_record(bool enable);
    void get_main_pointcloud(bool apply);
    void get_main_image(bool apply);
    void get_main_grid(bool enable);
    void get_main_xy_axis(bool enable);
    void get_main_yz_axis(bool enable);
    void get_main_zx_axis(bool enable);
    void get_main_current_setting();
    void get_main_write_flash();
    void get_main_register_read(QString dir);
    void get_main_register_write(QString dir);
    void get_main_firmware_upload(QString dir);
    void get_main_apply_device(configurations_t& configuration_);
    void get_main_apply_data_processing(std::vector<int>& params);
    void get_main_device_reset();
    void get_main_log(QString msg);

public:
    // The acquisition loop's two ticks (connected to their timers; callable
    // directly by scripts and tests).
    void on_frame_timer();
    void on_message_timer();
    // The slow tick (about twice a second): the status bar, the watch for a
    // silent sensor and the attempts to reach it again.
    void on_health_timer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build_docks();
    void wire();
    void emit_frame();
    void log(const QString& msg);
    void cancel_setting_requests();
    void begin_stream(std::optional<bool> run_answered = std::nullopt);
    void finish_run(bool running);
    void link_lost();
    void resume_stream(std::unique_ptr<TAVRIN::DadodUz> handle);
    bool finish_recording();
    void release_device();
    void apply_filters(const gx::filter_params& f);
    void report_firmware(const command_flow::firmware_progress& p);

    Ui::MainWindow* ui;
    tool_user* tool_user_;
    tool_admin* tool_admin_;
    tool_playbar* tool_playbar_;
    tool_log* tool_log_;
    viewer_pointcloud* viewer_pointcloud_;
    viewer_image* viewer_image_;
    bool admin_mode = false;
    QTimer* frame_timer;
    QTimer* message_timer;
    QTimer* health_timer;
    tool_link_health* link_health_;
    tool_status_bands* status_bands_;
    std::unique_ptr<TAVRIN::_TCP_PROTOCOL_T> message; // the record each message tick reads into (64 KiB)

    std::string device_ip;
    int device_port = 0;
    std::string local_ip;
    int local_port = 0;

    bool play_mode = false;
    bool connecting = false;  // a connect waits for the sensor on a thread of its own
    bool playing = false;
    bool stopped = false;
    bool slider_released = true;
    QString file_path;
    std::uint64_t total_frame = 0;
    std::uint64_t current_frame = 0;
    double speed = 1.0;
    double playmode_fps = 0;
    bool record_status = false;
    QString record_path;

    // View settings last applied from the user tool bar.
    view_settings::pointcloud_settings pointcloud;
    view_settings::image_settings image;

    bool grid = false;
    bool xy_axis = false;
    bool yz_axis = false;
    bool zx_axis = false;

    TAVRIN::DadodUz* device = nullptr;
    scene_t frame;
    histogram_t histogram;
    configurations_t configuration{};
    QString register_file_path;
    command_flow::state commands; // flags of the commands the sensor answers by message
    bool in_message_tick = false;
    std::uint64_t previous_timestamp = 0;
    double last_rate = 0;
    std::uint64_t emitted_frames = 0;

    // Link health and reconnection.
    QElapsedTimer clock;
    link_health::meter health;
    std::optional<gx::filter_params> filters_applied; // the library's filter settings last applied, carried into a reconnection
    link_keeper keeper; // the watch for a silent sensor and the attempts to reach it (waited for before the window goes)

    // The Foxglove WebSocket server (--serve-foxglove): it takes a copy of each
    // new frame without waiting and sends it from a thread of its own.
    std::unique_ptr<foxglove::server> foxglove_;
    QLabel* foxglove_label_ = nullptr;
    std::int64_t foxglove_shown_ms_ = 0;
    sensing_packet_t last_status{}; // the status record last read, sent with each frame
};
