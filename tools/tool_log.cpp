#include "tools/tool_log.h"

#include "widgets/dialog_seam.h"
#include "ui_tool_log.h"

#include <QDir>
#include <QTextStream>

tool_log::tool_log(QWidget* parent) : QWidget(parent), ui(new Ui::tool_log) { ui->setupUi(this); }

tool_log::~tool_log() { delete ui; }

QString tool_log::format_line(const QTime& time, const QString& msg) { return time.toString("[hh:mm:ss] ") + msg; }

QString tool_log::text() const { return ui->te_log->toPlainText(); }

void tool_log::append_log(QString msg) { ui->te_log->append(format_line(QTime::currentTime(), msg)); }

void tool_log::on_btn_clear_clicked() { ui->te_log->clear(); }

void tool_log::on_btn_save_log_file_clicked() {
    const QString name = dialog_seam::save_file_name(this, tr("Save log file"), QDir::homePath(), tr("Log File (*.txt"));
    if (name.isEmpty()) return; // cancelled: nothing written, nothing said
    file = std::make_unique<QFile>(name);
    bool ok = file->open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate);
    if (ok) {
        QTextStream out(file.get());
        out.setCodec("UTF-8");
        out << ui->te_log->toPlainText();
        out.flush();
        ok = out.status() == QTextStream::Ok && file->error() == QFileDevice::NoError;
        file->close();
        ok = ok && file->error() == QFileDevice::NoError;
    }
    if (!ok)
        dialog_seam::warning(this, tr("Warning"), tr("Cannot save the log file.\n%1\n%2").arg(name, file->errorString()));
}
