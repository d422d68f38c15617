#include "menus/status_chart.h"

#include "menus/line_chart.h"

#include <QPen>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace QtCharts;

namespace {
// At most this many points per value: the chart is a few hundred pixels wide.
constexpr std::size_t kMaxPoints = 600;

// One colour per value, legible on the dark background; neighbours differ.
const QColor kColours[status_limits::kBands] = {
    QColor(0xff, 0x70, 0x43), QColor(0x4f, 0xc3, 0xf7), QColor(0xae, 0xd5, 0x81), QColor(0xff, 0xd5, 0x4f),
    QColor(0xba, 0x68, 0xc8), QColor(0x4d, 0xb6, 0xac), QColor(0xf0, 0x62, 0x92), QColor(0x90, 0xa4, 0xae),
    QColor(0xdc, 0xe7, 0x75), QColor(0x79, 0x86, 0xcb), QColor(0xff, 0xb7, 0x4d), QColor(0x81, 0xc7, 0x84),
    QColor(0x64, 0xb5, 0xf6), QColor(0xe5, 0x73, 0x73), QColor(0xa1, 0x88, 0x7f), QColor(0xff, 0xee, 0x58),
    QColor(0x26, 0xc6, 0xda), QColor(0xce, 0x93, 0xd8), QColor(0x9c, 0xcc, 0x65), QColor(0xff, 0x8a, 0x65),
    QColor(0x7e, 0x57, 0xc2), QColor(0x80, 0xcb, 0xc4), QColor(0x66, 0xbb, 0x6a)};
} // namespace

status_chart::status_chart() {
    chart_ = new QChart();
    view_ = new QChartView(chart_);
    view_->setObjectName("chart_status_history");
    // No antialiasing: a few thousand points drawn smooth in software cost
    // several times as much, a few times a second.
    x_ = new QValueAxis();
    y_ = new QValueAxis();
    x_->setLabelFormat("%g");
    y_->setLabelFormat("%g");
    chart_->addAxis(x_, Qt::AlignBottom);
    chart_->addAxis(y_, Qt::AlignLeft);
    line_chart::apply_theme(chart_);
    view_->setBackgroundBrush(chart_->backgroundBrush());
    chart_->legend()->setAlignment(Qt::AlignBottom);
    for (std::size_t i = 0; i < series_.size(); ++i) {
        series_[i] = new QLineSeries();
        series_[i]->setName(QString::fromLatin1(status_limits::name(i)));
        chart_->addSeries(series_[i]);
        series_[i]->setPen(QPen(kColours[i], 1.0));
        series_[i]->attachAxis(x_);
        series_[i]->attachAxis(y_);
        series_[i]->setVisible(false);
        for (QLegendMarker* m : chart_->legend()->markers(series_[i])) m->setVisible(false);
    }
    cursor_ = new QLineSeries();
    cursor_->setName("cursor");
    cursor_->setPen(QPen(QColor(0xe0, 0xe1, 0xe3), 1.0, Qt::DashLine));
    chart_->addSeries(cursor_);
    cursor_->attachAxis(x_);
    cursor_->attachAxis(y_);
    for (QLegendMarker* m : chart_->legend()->markers(cursor_)) m->setVisible(false);
}

void status_chart::set_shown(std::size_t i, bool shown) {
    shown_[i] = shown;
    series_[i]->setVisible(shown);
    if (!shown) series_[i]->clear();
    for (QLegendMarker* m : chart_->legend()->markers(series_[i])) m->setVisible(shown);
}

void status_chart::draw(const status_history& history, double x0, double x1, double origin) {
    for (std::size_t i = 0; i < series_.size(); ++i) {
        if (!shown_[i]) continue;
        QVector<QPointF> points;
        for (const auto& p : history.series(i, x0, x1, kMaxPoints, origin)) points.append(QPointF(p.first, p.second));
        series_[i]->replace(points);
    }
}

void status_chart::fit_y() {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (std::size_t i = 0; i < series_.size(); ++i) {
        if (!shown_[i]) continue;
        for (const QPointF& p : series_[i]->pointsVector()) {
            lo = std::min(lo, p.y());
            hi = std::max(hi, p.y());
        }
    }
    if (!(lo <= hi)) {
        lo = 0.0;
        hi = 1.0;
    }
    const double pad = hi > lo ? 0.05 * (hi - lo) : std::max(0.5, std::fabs(hi) * 0.05);
    y_->setRange(lo - pad, hi + pad);
    y_->applyNiceNumbers();
}

void status_chart::draw_live(const status_history& history, double now, double span) {
    x_->setTitleText("s before now");
    x_->setLabelFormat("%g");
    draw(history, now - span, now, now);
    x_->setRange(-span, 0.0);
    fit_y();
    cursor_->clear();
    cursor_x_ = -1.0;
}

void status_chart::draw_recording(const status_history& history, double first, double last, double cursor) {
    x_->setTitleText("frame");
    x_->setLabelFormat("%.0f");
    draw(history, first, last, 0.0);
    x_->setRange(first, std::max(first + 1.0, last));
    fit_y();
    cursor_->replace(QVector<QPointF>{QPointF(cursor, y_->min()), QPointF(cursor, y_->max())});
    cursor_x_ = cursor;
}
