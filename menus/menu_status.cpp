#include "menus/menu_status.h"

#include <QIcon>

menu_status::menu_status(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("GX Status"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

menu_status::~menu_status() = default;

void menu_status::update_status(sensing_packet_t&) { }
