#include "menus/menu_image_analysis.h"

#include <QIcon>

menu_image_analysis::menu_image_analysis(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("GX Image Analysis"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

menu_image_analysis::~menu_image_analysis() = default;

void menu_image_analysis::updateScene(scene_t&) { }

void menu_image_analysis::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }
