#include "menus/menu_device_admin.h"

#include "logic/preset_file.h"

#include <QIcon>

menu_device_admin::menu_device_admin(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("GX Device Settings(Admin)"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

menu_device_admin::~menu_device_admin() {
    if (!preset_at_exit) return;
    preset_file::control_values controls = preset_file::controls_from_record(configuration);
    if (network.size() >= 4) {
        controls.device_ip = network[0].toStdString();
        controls.device_port = network[1].toInt();
        controls.local_ip = network[2].toStdString();
        controls.local_port = network[3].toInt();
    }
    // A failed write says nothing: the program is ending.
    preset_file::write("./device.conf", configuration, controls);
}

void menu_device_admin::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }

void menu_device_admin::get_menu_current_network(std::vector<QString>& msg) { network = msg; }

void menu_device_admin::get_menu_firmware_progress(int) { }

void menu_device_admin::get_menu_tcp_message(QString) { }

void menu_device_admin::get_tool_calibration_path(QString) { }
