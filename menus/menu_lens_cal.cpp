#include "menus/menu_lens_cal.h"

#include <QIcon>

menu_lens_cal::menu_lens_cal(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("GX Lens-SPAD Calibration"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

menu_lens_cal::~menu_lens_cal() = default;

void menu_lens_cal::updatePointCloud(scene_t&) { }

void menu_lens_cal::get_menu_current_setting(configurations_t& configuration_) { configuration = configuration_; }
