#include "menus/menu_device_admin.h"

#include "widgets/dialog_seam.h"
#include "menus/firmware_progress.h"
#include "logic/calibration_file.h"
#include "logic/preset_file.h"
#include "ui_menu_device_admin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdio>

namespace {

using controls = admin_settings::controls;

// One control of the form and the field of `controls` it shows.
template <typename T>
struct binding {
    const char* name;
    T& (*field)(controls&);
};
#define FIELD(member) [](controls& c) -> auto& { return c.member; }

const binding<int> kSpinBoxes[] = {
    {"sb_start_row", FIELD(start_row)},
    {"sb_end_row", FIELD(end_row)},
    {"sb_start_col", FIELD(start_col)},
    {"sb_end_col", FIELD(end_col)},
    {"sb_samples", FIELD(samples)},
    {"sb_common_delay", FIELD(common_delay_ns)},
    {"sb_common_duty", FIELD(common_duty_ns)},
    {"sb_vcsel_channel", FIELD(vcsel_channel)},
    {"sb_ls_duty", FIELD(ls_duty_ns)},
    {"sb_delay_low_high", FIELD(low_high_delay_ns)},
    {"sb_hs_duty", FIELD(hs_duty_ns)},
    {"sb_cl_delay", FIELD(cl_delay_ns)},
    {"sb_cl_duty", FIELD(cl_duty_ns)},
    {"sb_global_offset", FIELD(global_offset)},
    {"sb_peak_separation_width", FIELD(peak_separation_width)},
    {"sb_fir_offset", FIELD(fir_offset)},
    {"sb_cog", FIELD(cog)},
    {"sb_FPS", FIELD(fps)},
};

const binding<double> kRealBoxes[] = {
    {"sb_prf", FIELD(prf_khz)},
    {"sb_vdp", FIELD(vdp)},
    {"sb_vdn", FIELD(vdn)},
    {"sb_hv", FIELD(hv)},
    {"sb_vcsel_emitter_width", FIELD(emitter_width)},
    {"sb_fx", FIELD(lens[0])},
    {"sb_fy", FIELD(lens[1])},
    {"sb_cx", FIELD(lens[2])},
    {"sb_cy", FIELD(lens[3])},
    {"sb_p1", FIELD(lens[4])},
    {"sb_p2", FIELD(lens[5])},
    {"sb_k1", FIELD(lens[6])},
    {"sb_k2", FIELD(lens[7])},
    {"sb_k3", FIELD(lens[8])},
    {"sb_k4", FIELD(lens[9])},
    {"sb_k5", FIELD(lens[10])},
    {"sb_k6", FIELD(lens[11])},
    {"sb_adaptive_val_a0", FIELD(adaptive[0])},
    {"sb_adaptive_val_a1", FIELD(adaptive[1])},
    {"sb_adaptive_val_a2", FIELD(adaptive[2])},
    {"sb_adaptive_val_a3", FIELD(adaptive[3])},
    {"sb_walk_error_val_p1", FIELD(walk_error[0])},
    {"sb_walk_error_val_p2", FIELD(walk_error[1])},
    {"sb_walk_error_val_q1", FIELD(walk_error[2])},
    {"sb_walk_error_val_q2", FIELD(walk_error[3])},
    {"sb_walk_error_val_a", FIELD(walk_error[4])},
    {"sb_walk_error_val_b", FIELD(walk_error[5])},
    {"sb_left_offset", FIELD(processing[0])},
    {"sb_right_offset", FIELD(processing[1])},
    {"sb_retro", FIELD(processing[2])},
    {"sb_depth_diff_deflaring", FIELD(processing[3])},
    {"sb_depth_diff_zig", FIELD(processing[4])},
    {"sb_smoothing_factor", FIELD(processing[5])},
};

const binding<bool> kCheckBoxes[] = {
    {"cb_inhibit", FIELD(inhibit)},
    {"cb_hv_ctrl_enable", FIELD(hv_ctrl_enable)},
    {"cb_zigzag_filling", FIELD(zigzag_filling)},
    {"cb_deflaring", FIELD(deflaring)},
    {"cb_real_ambient", FIELD(real_ambient)},
    {"cb_line_filling", FIELD(line_filling)},
    {"cb_interference_rejection", FIELD(interference_rejection)},
    {"cb_intentional_jitter", FIELD(intentional_jitter)},
};

const binding<int> kCombos[] = {
    {"tg_stream_data_mode", FIELD(stream_mode)},
    {"tg_edge", FIELD(edge)},
    {"tg_vcsel_driver_id", FIELD(vcsel_driver)},
    {"tg_spad_channel_mode", FIELD(spad_channel_mode)},
    {"tg_ambient_mode", FIELD(ambient_mode)},
    {"tg_intensity_mode", FIELD(intensity_mode)},
    {"tg_sync_mode", FIELD(sync_mode)},
    {"tg_input_sync", FIELD(input_sync)},
    {"tg_output_sync", FIELD(output_sync)},
};

const binding<std::string> kLineEdits[] = {
    {"le_calibration_file", FIELD(calibration_path)},
    {"le_gx_ip", FIELD(gx_ip)},
    {"le_gx_port", FIELD(gx_port)},
    {"le_pc_ip", FIELD(pc_ip)},
    {"le_pc_port", FIELD(pc_port)},
    {"le_gateway", FIELD(gateway)},
    {"le_netmask", FIELD(netmask)},
};
#undef FIELD

template <typename W>
W* control(const QWidget* form, const char* name) {
    return form->findChild<W*>(QString::fromLatin1(name));
}

std::string cell_text(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text().toStdString() : std::string();
}

// Missing cells are created before their text is set.
void set_cell_text(QTableWidget* table, int row, int column, const std::string& text) {
    QTableWidgetItem* item = table->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        table->setItem(row, column, item);
    }
    item->setText(QString::fromStdString(text));
}

} // namespace

