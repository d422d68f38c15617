// The picked pixel of the analysis dialogs.
#include "logic/pixel_pick.h"

#include <algorithm>
#include <cmath>

namespace pixel_pick {

int from_stretched_click(double click, int shown, int size) {
    if (size <= 0 || shown <= 0) return 0;
    const double v = std::floor(click * size / shown);
    if (!(v > 0)) return 0; // also NaN
    return v >= size - 1 ? size - 1 : static_cast<int>(v);
}

int from_click(double click, int zoom, int size) {
    if (size <= 0) return 0;
    const double v = std::round(click / std::max(zoom, 1));
    if (!(v > 0)) return 0;  // also NaN
    return v >= size - 1 ? size - 1 : static_cast<int>(v);
}

void move(key k, double& x, double& y, int width, int height) {
    switch (k) {
    case key::left: if (x > 0) x -= 1; break;
    case key::up: if (y > 0) y -= 1; break;
    case key::right: if (x < width - 1) x += 1; break;
    case key::down: if (y < height - 1) y += 1; break;
    }
}

std::vector<cv::Point> ring(int x, int y, int width, int height) {
    std::vector<cv::Point> points;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            if (dx == 0 && dy == 0) continue;
            const int px = x + dx, py = y + dy;
            if (px <= 0 || py <= 0 || px >= width || py >= height) continue;
            points.emplace_back(px, py);
        }
    return points;
}

void draw_ring(cv::Mat& rgb, int x, int y) {
    if (rgb.type() != CV_8UC3) return;
    for (const cv::Point& p : ring(x, y, rgb.cols, rgb.rows)) rgb.at<cv::Vec3b>(p) = cv::Vec3b(255, 255, 255);
}

} // namespace pixel_pick
