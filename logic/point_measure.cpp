#include "logic/point_measure.h"

#include "device/c_numbers.h"

#include <cmath>
#include <limits>

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

void frame_values::keep(const scene_t& frame) {
    rows = frame.rows;
    cols = frame.cols;
    ambient = frame.ambient;
    depth = frame.depth;
    intensity = frame.intensity;
    xyz.resize(frame.points.size() * 3);
    // Scaled by 1 or NaN: no branch in the loop.
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    float* out = xyz.data();
    for (const auto& pt : frame.points) {
        const double k = pt.valid != 0 ? 1.0 : none;
        out[0] = float(pt.x * k);
        out[1] = float(pt.y * k);
        out[2] = float(pt.z * k);
        out += 3;
    }
}

pick read(const frame_values& frame, int row, int col) {
    pick p;
    p.row = row;
    p.col = col;
    if (row < 0 || col < 0 || row >= int(frame.rows) || col >= int(frame.cols)) return p;
    const std::size_t i = std::size_t(row) * frame.cols + std::size_t(col);
    if (i < frame.ambient.size()) p.ambient = frame.ambient[i];
    if (i < frame.depth.size()) p.depth = frame.depth[i];
    if (i < frame.intensity.size()) p.intensity = frame.intensity[i];
    if (i >= frame.xyz.size() / 3) return p;
    const float* pt = &frame.xyz[3 * i];
    p.x = pt[0] / 1000.0, p.y = pt[1] / 1000.0, p.z = pt[2] / 1000.0;
    p.range = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    p.has_return = std::isfinite(p.range);
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
                       int height, double click_x, double click_y, double point_size, double reach) {
    const double cx = click_x + 0.5, cy = click_y + 0.5, half = point_size / 2, reach2 = reach * reach;
    long best = -1;
    bool best_covers = false;
    double best_d2 = 0, best_depth = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const float* p = xyz + i * stride;
        if ((p[0] == 0 && p[1] == 0 && p[2] == 0) || !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            continue;
        const double w = m[12] * p[0] + m[13] * p[1] + m[14] * p[2] + m[15];
        if (!(w > 0)) continue; // behind the camera
        const double sz = (m[8] * p[0] + m[9] * p[1] + m[10] * p[2] + m[11]) / w;
        if (!(sz >= -1 && sz <= 1)) continue; // clipped by the near or far plane
        const double sx = (m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + m[3]) / w;
        const double sy = (m[4] * p[0] + m[5] * p[1] + m[6] * p[2] + m[7]) / w;
        const double dx = (sx + 1) * 0.5 * width - cx, dy = (sy + 1) * 0.5 * height - cy;
        const double d2 = dx * dx + dy * dy;
        const bool covers = std::abs(dx) <= half && std::abs(dy) <= half;
        if (!covers && d2 > reach2) continue;
        // Points come in index order: an equal one does not replace the best.
        bool better;
        if (best < 0 || covers != best_covers)
            better = best < 0 || covers;
        else if (covers)
            better = sz < best_depth;
        else
            better = d2 < best_d2 || (d2 == best_d2 && sz < best_depth);
        if (better) best = long(i), best_covers = covers, best_d2 = d2, best_depth = sz;
    }
    return best;
}

bool measurement::add(const pick& p) {
    missed_ = !p.has_return;
    if (missed_) {
        last_missed_ = p;
        return false;
    }
    if (count_ == 1) {
        b_ = p;
        count_ = 2;
        return true;
    }
    a_ = p;
    count_ = 1;
    return false;
}

std::string measurement::readout() const {
    std::string s;
    if (count_ >= 1) s = point_measure::readout("A", a_);
    if (count_ == 2) s += "\n" + point_measure::readout("B", b_) + "\nA-B " + distance_label(a_, b_);
    if (missed_) s += (s.empty() ? "" : "\n") + point_measure::readout("Pixel", last_missed_);
    return s;
}

} // namespace point_measure
