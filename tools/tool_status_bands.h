// The status bar's line for the status monitor's bands: "Status: 2 values out
// of band" in amber, or red when any value is far out, and nothing while
// every value is in its band; seen with the monitor closed.
#pragma once

#include <QLabel>

class tool_status_bands : public QLabel {
    Q_OBJECT

public:
    explicit tool_status_bands(QWidget* parent = nullptr);

    // 0 = amber, 1 = red, -1 = nothing shown.
    int shown_level() const { return level_; }

public slots:
    // `worst` as status_limits::level (1 amber, 2 red).
    void show_out_of_band(int count, int worst);

private:
    int level_ = -1;
};
