#include "menus/menu_device_user.h"

#include "widgets/dialog_seam.h"
#include "menus/firmware_progress.h"
#include "logic/configuration_codec.h"
#include "ui_menu_device_user.h"

#include <QAbstractButton>
#include <QDir>
#include <QDoubleSpinBox>
#include <QShowEvent>

namespace {

// The controls of the data-processing parameter list, in its order: four
// switches, then six values truncated toward zero.
constexpr const char* kSwitches[] = {"cb_zigzag_filling", "cb_deflaring", "cb_real_ambient", "cb_line_filling"};
constexpr const char* kValues[] = {"sb_left_offset",          "sb_right_offset",   "sb_retro",
                                   "sb_depth_diff_deflaring", "sb_depth_diff_zig", "sb_smoothing_factor"};

} // namespace

menu_device_user::menu_device_user(QWidget* parent) : QDialog(parent), ui(new Ui::menu_device_user) {
    ui->setupUi(this);
    last_applied = combo_selection();
}

menu_device_user::~menu_device_user() { delete ui; }

user_settings::selection menu_device_user::combo_selection() const {
    user_settings::selection s;
    s.sync_mode = ui->tg_sync_mode->currentIndex();
    s.input_sync = ui->tg_input_sync->currentIndex();
    s.output_sync = ui->tg_output_sync->currentIndex();
    s.false_positive = ui->tg_fpr_adaptive->currentIndex();
    return s;
}

std::vector<int> menu_device_user::data_processing_parameters() const {
    std::vector<int> params;
    params.reserve(10);
    for (const char* name : kSwitches) params.push_back(findChild<QAbstractButton*>(name)->isChecked() ? 1 : 0);
    for (const char* name : kValues) params.push_back(static_cast<int>(findChild<QDoubleSpinBox*>(name)->value()));
    return params;
}

void menu_device_user::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    emit send_menu_current_setting();
}

void menu_device_user::get_menu_tcp_message(QString str) { ui->te_log->append(str); }

void menu_device_user::get_menu_firmware_progress(int val) { show_firmware_progress(ui->pb_firmware_update, val); }

void menu_device_user::get_menu_current_setting(configurations_t& configuration_) {
    configuration = configuration_;
    configuration_codec::apply_sync_guard(configuration);
    ui->tg_output_sync->setCurrentIndex(configuration.sync_output_polarity);
    ui->tg_input_sync->setCurrentIndex(configuration.sync_input_polarity);
    ui->tg_sync_mode->setCurrentIndex(configuration.sync_mode);
    const int row = user_settings::false_positive_row(configuration.threshold_coe[0]);
    if (row >= 0) ui->tg_fpr_adaptive->setCurrentIndex(row);
    last_applied = combo_selection();
}

void menu_device_user::get_menu_current_network(std::vector<QString>& msg) {
    network = msg;
    if (network.size() < 4) return;
    ui->le_gx_ip->setText(network[0]);
    ui->le_gx_port->setText(network[1]);
    ui->le_pc_ip->setText(network[2]);
    ui->le_pc_port->setText(network[3]);
}

void menu_device_user::on_btn_apply_clicked() {
    std::vector<int> params = data_processing_parameters();
    emit send_menu_apply_data_procssing(params);
    if (!user_settings::apply_selection(combo_selection(), last_applied, configuration)) return;
    emit send_menu_apply_setting(configuration);
}

void menu_device_user::on_btn_clear_clicked() { ui->te_log->clear(); }

void menu_device_user::on_btn_fw_file_clicked() {
    ui->le_fw_file->setText(dialog_seam::open_file_name(this, tr("Choose the firmware upload file."), QDir::homePath(),
                                                        tr("Firmware binary(*.bin)")));
}

void menu_device_user::on_btn_fw_upload_clicked() { emit send_menu_firmware_upload(ui->le_fw_file->text()); }

void menu_device_user::on_btn_change_network_clicked() {
    if (network.empty()) return;
    std::vector<QString> typed = {ui->le_gx_ip->text(), ui->le_gx_port->text(), ui->le_pc_ip->text(),
                                  ui->le_pc_port->text()};
    if (typed == network) return;
    std::vector<std::string> entries;
    for (const QString& s : typed) entries.push_back(s.toStdString());
    const std::string error = user_settings::network_error(entries);
    if (!error.empty()) {
        dialog_seam::warning(this, tr("Warning"), QString::fromStdString(error));
        return;
    }
    network = typed;
    emit send_menu_current_network(typed);
}

void menu_device_user::on_btn_reset_clicked() { emit send_menu_device_reset(); }
