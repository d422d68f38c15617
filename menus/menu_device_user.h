// User device settings dialog: host-side filters, synchronisation, false
// positive rate, network addresses, firmware upload and reset. It never talks
// to the device: every action leaves as a signal, results come back through
// the slots.
#pragma once

#include "device/DadodUz.h"
#include "logic/user_settings.h"

#include <QDialog>
#include <QString>
#include <vector>

class QShowEvent;

namespace Ui {
class menu_device_user;
}

class menu_device_user : public QDialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;

    explicit menu_device_user(QWidget* parent = nullptr);
    ~menu_device_user() override;

    // The data-processing parameter list of the filter controls (ten entries).
    std::vector<int> data_processing_parameters() const;
    const configurations_t& current_configuration() const { return configuration; }
    const std::vector<QString>& current_network() const { return network; }

signals:
    void send_menu_firmware_upload(QString dir);
    void send_menu_apply_data_procssing(std::vector<int>& params);
    void send_menu_log(QString str);
    void send_menu_current_setting();
    void send_menu_apply_setting(configurations_t& configuration_);
    void send_menu_current_network(std::vector<QString>& msg);
    void send_menu_device_reset();

public slots:
    void get_menu_tcp_message(QString str);
    void get_menu_firmware_progress(int val);
    void get_menu_current_setting(configurations_t& configuration_);
    void get_menu_current_network(std::vector<QString>& msg);
    void on_btn_apply_clicked();
    void on_btn_clear_clicked();
    void on_btn_fw_file_clicked();
    void on_btn_fw_upload_clicked();
    void on_btn_change_network_clicked();
    void on_btn_reset_clicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    user_settings::selection combo_selection() const;

    Ui::menu_device_user* ui;
    configurations_t configuration{};
    user_settings::selection last_applied;
    std::vector<QString> network;
};
