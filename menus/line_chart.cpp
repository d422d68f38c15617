#include "menus/line_chart.h"

#include <QOpenGLContext>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

using namespace QtCharts;

namespace {

// Line series draw through OpenGL where the platform gives us a context (an
// X server, even a virtual one); elsewhere, for example on the offscreen
// platform without one, they draw in software.
bool opengl_available() {
    static const bool available = [] {
        QOpenGLContext context;
        return context.create();
    }();
    return available;
}

} // namespace

line_chart line_chart::build(const QString& object_name, const QString& series_name) {
    line_chart c;
    c.chart = new QChart();
    c.chart->setTitle(" ");
    c.view = new QChartView(c.chart);
    c.view->setObjectName(object_name);
    c.view->setRenderHint(QPainter::Antialiasing);
    c.chart->legend()->hide();
    c.x = new QValueAxis();
    c.y = new QValueAxis();
    c.chart->addAxis(c.x, Qt::AlignBottom);
    c.chart->addAxis(c.y, Qt::AlignLeft);
    c.series = new QLineSeries();
    c.series->setName(series_name);
    c.series->setColor(Qt::red);
    c.series->setUseOpenGL(opengl_available());
    c.chart->addSeries(c.series);
    c.series->attachAxis(c.x);
    c.series->attachAxis(c.y);
    c.chart->legend()->show();
    return c;
}
