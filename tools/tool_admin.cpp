#include "tools/tool_admin.h"

#include "logic/startup_options.h"
#include "logic/user_settings.h"
#include "menus/menu_board_align.h"
#include "menus/menu_depth_quality.h"
#include "menus/menu_device_admin.h"
#include "menus/menu_histogram.h"
#include "menus/menu_image_analysis.h"
#include "menus/menu_lens_cal.h"
#include "menus/menu_offset_cal.h"
#include "menus/menu_status.h"
#include "ui_tool_admin.h"

#include <QPushButton>
#include <algorithm>

tool_admin::tool_admin(QWidget* parent) : QWidget(parent), ui(new Ui::tool_admin) {
    ui->setupUi(this);
    setFixedSize(62, 400);

    device_admin = new menu_device_admin(this);
    status = new menu_status(this);
    histogram = new menu_histogram(this);
    image_analysis = new menu_image_analysis(this);
    board_align = new menu_board_align(this);
    offset_cal = new menu_offset_cal(this);
    depth_quality = new menu_depth_quality(this);

    connect(ui->btn_device_admin, &QPushButton::clicked, device_admin, &menu_device_admin::select_preset);
    connect(ui->btn_status, &QPushButton::clicked, status, &QWidget::show);

    connect(device_admin, &menu_device_admin::send_menu_current_setting, this,
            &tool_admin::get_tool_current_setting_trigger);
    connect(histogram, &menu_histogram::send_menu_current_setting, this, &tool_admin::get_tool_current_setting_trigger);
    connect(image_analysis, &menu_image_analysis::send_menu_current_setting, this,
            &tool_admin::get_tool_current_setting_trigger);
    connect(board_align, &menu_board_align::send_menu_current_setting, this,
            &tool_admin::get_tool_current_setting_trigger);
    connect(offset_cal, &menu_offset_cal::send_menu_current_setting, this,
            &tool_admin::get_tool_current_setting_trigger);
    connect(depth_quality, &menu_depth_quality::send_menu_current_setting, this,
            &tool_admin::get_tool_current_setting_trigger);

    connect(device_admin, &menu_device_admin::send_menu_apply_setting, this, &tool_admin::get_tool_apply_setting);
    connect(histogram, &menu_histogram::send_menu_apply_setting, this, &tool_admin::get_tool_apply_setting);
    connect(image_analysis, &menu_image_analysis::send_menu_apply_setting, this, &tool_admin::get_tool_apply_setting);
    connect(board_align, &menu_board_align::send_menu_apply_setting, this, &tool_admin::get_tool_apply_setting);

    connect(device_admin, &menu_device_admin::send_menu_apply_data_procssing, this,
            &tool_admin::get_tool_apply_data_processing);
    connect(histogram, &menu_histogram::send_menu_apply_data_procssing, this,
            &tool_admin::get_tool_apply_data_processing);

    connect(device_admin, &menu_device_admin::send_menu_write_setting, this, &tool_admin::get_tool_write_setting);

    connect(board_align, &menu_board_align::send_close_ui, this, &tool_admin::get_tool_close_ui);
    connect(histogram, &menu_histogram::send_close_ui, this, &tool_admin::get_tool_close_ui);
    connect(image_analysis, &menu_image_analysis::send_close_ui, this, &tool_admin::get_tool_close_ui);
    connect(offset_cal, &menu_offset_cal::send_close_ui, this, &tool_admin::get_tool_close_ui);
    connect(depth_quality, &menu_depth_quality::send_close_ui, this, &tool_admin::get_tool_close_ui);
    connect(offset_cal, &menu_offset_cal::send_menu_log, this, &tool_admin::send_tool_log);

    connect(this, &tool_admin::send_tool_calbiration_path, device_admin, &menu_device_admin::get_tool_calibration_path);
}

tool_admin::~tool_admin() {
    // The dialogs die with this widget; nothing they do on the way out may
    // reach the main window, which is being destroyed as well.
    for (QObject* child : children()) child->disconnect(this);
    delete ui;
}

void tool_admin::keep(const configurations_t& configuration_) {
    configuration = configuration_;
    record_received = true;
}

tool_admin::receiver tool_admin::receive_current_setting(configurations_t& configuration_) {
    setting_requested = false;
    if (device_admin->waiting_for_current_setting()) {
        device_admin->get_menu_current_setting(configuration_);
        return receiver::device_admin;
    }
    if (histogram->is_open()) {
        keep(configuration_);
        histogram->get_menu_current_setting(configuration_);
        return receiver::histogram;
    }
    if (image_analysis->is_open()) {
        keep(configuration_);
        image_analysis->get_menu_current_setting(configuration_);
        return receiver::image_analysis;
    }
    if (board_align->is_open()) {
        keep(configuration_);
        board_align->get_menu_current_setting(configuration_);
        return receiver::board_align;
    }
    if (offset_cal->is_open()) {
        keep(configuration_);
        // The tool measures the sensor without its offset tables and without
        // false returns: a false return at a random range pulls a channel's
        // or a half-row's mean by metres and spoils the table. Only the two
        // tables, the channel pairing and the threshold change; everything
        // after the tables, the emitter width included, stays as it is.
        configurations_t zeroed = configuration_;
        zeroed.dual_channel = 0;
        std::fill(std::begin(zeroed.vcsel_offset), std::end(zeroed.vcsel_offset), 0);
        std::fill(std::begin(zeroed.spad_offset), std::end(zeroed.spad_offset), 0);
        const auto& no_false_returns = user_settings::kFalsePositiveRates[0];
        std::copy(no_false_returns.begin(), no_false_returns.end(), zeroed.threshold_coe);
        emit send_tool_apply_admin(zeroed);
        offset_cal->get_menu_current_setting(zeroed);
        return receiver::offset_cal;
    }
    if (lens_cal != nullptr) {
        keep(configuration_);
        if (lens_cal->is_open()) {
            lens_cal->get_menu_current_setting(configuration_);
            lens_cal_mode = true;
        }
        return receiver::lens_cal;
    }
    if (depth_quality->is_open()) {
        keep(configuration_);
        depth_quality->get_menu_current_setting(configuration_);
        return receiver::depth_quality;
    }
    return receiver::none;
}

