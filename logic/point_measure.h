// The ruler of the point cloud view: the pixel behind a picked point of the
// organised cloud, its readout, and the distance between two picks. Plain
// code: the views only move clicks and draw markers.
#pragma once

#include "device/DadodUz.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace point_measure {

using scene_t = TAVRIN::DadodUz::scene_t;

// Pixel (row, column) of point `index` of a rows x cols organised cloud
// (row-major); false when the index lies outside it.
bool pixel_of(std::size_t index, int rows, int cols, int& row, int& col);

// The pixel of a frame as the readout shows it: the point in metres, its
// range, and the raw ambient, depth and intensity values.
struct pick {
    int row = -1, col = -1;
    bool has_return = false; // a return with finite coordinates
    double x = 0, y = 0, z = 0, range = 0;
    std::uint32_t ambient = 0, intensity = 0;
    std::int32_t depth = 0;
};

// What the ruler reads of one frame: kept for the frame whose cloud is on
// screen, so that picks read that frame while later frames that leave the
// cloud as it is (a frame without depth values) fill the frame record.
// Refilled in place: once sized, keeping a frame allocates nothing.
struct frame_values {
    std::uint32_t rows = 0, cols = 0;
    std::vector<std::uint16_t> ambient, intensity;
    std::vector<std::int32_t> depth;
    // x, y, z in millimetres, three per point of the frame; NaN for a point
    // without a return.
    std::vector<float> xyz;

    // Copies the frame's size, ambient, depth, intensity and points.
    void keep(const scene_t& frame);
};

// Reads pixel (row, col) of the frame; a pixel outside the frame, or beyond
// the arrays it has, has no return and no values.
pick read(const frame_values& frame, int row, int col);

// "A  row 49, column 200: (2.000, -0.150, 0.020) m, range 2.006 m, ambient 120,
// depth 2006, intensity 310", or "... : no return". Three decimals, whatever
// the locale.
std::string readout(const char* name, const pick& p);

double distance(const pick& a, const pick& b);

// "[Measure] A (x, y, z) m, B (x, y, z) m: distance D m (dx, dy, dz)".
std::string log_line(const pick& a, const pick& b);

// "1.234 m": the label drawn next to the line.
std::string distance_label(const pick& a, const pick& b);

// The point of a cloud drawn at a click, for a view whose world to clip
// transform is `m` (4 x 4, row-major) on a width x height window (y up, as
// the click). The click names a pixel; its centre lies half a pixel above and
// to the right. Each point is drawn as a square of `point_size` pixels around
// its projection: of the points whose square covers the click's centre, the
// nearest to the camera is picked; when none does, the point nearest to the
// click within `reach` pixels of it. Remaining ties go to the nearer to the
// camera, then to the lower index, so the order of the points does not
// change the pick. Points at the origin (pixels parked there because they
// have no return or lie outside the distance window), outside the near and
// far planes, behind the camera or not finite are not drawn points. -1 for
// none.
long nearest_on_screen(const float* xyz, std::size_t count, std::size_t stride, const double m[16], int width,
                       int height, double click_x, double click_y, double point_size, double reach);

// One measurement: a first pick, a second one that completes it, and a
// third that starts the next. A pick without a return is not taken: it is
// only shown on the readout's last line until the next pick.
class measurement {
public:
    // Takes the pick; true when it completed a measurement.
    bool add(const pick& p);
    void clear() { count_ = 0, missed_ = false; }
    int count() const { return count_; }
    const pick& a() const { return a_; }
    const pick& b() const { return b_; }

    // The lines of the view's corner: "A ...", with the second pick "B ..."
    // and "A-B 1.234 m", then "Pixel ...: no return" after a pick without a
    // return. Empty when there is nothing to show.
    std::string readout() const;

private:
    pick a_, b_, last_missed_;
    int count_ = 0;
    bool missed_ = false;
};

} // namespace point_measure
