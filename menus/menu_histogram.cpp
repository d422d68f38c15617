#include "menus/menu_histogram.h"

menu_histogram::menu_histogram(QWidget* parent) : tool_dialog(parent, tr("GX Histogram Viewer")) {}

menu_histogram::~menu_histogram() = default;

void menu_histogram::update_histogram(histogram_t&) { }

void menu_histogram::get_menu_current_setting(configurations_t configuration_) { configuration = configuration_; }

void menu_histogram::opened() { emit send_menu_current_setting(); }

void menu_histogram::closed() { emit send_close_ui(); }
