// Depth quality of a region of interest over the last N frames, against a
// target of known shape: a flat wall or a range sphere (every pixel at the
// same range). Plain code: the depth quality dialog, the tests and the
// benchmarks call it directly.
//
// Range is a point's distance from the sensor, sqrt(x² + y² + z²); a pixel
// counts when it carries a return. Each frame is judged once, as it arrives,
// on its own returns:
//  - the surface: for a wall, a plane found by consensus (PCL's M-estimator
//    sample consensus on up to 512 of the frame's returns, within a band of
//    30 mm or 1.5 % of the median range); for a sphere, or a region whose
//    returns span fewer than 8 rows or columns, the middle of the shortest
//    range interval that holds half the returns (least median of squares);
//  - the inlier band: refined three times, each time refitting the surface
//    (least squares plane, or median range) on the returns inside the band
//    and setting the band to six robust standard deviations of their errors
//    (1.4826 × the median of |e| over the returns inside), at least 5 mm.
//    The band follows the inliers' own spread, never the outliers'.
// A return outside the band is an outlier: a false return at a random range,
// or something in front of the target. Outliers count as returns for the
// fill rate and are reported as a share; every other figure leaves them out.
// The window's surface is the least-squares plane (orthogonal regression)
// through the inliers of all its frames, or their median range.
//
// Whether the figures hold is judged from the window (see `judge_kind`): a
// region whose returns do not determine a plane, or a surface that holds
// under half the returns or scatters far more than the sensor's own noise,
// shows no figure that needs the surface.
#pragma once

#include "device/DadodUz.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

namespace depth_quality {

using scene_t = TAVRIN::DadodUz::scene_t;

enum class target { wall = 0, sphere = 1 };

// A rectangle of pixels: columns x .. x + w - 1, rows y .. y + h - 1.
struct region {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const region& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
    bool operator!=(const region& o) const { return !(*this == o); }
};

// The central half of a frame in each direction (columns 100-299, rows 25-74
// of a 400 x 100 frame).
region default_region(int cols, int rows);

// The region kept inside a cols x rows frame: at least one pixel wide and
// high, moved (not shrunk) where it sticks out and fits, cut where it is
// larger than the frame. An empty frame gives an empty region.
region clamp_region(region r, int cols, int rows);

// Whether the region is at least one pixel wide and high and lies wholly
// inside a cols x rows frame.
bool fits(const region& r, int cols, int rows);

// The region spanned by two pixels of a drag (both included, in any order),
// kept inside the frame.
region from_corners(int c0, int r0, int c1, int r1, int cols, int rows);

constexpr double none = std::numeric_limits<double>::quiet_NaN();

// n · p = d with a unit normal pointing away from the sensor (d >= 0), and
// the spread of the points it was fitted to: the standard deviations along
// the plane's narrower direction and along its normal.
struct plane {
    double nx = 1, ny = 0, nz = 0, d = 0;
    bool ok = false;
    double narrow = 0, off = 0;
};

// Sums over the inliers of one frame (or of the window): x, y, z about the
// window's origin, their products, the range about the window's shift, and
// its square, and the count. Everything the metrics need is a linear
// function of them.
struct inlier_sums {
    double x = 0, y = 0, z = 0, xx = 0, xy = 0, xz = 0, yy = 0, yz = 0, zz = 0, r = 0, rr = 0, n = 0;
    void add(double px, double py, double pz, double pr);
    void add(const inlier_sums& o, double sign = 1);
    // The mean error of these inliers against a plane (in origin-relative
    // coordinates) or a sphere of range `sphere` (relative to the shift).
    double mean_error(const plane& p, bool wall, double sphere) const;
};

// One frame's region, pixel by pixel row by row: x, y, z and range (mm) in
// one block; a pixel without a return has the range NaN and the point
// (0, 0, 0). With it what the window worked out as it arrived: its inliers,
// their ranges in order, and their sums in all, per region column and per
// half-row.
struct roi_frame {
    std::vector<float> data; // x | y | z | range, `pixels` each
    std::vector<float> sorted;
    std::vector<std::uint8_t> inlier;
    std::size_t pixels = 0, returns = 0;
    inlier_sums all;
    std::vector<inlier_sums> column, half;
    const float* x() const { return data.data(); }
    const float* y() const { return data.data() + pixels; }
    const float* z() const { return data.data() + 2 * pixels; }
    const float* range() const { return data.data() + 3 * pixels; }
};

// The last N frames' regions, oldest first (see the top for how a frame is
// judged).
class window {
public:
    // The region measured; a different one empties the window (the frames
    // hold only the old region's pixels).
    void set_region(const region& r);
    const region& roi() const { return roi_; }
    // What the frames are judged against; another target empties the window.
    void set_target(target t);
    target kind() const { return kind_; }
    // Frames kept (at least 1); the oldest beyond the count leave.
    void set_frames(int n);
    int frames() const { return frames_; }