void tool_admin::cancel_current_setting() {
    setting_requested = false;
    device_admin->cancel_current_setting();
}

void tool_admin::get_tool_lens_cal_data(scene_t& scene) { emit send_tool_lens_cal_data(scene); }

void tool_admin::get_tool_lens_cal_delete() {
    // The tool that closed: with two tools open (a second press), the older
    // one may close first and only it goes.
    auto* closing = qobject_cast<menu_lens_cal*>(sender());
    if (closing == nullptr) closing = lens_cal;
    if (closing == nullptr) return;
    if (record_received) emit send_tool_apply_admin(configuration);
    closing->disconnect(this);
    disconnect(this, nullptr, closing, nullptr);
    if (closing == lens_cal) {
        lens_cal = nullptr;
        lens_cal_mode = false;
    }
    closing->deleteLater();
}

void tool_admin::get_tool_apply_setting(configurations_t& configuration_) { emit send_tool_apply_admin(configuration_); }

void tool_admin::get_tool_apply_data_processing(std::vector<int>& params) {
    if (!params.empty()) emit send_tool_apply_data_processing(params);
}

void tool_admin::get_tool_status_data(sensing_packet_t& sensing) {
    if (board_align->is_open())
        board_align->update_status(sensing);
    else
        status->update_status(sensing);
    depth_quality->update_status(sensing); // the status values of its report
}

void tool_admin::get_tool_close_ui() {
    // A tool closed before any record reached it has nothing to put back.
    if (record_received) emit send_tool_apply_admin(configuration);
}

void tool_admin::get_tool_write_setting() { emit send_tool_write_setting(); }

void tool_admin::get_tool_current_setting_trigger() {
    setting_requested = true;
    emit send_tool_current_setting();
}

void tool_admin::get_tool_close_all() {
    if (device_admin->isVisible()) device_admin->close();
}

void tool_admin::open_analysis_tool(QWidget* tool) {
    std::vector<int> params = analysis_parameters();
    emit send_tool_apply_data_processing(params);
    tool->show();
}

void tool_admin::on_btn_histogram_clicked() { open_analysis_tool(histogram); }
void tool_admin::on_btn_image_analysis_clicked() { open_analysis_tool(image_analysis); }
void tool_admin::on_btn_board_align_clicked() { open_analysis_tool(board_align); }
void tool_admin::on_btn_offset_cal_clicked() { open_analysis_tool(offset_cal); }
void tool_admin::on_btn_depth_quality_clicked() { open_analysis_tool(depth_quality); }

void tool_admin::on_btn_lens_cal_clicked() {
    lens_cal = new menu_lens_cal(this);
    connect(this, &tool_admin::send_tool_lens_cal_data, lens_cal, &menu_lens_cal::updatePointCloud);
    connect(lens_cal, &menu_lens_cal::send_menu_close_window, this, &tool_admin::get_tool_lens_cal_delete);
    connect(lens_cal, &menu_lens_cal::send_menu_current_setting, this, &tool_admin::get_tool_current_setting_trigger);
    connect(lens_cal, &menu_lens_cal::send_menu_apply_setting, this, &tool_admin::get_tool_apply_setting);
    connect(lens_cal, &menu_lens_cal::send_menu_apply_data_procssing, this,
            &tool_admin::get_tool_apply_data_processing);
    connect(lens_cal, &menu_lens_cal::send_menu_write_setting, this, &tool_admin::get_tool_write_setting);
    connect(lens_cal, &menu_lens_cal::send_menu_log, this, &tool_admin::send_tool_log);
    lens_cal->show();
}

QStringList tool_admin::tool_names() { return startup_options::tool_names(); }

bool tool_admin::open_tool(const QString& name) {
    switch (tool_names().indexOf(name)) {
    case 0: device_admin->load_preset(menu_device_admin::current_row); return true;
    case 1: status->show(); return true;
    case 2: on_btn_histogram_clicked(); return true;
    case 3: on_btn_image_analysis_clicked(); return true;
    case 4: on_btn_board_align_clicked(); return true;
    case 5: on_btn_offset_cal_clicked(); return true;
    case 6: on_btn_lens_cal_clicked(); return true;
    case 7: on_btn_depth_quality_clicked(); return true;
    default: return false;
    }
}