fps_spin_box::fps_spin_box(QWidget* parent) : QSpinBox(parent) {
    // setValue() is not virtual: a value that is no rate is put right as soon as it lands.
    connect(this, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int v) {
        const int rate = admin_settings::fps_box_value(v);
        if (rate != v) setValue(rate);
    });
}

QValidator::State fps_spin_box::validate(QString& text, int& pos) const {
    const QValidator::State state = QSpinBox::validate(text, pos);
    if (state != QValidator::Acceptable) return state;
    const int v = valueFromText(text);
    return admin_settings::fps_box_value(v) == v ? QValidator::Acceptable : QValidator::Intermediate;
}

// Called when editing finishes on text validate() did not accept. The box has
// neither prefix nor suffix, so the text is the number alone.
void fps_spin_box::fixup(QString& text) const {
    QSpinBox::fixup(text);
    bool ok = false;
    const int v = locale().toInt(text.trimmed(), &ok);
    if (ok) text = textFromValue(admin_settings::fps_box_value(v));
}

menu_device_admin::menu_device_admin(QWidget* parent) : QDialog(parent), ui(new Ui::menu_device_admin) {
    ui->setupUi(this);
    ui->lel_connection_settings->hide();
    ui->gb_network->hide();
    ui->pb_firmware_update->hide();
    // The held record starts without offset tables, synchronised as master at 10 fps.
    configuration.sync_output_polarity = 0;
    configuration.sync_input_polarity = 0;
    configuration.sync_mode = 0;
    configuration.fps = 10;
    build_chooser();
}

menu_device_admin::~menu_device_admin() {
    if (preset_at_exit) {
        controls_to_record();
        // The program is ending: a preset that cannot be written is only reported on the console.
        if (!preset_file::write("./device.conf", configuration, form_values()))
            std::fprintf(stderr, "ro_vezovad: cannot write ./device.conf\n");
    }
    delete ui;
}

