// Set-up shared by the benchmarks that render: they need an X server, must
// leave no shader caches in the home directory, and print figures with a
// decimal point whatever the environment says.
#pragma once

#include "app/startup.h"

#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <QtGlobal>

#include <clocale>
#include <cstdio>
#include <cstdlib>

// Call before the QApplication is created. False (with a message) without a display.
inline bool prepare_gui_bench() {
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "needs an X server: run under scripts/xvfb.sh\n");
        return false;
    }
    startup::keep_freed_heap(); // as the program does
    qputenv("MESA_SHADER_CACHE_DISABLE", "true");
    qputenv("QT_DISABLE_SHADER_DISK_CACHE", "1");
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
    return true;
}

// Call after the QApplication is created (it sets the locale from the environment).
inline void printed_figures_in_c_notation() { std::setlocale(LC_NUMERIC, "C"); }
