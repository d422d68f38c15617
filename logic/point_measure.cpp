#include "logic/point_measure.h"

#include "device/c_numbers.h"

#include <cmath>

namespace point_measure {

namespace {
std::string m3(double v) { return c_numbers::fixed(v, 3); }
std::string triple(double x, double y, double z) { return "(" + m3(x) + ", " + m3(y) + ", " + m3(z) + ")"; }
} // namespace

bool pixel_of(std::size_t index, int rows, int cols, int& row, int& col) {
    if (rows <= 0 || cols <= 0 || index >= std::size_t(rows) * std::size_t(cols)) return false;
    row = int(index / std::size_t(cols));
    col = int(index % std::size_t(cols));
    return true;
}

pick read(const scene_t& frame, int row, int col) {
    pick p;
    p.row = row;
    p.col = col;
    if (row < 0 || col < 0 || row >= int(frame.rows) || col >= int(frame.cols)) return p;
    const std::size_t i = std::size_t(row) * frame.cols + std::size_t(col);
    if (i < frame.ambient.size()) p.ambient = frame.ambient[i];
    if (i < frame.depth.size()) p.depth = frame.depth[i];
    if (i < frame.intensity.size()) p.intensity = frame.intensity[i];
    if (i >= frame.points.size()) return p;
    const auto& pt = frame.points[i];
    p.x = pt.x / 1000.0, p.y = pt.y / 1000.0, p.z = pt.z / 1000.0;
    p.range = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    p.has_return = pt.valid != 0 && std::isfinite(p.range);
    if (!p.has_return) p.x = p.y = p.z = p.range = 0;
    return p;
}

std::string readout(const char* name, const pick& p) {
    std::string s = std::string(name) + "  row " + std::to_string(p.row) + ", column " + std::to_string(p.col) + ": ";
    if (!p.has_return) return s + "no return";
    return s + triple(p.x, p.y, p.z) + " m, range " + m3(p.range) + " m, ambient " + std::to_string(p.ambient) +
           ", depth " + std::to_string(p.depth) + ", intensity " + std::to_string(p.intensity);
}

double distance(const pick& a, const pick& b) {
    return std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (b.z - a.z) * (b.z - a.z));
}

std::string log_line(const pick& a, const pick& b) {
    return "[Measure] A " + triple(a.x, a.y, a.z) + " m, B " + triple(b.x, b.y, b.z) + " m: distance " +
           m3(distance(a, b)) + " m " + triple(b.x - a.x, b.y - a.y, b.z - a.z);
}

std::string distance_label(const pick& a, const pick& b) { return m3(distance(a, b)) + " m"; }

long nearest_on_screen(const float* xyz, std::size_t count, std::size_t stride, const double m[16], int width,
                       int height, double click_x, double click_y, double reach) {
    long best = -1;
    double best_d2 = reach * reach, best_depth = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const float* p = xyz + i * stride;
        if ((p[0] == 0 && p[1] == 0 && p[2] == 0) || !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            continue;
        const double w = m[12] * p[0] + m[13] * p[1] + m[14] * p[2] + m[15];
        if (!(w > 0)) continue; // behind the camera
        const double sx = (m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + m[3]) / w;
        const double sy = (m[4] * p[0] + m[5] * p[1] + m[6] * p[2] + m[7]) / w;
        const double sz = (m[8] * p[0] + m[9] * p[1] + m[10] * p[2] + m[11]) / w;
        const double dx = (sx + 1) * 0.5 * width - click_x, dy = (sy + 1) * 0.5 * height - click_y;
        const double d2 = dx * dx + dy * dy;
        // Within a pixel of the best so far, the nearer to the camera wins.
        if (d2 > best_d2 + 1.0 || (best >= 0 && d2 > best_d2 - 1.0 && sz >= best_depth)) continue;
        best = long(i), best_d2 = std::min(d2, best_d2), best_depth = sz;
    }
    return best;
}

bool measurement::add(const pick& p) {
    if (!p.has_return) return false;
    if (count_ == 1) {
        b_ = p;
        count_ = 2;
        return true;
    }
    a_ = p;
    count_ = 1;
    return false;
}

} // namespace point_measure
