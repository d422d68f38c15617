#include "menus/menu_connection.h"

#include "ui_menu_connection.h"

menu_connection::menu_connection(QWidget* parent) : QDialog(parent), ui(new Ui::menu_connection) {
    ui->setupUi(this);
    ui->le_device_ip->setText(device_ip);
    ui->le_pc_ip->setText(local_ip);
    ui->le_device_port->setText(QString::number(device_port));
    ui->le_pc_port->setText(QString::number(local_port));
    ui->btn_disconnect->setEnabled(false);
}

menu_connection::~menu_connection() { delete ui; }

int menu_connection::parse_port(const QString& text) {
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : 0;
}

void menu_connection::set_connection_values(const QString& device_ip_, int device_port_, const QString& local_ip_,
                                            int local_port_) {
    device_ip = device_ip_;
    device_port = device_port_;
    local_ip = local_ip_;
    local_port = local_port_;
    ui->le_device_ip->setText(device_ip);
    ui->le_pc_ip->setText(local_ip);
    ui->le_device_port->setText(QString::number(device_port));
    ui->le_pc_port->setText(QString::number(local_port));
}

void menu_connection::get_menu_btn_connect_control(bool enable) {
    ui->btn_connect->setEnabled(!enable);
    ui->btn_disconnect->setEnabled(enable);
}

void menu_connection::on_btn_connect_clicked() {
    device_ip = ui->le_device_ip->text();
    local_ip = ui->le_pc_ip->text();
    device_port = parse_port(ui->le_device_port->text());
    local_port = parse_port(ui->le_pc_port->text());
    emit send_menu_connect_status(true);
    close();
}

void menu_connection::on_btn_disconnect_clicked() {
    emit send_menu_connect_status(false);
    close();
}