    // Cuts the region out of a frame and appends it. A frame without a point
    // per pixel, or one the region does not fit, is skipped (false). A frame
    // of another size than those in the window empties it first.
    bool push(const scene_t& scene);
    // Empties the window; `release` also gives back the memory it kept for
    // the next frames.
    void clear();
    void release();

    std::size_t size() const { return list_.size(); }
    const std::deque<roi_frame>& list() const { return list_; }
    int frame_cols() const { return cols_; }
    int frame_rows() const { return rows_; }
    // Frames' storage kept for reuse (at most a few).
    std::size_t spares() const { return spare_.size(); }

    // Returns in the window, and the median of their inliers' ranges (NaN for
    // none): a count of the ranges per millimetre narrows the search to the
    // one or two millimetres of the middle, which the frames' ordered ranges
    // give.
    std::size_t returns() const { return returns_; }
    double median_range() const;

    // The sums of the window's inliers, kept as frames come and go; each
    // pixel's range sums (about shift()) for the temporal noise.
    const inlier_sums& sums() const { return sums_; }
    const std::vector<inlier_sums>& column_sums() const { return column_; }
    const std::vector<inlier_sums>& half_sums() const { return half_; }
    const std::vector<double>& pixel_sum() const { return pixel_sum_; }
    const std::vector<double>& pixel_sq() const { return pixel_sq_; }
    const std::vector<std::uint32_t>& pixel_n() const { return pixel_n_; }
    const float* origin() const { return origin_; }
    double shift() const { return origin_[0]; }

    // The least-squares plane through the window's inliers.
    plane fit() const;

private:
    void account(const roi_frame& f, int sign);
    void judge(roi_frame& f);
    void retire(roi_frame&& f);

