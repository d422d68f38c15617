#include "menus/menu_lens_cal.h"

menu_lens_cal::menu_lens_cal(QWidget* parent) : tool_dialog(parent, tr("GX Lens-SPAD Calibration")) {
    setWindowModality(Qt::WindowModal);
}

menu_lens_cal::~menu_lens_cal() = default;

void menu_lens_cal::updatePointCloud(scene_t&) { }

void menu_lens_cal::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }

void menu_lens_cal::opened() { emit send_menu_current_setting(); }

void menu_lens_cal::closed() { emit send_menu_close_window(); }
