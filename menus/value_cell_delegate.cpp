#include "menus/value_cell_delegate.h"

#include <QPainter>

value_cell_delegate::value_cell_delegate(QObject* parent) : QStyledItemDelegate(parent) {}

void value_cell_delegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) return;
    // The view paints every cell with one painter: set only what differs.
    if (painter->font() != option.font) painter->setFont(option.font);
    const QColor colour = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    if (painter->pen().color() != colour) painter->setPen(colour);
    painter->drawText(option.rect.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
}