    region roi_;
    target kind_ = target::wall;
    int frames_ = 30;
    int cols_ = 0, rows_ = 0;
    std::deque<roi_frame> list_;
    std::vector<roi_frame> spare_; // storage of frames that left, reused
    std::vector<std::uint32_t> per_mm_; // inlier ranges per millimetre, the last one for everything farther
    std::size_t returns_ = 0, kept_ = 0; // returns, and inlier ranges counted in per_mm_
    float origin_[3] = {0, 0, 0}; // near the target: the first frame's median range ahead
    inlier_sums sums_;
    std::vector<inlier_sums> column_, half_;
    std::vector<double> pixel_sum_, pixel_sq_;
    std::vector<std::uint32_t> pixel_n_;
    std::vector<float> scratch_; // errors of a frame being judged
};

// Whether the figures hold, and if not, why.
enum class judge_kind {
    holds,
    no_frames,
    no_returns,
    too_few_lines,    // the returns span fewer than 8 rows or columns
    too_narrow,       // the plane's tilt is uncertain: its narrow spread is not clear of the spread off it
    off_surface,      // under half the returns lie on the surface
    edge_on,          // the plane runs along the line of sight
    other_shape,      // the other target's shape fits the inliers far better
    scattered,        // the inliers scatter far more than the temporal noise
};

struct verdict {
    judge_kind kind = judge_kind::no_frames;
    target of = target::wall;
    int rows = 0, cols = 0;          // too_few_lines: rows and columns of the region holding inliers
    double tilt_error = none;        // too_narrow: the normal's standard error (degrees; infinite: no plane)
    double off_share = none;         // off_surface: % of returns off the surface
    double incidence = none;         // edge_on: degrees between the normal and the line of sight
    double plane_rms = none, range_rms = none; // other_shape: the inliers about their plane and about their mean range (mm)
    double rms = none, noise = none; // scattered: the inliers' RMS and the temporal noise (mm)
    bool holds() const { return kind == judge_kind::holds; }
};

// The limits of the verdict.
constexpr int kMinLines = 8;            // rows and columns of returns a plane needs
constexpr double kMaxTiltErrorDeg = 1.0; // the normal's standard error a plane may have (see tilt_error)
constexpr double kMinInlierShare = 50.0;  // % of returns on the surface
constexpr double kMinCoverage = 0.5;      // share of a channel's, half-row's or column's pixels a mean needs
constexpr double kMaxIncidenceDeg = 80.0; // between the wall's normal and the line of sight to its middle
constexpr double kBetterFit = 0.5;        // the other shape's RMS below this share of the target's: not the target
constexpr double kMaxScatterRatio = 4.0;  // inlier RMS over the temporal noise ...
constexpr double kScatterAllowanceMm = 20.0; // ... plus a fixed pattern allowance

// What the dialog shows. Lengths in millimetres, NaN when there is nothing
// to measure (no return, a single frame for the temporal noise, a sphere's
// angle, no ground truth) or the verdict says the figure does not hold.
struct metrics {
    std::size_t frames = 0;
    double fill_rate = none;       // %: returns over region pixels, over the frames
    double outliers = none;        // %: of the returns, once a surface is found
    double distance = none;        // wall: plane distance along its normal; sphere: median range
    double rms = none;             // of e over the newest frame's inliers
    double angle = none;           // degrees between the wall's normal and the optical axis (x)
    // Per pixel the sample standard deviation of its range over the frames
    // in which it is an inlier, for pixels that are in at least half of the
    // frames (and two); the median over those pixels.
    double temporal_noise = none;
    double z_error = none;         // distance - ground truth
    double z_error_percent = none;
    // Largest - smallest mean e of the VCSEL channels, and the same over the
    // half-rows, of the groups whose inliers fill at least kMinCoverage of
    // their pixels over the frames.
    double channel_spread = none;
    double row_spread = none;
    std::vector<double> column_error; // mean e of each region column (NaN: too few inliers)
    plane wall;
    depth_quality::verdict verdict;
};

// The standard error of a fitted plane's normal, in degrees, from the spread
// of its points in the plane's narrow direction (a) and off it (b) and their
// count n: sqrt(a² b² / n) / (a² - b²) radians, the first-order uncertainty
// of the direction of least spread. n counts pixels, not samples: the
// sensor's fixed pattern errors (channels, half-rows) do not average out over
// frames. Infinite when the narrow spread is not above the spread off the
// plane.
double tilt_error(double a, double b, double n);

// Every metric of the window's frames, against its target. `channels` groups
// the columns as the offset calibration does: g = frame columns / channels,
// channel k holds columns k*g .. k*g + g - 1, columns past the last full
// group belong to no channel; 0 or less: no channel spread. Half-rows are
// the parts of a region row left and right of the frame's middle column (the
// receiver's halves). `ground_truth_mm` <= 0 means none.
metrics measure(const window& w, int channels, double ground_truth_mm);

// ---- the pieces (tests call them directly) ----

// Share of returns among the region's pixels over the frames, in %.
double fill_rate(const window& w);

// Median of the values (reorders them); NaN for none.
double median(std::vector<float>& values);

// 1.4826 × the median absolute deviation from the median; NaN for none.
double robust_sigma(std::vector<float> values);

// The middle of the shortest interval of the ascending values that holds
// half of them and one more (the least median of squares location); NaN
// for none.
double shortest_half(const float* ascending, std::size_t n);

// Largest minus smallest of the means, leaving out NaN (a group without an
// inlier); NaN when every one is.
double spread(const std::vector<double>& means);

} // namespace depth_quality
