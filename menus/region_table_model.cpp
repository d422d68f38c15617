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
    values.assign(std::size_t(d) * d, 0);
    inside.assign(std::size_t(d) * d, false);
    for (int r = 0; r < d && whole; ++r) {
        const int y = corner.y + r;
        if (y < 0 || y >= height) continue;
        const std::uint32_t* line = data.data() + std::size_t(y) * width;
        for (int c = 0; c < d; ++c) {
            const int x = corner.x + c;
            if (x < 0 || x >= width) continue;
            values[std::size_t(r) * d + c] = line[x];
            inside[std::size_t(r) * d + c] = true;
        }
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
    const std::size_t i = std::size_t(index.row()) * side + index.column();
    return inside[i] ? QVariant(QString::number(values[i])) : QVariant();
}

QVariant region_table_model::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0 || section >= side) return QVariant();
    return QString::number((orientation == Qt::Horizontal ? corner.x : corner.y) + section);
}
