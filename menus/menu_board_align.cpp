#include "menus/menu_board_align.h"

menu_board_align::menu_board_align(QWidget* parent) : tool_dialog(parent, tr("GX Board Align")) {}

menu_board_align::~menu_board_align() = default;

void menu_board_align::updateScene(scene_t&) { }

void menu_board_align::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }

void menu_board_align::opened() { emit send_menu_current_setting(); }

void menu_board_align::closed() { emit send_close_ui(); }

void menu_board_align::update_status(sensing_packet_t&) {}
