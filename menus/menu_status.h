// GX Status window of the administrator tools: the latest status record of
// the sensor in read-only fields and, while "Status Logging" is ticked, one
// CSV line per record appended to a file of the user's choice. Closing the
// window only hides it; logging goes on while it is hidden.
#pragma once

#include "device/DadodUz.h"

#include <QDialog>
#include <QFile>
#include <QString>
#include <array>
#include <memory>
#include <vector>

class QLineEdit;

namespace Ui {
class menu_status;
}

class menu_status : public QDialog {
    Q_OBJECT

public:
    using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;

    explicit menu_status(QWidget* parent = nullptr);
    ~menu_status() override;

    // Shows a record (and logs it first while logging is on).
    void update_status(sensing_packet_t& sensing);

    bool is_logging() const { return logging; }
    QString log_path() const { return log_file ? log_file->fileName() : QString(); }

public slots:
    void on_cb_sens_logging_clicked();

private:
    void stop_logging();

    Ui::menu_status* ui;
    std::array<QLineEdit*, 24> fields{};
    bool logging = false;
    std::unique_ptr<QFile> log_file;
};
