// User device settings dialog: host-side filters, synchronisation, false
// positive rate, network addresses, firmware upload and reset.
#pragma once

#include "device/DadodUz.h"

#include <QDialog>
#include <QString>
#include <vector>

class menu_device_user : public QDialog {
    Q_OBJECT

public:
    using configurations_t = TAVRIN::DadodUz::configurations_t;

    explicit menu_device_user(QWidget* parent = nullptr);
    ~menu_device_user() override;

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

private:
    configurations_t configuration{};
    std::vector<QString> current_network;
};
