#include "app/MainWindow.h"
#include "app/off_thread.h"

#include "widgets/dialog_seam.h"
#include "interop/foxglove_server.h"
#include "logic/device_message.h"
#include "logic/filter_list.h"
#include "logic/frame_rate.h"
#include "menus/menu_board_align.h"
#include "menus/menu_connection.h"
#include "menus/menu_device_admin.h"
#include "menus/menu_device_user.h"
#include "menus/menu_histogram.h"
#include "menus/menu_depth_quality.h"
#include "menus/menu_image_analysis.h"
#include "menus/menu_offset_cal.h"
#include "menus/menu_status.h"
#include "tools/tool_admin.h"
#include "tools/tool_link_health.h"
#include "tools/tool_log.h"
#include "tools/tool_playbar.h"
#include "tools/tool_status_bands.h"
#include "tools/tool_user.h"
#include "ui_MainWindow.h"
#include "viewers/viewer_image.h"
#include "viewers/viewer_pointcloud.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

namespace {

// Shows the wait cursor for the lifetime of the guard.
class wait_cursor {
public:
    wait_cursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~wait_cursor() { QApplication::restoreOverrideCursor(); }
    wait_cursor(const wait_cursor&) = delete;
    wait_cursor& operator=(const wait_cursor&) = delete;
};

// A path as the device library takes it: UTF-8 in a zeroed 1024-byte buffer.
std::array<char, 1024> path_buffer(const QString& dir) {
    std::array<char, 1024> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%s", dir.toUtf8().constData());
    return buffer;
}

QDockWidget* make_dock(QMainWindow* window, const char* name, QWidget* content) {
    auto* dock = new QDockWidget(window);
    dock->setObjectName(name);
    dock->setWindowTitle(QString());
    dock->setFloating(false);
    // An empty title bar widget hides the title bar; its empty layout gives it a
    // valid (zero) minimum size.
    auto* title = new QWidget(dock);
    auto* layout = new QHBoxLayout(title);
    layout->setContentsMargins(0, 0, 0, 0);
    dock->setTitleBarWidget(title);
    dock->setWidget(content);
    dock->resize(content->size());
    return dock;
}

// Poll interval of the stream tick while no frame is ready.
constexpr int kIdlePollMs = 1;

// Numbers are shown and read in the C notation (a point for decimals, no
// group separators) whatever the environment's locale. Dialogs are windows
// of their own and do not take the main window's locale: each gets it, and
// the default covers everything made later.
void use_c_number_locale(QWidget* window) {
    QLocale::setDefault(QLocale::c());
    window->setLocale(QLocale::c());
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->isWindow()) w->setLocale(QLocale::c());
}

} // namespace

