#include "menus/region_table_model.h"

#include <QString>

#include <algorithm>

region_table_model::region_table_model(QObject* parent) : QAbstractTableModel(parent) {}

void region_table_model::set_region(const std::vector<std::uint32_t>& data, int width, int height, const cv::Rect& region) {
    const int d = std::max(0, region.height);
    const bool whole = width > 0 && height > 0 && data.size() >= std::size_t(width) * std::size_t(height);
    const bool reshaped = d != side;
    const bool moved = region.tl() != corner;
    if (reshaped) beginResetModel();
    side = d;
    corner = region.tl();
    inside = whole ? (cv::Rect(corner, cv::Size(d, d)) & cv::Rect(0, 0, width, height)) - corner : cv::Rect();
    values.assign(std::size_t(d) * d, 0);
    for (int r = inside.y; r < inside.y + inside.height; ++r) {
        const std::size_t line = std::size_t(corner.y + r) * std::size_t(width);
        for (int c = inside.x; c < inside.x + inside.width; ++c)
            values[std::size_t(r) * d + c] = data[line + std::size_t(corner.x + c)];
    }
    if (reshaped) {
        endResetModel();
    } else if (d > 0) {
        emit dataChanged(index(0, 0), index(d - 1, d - 1), {Qt::DisplayRole});
        if (moved) {
            emit headerDataChanged(Qt::Horizontal, 0, d - 1);
            emit headerDataChanged(Qt::Vertical, 0, d - 1);
        }
    }
}

int region_table_model::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : side; }

int region_table_model::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : side; }

QVariant region_table_model::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= side || index.column() >= side) return QVariant();
    if (!inside.contains(cv::Point(index.column(), index.row()))) return QVariant();
    return QString::number(values[std::size_t(index.row()) * side + index.column()]);
}

QVariant region_table_model::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0 || section >= side) return QVariant();
    return QString::number((orientation == Qt::Horizontal ? corner.x : corner.y) + section);
}
