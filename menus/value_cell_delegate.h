// Draws the cells of a table of plain numbers: the text, left-aligned and
// vertically centred, over the selection colour when selected. Much cheaper
// per cell than the style's full item painting, which matters for a table
// redrawn with every frame.
#pragma once

#include <QStyledItemDelegate>

class value_cell_delegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit value_cell_delegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
