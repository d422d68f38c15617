// The line chart of the analysis dialogs: one chart view with antialiasing,
// the title " ", a value axis at the bottom and one at the left, and one line
// series drawn in red, through OpenGL where the platform offers a hardware
// context;
// the legend is shown once the series is in. Every chart of the program is
// drawn in the dark chart theme that matches the window's style sheet.
#pragma once

#include <QString>
#include <QtCharts/QChartGlobal>

QT_CHARTS_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
QT_CHARTS_END_NAMESPACE

struct line_chart {
    QtCharts::QChartView* view = nullptr;
    QtCharts::QChart* chart = nullptr;
    QtCharts::QLineSeries* series = nullptr;
    QtCharts::QValueAxis* x = nullptr;
    QtCharts::QValueAxis* y = nullptr;

    // Builds the chart; the caller puts `view` into a layout, which owns it.
    static line_chart build(const QString& object_name, const QString& series_name);

    // The dark theme: the style sheet's background, light text and grid.
    // Call it once the axes are in and before the series are added: a theme
    // recolours every series.
    static void apply_theme(QtCharts::QChart* chart);
};
