#include "tools/tool_status_bands.h"

#include "logic/status_limits.h"

tool_status_bands::tool_status_bands(QWidget* parent) : QLabel(parent) {
    setObjectName("lb_status_bands");
    hide();
}

void tool_status_bands::show_out_of_band(int count, int worst) {
    if (count <= 0) {
        level_ = -1;
        clear();
        hide();
        return;
    }
    const bool red = worst >= int(status_limits::level::red);
    level_ = red ? 1 : 0;
    setText(QString::fromStdString(status_limits::summary_text(count)));
    setStyleSheet(red ? QStringLiteral("QLabel { color: #ff5050; font-weight: bold; }")
                      : QStringLiteral("QLabel { color: #ffb020; font-weight: bold; }"));
    show();
}
