// A colour legend beside a picture: the colour table as a vertical bar, its
// ticks labelled in the quantity's unit, and a note where the scale is not
// linear or there is none. Drawn again only when the legend changes.
#pragma once

#include "logic/colour_legend.h"

#include <QImage>
#include <QWidget>

class colour_legend_bar : public QWidget {
    Q_OBJECT

public:
    explicit colour_legend_bar(QWidget* parent = nullptr);

    // Shows `l`; hides the bar for a legend that is not shown. Nothing is
    // redrawn when it equals the legend shown. True when the bar was shown
    // or hidden (the layout around it changes).
    bool set_legend(const colour_legend::legend& l);
    const colour_legend::legend& legend() const { return legend_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    colour_legend::legend legend_;
    QImage bar_;  // 1 x 256, the top colour first
};
