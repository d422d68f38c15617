#include "menu_device_user.h"

#include <QIcon>

menu_device_user::menu_device_user(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("GX Device Settings"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

menu_device_user::~menu_device_user() = default;

void menu_device_user::get_menu_tcp_message(QString) {}

void menu_device_user::get_menu_firmware_progress(int) {}

void menu_device_user::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }

void menu_device_user::get_menu_current_network(std::vector<QString>& msg) { current_network = msg; }
