#include "menus/menu_board_align.h"

#include <QIcon>

menu_board_align::menu_board_align(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("GX Board Align"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

menu_board_align::~menu_board_align() = default;

void menu_board_align::updateScene(scene_t&) { }

void menu_board_align::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }
