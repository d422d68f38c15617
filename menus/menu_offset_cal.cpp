#include "menus/menu_offset_cal.h"

menu_offset_cal::menu_offset_cal(QWidget* parent) : tool_dialog(parent, tr("GX Offset Calibration")) {}

menu_offset_cal::~menu_offset_cal() = default;

void menu_offset_cal::updateScene(scene_t&) { }

void menu_offset_cal::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }

void menu_offset_cal::opened() { emit send_menu_current_setting(); }

void menu_offset_cal::closed() { emit send_close_ui(); }
