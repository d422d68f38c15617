// Connection dialog: the device and PC addresses for a live connection, and
// the requests to connect or disconnect.
#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class menu_connection;
}

class menu_connection : public QDialog {
    Q_OBJECT

public:
    explicit menu_connection(QWidget* parent = nullptr);
    ~menu_connection() override;

    // The values in force; MainWindow reads them when it connects.
    QString device_ip = "192.168.1.10";
    QString local_ip = "0.0.0.0";
    int device_port = 2000;
    int local_port = 0;

    // Fills the fields and the values (used for command-line presets).
    void set_connection_values(const QString& device_ip_, int device_port_, const QString& local_ip_,
                               int local_port_);

    // Decimal port text as the dialog reads it: not a valid decimal integer gives 0.
    static int parse_port(const QString& text);

signals:
    void send_menu_connect_status(bool enable);
    void send_menu_log(QString str);

public slots:
    void get_menu_btn_connect_control(bool enable);
    void on_btn_connect_clicked();
    void on_btn_disconnect_clicked();

private:
    Ui::menu_connection* ui;
};
