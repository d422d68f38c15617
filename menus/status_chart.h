// The status monitor's history chart: chosen status values against time (a
// live stream, seconds before now) or against the frame index (a
// recording, with a cursor on the frame shown), in the dark chart theme.
#pragma once

#include "logic/status_history.h"
#include "logic/status_limits.h"

#include <QString>
#include <QtCharts/QChartGlobal>
#include <array>

QT_CHARTS_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
QT_CHARTS_END_NAMESPACE

class status_chart {
public:
    status_chart();

    QtCharts::QChartView* view() const { return view_; }
    QtCharts::QChart* chart() const { return chart_; }

    // Which values are drawn (status_limits order).
    void set_shown(std::size_t i, bool shown);
    bool shown(std::size_t i) const { return shown_[i]; }

    // Redraws from the history: live over [now - span, now] shown as seconds
    // before now; a recording over its loaded frames with the cursor at `cursor`.
    void draw_live(const status_history& history, double now, double span);
    void draw_recording(const status_history& history, double first, double last, double cursor);

    // The cursor's frame as drawn; -1 without one.
    double cursor_x() const { return cursor_x_; }

private:
    void draw(const status_history& history, double x0, double x1, double origin);
    void fit_y();

    QtCharts::QChart* chart_ = nullptr;
    QtCharts::QChartView* view_ = nullptr;
    QtCharts::QValueAxis* x_ = nullptr;
    QtCharts::QValueAxis* y_ = nullptr;
    std::array<QtCharts::QLineSeries*, status_limits::kBands> series_{};
    std::array<bool, status_limits::kBands> shown_{};
    QtCharts::QLineSeries* cursor_ = nullptr;
    double cursor_x_ = -1.0;
};
