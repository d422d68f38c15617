#include "menu_device_admin.h"

#include <QIcon>

menu_device_admin::menu_device_admin(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("GX Device Settings(Admin)"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

menu_device_admin::~menu_device_admin() = default;

void menu_device_admin::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }

void menu_device_admin::get_menu_current_network(std::vector<QString>&) { }

void menu_device_admin::get_menu_firmware_progress(int) { }

void menu_device_admin::get_menu_tcp_message(QString) { }

void menu_device_admin::get_tool_calibration_path(QString) { }
