// The one door through which the program opens modal message boxes and file
// dialogs. Production code calls these functions instead of QMessageBox and
// QFileDialog; a test installs a responder that answers them at once, so no
// test ever sits in a nested event loop.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QDialog;
class QWidget;

class dialog_seam {
public:
    enum class kind { warning, information, critical, question, save_file, open_file, modal_dialog };

    struct request {
        kind type;
        QWidget* parent = nullptr;
        QString title;    // box title or dialog caption
        QString text;     // box text
        QString dir;      // file dialogs: start directory
        QString filter;   // file dialogs: name filter
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    };

    struct answer {
        QMessageBox::StandardButton button = QMessageBox::Ok; // boxes
        QString file;                                          // file dialogs; empty = cancelled
    };

    using responder = std::function<answer(const request&)>;

    static QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                               QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    static QMessageBox::StandardButton information(QWidget* parent, const QString& title, const QString& text,
                                                   QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    static QMessageBox::StandardButton critical(QWidget* parent, const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    // A box without icon asking the user to confirm (for example Ok / Cancel).
    static QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons);
    // `append`: the file is added to, not replaced, so an existing one is
    // chosen without the question whether to replace it.
    static QString save_file_name(QWidget* parent, const QString& caption, const QString& dir, const QString& filter,
                                  bool append = false);
    static QString open_file_name(QWidget* parent, const QString& caption, const QString& dir, const QString& filter);
    // Runs one of the program's own modal dialogs (request.parent is the
    // dialog). A responder acts on the dialog instead of the user; the
    // dialog's result is returned either way.
    static int exec(QDialog* dialog);

    // Installs a responder that answers every box and dialog instead of the user;
    // an empty responder restores the real dialogs.
    static void set_responder(responder r);
    static bool has_responder();

private:
    static QMessageBox::StandardButton box(kind type, QWidget* parent, const QString& title, const QString& text,
                                           QMessageBox::StandardButtons buttons);
};
