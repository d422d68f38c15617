#include "menus/menu_image_analysis.h"

menu_image_analysis::menu_image_analysis(QWidget* parent) : tool_dialog(parent, tr("GX Image Analysis")) {}

menu_image_analysis::~menu_image_analysis() = default;

void menu_image_analysis::updateScene(scene_t&) { }

void menu_image_analysis::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }

void menu_image_analysis::opened() { emit send_menu_current_setting(); }

void menu_image_analysis::closed() { emit send_close_ui(); }
