// Geometry of the board alignment view.
#include "logic/board_align_geometry.h"

#include <algorithm>

namespace board_align {

int main_zoom(int height) { return std::max(1, 2 * (height / 600)); }

int zoom_image_factor(bool dual_channel) { return dual_channel ? 6 : 4; }

first_region initial_region(int rows, int cols) {
    first_region f;
    if (rows <= 0 || cols <= rows) return f;
    const int side = cols % 2 == 0 ? rows - 1 : rows - 2;
    if (side < 1) return f;
    f.region = cv::Rect((cols - rows) / 2, 0, side, side);
    f.largest = side;
    return f;
}

cv::Rect horizontal_band(int rows, int cols, int row) {
    return cv::Rect(0, row - 5, cols, 10) & cv::Rect(0, 0, cols, rows);
}

cv::Rect vertical_band(int rows, int cols, int col) {
    return cv::Rect(col - 5, 0, 10, rows) & cv::Rect(0, 0, cols, rows);
}

cv::Rect resized(const cv::Rect& region, int side, int rows, int cols) {
    side = std::max(1, std::min({side, rows, cols}));
    const int x = std::max(0, std::min(region.x, cols - side));
    const int y = std::max(0, std::min(region.y, rows - side));
    return cv::Rect(x, y, side, side);
}

cv::Rect wheel_step(const cv::Rect& region, int delta, int largest, int rows, int cols) {
    const bool shrink = delta > 0;
    const int side = region.width + (shrink ? -2 : 2);
    if (shrink ? side <= 0 : side > largest) return region;
    const int shift = shrink ? 1 : -1;
    return resized(cv::Rect(region.x + shift, region.y + shift, side, side), side, rows, cols);
}

int zoom_label_side(int rows, int cols, int factor) { return (std::min(rows, cols) + 1) * factor; }

} // namespace board_align