MainWindow::MainWindow(QWidget* parent, bool admin)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      tool_user_(new tool_user()),
      tool_admin_(new tool_admin()),
      tool_playbar_(new tool_playbar()),
      tool_log_(new tool_log()),
      viewer_pointcloud_(new viewer_pointcloud()),
      viewer_image_(new viewer_image()),
      admin_mode(admin),
      frame_timer(new QTimer(this)),
      message_timer(new QTimer(this)),
      health_timer(new QTimer(this)),
      link_health_(new tool_link_health()),
      status_bands_(new tool_status_bands()),
      message(std::make_unique<TAVRIN::_TCP_PROTOCOL_T>()) {
    ui->setupUi(this);
    move(100, 100);
    setDockOptions(QMainWindow::ForceTabbedDocks);
    build_docks();
    statusBar()->addWidget(link_health_, 1);
    statusBar()->addPermanentWidget(status_bands_);
    setWindowTitle(admin_mode ? tr("RO Vezovad") + tr(" <ADMIN_MODE>") : tr("RO Vezovad"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
    wire();
    if (!admin_mode) {
        // Not placed in a dock: the window still owns the tool bar and its dialogs.
        tool_admin_->setParent(this, Qt::Widget);
        tool_admin_->hide();
    }
    // Only an administrator's session leaves a preset behind.
    tool_admin_->device_admin->set_preset_at_exit(admin_mode);
    use_c_number_locale(this);
    clock.start();
    health_timer->start(500);
}

MainWindow::~MainWindow() {
    delete ui;
    if (device != nullptr) {
        if (record_status) device->stop_recording();
        device->stop();
        device->disconnect();
        delete device;
        device = nullptr;
    }
}

void MainWindow::build_docks() {
    addDockWidget(Qt::LeftDockWidgetArea, make_dock(this, "user_Dock", tool_user_));
    if (admin_mode) addDockWidget(Qt::RightDockWidgetArea, make_dock(this, "admin_Dock", tool_admin_));
    QDockWidget* playbar = make_dock(this, "playbar_Dock", tool_playbar_);
    addDockWidget(Qt::BottomDockWidgetArea, playbar);
    QDockWidget* log = make_dock(this, "log_Dock", tool_log_);
    log->setAllowedAreas(Qt::BottomDockWidgetArea);
    addDockWidget(Qt::BottomDockWidgetArea, log);
    splitDockWidget(playbar, log, Qt::Vertical);
    QDockWidget* cloud = make_dock(this, "pointcloud_Dock", viewer_pointcloud_);
    setCorner(Qt::TopLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::TopRightCorner, Qt::RightDockWidgetArea);
    setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
    setCentralWidget(cloud);
    addDockWidget(Qt::TopDockWidgetArea, make_dock(this, "image_Dock", viewer_image_));
}

void MainWindow::wire() {
    menu_connection* connection = tool_user_->connection;
    menu_device_user* device_user = tool_user_->device_user;
    menu_device_admin* device_admin = tool_admin_->device_admin;

    connect(this, &MainWindow::send_main_close_all, tool_user_, &tool_user::get_tool_close_all);
    connect(this, &MainWindow::send_main_close_all, tool_admin_, &tool_admin::get_tool_close_all);
    connect(frame_timer, &QTimer::timeout, this, &MainWindow::on_frame_timer);
    connect(this, &MainWindow::send_main_btn_connect_control, connection,
            &menu_connection::get_menu_btn_connect_control);
    connect(connection, &menu_connection::send_menu_connect_status, this, &MainWindow::get_main_connect_status);
    connect(tool_user_, &tool_user::send_tool_play_mode, this, &MainWindow::get_main_playmode_status);
    connect(message_timer, &QTimer::timeout, this, &MainWindow::on_message_timer);
    connect(device_user, &menu_device_user::send_menu_current_network, this, &MainWindow::get_main_network_change);
    connect(device_user, &menu_device_user::send_menu_device_reset, this, &MainWindow::get_main_device_reset);
    connect(this, &MainWindow::send_main_current_network, device_user, &menu_device_user::get_menu_current_network);
    connect(this, &MainWindow::send_main_current_network, device_admin,
            &menu_device_admin::get_menu_current_network);
    connect(tool_playbar_, &tool_playbar::send_tool_play_button, this, &MainWindow::get_main_playmode_play_button);
    connect(tool_playbar_, &tool_playbar::send_tool_stop_button, this, &MainWindow::get_main_playmode_stop_button);
    connect(this, &MainWindow::send_main_playmode_FPS, tool_playbar_, &tool_playbar::get_tool_FPS);
    connect(tool_playbar_, &tool_playbar::send_tool_speed, this, &MainWindow::get_main_playmode_speed);
    connect(tool_playbar_, &tool_playbar::send_tool_current_frame, this,
            &MainWindow::get_main_playmode_currrent_frame);
    connect(tool_playbar_, &tool_playbar::send_tool_slider_status, this,
            &MainWindow::get_main_playmode_slider_status);
    connect(this, &MainWindow::send_main_playmode_current_frame, tool_playbar_, &tool_playbar::set_current_frame);
    connect(tool_playbar_, &tool_playbar::send_tool_record, this, &MainWindow::get_main_playmode_record);
    connect(tool_playbar_, &tool_playbar::send_tool_capture, viewer_pointcloud_,
            &viewer_pointcloud::get_viewer_playmode_capture);
    connect(this, &MainWindow::send_main_stream_mode, tool_playbar_, &tool_playbar::get_tool_stream_mode);
    connect(this, &MainWindow::send_main_stream_mode, tool_user_, &tool_user::get_tool_connection_status);
    connect(this, &MainWindow::send_main_record_status, tool_playbar_, &tool_playbar::get_tool_record_status);
    connect(tool_user_, &tool_user::send_tool_pointcloud, this, &MainWindow::get_main_pointcloud);
    connect(this, &MainWindow::send_main_pointcloud_point_color, viewer_pointcloud_,
            &viewer_pointcloud::get_main_pointcloud_point_color);
    connect(this, &MainWindow::send_main_pointcloud_point_size, viewer_pointcloud_,
            &viewer_pointcloud::get_main_pointcloud_point_size);
    connect(this, &MainWindow::send_main_pointcloud_max_dist, viewer_pointcloud_,
            &viewer_pointcloud::get_main_pointcloud_max_dist);
    connect(this, &MainWindow::send_main_pointcloud_min_dist, viewer_pointcloud_,
            &viewer_pointcloud::get_main_pointcloud_min_dist);
    connect(viewer_image_, &viewer_image::send_viewer_image_ambient_img, viewer_pointcloud_,
            &viewer_pointcloud::get_viewer_image_ambient_img);
    connect(viewer_image_, &viewer_image::send_viewer_image_depth_img, viewer_pointcloud_,
            &viewer_pointcloud::get_viewer_image_depth_img);
    connect(viewer_image_, &viewer_image::send_viewer_image_intensity_img, viewer_pointcloud_,
            &viewer_pointcloud::get_viewer_image_intensity_img);
    connect(viewer_image_, &viewer_image::send_viewer_image_cloud_legend, viewer_pointcloud_,
            &viewer_pointcloud::get_viewer_image_cloud_legend);
    connect(tool_user_, &tool_user::send_tool_image, this, &MainWindow::get_main_image);
    connect(this, &MainWindow::send_main_image_auto_norm_ambient, viewer_image_,
            &viewer_image::get_main_image_auto_norm_ambient);
    connect(this, &MainWindow::send_main_image_auto_norm_depth, viewer_image_,
            &viewer_image::get_main_image_auto_norm_depth);
    connect(this, &MainWindow::send_main_image_auto_norm_intensity, viewer_image_,
            &viewer_image::get_main_image_auto_norm_intensity);
    connect(this, &MainWindow::send_main_image_min_val_ambient, viewer_image_,
            &viewer_image::get_main_image_min_val_ambient);
    connect(this, &MainWindow::send_main_image_min_val_depth, viewer_image_,
            &viewer_image::get_main_image_min_val_depth);
    connect(this, &MainWindow::send_main_image_min_val_intensity, viewer_image_,
            &viewer_image::get_main_image_min_val_intensity);
    connect(this, &MainWindow::send_main_image_max_val_ambient, viewer_image_,
            &viewer_image::get_main_image_max_val_ambient);
    connect(this, &MainWindow::send_main_image_max_val_depth, viewer_image_,
            &viewer_image::get_main_image_max_val_depth);
    connect(this, &MainWindow::send_main_image_max_val_intensity, viewer_image_,
            &viewer_image::get_main_image_max_val_intensity);
    connect(this, &MainWindow::send_main_image_hist_mode_ambient, viewer_image_,
            &viewer_image::get_main_image_hist_mode_ambient);
    connect(this, &MainWindow::send_main_image_hist_mode_depth, viewer_image_,
            &viewer_image::get_main_image_hist_mode_depth);
    connect(this, &MainWindow::send_main_image_hist_mode_intensity, viewer_image_,
            &viewer_image::get_main_image_hist_mode_intensity);
    connect(this, &MainWindow::send_main_image_grey_mode_ambient, viewer_image_,
            &viewer_image::get_main_image_grey_mode_ambient);
    connect(this, &MainWindow::send_main_image_grey_mode_depth, viewer_image_,
            &viewer_image::get_main_image_grey_mode_depth);
    connect(this, &MainWindow::send_main_image_grey_mode_intensity, viewer_image_,
            &viewer_image::get_main_image_grey_mode_intensity);
    connect(tool_playbar_, &tool_playbar::send_tool_capture, viewer_image_,
            &viewer_image::get_viewer_playmode_capture);
    connect(this, &MainWindow::send_main_status_data, tool_admin_, &tool_admin::get_tool_status_data);
    connect(tool_admin_->status, &menu_status::send_status_out_of_band, status_bands_, &tool_status_bands::show_out_of_band);
    connect(tool_user_, &tool_user::send_tool_grid, this, &MainWindow::get_main_grid);
    connect(tool_user_, &tool_user::send_tool_xy_axis, this, &MainWindow::get_main_xy_axis);
    connect(tool_user_, &tool_user::send_tool_yz_axis, this, &MainWindow::get_main_yz_axis);
    connect(tool_user_, &tool_user::send_tool_zx_axis, this, &MainWindow::get_main_zx_axis);
    connect(this, &MainWindow::send_main_grid, viewer_pointcloud_, &viewer_pointcloud::get_main_grid);
    connect(this, &MainWindow::send_main_xy_axis, viewer_pointcloud_, &viewer_pointcloud::get_main_xy_axis);
    connect(this, &MainWindow::send_main_yz_axis, viewer_pointcloud_, &viewer_pointcloud::get_main_yz_axis);
    connect(this, &MainWindow::send_main_zx_axis, viewer_pointcloud_, &viewer_pointcloud::get_main_zx_axis);
    connect(device_user, &menu_device_user::send_menu_firmware_upload, this,
            &MainWindow::get_main_firmware_upload);
    connect(this, &MainWindow::send_main_firmware_progress, device_user,
            &menu_device_user::get_menu_firmware_progress);
    connect(this, &MainWindow::send_main_tcp_message, device_user, &menu_device_user::get_menu_tcp_message);
    connect(tool_admin_, &tool_admin::send_tool_current_setting, this, &MainWindow::get_main_current_setting);
    connect(tool_user_, &tool_user::send_tool_current_setting, this, &MainWindow::get_main_current_setting);
    connect(tool_user_, &tool_user::send_tool_apply_user, this, &MainWindow::get_main_apply_device);
    connect(tool_user_, &tool_user::send_tool_apply_data_processing, this,
            &MainWindow::get_main_apply_data_processing);
    connect(tool_admin_, &tool_admin::send_tool_apply_admin, this, &MainWindow::get_main_apply_device);
    connect(tool_admin_, &tool_admin::send_tool_apply_data_processing, this,
            &MainWindow::get_main_apply_data_processing);
    connect(tool_admin_, &tool_admin::send_tool_write_setting, this, &MainWindow::get_main_write_flash);
    connect(device_admin, &menu_device_admin::send_menu_register_read, this, &MainWindow::get_main_register_read);
    connect(device_admin, &menu_device_admin::send_menu_register_write, this,
            &MainWindow::get_main_register_write);
    connect(device_admin, &menu_device_admin::send_menu_firmware_upload, this,
            &MainWindow::get_main_firmware_upload);
    connect(this, &MainWindow::send_main_firmware_progress, device_admin,
            &menu_device_admin::get_menu_firmware_progress);
    connect(this, &MainWindow::send_main_tcp_message, device_admin, &menu_device_admin::get_menu_tcp_message);
    connect(this, &MainWindow::send_main_data, viewer_image_, &viewer_image::updateScene);
    connect(this, &MainWindow::send_main_data, viewer_pointcloud_, &viewer_pointcloud::updatePointCloud);
    connect(this, &MainWindow::send_main_histogram, tool_admin_->histogram, &menu_histogram::update_histogram);
    connect(this, &MainWindow::send_main_lens_cal_data, tool_admin_, &tool_admin::get_tool_lens_cal_data);
    connect(this, &MainWindow::send_main_data, tool_admin_->image_analysis, &menu_image_analysis::updateScene);
    connect(this, &MainWindow::send_main_data, tool_admin_->depth_quality, &menu_depth_quality::updateScene);  // after image analysis
    connect(this, &MainWindow::send_main_sensor_identity, tool_admin_->depth_quality, &menu_depth_quality::get_main_sensor_identity);
    connect(this, &MainWindow::send_main_data, tool_admin_->board_align, &menu_board_align::updateScene);
    connect(this, &MainWindow::send_main_data, tool_admin_->offset_cal, &menu_offset_cal::updateScene);
    connect(this, &MainWindow::send_main_log_message, tool_log_, &tool_log::append_log);
    connect(viewer_image_, &viewer_image::send_viewer_log, this, &MainWindow::get_main_log);
    connect(viewer_pointcloud_, &viewer_pointcloud::send_viewer_log, this, &MainWindow::get_main_log);       // capture failures, measurements
    connect(viewer_image_, &viewer_image::send_viewer_pixel_picked, viewer_pointcloud_, &viewer_pointcloud::select_pixel); // the ruler
    connect(tool_admin_, &tool_admin::send_tool_log, this, &MainWindow::get_main_log);                       // calibration tools
    connect(health_timer, &QTimer::timeout, this, &MainWindow::on_health_timer);                             // status bar, silent sensor
}

void MainWindow::log(const QString& msg) { emit send_main_log_message(msg); }

void MainWindow::closeEvent(QCloseEvent* event) {
    emit send_main_close_all();
    event->accept();
}

// ---- connection ---------------------------------------------------------

void MainWindow::get_main_connect_status(bool on) {
    if (!on) {
        get_main_device_disconnect();
        return;
    }
    if (play_mode) {
        get_main_device_disconnect();
        play_mode = false;
    }
    commands.connect_requested = true;
    get_main_device_connect();
}

void MainWindow::get_main_playmode_status(bool on) {
    if (on) {
        play_mode = true;
        file_path = tool_user_->file_path;
        get_main_device_connect();
    } else {
        // Still in play mode while closing, so that the log names the file
        // that is closed rather than a stream that was never open.
        get_main_device_disconnect();
        play_mode = false;
    }
}

void MainWindow::get_main_device_connect() {
    if (connecting) return;
    wait_cursor busy;
    if (device != nullptr) return;
    // A connection asked for now ends the one being sought again.
    if (keeper.reconnecting()) get_main_device_disconnect();
    device = new TAVRIN::DadodUz();

    if (play_mode) {
        if (!device->connect_file(file_path.toUtf8().toStdString())) {
            const QString reason = QString::fromStdString(device->get_last_error());
            log(tr("[Play mode] Cannot open the file: ") + reason);
            const QString text = tr("Cannot read the binary file. Please check the file path.");
            emit send_main_open_failed(text, reason);
            dialog_seam::warning(this, tr("Warning"), text);
            return; // the handle is released by the next disconnect
        }
        log(tr("[Play mode] Connect File : ") + file_path);
        emit send_main_stream_mode(false);
        current_frame = 0;
        total_frame = 0;
        device->get_logging_file_size(total_frame);
        tool_playbar_->set_total_frame(total_frame);
        // A new recording starts at its first frame, also on the play bar.
        tool_playbar_->set_current_frame(0);
        playmode_fps = 10.0;
        if (total_frame > 1) {
            scene_t probe;
            device->get_scene(probe, 0);
            const std::uint64_t t0 = probe.timestamp.empty() ? 0 : probe.timestamp[0];
            device->get_scene(probe, 1);
            const std::uint64_t t1 = probe.timestamp.empty() ? 0 : probe.timestamp[0];
            playmode_fps = frame_rate::between(t0, t1, 10.0);
        }
        emit send_main_playmode_FPS(playmode_fps);
        // The status monitor's chart reads the recording's status records around the frame shown.
        tool_admin_->status->follow_recording(
            [this](std::uint64_t index, sensing_packet_t& packet) {
                return device != nullptr && play_mode && device->get_sensing_packet(packet, index);
            },
            total_frame);
        frame_timer->start(100);
        return;
    }

    menu_connection* connection = tool_user_->connection;
    device_ip = connection->device_ip.toUtf8().toStdString();
    device_port = connection->device_port;
    local_ip = connection->local_ip.toUtf8().toStdString();
    local_port = connection->local_port;
    // The hello and the run command wait for the sensor's answers: on a thread
    // of their own, so that a slow or silent sensor does not freeze the window.
    // The window sees the handle only when both have returned.
    enum class outcome { refused, run_failed, running };
    std::unique_ptr<TAVRIN::DadodUz> handle(device);
    device = nullptr;
    const TAVRIN::IP_ADDRESS_T sensor{device_ip, device_port};
    const TAVRIN::IP_ADDRESS_T local{local_ip, local_port};
    connecting = true;
    const outcome result = off_thread::wait_for([&handle, sensor, local] {
        if (!handle->connect(sensor, local)) return outcome::refused;
        return handle->tcp_device_run() ? outcome::running : outcome::run_failed;
    });
    connecting = false;
    device = handle.release();
    if (result == outcome::refused) {
        const QString reason = QString::fromStdString(device->get_last_error());
        log(tr("[Stream mode] Cannot connect: ") + reason);
        const QString text = tr("Cannot connect to device. Please check the connection informations.");
        emit send_main_open_failed(text, reason);
        dialog_seam::warning(this, tr("Warning"), text);
        get_main_device_disconnect();
        return;
    }
    begin_stream(result == outcome::running);
}

// The start of a stream on a connected handle, after a connect (whose run
// command has been answered already) or a reconnection.
void MainWindow::begin_stream(std::optional<bool> run_answered) {
    std::vector<QString> network = {QString::fromStdString(device_ip), QString::number(device_port),
                                     QString::fromStdString(local_ip), QString::number(local_port)};
    emit send_main_current_network(network);
    log(tr("[Stream mode] Connect GX device"));
    emit send_main_stream_mode(true);
    message_timer->start(100);
    health.reset();
    keeper.start(clock.elapsed());
    if (run_answered)
        finish_run(*run_answered);
    else
        get_main_device_run();
    // A run command that failed has disconnected already: the dialog keeps "Connect".
    if (device != nullptr) emit send_main_btn_connect_control(true);
}

void MainWindow::get_main_device_disconnect() {
    wait_cursor busy;
    const bool was_reconnecting = keeper.reconnecting();
    keeper.stop();
    // Without a handle, only a connection that was being sought again is left to end.
    if (device == nullptr && !was_reconnecting) return;
    if (device != nullptr) {
        // The recording ends with the connection; the play bar goes back to "Record".
        if (record_status) finish_recording();
        log(play_mode ? tr("[Play mode] Disconnect File : ") + file_path : tr("[Stream mode] Disconnect GX Device"));
        release_device();
    } else {
        log(tr("[Stream mode] Disconnect GX Device"));
    }
    link_health_->clear();
    emit send_main_btn_connect_control(false);
    emit send_main_stream_mode(false);
}

// Ends the running recording; the file is finished and kept. False (and a log
// line) when some frames could not be written to it.
bool MainWindow::finish_recording() {
    const bool complete = device->stop_recording();
    if (!complete) log(tr("[Stream mode] The recording is incomplete: some frames could not be written to the file."));
    record_status = false;
    emit send_main_record_status(false);
    return complete;
}

// Closes and frees the handle. Nothing is left to fetch (an idle 0 ms timer
// would only spin), and a command the sensor never answered ends with the
// connection: no flag or firmware watchdog carries over into the next one.
void MainWindow::release_device() {
    frame_timer->stop();
    message_timer->stop();
    tool_admin_->status->follow_stream();
    device->stop();
    device->disconnect();
    delete device;
    device = nullptr;
    commands = command_flow::state{};
    cancel_setting_requests();
}

// A configuration request that will not be answered: no tool bar or dialog
// keeps waiting, so the next answer goes to whoever asks for it then.
void MainWindow::cancel_setting_requests() {
    tool_user_->setting_requested = false;
    tool_admin_->cancel_current_setting();
}

// ---- frame tick ---------------------------------------------------------

void MainWindow::emit_frame() {
    ++emitted_frames;
    if (tool_admin_->lens_cal_mode)
        emit send_main_lens_cal_data(frame);
    else
        emit send_main_data(frame);
}

void MainWindow::on_frame_timer() {
    if (device == nullptr) return;
    if (device->get_histogram(histogram)) emit send_main_histogram(histogram);

    bool fetched = false; // a new frame was shown (not one shown again while paused)
    if (!play_mode) {
        if (device->get_scene(frame)) {
            fetched = true;
            const std::uint64_t t = frame.timestamp.empty() ? previous_timestamp : frame.timestamp[0];
            // A stamp that does not advance (a restarted sensor clock) keeps the
            // last rate; the next frame measures from it again.
            const double rate = frame_rate::between(previous_timestamp, t, last_rate);
            previous_timestamp = t;
            last_rate = rate;
            emit_frame();
            if (device == nullptr) return;
            emit send_main_playmode_FPS(rate);
            if (frame_timer->interval() != 0) frame_timer->setInterval(0);
        } else if (frame_timer->interval() == 0) {
            // Nothing ready: poll every millisecond instead of spinning the
            // event loop until the next frame arrives.
            frame_timer->setInterval(kIdlePollMs);
        }
    } else if (playing && slider_released) {
        if (current_frame < total_frame) {
            if (device->get_scene(frame, current_frame)) {
                fetched = true;
                emit_frame();
            }
            ++current_frame;
            tool_playbar_->set_current_frame(current_frame);
        } else if (current_frame == total_frame && tool_playbar_->repeat) {
            current_frame = 0;
            tool_playbar_->set_current_frame(0);
        }
    } else if (stopped && slider_released) {
        current_frame = 0;
        tool_playbar_->set_current_frame(0);
    } else {
        if (!slider_released && device->get_scene(frame, current_frame)) {
            fetched = true;
            emit_frame();
        }
        if (!frame.ambient.empty()) emit_frame();
    }
    if (device == nullptr) return;

    sensing_packet_t sensing;
    const bool got = play_mode ? device->get_sensing_packet(sensing, current_frame) : device->get_sensing_packet(sensing);
    if (play_mode) tool_admin_->status->show_frame(current_frame);
    if (got) {
        last_status = sensing;
        emit send_main_status_data(sensing);
    }
    // A copy into the server's mailbox; the sockets are served elsewhere.
    if (fetched && foxglove_) foxglove_->publish(frame, last_status);
}

bool MainWindow::serve_foxglove(const foxglove::listen_address& where, std::string& error) {
    auto server = std::make_unique<foxglove::server>();
    if (!server->start(where, error)) return false;
    foxglove_ = std::move(server);
    if (foxglove_label_ == nullptr) {
        foxglove_label_ = new QLabel(this);
        statusBar()->addPermanentWidget(foxglove_label_);
    }
    foxglove_label_->setText(QString::fromStdString(foxglove::summary_text(foxglove_->counters())));
    return true;
}

// ---- play bar -----------------------------------------------------------

void MainWindow::get_main_playmode_play_button(bool enable) { playing = enable; }

void MainWindow::get_main_playmode_stop_button(bool enable) { stopped = enable; }

void MainWindow::get_main_playmode_slider_status(bool released) { slider_released = released; }

void MainWindow::get_main_playmode_currrent_frame(uint64_t frame_index) { current_frame = frame_index; }

void MainWindow::get_main_playmode_speed(double val) {
    speed = val;
    const int interval = frame_rate::play_interval_ms(playmode_fps, speed);
    // Without a recording the rate is 0: the tick keeps its interval.
    if (interval >= 0) frame_timer->setInterval(interval);
    emit send_main_playmode_FPS(interval >= 0 ? playmode_fps * speed : 0.0);
}

void MainWindow::get_main_playmode_record(bool enable) {
    if (enable) {
        if (device == nullptr) return;
        if (play_mode) {
            // Only a live stream can be recorded.
            dialog_seam::warning(this, tr("Warning"), tr("Recording needs a live stream. Please connect to the GX device."));
            record_status = false;
            emit send_main_record_status(false);
            return;
        }
        const QString name =
            dialog_seam::save_file_name(this, tr("Record GX Data"), QDir::homePath(), tr("GX Data(*.bin)"));
        // The dialog runs an event loop: the device may be gone by now.
        if (!name.isEmpty() && device != nullptr) {
            record_status = device->start_recording(name.toUtf8().toStdString());
            record_path = name;
            if (!record_status)
                dialog_seam::warning(this, tr("Warning"), tr("Cannot record to the file. Please check the file path."));
        } else {
            record_status = false;
        }
        emit send_main_record_status(record_status);
        return;
    }
    const bool was_recording = record_status;
    const bool complete = device == nullptr || device->stop_recording() || !was_recording;
    record_status = false;
    emit send_main_record_status(false);
    if (!complete)
        dialog_seam::warning(this, tr("Warning"),
                             tr("The recording is incomplete: some frames could not be written to the file."));
}

// ---- view settings relays -----------------------------------------------

void MainWindow::get_main_pointcloud(bool apply) {
    if (apply) pointcloud = tool_user_->pointcloud;
    emit send_main_pointcloud_point_color(pointcloud.point_color);
    emit send_main_pointcloud_point_size(pointcloud.point_size);
    emit send_main_pointcloud_max_dist(pointcloud.max_distance);
    emit send_main_pointcloud_min_dist(pointcloud.min_distance);
}

void MainWindow::get_main_image(bool apply) {
    if (apply) image = tool_user_->image;
    emit send_main_image_auto_norm_ambient(image.ambient.auto_norm);
    emit send_main_image_auto_norm_depth(image.depth.auto_norm);
    emit send_main_image_auto_norm_intensity(image.intensity.auto_norm);
    emit send_main_image_min_val_ambient(image.ambient.min_val);
    emit send_main_image_min_val_depth(image.depth.min_val);
    emit send_main_image_min_val_intensity(image.intensity.min_val);
    emit send_main_image_max_val_ambient(image.ambient.max_val);
    emit send_main_image_max_val_depth(image.depth.max_val);
    emit send_main_image_max_val_intensity(image.intensity.max_val);
    emit send_main_image_hist_mode_ambient(image.ambient.hist_mode);
    emit send_main_image_hist_mode_depth(image.depth.hist_mode);
    emit send_main_image_hist_mode_intensity(image.intensity.hist_mode);
    emit send_main_image_grey_mode_ambient(image.ambient.grey_mode);
    emit send_main_image_grey_mode_depth(image.depth.grey_mode);
    emit send_main_image_grey_mode_intensity(image.intensity.grey_mode);
}

void MainWindow::get_main_grid(bool enable) {
    if (!enable) return;
    grid = true;
    emit send_main_grid(true);
}

void MainWindow::get_main_xy_axis(bool enable) {
    if (!enable) return;
    xy_axis = true;
    emit send_main_xy_axis(true);
}

void MainWindow::get_main_yz_axis(bool enable) {
    if (!enable) return;
    yz_axis = true;
    emit send_main_yz_axis(true);
}

void MainWindow::get_main_zx_axis(bool enable) {
    if (!enable) return;
    zx_axis = true;
    emit send_main_zx_axis(true);
}

void MainWindow::get_main_log(QString msg) { emit send_main_log_message(msg); }

// ---- device commands ----------------------------------------------------

void MainWindow::get_main_device_run() {
    if (device != nullptr) finish_run(device->tcp_device_run());
}

void MainWindow::finish_run(bool running) {
    if (running) {
        frame_timer->start(0);
        return;
    }
    dialog_seam::warning(this, tr("Warning"), tr("TCP device run command is failed."));
    get_main_device_disconnect();
    emit send_main_btn_connect_control(false);
}

void MainWindow::get_main_device_stop() {
    if (device != nullptr) device->tcp_device_stop();
}

void MainWindow::get_main_device_reset() {
    if (play_mode || device == nullptr) return;
    // The sensor closes the connection on purpose: it is not sought again.
    keeper.stop();
    if (!device->tcp_software_reset())
        dialog_seam::warning(this, tr("Warning"), tr("TCP restart command is failed."));
    else
        dialog_seam::information(this, tr("notice"), tr("Device is automatically restarted."));
    get_main_device_disconnect();
}

void MainWindow::get_main_apply_device(configurations_t& configuration_) {
    if (play_mode) return;
    if (device == nullptr) {
        dialog_seam::warning(this, tr("Warning"), tr("Please, try again after connection."));
        return;
    }
    device->stop();
    const bool ok = device->configuration(configuration_);
    log(tr("[Device Setting] GX setting is updated"));
    device->start();
    if (!ok) dialog_seam::warning(this, tr("Warning"), tr("Configuration is failed."));
}

void MainWindow::get_main_apply_data_processing(std::vector<int>& p) {
    if (device == nullptr) return;
    const std::optional<gx::filter_params> filters = filter_list::read(p);
    if (!filters) return; // a list without the ten entries configures nothing
    apply_filters(*filters);
}

void MainWindow::apply_filters(const gx::filter_params& f) {
    filters_applied = f;
    device->set_zigzag_filling_enable(f.zigzag_filling);
    device->set_deflaring_enable(f.deflaring);
    device->set_real_ambient_enable(f.real_ambient);
    device->set_line_filling_enable(f.line_filling);
    device->set_line_filling_left_offset(f.line_left_offset);
    device->set_line_filling_right_offset(f.line_right_offset);
    device->set_deflaring_retro_threshold(f.retro_threshold);
    device->set_deflaring_depth_diff(f.deflaring_depth_diff);
    device->set_zigzag_depth_diff(f.zigzag_depth_diff);
    device->set_zigzag_smoothing_factor(f.zigzag_smoothing);
}

void MainWindow::get_main_current_setting() {
    if (play_mode) {
        cancel_setting_requests();
        return;
    }
    if (device == nullptr) {
        cancel_setting_requests();
        dialog_seam::warning(this, tr("Warning"), tr("Please retry after connect GX device."));
        return;
    }
    device->tcp_device_stop();
    commands.setting_requested = true;
    if (!device->tcp_register_read()) {
        dialog_seam::warning(this, tr("Warning"), tr("Time out."));
        get_main_device_disconnect();
    }
}

void MainWindow::get_main_register_read(QString dir) {
    if (play_mode || device == nullptr) return;
    device->tcp_device_stop();
    const auto buffer = path_buffer(dir);
    commands.register_read_follow_up = true;
    if (device->tcp_register_read(buffer.data()))
        log(tr("[Device Setting] Save GX Register File : ") + dir);
    else
        dialog_seam::warning(this, tr("Warning"), tr("TCP register read command is failed."));
}

void MainWindow::get_main_register_write(QString dir) {
    if (play_mode || device == nullptr) return;
    device->tcp_device_stop();
    const auto buffer = path_buffer(dir);
    register_file_path = dir;
    commands.register_write_pending = true;
    if (device->tcp_register_write(buffer.data())) {
        dialog_seam::information(this, tr("notice"), tr("GX Reigster Update Complete!\r\nPlease restart GX device ."));
    } else {
        dialog_seam::warning(this, tr("Warning"), tr("TCP register write command is failed."));
        get_main_device_disconnect();
    }
}

void MainWindow::get_main_write_flash() {
    if (play_mode || device == nullptr) return;
    device->tcp_device_stop();
    if (device->tcp_memory_upload())
        dialog_seam::information(this, tr("notice"), tr("GX Flash Update Complete!\r\nPlease restart GX device ."));
    else
        dialog_seam::warning(this, tr("Warning"), tr("TCP memory upload command is failed."));
}

void MainWindow::get_main_firmware_upload(QString dir) {
    if (play_mode || device == nullptr) return;
    device->tcp_device_stop();
    const auto buffer = path_buffer(dir);
    const auto answer = dialog_seam::question(nullptr, QString(),
                                              tr("Do you want to upload firmware?\n%1").arg(QString::fromUtf8(buffer.data())),
                                              QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok) return;
    if (device == nullptr) return; // disconnected while the question was open
    if (!device->tcp_fw_upload(buffer.data()))
        dialog_seam::warning(this, tr("Warning"), tr("TCP firmware upload command is failed."));
    commands.firmware_started();
}

void MainWindow::get_main_network_change(std::vector<QString>& msg) {
    if (msg.size() < 4) return;
    const device_message::network_settings net{msg[0].toStdString(), msg[1].toStdString(), msg[2].toStdString(),
                                               msg[3].toStdString()};
    // The caller's list is left with the addresses as the file has them.
    msg[0].replace('.', ',');
    msg[2].replace('.', ',');
    const QString path = QDir::homePath() + "/GX_connect_setting.txt";
    if (QFile::exists(path)) QFile::remove(path);
    QFile file(path);
    if (file.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Text)) {
        QTextStream out(&file);
        out.setCodec("UTF-8");
        for (const std::string& line : device_message::network_file_lines(net)) out << QString::fromStdString(line) << "\n";
        file.close();
    }
    get_main_register_write(path);
}

// ---- device messages ----------------------------------------------------

void MainWindow::report_firmware(const command_flow::firmware_progress& p) {
    emit send_main_firmware_progress(p.signal_value());
}

void MainWindow::on_message_timer() {
    if (device == nullptr) return;
    // A box opened by this handler runs an event loop in which the timer keeps
    // firing; those ticks wait until the box is answered.
    if (in_message_tick) return;
    in_message_tick = true;
    struct leave {
        bool& flag;
        ~leave() { flag = false; }
    } leave_tick{in_message_tick};

    // Every end of a firmware upload resets the sensor and disconnects.
    auto end_firmware = [this](bool close_all) {
        keeper.stop();
        // A box's event loop may have disconnected already: then there is
        // nothing to reset, but the dialogs still learn that the upload ended.
        if (device != nullptr && !device->tcp_software_reset())
            dialog_seam::warning(this, tr("Warning"), tr("TCP restart command is failed."));
        if (close_all) emit send_main_close_all();
        report_firmware(command_flow::firmware_progress::ended());
        get_main_device_disconnect();
    };

    if (commands.watchdog_tick().what == command_flow::step::firmware_timeout) {
        dialog_seam::critical(this, tr("Warning"), tr("Firmware Update Failed.Timeout."));
        end_firmware(false);
        return;
    }

    TAVRIN::_TCP_PROTOCOL_T* msg = message.get();
    if (!device->tcp_get_message(*msg)) return;
    if (msg->length > TAVRIN::_TCP_PROTOCOL_T::kMaxData) msg->length = TAVRIN::_TCP_PROTOCOL_T::kMaxData;
    msg->data[msg->length] = 0;
    const std::string t = device_message::text(*msg);
    const QString text = QString::fromStdString(t);
    const command_flow::decision d =
        commands.on_message(msg->type[0], msg->type[1], t, reinterpret_cast<const char*>(msg->data));

    switch (d.what) {
    case command_flow::step::firmware_progress: report_firmware(d.progress); return;
    case command_flow::step::firmware_finished:
        report_firmware(command_flow::firmware_progress::at(100));
        log(tr("[Device Setting] GX Firmware is updated"));
        dialog_seam::information(this, tr("Update Complete"), tr("Update Complete!\r\nDevice will automatically restart now."));
        end_firmware(true);
        return;
    case command_flow::step::firmware_failed:
        dialog_seam::critical(this, tr("Warning"), tr("Firmware Update Failed."));
        end_firmware(false);
        return;
    case command_flow::step::register_dump: {
        device_message::parse_register_dump(t, configuration);
        const device_message::identity who = device_message::dump_identity(t);
        const std::string serial = device->get_serial_number();
        emit send_main_sensor_identity(QString::fromStdString(serial.empty() ? who.serial : serial),
                                       QString::fromStdString(who.firmware_version));
        if (tool_user_->setting_requested)
            tool_user_->receive_current_setting(configuration);
        else if (tool_admin_->setting_requested)
            tool_admin_->receive_current_setting(configuration);
        get_main_device_run();
        return;
    }
    case command_flow::step::flash_written:
        if (d.log_flash) log(tr("[Device Setting] GX flash is updated"));
        emit send_main_tcp_message(text);
        emit send_main_close_all();
        get_main_device_disconnect();
        return;
    case command_flow::step::registers_loaded:
        if (d.chain_flash) {
            get_main_write_flash();
            emit send_main_tcp_message(text);
            return;
        }
        log(tr("[Device Setting] Load GX Register File : ") + register_file_path);
        emit send_main_tcp_message(text);
        emit send_main_close_all();
        get_main_device_disconnect();
        return;
    case command_flow::step::show_text:
    case command_flow::step::nothing:
    case command_flow::step::firmware_timeout:
        if (d.run_device) get_main_device_run();
        if (d.show) emit send_main_tcp_message(text);
        return;
    }
}

// ---- link health and reconnection ---------------------------------------

void MainWindow::on_health_timer() {
    const std::int64_t now = clock.elapsed();
    if (foxglove_ && now - foxglove_shown_ms_ >= 1000) {
        foxglove_shown_ms_ = now;
        foxglove_label_->setText(QString::fromStdString(foxglove::summary_text(foxglove_->counters())));
    }
    keeper.drop_finished();
    if (keeper.reconnecting()) {
        const TAVRIN::IP_ADDRESS_T sensor{device_ip, device_port};
        const TAVRIN::IP_ADDRESS_T local{local_ip, local_port};
        std::unique_ptr<TAVRIN::DadodUz> answered = keeper.search_tick(now, [sensor, local] {
            auto handle = std::make_unique<TAVRIN::DadodUz>();
            if (!handle->connect(sensor, local)) handle.reset();
            return handle;
        });
        if (answered) resume_stream(std::move(answered));
        else
            link_health_->show_fields(
                link_health::reconnecting(now - keeper.watch().last_heard_ms(), keeper.watch().attempts()));
        return;
    }
    if (device == nullptr) {
        link_health_->clear();
        return;
    }
    const TAVRIN::DadodUz::link_statistics_t stats = device->get_link_statistics();
    if (play_mode) {
        std::uint64_t frames = 0;
        if (device->get_logging_file_size(frames))
            link_health_->show_fields(
                link_health::play(QFileInfo(file_path).fileName().toUtf8().toStdString(), frames, stats.frames_damaged));
        else
            link_health_->clear(); // the file did not open
        return;
    }
    // A firmware update stops the sensor and has a watchdog of its own; a
    // message tick may be waiting for a box to be answered.
    if (!in_message_tick && !commands.firmware_updating) {
        const std::uint64_t activity =
            stats.frames_received + stats.frames_dropped + stats.histograms_received + stats.answers_received;
        if (keeper.streaming_tick(now, activity)) {
            link_lost();
            link_health_->show_fields(link_health::reconnecting(now - keeper.watch().last_heard_ms(), 0));
            return;
        }
    }
    link_health_->show_fields(health.stream(now, stats, record_status));
}

// The sensor stopped answering: the recording is finished and kept, the dead
// connection is closed, and the same connection is tried again in the background.
void MainWindow::link_lost() {
    log(tr("[Stream mode] GX device is not answering. Reconnecting every 2 seconds..."));
    if (record_status && finish_recording()) log(tr("[Stream mode] Recording saved : ") + record_path);
    release_device();
}

// A sensor sought again answered: streaming resumes on the new handle.
void MainWindow::resume_stream(std::unique_ptr<TAVRIN::DadodUz> handle) {
    device = handle.release();
    log(tr("[Stream mode] GX device answers again. Streaming is resumed."));
    // The library's filters were set on the old handle.
    if (filters_applied) apply_filters(*filters_applied);
    begin_stream();
}
