// Log pane: a time-stamped, read-only running log that can be cleared and
// saved to a text file.
#pragma once

#include <QFile>
#include <QString>
#include <QTime>
#include <QWidget>
#include <memory>

namespace Ui {
class tool_log;
}

class tool_log : public QWidget {
    Q_OBJECT

public:
    explicit tool_log(QWidget* parent = nullptr);
    ~tool_log() override;

    // "[hh:mm:ss] " followed by msg.
    static QString format_line(const QTime& time, const QString& msg);
    QString text() const;

public slots:
    void append_log(QString msg);
    void on_btn_save_log_file_clicked();
    void on_btn_clear_clicked();

private:
    Ui::tool_log* ui;
    std::unique_ptr<QFile> file; // file of the last save
};