void menu_device_admin::build_chooser() {
    chooser = new QDialog(this);
    chooser->setWindowTitle(tr("Select Preset"));
    chooser->setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
    chooser->setFixedSize(300, 280);
    chooser->setModal(true);
    chooser_list = new QListWidget(chooser);
    chooser_list->setObjectName("preset_list");
    chooser_list->addItems({tr("GX (Current)"), tr("GX (Default)"), tr("Load Preset File(.conf)")});
    chooser_list->setCurrentRow(current_row);
    auto* ok = new QPushButton(tr("OK"), chooser);
    ok->setObjectName("btn_preset_ok");
    auto* cancel = new QPushButton(tr("Cancel"), chooser);
    cancel->setObjectName("btn_preset_cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(chooser);
    layout->addWidget(chooser_list);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &menu_device_admin::btn_ok_event);
    connect(cancel, &QPushButton::clicked, chooser, &QDialog::close);
}

void menu_device_admin::select_preset() {
    chooser_accepted = false;
    dialog_seam::exec(chooser);
    if (chooser_accepted) load_preset(chooser_list->currentRow());
}

void menu_device_admin::btn_ok_event() {
    chooser_accepted = true;
    chooser->close();
}

void menu_device_admin::load_preset(int row) {
    if (row == current_row) {
        waiting_current = true;
        emit send_menu_current_setting();
    } else if (row == default_row) {
        controls c = form_values();
        admin_settings::load_defaults(c);
        show_values(c);
        show();
    } else if (row == file_row) {
        const QString path = dialog_seam::open_file_name(this, tr("Load GX configuration file"), QDir::homePath(),
                                                         tr("Configuration File (*.conf)"));
        if (path.isEmpty()) return;
        controls c = form_values();
        const preset_file::read_result r = preset_file::read(path.toStdString(), c);
        if (r.result == preset_file::status::not_loaded) {
            warn(tr("Cannot load the preset file %1.").arg(path));
            return;
        }
        if (r.result == preset_file::status::refused) {
            warn(tr("The preset file %1 was not loaded: %2.").arg(path, QString::fromStdString(r.problem)));
            return;
        }
        show_values(c);
        controls_to_record();
        show();
    }
}

admin_settings::controls menu_device_admin::form_values() const {
    controls c;
    for (const auto& b : kSpinBoxes) b.field(c) = control<QSpinBox>(this, b.name)->value();
    for (const auto& b : kRealBoxes) b.field(c) = control<QDoubleSpinBox>(this, b.name)->value();
    for (const auto& b : kCheckBoxes) b.field(c) = control<QCheckBox>(this, b.name)->isChecked();
    for (const auto& b : kCombos) b.field(c) = control<QComboBox>(this, b.name)->currentIndex();
    for (const auto& b : kLineEdits) b.field(c) = control<QLineEdit>(this, b.name)->text().toStdString();
    for (int i = 0; i < 16; ++i) c.fir_cells[i] = cell_text(ui->table_fir_coefficient, 0, i);
    for (int i = 0; i < 12; ++i) c.intensity_fir_cells[i] = cell_text(ui->table_intensity_fir, i / 4, i % 4);
    return c;
}

void menu_device_admin::show_values(const admin_settings::controls& values) {
    controls c = values;
    for (const auto& b : kSpinBoxes) control<QSpinBox>(this, b.name)->setValue(b.field(c));
    for (const auto& b : kRealBoxes) control<QDoubleSpinBox>(this, b.name)->setValue(b.field(c));
    for (const auto& b : kCheckBoxes) control<QCheckBox>(this, b.name)->setChecked(b.field(c));
    for (const auto& b : kCombos) {
        // A value no item stands for shows no item (and leaves its field alone on the way back).
        QComboBox* box = control<QComboBox>(this, b.name);
        const int index = b.field(c);
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    }
    for (const auto& b : kLineEdits) control<QLineEdit>(this, b.name)->setText(QString::fromStdString(b.field(c)));
    for (int i = 0; i < 16; ++i) set_cell_text(ui->table_fir_coefficient, 0, i, c.fir_cells[i]);
    for (int i = 1; i < 12; ++i) set_cell_text(ui->table_intensity_fir, i / 4, i % 4, c.intensity_fir_cells[i]);
}

