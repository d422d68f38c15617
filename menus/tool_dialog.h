// Base of the administrator tool bar's analysis dialogs: a dialog that knows
// whether it is open. The tool bar reads the open state to decide which tool
// gets the configuration it fetched; a dialog reacts to being opened (it asks
// for the configuration) and closed (it gives the sensor back) through the
// two hooks.
#pragma once

#include <QDialog>

class QHideEvent;
class QShowEvent;

class tool_dialog : public QDialog {
    Q_OBJECT

public:
    // True from the dialog's show to its close, hide or Escape.
    bool is_open() const { return open; }

protected:
    explicit tool_dialog(QWidget* parent, const QString& title);

    // Called once the dialog is shown (not when the desktop merely restores it).
    virtual void opened() {}
    // Called once the dialog is closed or hidden by the program or the user;
    // never while it is being destroyed.
    virtual void closed() {}

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool open = false;
};
