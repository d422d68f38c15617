#include "tools/tool_admin.h"

#include "menus/menu_board_align.h"
#include "menus/menu_device_admin.h"
#include "menus/menu_histogram.h"
#include "menus/menu_image_analysis.h"
#include "menus/menu_lens_cal.h"
#include "menus/menu_offset_cal.h"
#include "menus/menu_status.h"

tool_admin::tool_admin(QWidget* parent)
    : QWidget(parent),
      device_admin(new menu_device_admin(this)),
      status(new menu_status(this)),
      histogram(new menu_histogram(this)),
      image_analysis(new menu_image_analysis(this)),
      board_align(new menu_board_align(this)),
      offset_cal(new menu_offset_cal(this)) {
    setObjectName("tool_admin");
    setFixedSize(62, 350);
}

tool_admin::~tool_admin() = default;

void tool_admin::receive_current_setting(configurations_t& configuration_) {
    setting_requested = false;
    configuration = configuration_;
    device_admin->get_menu_current_setting(configuration_);
}

void tool_admin::get_tool_lens_cal_data(scene_t& scene) { emit send_tool_lens_cal_data(scene); }

void tool_admin::get_tool_lens_cal_delete() {
    lens_cal_mode = false;
    emit send_tool_apply_admin(configuration);
}

void tool_admin::get_tool_apply_setting(configurations_t& configuration_) { emit send_tool_apply_admin(configuration_); }

void tool_admin::get_tool_apply_data_processing(std::vector<int>& params) {
    if (!params.empty()) emit send_tool_apply_data_processing(params);
}

void tool_admin::get_tool_status_data(sensing_packet_t& sensing) { status->update_status(sensing); }

void tool_admin::get_tool_close_ui() { emit send_tool_apply_admin(configuration); }

void tool_admin::get_tool_write_setting() { emit send_tool_write_setting(); }

void tool_admin::get_tool_current_setting_trigger() {
    setting_requested = true;
    emit send_tool_current_setting();
}

void tool_admin::get_tool_close_all() {
    if (device_admin->isVisible()) device_admin->close();
}
