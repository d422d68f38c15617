// The firmware upload's progress as both settings dialogs show it: -2 hides
// the bar (at 0), -1 shows it at 0, any other value is the percentage.
#pragma once

#include <QProgressBar>

inline void show_firmware_progress(QProgressBar* bar, int val) {
    if (val == -2) {
        bar->setValue(0);
        bar->hide();
    } else if (val == -1) {
        bar->show();
        bar->setValue(0);
    } else {
        bar->setValue(val);
    }
}