void menu_device_admin::controls_to_record() {
    const controls c = form_values();
    admin_settings::to_record(c, configuration);
    load_calibration_file(QString::fromStdString(c.calibration_path));
}

void menu_device_admin::record_to_controls() {
    controls c = form_values();
    admin_settings::from_record(configuration, c);
    show_values(c);
}

void menu_device_admin::load_calibration_file(const QString& path) {
    if (path.isEmpty()) return;
    const calibration_file::read_result r = calibration_file::read(path.toStdString());
    if (r.result == calibration_file::status::cannot_open) {
        dialog_seam::warning(this, tr("Warning"), tr("Cannot find Calibration file."));
        return;
    }
    if (r.result == calibration_file::status::malformed) {
        warn(tr("The calibration file %1 was not loaded: %2.").arg(path, QString::fromStdString(r.problem)));
        return;
    }
    calibration_file::to_record(r.values, configuration);
    controls c = form_values();
    for (int i = 0; i < 12; ++i) c.lens[i] = configuration.lens_coe[i];
    c.emitter_width = configuration.emitter_dwidth;
    c.global_offset = configuration.global_offset;
    show_values(c);
}

bool menu_device_admin::write_calibration_file(const QString& path) {
    // The emitter width and the global offset as the controls show them, the rest from the record.
    calibration_file::tables t = calibration_file::from_record(configuration);
    t.emitter_width = ui->sb_vcsel_emitter_width->value();
    t.global_offset = static_cast<std::uint16_t>(ui->sb_global_offset->value());
    std::string error;
    if (calibration_file::write(path.toStdString(), t, error)) return true;
    warn(tr("Cannot write the calibration file %1: %2.").arg(path, QString::fromStdString(error)));
    return false;
}

void menu_device_admin::warn(const QString& text) { dialog_seam::warning(this, tr("Warning"), text); }

void menu_device_admin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Unchecked without their handlers: the controls keep what they show.
    for (QCheckBox* box : {ui->cb_fir_offset_zerosetting, ui->cb_cog_zerosetting, ui->cb_fir_coefficient_zerosetting,
                           ui->cb_adaptive_zerosetting, ui->cb_intensity_fir_zerosetting, ui->cb_walk_error_zerosetting})
        box->setChecked(false);
}

void menu_device_admin::get_menu_current_setting(configurations_t& configuration_) {
    configuration = configuration_;
    waiting_current = false;
    record_to_controls();
    show();
}

void menu_device_admin::get_menu_firmware_progress(int val) { show_firmware_progress(ui->pb_firmware_update, val); }

void menu_device_admin::get_menu_tcp_message(QString str) { ui->te_log->append(str); }

void menu_device_admin::get_menu_current_network(std::vector<QString>& msg) {
    if (msg.size() < 4) return;
    ui->le_gx_ip->setText(msg[0]);
    ui->le_gx_port->setText(msg[1]);
    ui->le_pc_ip->setText(msg[2]);
    ui->le_pc_port->setText(msg[3]);
}

void menu_device_admin::get_tool_calibration_path(QString dir) { ui->le_calibration_file->setText(dir); }

void menu_device_admin::on_btn_save_preset_clicked() {
    const QString base = dialog_seam::save_file_name(this, tr("Save GX configuration / calibration files"),
                                                     QDir::homePath(),
                                                     tr("Configuration File (.conf) / Calibration File (.csv)"));
    if (base.isEmpty()) return;
    const QString preset = QString::fromStdString(preset_file::free_name(base.toStdString(), ".conf"));
    const QString calibration = QString::fromStdString(preset_file::free_name(base.toStdString(), ".csv"));
    // The calibration file gets what the form shows (or, with a calibration
    // file named, what that file holds), as a calibration save does.
    controls_to_record();
    if (!write_calibration_file(calibration)) return;
    ui->le_calibration_file->setText(calibration);
    controls_to_record();
    if (!preset_file::write(preset.toStdString(), configuration, form_values()))
        warn(tr("Cannot write the preset file %1.").arg(preset));
}

