// The raw values of the board alignment view's region of interest, for a
// table view: a d x d square of a frame's values with the region's corner as
// the first column and row heading. The model keeps its own copy of the
// region's values; cells outside the frame are blank.
#pragma once

#include <QAbstractTableModel>
#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

class region_table_model : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit region_table_model(QObject* parent = nullptr);

    // Takes the values of `region` (side = its height) from a width x height
    // frame. Reads only inside the frame, and only when `data` holds the
    // whole frame; otherwise every cell is blank.
    void set_region(const std::vector<std::uint32_t>& data, int width, int height, const cv::Rect& region);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    int side = 0;
    cv::Point corner;
    cv::Rect inside;                    // the cells that lie in the frame, in table coordinates
    std::vector<std::uint32_t> values;  // side x side, row-major
};
