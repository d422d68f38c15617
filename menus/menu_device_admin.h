// GX Device Settings(Admin) dialog of the administrator tools. For now a shell with the
// connections the main window and the administrator tool bar make.
#pragma once

#include "device/DadodUz.h"

#include <QDialog>
#include <QString>
#include <vector>

class menu_device_admin : public QDialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;
    using scene_t = TAVRIN::DadodUz::scene_t;
    using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;
    using histogram_t = TAVRIN::DadodUz::histogram_t;

    explicit menu_device_admin(QWidget* parent = nullptr);
    // Writes the preset to "./device.conf" when that was asked for.
    ~menu_device_admin() override;

    // The preset is written to "./device.conf" at the end of the program in
    // administrator mode only; the main window turns it on.
    void set_preset_at_exit(bool on) { preset_at_exit = on; }
    bool writes_preset_at_exit() const { return preset_at_exit; }

signals:
    void send_menu_current_setting();
    void send_menu_apply_setting(configurations_t& configuration_);
    void send_menu_apply_data_procssing(std::vector<int>& params);
    void send_menu_write_setting();
    void send_menu_register_read(QString dir);
    void send_menu_register_write(QString dir);
    void send_menu_firmware_upload(QString dir);
    void send_menu_log(QString str);

public slots:
    void get_menu_current_setting(configurations_t& configuration_);
    void get_menu_current_network(std::vector<QString>& msg);
    void get_menu_firmware_progress(int val);
    void get_menu_tcp_message(QString str);
    void get_tool_calibration_path(QString dir);

private:
    configurations_t configuration{};
    std::vector<QString> network; // device IP, device port, PC IP, PC port last reported
    bool preset_at_exit = false;
};
