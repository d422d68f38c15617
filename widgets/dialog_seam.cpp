#include "widgets/dialog_seam.h"

#include <QDialog>
#include <QFileDialog>

namespace {
dialog_seam::responder& current_responder() {
    static dialog_seam::responder r;
    return r;
}
} // namespace

void dialog_seam::set_responder(responder r) { current_responder() = std::move(r); }

bool dialog_seam::has_responder() { return static_cast<bool>(current_responder()); }

QMessageBox::StandardButton dialog_seam::box(kind type, QWidget* parent, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons) {
    if (current_responder()) {
        request req;
        req.type = type;
        req.parent = parent;
        req.title = title;
        req.text = text;
        req.buttons = buttons;
        return current_responder()(req).button;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type) {
    case kind::warning: icon = QMessageBox::Warning; break;
    case kind::information: icon = QMessageBox::Information; break;
    case kind::critical: icon = QMessageBox::Critical; break;
    default: break;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton dialog_seam::warning(QWidget* parent, const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons) {
    return box(kind::warning, parent, title, text, buttons);
}

QMessageBox::StandardButton dialog_seam::information(QWidget* parent, const QString& title, const QString& text,
                                                    QMessageBox::StandardButtons buttons) {
    return box(kind::information, parent, title, text, buttons);
}

QMessageBox::StandardButton dialog_seam::critical(QWidget* parent, const QString& title, const QString& text,
                                                 QMessageBox::StandardButtons buttons) {
    return box(kind::critical, parent, title, text, buttons);
}

QMessageBox::StandardButton dialog_seam::question(QWidget* parent, const QString& title, const QString& text,
                                                 QMessageBox::StandardButtons buttons) {
    return box(kind::question, parent, title, text, buttons);
}

QString dialog_seam::save_file_name(QWidget* parent, const QString& caption, const QString& dir,
                                   const QString& filter, bool append) {
    if (current_responder()) {
        request req;
        req.type = kind::save_file;
        req.parent = parent;
        req.title = caption;
        req.dir = dir;
        req.filter = filter;
        return current_responder()(req).file;
    }
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr,
                                        append ? QFileDialog::DontConfirmOverwrite : QFileDialog::Options());
}

QString dialog_seam::open_file_name(QWidget* parent, const QString& caption, const QString& dir,
                                   const QString& filter) {
    if (current_responder()) {
        request req;
        req.type = kind::open_file;
        req.parent = parent;
        req.title = caption;
        req.dir = dir;
        req.filter = filter;
        return current_responder()(req).file;
    }
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

int dialog_seam::exec(QDialog* dialog) {
    if (current_responder()) {
        request req;
        req.type = kind::modal_dialog;
        req.parent = dialog;
        req.title = dialog->windowTitle();
        current_responder()(req);
        return dialog->result();
    }
    return dialog->exec();
}
