#include "menus/menu_offset_cal.h"

#include <QIcon>

menu_offset_cal::menu_offset_cal(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("GX Offset Calibration"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

menu_offset_cal::~menu_offset_cal() = default;

void menu_offset_cal::updateScene(scene_t&) { }

void menu_offset_cal::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }
