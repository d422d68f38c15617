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
