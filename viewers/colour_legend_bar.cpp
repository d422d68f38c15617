#include "viewers/colour_legend_bar.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

namespace {
constexpr int kBarWidth = 12;
constexpr int kMargin = 6;  // above and below the bar, for the end labels
} // namespace

colour_legend_bar::colour_legend_bar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    hide();
}

// A fixed width, room for labels up to "200000" or "0.0125": the pictures
// beside the bar keep their size when the scale changes.
QSize colour_legend_bar::sizeHint() const {
    return QSize(kBarWidth + 6 + QFontMetrics(font()).horizontalAdvance(QStringLiteral("200000")) + 2, 60);
}

QSize colour_legend_bar::minimumSizeHint() const { return QSize(sizeHint().width(), 20); }

bool colour_legend_bar::set_legend(const colour_legend::legend& l) {
    if (l == legend_ && isHidden() != l.shown) return false;
    const bool shown_changed = isHidden() == l.shown;
    const bool colours_changed = bar_.isNull() || l.map != legend_.map || l.inverted != legend_.inverted;
    legend_ = l;
    if (colours_changed) {
        const display::colour_lut& lut = display::lookup_table(l.map, l.inverted);
        bar_ = QImage(1, 256, QImage::Format_RGB32);
        for (int v = 0; v < 256; ++v) bar_.setPixel(0, 255 - v, qRgb(lut.r(v), lut.g(v), lut.b(v)));
    }
    if (shown_changed) setVisible(l.shown);
    update();
    return shown_changed;
}

void colour_legend_bar::paintEvent(QPaintEvent*) {
    if (!legend_.shown) return;
    QPainter p(this);
    const QFontMetrics fm(font());
    const int top = kMargin + fm.height(), bottom = height() - kMargin;
    if (bottom <= top) return;
    const QRect bar(0, top, kBarWidth, bottom - top);
    p.drawImage(bar, bar_);
    p.setPen(palette().color(QPalette::WindowText));
    // The unit above the bar; a note (equalised, no range) runs down beside it.
    p.drawText(QRect(0, 0, width(), fm.height()), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(legend_.unit));
    if (!legend_.note.empty()) {
        p.save();
        p.translate(kBarWidth + 4 + fm.ascent(), top);
        p.rotate(90);
        p.drawText(QRect(0, 0, bottom - top, fm.height() + 2), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(legend_.note));
        p.restore();
        return;
    }
    int last_y = -1000;
    for (const auto& t : legend_.ticks) {
        const int y = bottom - int(t.position * double(bottom - top) + 0.5);
        p.drawLine(kBarWidth, y, kBarWidth + 4, y);
        if (std::abs(y - last_y) < fm.height()) continue;  // no overlapping labels
        p.drawText(QRect(kBarWidth + 6, y - fm.height() / 2, width() - kBarWidth - 6, fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(t.text));
        last_y = y;
    }
}
