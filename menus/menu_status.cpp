#include "menus/menu_status.h"

#include "widgets/dialog_seam.h"
#include "logic/status_text.h"
#include "ui_menu_status.h"

#include <QDir>
#include <QLineEdit>
#include <QTime>

menu_status::menu_status(QWidget* parent) : QDialog(parent), ui(new Ui::menu_status) {
    ui->setupUi(this);
    fields = {ui->le_xadc_scan_count, ui->le_xadc_on_chip_temp, ui->le_xadc_vccint,    ui->le_xadc_vccaux,
              ui->le_xadc_vccbram,    ui->le_xadc_vccpint,      ui->le_xadc_vccpaux,   ui->le_xadc_vcco_ddr,
              ui->le_xadc_rd_ddr_vtt, ui->le_xadc_rd_dp3v3,     ui->le_xadc_rd_p12v,   ui->le_xadc_rd_heat,
              ui->le_xadc_tx_0v5,     ui->le_xadc_tx_5v0,       ui->le_xadc_tx_12v,    ui->le_xadc_tx_hv,
              ui->le_xadc_tx_temp,    ui->le_xadc_rx_vio,       ui->le_xadc_rx_vcore,  ui->le_xadc_rx_bias,
              ui->le_xadc_rx_vdp,     ui->le_xadc_rx_vdn,       ui->le_xadc_rx_0v5,    ui->le_rx_temp};
}

// The file closes with the window at program end; every line was flushed
// whole when its record arrived, so the log ends on a complete line.
menu_status::~menu_status() { delete ui; }

void menu_status::update_status(sensing_packet_t& sensing) {
    if (logging && log_file) {
        const QTime now = QTime::currentTime();
        const std::string line =
            status_text::data_line(status_text::clock(now.hour(), now.minute(), now.second(), now.msec()), sensing);
        log_file->write(line.data(), qint64(line.size()));
        log_file->flush();
    }
    const auto values = status_text::values(sensing);
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->setText(QString::fromStdString(values[i]));
}

void menu_status::stop_logging() {
    logging = false;
    log_file.reset();
}

void menu_status::on_cb_sens_logging_clicked() {
    if (!ui->cb_sens_logging->isChecked()) {
        stop_logging();
        return;
    }
    stop_logging();
    const QString path = dialog_seam::save_file_name(this, tr("Save GX status"), QDir::homePath(), tr("Status File (*.csv)"));
    if (path.isEmpty()) {
        // Nothing to log to: the box goes back to what is happening.
        ui->cb_sens_logging->setChecked(false);
        return;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        ui->cb_sens_logging->setChecked(false);
        dialog_seam::warning(this, tr("Warning"), tr("Cannot open the status file %1.").arg(path));
        return;
    }
    const std::string header = status_text::header_line();
    file->write(header.data(), qint64(header.size()));
    file->flush();
    log_file = std::move(file);
    logging = true;
}
