// The administrator's device settings dialog: every field of the sensor
// configuration as a control, the data-processing filters, presets and
// calibration tables, register files, the flash write and the firmware
// upload. It never talks to the device: every action leaves as a signal,
// results come back through the slots.
#pragma once

#include "device/DadodUz.h"
#include "logic/admin_settings.h"

#include <QDialog>
#include <QSpinBox>
#include <QString>
#include <vector>

class QListWidget;
class QShowEvent;

// The form's FPS box (`sb_FPS`): a spin box that holds only the rates the
// sensor runs at, 10, 15, 20 and 25. Typed text of another number is not
// taken while typing and becomes the nearest rate when editing finishes; a
// value set from a record or a preset snaps to the nearest rate as well.
class fps_spin_box : public QSpinBox {
    Q_OBJECT

public:
    explicit fps_spin_box(QWidget* parent = nullptr);

protected:
    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;
};

namespace Ui {
class menu_device_admin;
}

class menu_device_admin : public QDialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;

    // The preset chooser's items, in list order.
    enum preset_row { current_row = 0, default_row = 1, file_row = 2 };

    explicit menu_device_admin(QWidget* parent = nullptr);
    // Writes the preset to "./device.conf" when that was asked for.
    ~menu_device_admin() override;

    // The preset chooser: runs it and, when the choice was accepted, loads
    // the chosen set and shows the dialog.
    void select_preset();
    // What the chooser does for a row it accepted.
    void load_preset(int row);

    bool waiting_for_current_setting() const { return waiting_current; }
    void cancel_current_setting() { waiting_current = false; }
    const configurations_t& current_configuration() const { return configuration; }
    const std::vector<int>& data_processing_parameters() const { return params; }
    QListWidget* preset_list() const { return chooser_list; }

    // The values the form shows, and a way to show others.
    admin_settings::controls form_values() const;
    void show_values(const admin_settings::controls& c);

    // The preset is written to "./device.conf" at the end of the program in
    // administrator mode only; the main window turns it on.
    void set_preset_at_exit(bool on) { preset_at_exit = on; }
    bool writes_preset_at_exit() const { return preset_at_exit; }

signals:
    void send_menu_current_setting();
    void send_menu_apply_setting(configurations_t& configuration_);
    void send_menu_apply_data_procssing(std::vector<int>& params);
    void send_menu_write_setting();
    void send_menu_register_write(QString dir);
    void send_menu_register_read(QString dir);
    void send_menu_firmware_upload(QString dir);
    void send_menu_log(QString str);

public slots:
    void btn_ok_event();
    void get_menu_current_setting(configurations_t& configuration_);
    void get_menu_firmware_progress(int val);
    void get_menu_tcp_message(QString str);
    void get_menu_current_network(std::vector<QString>& msg);
    void get_tool_calibration_path(QString dir);
    void on_btn_save_preset_clicked();
    void on_btn_apply_setting_clicked();
    void on_btn_save_calibration_file_clicked();
    void on_btn_write_mode_clicked();
    void on_btn_read_mode_clicked();
    void on_btn_write_mode_dir_clicked();
    void on_btn_read_mode_dir_clicked();
    void on_btn_upload_dir_clicked();
    void on_btn_upload_clicked();
    void on_btn_clear_clicked();
    void on_btn_write_flash_clicked();
    void on_btn_calibration_file_clicked();
    void on_cb_fir_coefficient_zerosetting_clicked();
    void on_cb_fir_offset_zerosetting_clicked();
    void on_cb_cog_zerosetting_clicked();
    void on_cb_adaptive_zerosetting_clicked();
    void on_cb_intensity_fir_zerosetting_clicked();
    void on_cb_walk_error_zerosetting_clicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build_chooser();
    // Controls into the held record, then the calibration file named in the
    // form (if any) into the record and its controls.
    void controls_to_record();
    void record_to_controls();
    // Loads the calibration file into the record and its controls. An empty
    // path does nothing; a file that cannot be read or is malformed is
    // reported and changes nothing.
    void load_calibration_file(const QString& path);
    bool write_calibration_file(const QString& path);
    void zero_setting(admin_settings::zero_group group, bool checked);
    void warn(const QString& text);

    Ui::menu_device_admin* ui;
    configurations_t configuration{};
    std::vector<int> params; // the data-processing list of the last apply
    QDialog* chooser = nullptr;
    QListWidget* chooser_list = nullptr;
    bool chooser_accepted = false;
    bool waiting_current = false;
    bool preset_at_exit = false;
};
