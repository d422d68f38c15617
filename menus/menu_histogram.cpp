#include "menus/menu_histogram.h"

#include <QIcon>

menu_histogram::menu_histogram(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("GX Histogram Viewer"));
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

menu_histogram::~menu_histogram() = default;

void menu_histogram::update_histogram(histogram_t&) { }

void menu_histogram::get_menu_current_setting(configurations_t configuration_) { configuration = configuration_; }
