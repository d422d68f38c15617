// User tool bar: the narrow dock of icon buttons that opens the connection,
// user device settings, point cloud settings and image settings dialogs,
// loads a recording, and switches the point cloud view's grid and axis
// views. It owns the four dialogs and relays their requests to MainWindow;
// the view settings travel as copies, each hop reading its sender's public
// members when a bool-only signal arrives.
#pragma once

#include "device/DadodUz.h"

#include <QString>
#include "logic/view_settings.h"

#include <QWidget>
#include <vector>

class menu_connection;
class menu_device_user;
class menu_image;
class menu_pointcloud;

namespace Ui {
class tool_user;
}

class tool_user : public QWidget {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;

    explicit tool_user(QWidget* parent = nullptr);
    ~tool_user() override;

    // Hands the configuration MainWindow read from the sensor to the user
    // device settings dialog and clears setting_requested.
    void receive_current_setting(configurations_t& configuration);

    // The dialogs this tool bar owns (children of it, deleted with it).
    menu_connection* connection = nullptr;
    menu_device_user* device_user = nullptr;
    menu_image* image_menu = nullptr;
    menu_pointcloud* pointcloud_menu = nullptr;

    // Recording chosen with the load button; empty when cancelled.
    QString file_path;

    // Copies of the applied point cloud and image settings.
    view_settings::pointcloud_settings pointcloud;
    view_settings::image_settings image;

    // Set when the user device settings dialog asks for the current configuration.
    bool setting_requested = false;

signals:
    void send_tool_device_connection(bool enable);
    void send_tool_play_mode(bool);
    void send_tool_pointcloud(bool);
    void send_tool_image(bool);
    void send_tool_grid(bool);
    void send_tool_xy_axis(bool);
    void send_tool_yz_axis(bool);
    void send_tool_zx_axis(bool enalbe);
    void send_tool_current_setting();
    void send_tool_apply_user(configurations_t& configuration);
    void send_tool_apply_data_processing(std::vector<int>& params);

public slots:
    void get_tool_current_setting_trigger();
    void get_tool_apply_user(configurations_t& configuration);
    void get_tool_apply_data_processing(std::vector<int>& params);
    void get_tool_connection_status(bool enable);
    void get_tool_close_all();
    void on_btn_load_clicked();
    void on_btn_grid_clicked();
    void on_btn_xy_axis_clicked();
    void on_btn_yz_axis_clicked();
    void on_btn_zx_axis_clicked();
    void get_tool_pointcloud(bool enable);
    void get_tool_image(bool enable);

private:
    Ui::tool_user* ui;
};
