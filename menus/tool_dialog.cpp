#include "menus/tool_dialog.h"

#include <QHideEvent>
#include <QIcon>
#include <QShowEvent>

tool_dialog::tool_dialog(QWidget* parent, const QString& title) : QDialog(parent) {
    setWindowTitle(title);
    setWindowIcon(QIcon(":/icon/tavrin_logo.ico"));
}

void tool_dialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window manager restoring a minimised dialog sends spontaneous events.
    if (event->spontaneous() || open) return;
    open = true;
    opened();
}

void tool_dialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous() || !open) return;
    open = false;
    closed();
}
