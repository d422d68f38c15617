// Geometry of the board alignment view: the zoom of the main picture, the
// profile bands through the chosen row and column, and the square region of
// interest shown enlarged and tabled. Every rectangle is (x, y, width,
// height) in image pixels.
#pragma once

#include <opencv2/core.hpp>

namespace board_align {

// The main picture's zoom for a dialog `height` pixels high: 2 x (height /
// 600), integer division, and at least 1 so that a low dialog still shows it.
int main_zoom(int height);

// The zoom image's enlargement: 6 in the 50-channel mode, else 4.
int zoom_image_factor(bool dual_channel);

// The region set by a frame's first arrival, and the largest side it may
// grow to. Only a frame wider than high has one: a square of side rows - 1
// (rows - 2 when cols is odd) centred horizontally at the top edge; other
// frames give the region (0, 0, 1, 1) and a largest side of 0.
struct first_region {
    cv::Rect region{0, 0, 1, 1};
    int largest = 0;
};
first_region initial_region(int rows, int cols);

// The bands: rows row - 5 .. row + 4 across the image, columns col - 5 ..
// col + 4 down it, each cut to the image.
cv::Rect horizontal_band(int rows, int cols, int row);
cv::Rect vertical_band(int rows, int cols, int col);

// A region of side `side` at `region`'s corner, moved only as far as needed
// to stay inside a rows x cols image (the side is cut to the image first).
cv::Rect resized(const cv::Rect& region, int side, int rows, int cols);

// A wheel step over the zoom image: a positive delta shrinks the region by
// one pixel on every side while the new side stays above 0; any other step
// grows it by one pixel on every side while the new side does not exceed
// `largest`. The result stays inside the image; a step that cannot be taken
// returns the region unchanged.
cv::Rect wheel_step(const cv::Rect& region, int delta, int largest, int rows, int cols);

// Side of the square zoom image label: (min(rows, cols) + 1) x factor.
int zoom_label_side(int rows, int cols, int factor);

} // namespace board_align