void menu_device_admin::on_btn_apply_setting_clicked() {
    controls_to_record();
    params = admin_settings::data_processing(form_values());
    emit send_menu_apply_data_procssing(params);
    emit send_menu_apply_setting(configuration);
}

void menu_device_admin::on_btn_save_calibration_file_clicked() {
    const QString path = dialog_seam::save_file_name(this, tr("Save calibration file"), QDir::homePath(),
                                                     tr("Calibration file(*.csv)"));
    // The controls go into the record (and the named calibration file is
    // reloaded) even when the dialog was cancelled; only the write needs a path.
    controls_to_record();
    if (path.isEmpty()) return;
    write_calibration_file(path);
}

void menu_device_admin::on_btn_write_mode_clicked() { emit send_menu_register_write(ui->le_write_mode_dir->text()); }

void menu_device_admin::on_btn_read_mode_clicked() { emit send_menu_register_read(ui->le_read_mode_dir->text()); }

void menu_device_admin::on_btn_write_mode_dir_clicked() {
    ui->le_write_mode_dir->setText(dialog_seam::open_file_name(this, tr("Choose register write file"), QDir::homePath(),
                                                               tr("Register File (*.txt)")));
}

void menu_device_admin::on_btn_read_mode_dir_clicked() {
    ui->le_read_mode_dir->setText(dialog_seam::save_file_name(this, tr("Choose register read file"), QDir::homePath(),
                                                              tr("Register File (*.txt)")));
}

void menu_device_admin::on_btn_upload_dir_clicked() {
    ui->le_upload_dir->setText(dialog_seam::open_file_name(this, tr("Choose register firmware upload file"),
                                                           QDir::homePath(), tr("Firmware Binary File (*.bin)")));
}

void menu_device_admin::on_btn_upload_clicked() { emit send_menu_firmware_upload(ui->le_upload_dir->text()); }

void menu_device_admin::on_btn_clear_clicked() { ui->te_log->clear(); }

void menu_device_admin::on_btn_write_flash_clicked() { emit send_menu_write_setting(); }

void menu_device_admin::on_btn_calibration_file_clicked() {
    const QString path = dialog_seam::open_file_name(this, tr("Load calibration file"), QDir::homePath(),
                                                     tr("Calibration file(*.csv)"));
    ui->le_calibration_file->setText(path);
    load_calibration_file(path);
}

void menu_device_admin::zero_setting(admin_settings::zero_group group, bool checked) {
    controls c = form_values();
    admin_settings::zero_setting(group, checked, configuration, c);
    show_values(c);
}

void menu_device_admin::on_cb_fir_coefficient_zerosetting_clicked() {
    zero_setting(admin_settings::zero_group::fir_coefficient, ui->cb_fir_coefficient_zerosetting->isChecked());
}
void menu_device_admin::on_cb_fir_offset_zerosetting_clicked() {
    zero_setting(admin_settings::zero_group::fir_offset, ui->cb_fir_offset_zerosetting->isChecked());
}
void menu_device_admin::on_cb_cog_zerosetting_clicked() {
    zero_setting(admin_settings::zero_group::cog, ui->cb_cog_zerosetting->isChecked());
}
void menu_device_admin::on_cb_adaptive_zerosetting_clicked() {
    zero_setting(admin_settings::zero_group::adaptive, ui->cb_adaptive_zerosetting->isChecked());
}
void menu_device_admin::on_cb_intensity_fir_zerosetting_clicked() {
    zero_setting(admin_settings::zero_group::intensity_fir, ui->cb_intensity_fir_zerosetting->isChecked());
}
void menu_device_admin::on_cb_walk_error_zerosetting_clicked() {
    zero_setting(admin_settings::zero_group::walk_error, ui->cb_walk_error_zerosetting->isChecked());
}
