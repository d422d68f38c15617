// The picked pixel of the analysis dialogs: where a click on a zoomed image
// lands, the keyboard moves, and the white ring drawn round the pixel.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace pixel_pick {

// The image coordinate of a click at `click` on an image shown `zoom` times
// enlarged: round(click / zoom), kept inside 0 .. size - 1. A zoom below 1
// counts as 1.
int from_click(double click, int zoom, int size);

// The image coordinate of a click on an image stretched to fill `shown`
// pixels of its label: floor(click * size / shown), kept inside 0 .. size - 1.
int from_stretched_click(double click, int shown, int size);

// The keys that move a picked pixel.
enum class key { left, up, right, down };

// Moves (x, y) one pixel: left and up while the coordinate is above 0, right
// while x < width - 1, down while y < height - 1.
void move(key k, double& x, double& y, int width, int height);

// The ring of a pixel: its eight neighbours, leaving out every neighbour with
// a coordinate of 0 or less, or at or beyond the width or height.
std::vector<cv::Point> ring(int x, int y, int width, int height);

// Paints the ring of (x, y) white in an 8-bit, 3-channel image.
void draw_ring(cv::Mat& rgb, int x, int y);

} // namespace pixel_pick
