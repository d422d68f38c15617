#include "logic/depth_quality.h"

#include <opencv2/core.hpp>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <pcl/sample_consensus/msac.h>
#include <pcl/sample_consensus/sac_model_plane.h>

#include <algorithm>
#include <cmath>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace depth_quality {

namespace {

constexpr double kGateSigmas = 6.0;
constexpr double kMinGateMm = 5.0;
constexpr int kRefineSteps = 3;
constexpr double kConsensusMinMm = 30.0;     // the consensus band: at least 30 mm ...
constexpr double kConsensusShare = 0.015;    // ... or 1.5 % of the median range
constexpr std::size_t kConsensusPoints = 512; // returns the consensus samples from
constexpr int kConsensusTrials = 200;
constexpr std::size_t kSpares = 2;           // frames' storage kept for reuse
constexpr std::size_t kCountedMm = 262144;   // ranges counted per millimetre up to 262 m

// What a frame's returns are judged against: a plane (absolute coordinates)
// or a range.
struct surface {
    bool wall = false;
    plane p;
    double range = 0;
    double error(const roi_frame& f, std::size_t i) const {
        if (!wall) return double(f.range()[i]) - range;
        return p.nx * f.x()[i] + p.ny * f.y()[i] + p.nz * f.z()[i] - p.d;
    }
};

// The least-squares plane through the inliers whose sums these are, in the
// sums' own (origin-relative) coordinates: the centroid and the direction of
// least spread, with the spreads along the three directions.
plane fit_sums(const inlier_sums& s) {
    plane out;
    if (s.n < 3) return out;
    const double k = 1.0 / s.n;
    const double m[3] = {s.x * k, s.y * k, s.z * k};
    const cv::Matx33d cov(s.xx * k - m[0] * m[0], s.xy * k - m[0] * m[1], s.xz * k - m[0] * m[2],
                          s.xy * k - m[0] * m[1], s.yy * k - m[1] * m[1], s.yz * k - m[1] * m[2],
                          s.xz * k - m[0] * m[2], s.yz * k - m[1] * m[2], s.zz * k - m[2] * m[2]);
    cv::Matx31d values;
    cv::Matx33d vectors;
    if (!cv::eigen(cov, values, vectors)) return out;
    // Points on a line (or one point) leave two directions without spread.
    if (!(values(1) > 1e-9 * std::max(values(0), 1e-12))) return out;
    double nx = vectors(2, 0), ny = vectors(2, 1), nz = vectors(2, 2);
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(len > 0)) return out;
    out = {nx / len, ny / len, nz / len, (nx * m[0] + ny * m[1] + nz * m[2]) / len, true};
    out.narrow = std::sqrt(std::max(values(1), 0.0));
    out.off = std::sqrt(std::max(values(2), 0.0));
    return out;
}

// Hands the heap's free memory back to the system: frames smaller than the
// allocator's mapping threshold would otherwise stay with the process.
void give_back() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// A plane of origin-relative coordinates in absolute ones, its normal
// pointing away from the sensor.
plane absolute(plane p, const float o[3]) {
    p.d += p.nx * o[0] + p.ny * o[1] + p.nz * o[2];
    if (p.d < 0) p.nx = -p.nx, p.ny = -p.ny, p.nz = -p.nz, p.d = -p.d;
    return p;
}

// Rows and columns of a w x h region that hold at least one flagged pixel.
void lines_of(const std::uint8_t* flag, int w, int h, int& rows, int& cols) {
    std::vector<std::uint8_t> col(std::size_t(std::max(w, 0)), 0);
    rows = 0;
    for (int r = 0; r < h; ++r) {
        bool any = false;
        for (int c = 0; c < w; ++c) {
            if (!flag[std::size_t(r) * std::size_t(w) + std::size_t(c)]) continue;
            any = true;
            col[std::size_t(c)] = 1;
        }
        rows += any;
    }
    cols = int(std::count(col.begin(), col.end(), 1));
}

// The plane most of the frame's returns lie on, by consensus over up to
// kConsensusPoints of them, evenly spread over the region.
plane consensus_plane(const roi_frame& f, double band, const float o[3]) {
    if (f.returns < 3) return {};
    const std::size_t stride = std::max<std::size_t>(1, f.returns / kConsensusPoints);
    pcl::PointCloud<pcl::PointXYZ>::Ptr cloud(new pcl::PointCloud<pcl::PointXYZ>);
    cloud->reserve(f.returns / stride + 1);
    for (std::size_t i = 0, seen = 0; i < f.pixels; ++i) {
        if (std::isnan(f.range()[i])) continue;
        if (seen++ % stride == 0) cloud->push_back({f.x()[i] - o[0], f.y()[i] - o[1], f.z()[i] - o[2]});
    }
    if (cloud->size() < 3) return {};
    pcl::SampleConsensusModelPlane<pcl::PointXYZ>::Ptr model(new pcl::SampleConsensusModelPlane<pcl::PointXYZ>(cloud));
    pcl::MEstimatorSampleConsensus<pcl::PointXYZ> msac(model, band);
    msac.setMaxIterations(kConsensusTrials);
    msac.setProbability(0.999);
    if (!msac.computeModel()) return {};
    Eigen::VectorXf c;
    msac.getModelCoefficients(c);
    if (c.size() != 4) return {};
    const double len = std::sqrt(double(c[0]) * c[0] + double(c[1]) * c[1] + double(c[2]) * c[2]);
    if (!(len > 0) || !std::isfinite(len)) return {};
    plane rel{c[0] / len, c[1] / len, c[2] / len, -c[3] / len, true};
    return absolute(rel, o);
}

} // namespace

void inlier_sums::add(double px, double py, double pz, double pr) {
    x += px, y += py, z += pz, r += pr, rr += pr * pr;
    xx += px * px, xy += px * py, xz += px * pz, yy += py * py, yz += py * pz, zz += pz * pz;
    n += 1;
}

void inlier_sums::add(const inlier_sums& o, double sign) {
    x += sign * o.x, y += sign * o.y, z += sign * o.z, r += sign * o.r, rr += sign * o.rr;
    xx += sign * o.xx, xy += sign * o.xy, xz += sign * o.xz, yy += sign * o.yy, yz += sign * o.yz, zz += sign * o.zz;
    n += sign * o.n;
}

double inlier_sums::mean_error(const plane& p, bool wall, double sphere) const {
    if (!(n > 0.5)) return none;
    if (!wall) return r / n - sphere;
    return (p.nx * x + p.ny * y + p.nz * z) / n - p.d;
}

region default_region(int cols, int rows) {
    if (cols <= 0 || rows <= 0) return {};
    return clamp_region({cols / 4, rows / 4, cols / 2, rows / 2}, cols, rows);
}

bool fits(const region& r, int cols, int rows) {
    return r.w > 0 && r.h > 0 && r.x >= 0 && r.y >= 0 && r.x + r.w <= cols && r.y + r.h <= rows;
}

region clamp_region(region r, int cols, int rows) {
    if (cols <= 0 || rows <= 0) return {};
    r.w = std::clamp(r.w, 1, cols);
    r.h = std::clamp(r.h, 1, rows);
    r.x = std::clamp(r.x, 0, cols - r.w);
    r.y = std::clamp(r.y, 0, rows - r.h);
    return r;
}

region from_corners(int c0, int r0, int c1, int r1, int cols, int rows) {
    if (cols <= 0 || rows <= 0) return {};
    c0 = std::clamp(c0, 0, cols - 1);
    c1 = std::clamp(c1, 0, cols - 1);
    r0 = std::clamp(r0, 0, rows - 1);
    r1 = std::clamp(r1, 0, rows - 1);
    return {std::min(c0, c1), std::min(r0, r1), std::abs(c1 - c0) + 1, std::abs(r1 - r0) + 1};
}

// ---- window ----

void window::set_region(const region& r) {
    if (r != roi_) clear();
    roi_ = r;
}

void window::set_target(target t) {
    if (t != kind_) clear();
    kind_ = t;
}

void window::retire(roi_frame&& f) {
    if (spare_.size() < kSpares) spare_.push_back(std::move(f));
}

void window::set_frames(int n) {
    frames_ = std::max(1, n);
    std::size_t left = 0;
    while (int(list_.size()) > frames_) {
        account(list_.front(), -1);
        retire(std::move(list_.front()));
        list_.pop_front();
        ++left;
    }
    if (left > kSpares) give_back();
}

void window::clear() {
    for (auto& f : list_) retire(std::move(f));
    list_.clear();
    per_mm_.clear();
    returns_ = kept_ = 0;
    sums_ = {};
    column_.clear();
    half_.clear();
    pixel_sum_.clear();
    pixel_sq_.clear();
    pixel_n_.clear();
}

void window::release() {
    clear();
    std::deque<roi_frame>().swap(list_);
    std::vector<roi_frame>().swap(spare_);
    std::vector<std::uint32_t>().swap(per_mm_);
    std::vector<inlier_sums>().swap(column_);
    std::vector<inlier_sums>().swap(half_);
    std::vector<double>().swap(pixel_sum_);
    std::vector<double>().swap(pixel_sq_);
    std::vector<std::uint32_t>().swap(pixel_n_);
    std::vector<float>().swap(scratch_);
    give_back();
}

void window::account(const roi_frame& f, int sign) {
    if (!per_mm_.empty())
        for (float r : f.sorted) per_mm_[std::min(std::size_t(std::max(r, 0.0f)), kCountedMm - 1)] += std::uint32_t(sign);
    kept_ = std::size_t(std::ptrdiff_t(kept_) + sign * std::ptrdiff_t(f.sorted.size()));
    returns_ = std::size_t(std::ptrdiff_t(returns_) + sign * std::ptrdiff_t(f.returns));
    sums_.add(f.all, sign);
    for (std::size_t c = 0; c < column_.size(); ++c) column_[c].add(f.column[c], sign);
    for (std::size_t h = 0; h < half_.size(); ++h) half_[h].add(f.half[h], sign);
    const double shift = origin_[0];
    const float* range = f.range();
    for (std::size_t i = 0; i < f.pixels; ++i) {
        if (!f.inlier[i]) continue;
        const double v = range[i] - shift;
        pixel_sum_[i] += sign * v;
        pixel_sq_[i] += sign * v * v;
        pixel_n_[i] = std::uint32_t(std::int64_t(pixel_n_[i]) + sign);
    }
}

double window::median_range() const {
    if (kept_ == 0 || per_mm_.empty()) return none;
    // The one or two middle ranges, k and k + 1 (counted from 0).
    const std::size_t k = (kept_ - 1) / 2;
    std::size_t below = 0, mm = 0;
    while (below + per_mm_[mm] <= k) below += per_mm_[mm++];
    std::size_t last = mm;
    if (kept_ % 2 == 0 && below + per_mm_[mm] == k + 1)
        for (++last; per_mm_[last] == 0;) ++last;
    // The ranges of those millimetres, taken from each frame's ordered ranges.
    const float lo = mm == 0 ? -std::numeric_limits<float>::infinity() : float(mm);
    const float hi = last + 1 == kCountedMm ? std::numeric_limits<float>::infinity() : float(last + 1);
    std::vector<float> near;
    for (const roi_frame& f : list_)
        near.insert(near.end(), std::lower_bound(f.sorted.begin(), f.sorted.end(), lo),
                    std::lower_bound(f.sorted.begin(), f.sorted.end(), hi));
    const std::size_t at = std::min(k - below, near.size() - 1);
    std::nth_element(near.begin(), near.begin() + std::ptrdiff_t(at), near.end());
    const double middle = near[at];
    if (kept_ % 2 == 1 || at + 1 >= near.size()) return middle;
    return 0.5 * (middle + *std::min_element(near.begin() + std::ptrdiff_t(at) + 1, near.end()));
}

plane window::fit() const { return absolute(fit_sums(sums_), origin_); }

void window::judge(roi_frame& f) {
    const float* range = f.range();
    const std::size_t n = f.pixels;
    f.inlier.assign(n, 0);
    f.sorted.clear();
    std::vector<float>& e = scratch_;
    e.clear();
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isnan(range[i])) continue;
        f.inlier[i] = 1;
        e.push_back(range[i]);
    }
    surface s;
    if (!e.empty()) {
        int rows = 0, cols = 0;
        lines_of(f.inlier.data(), roi_.w, roi_.h, rows, cols);
        double band = std::max(kConsensusMinMm, kConsensusShare * median(e));
        if (kind_ == target::wall && rows >= kMinLines && cols >= kMinLines) {
            const plane q = consensus_plane(f, band, origin_);
            if (q.ok) s.wall = true, s.p = q;
        }
        if (!s.wall) {
            std::sort(e.begin(), e.end());
            s.range = shortest_half(e.data(), e.size());
            if (kind_ == target::sphere) f.sorted.assign(e.begin(), e.end());
        }
        for (int step = 0; step < kRefineSteps; ++step) {
            // The surface again, through the returns inside the band.
            if (s.wall) {
                inlier_sums own;
                for (std::size_t i = 0; i < n; ++i)
                    if (f.inlier[i] && std::fabs(s.error(f, i)) <= band)
                        own.add(f.x()[i] - origin_[0], f.y()[i] - origin_[1], f.z()[i] - origin_[2], 0);
                const plane q = absolute(fit_sums(own), origin_);
                if (q.ok) s.p = q;
            } else {
                e.clear();
                for (std::size_t i = 0; i < n; ++i)
                    if (f.inlier[i] && std::fabs(s.error(f, i)) <= band) e.push_back(range[i]);
                if (!e.empty()) s.range = median(e);
            }
            // The band from the spread of the returns inside it.
            e.clear();
            for (std::size_t i = 0; i < n; ++i) {
                if (!f.inlier[i]) continue;
                const double a = std::fabs(s.error(f, i));
                if (a <= band) e.push_back(float(a));
            }
            if (e.empty()) break;
            band = std::max(kGateSigmas * 1.4826 * median(e), kMinGateMm);
        }
        for (std::size_t i = 0; i < n; ++i) f.inlier[i] = f.inlier[i] && std::fabs(s.error(f, i)) <= band;
        if (!f.sorted.empty()) {
            // The sphere's inlier ranges: an interval of the ordered ranges.
            const double lo = s.range - band, hi = s.range + band;
            const auto first = std::find_if(f.sorted.begin(), f.sorted.end(), [&](float v) { return double(v) >= lo; });
            const auto last = std::find_if(first, f.sorted.end(), [&](float v) { return double(v) > hi; });
            f.sorted.erase(last, f.sorted.end());
            f.sorted.erase(f.sorted.begin(), first);
        }
    }
    // The inliers' sums, in all, per column and per half-row.
    const std::size_t cols = std::size_t(roi_.w);
    const std::size_t left = std::size_t(std::clamp(cols_ / 2 - roi_.x, 0, roi_.w));
    f.all = {};
    f.column.assign(cols, inlier_sums{});
    f.half.assign(std::size_t(roi_.h) * 2, inlier_sums{});
    for (std::size_t r = 0, i = 0; r < std::size_t(roi_.h); ++r) {
        for (std::size_t c = 0; c < cols; ++c, ++i) {
            if (!f.inlier[i]) continue;
            inlier_sums one;
            one.add(f.x()[i] - origin_[0], f.y()[i] - origin_[1], f.z()[i] - origin_[2], range[i] - origin_[0]);
            f.all.add(one);
            f.column[c].add(one);
            f.half[2 * r + (c >= left ? 1 : 0)].add(one);
        }
    }
}

bool window::push(const scene_t& scene) {
    const int cols = int(scene.cols), rows = int(scene.rows);
    if (cols <= 0 || rows <= 0 || scene.points.size() != std::size_t(cols) * std::size_t(rows)) return false;
    if (roi_.w <= 0 || roi_.h <= 0 || roi_.x < 0 || roi_.y < 0 || roi_.x + roi_.w > cols || roi_.y + roi_.h > rows)
        return false;
    if (cols != cols_ || rows != rows_) {
        clear();
        cols_ = cols;
        rows_ = rows;
    }
    roi_frame f;
    if (!spare_.empty()) {
        f = std::move(spare_.back());
        spare_.pop_back();
    }
    const std::size_t n = std::size_t(roi_.w) * std::size_t(roi_.h);
    f.pixels = n;
    f.data.resize(4 * n);
    float* x = f.data.data();
    float* y = x + n;
    float* z = y + n;
    float* range = z + n;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::size_t i = 0, returns = 0;
    for (int r = 0; r < roi_.h; ++r) {
        const auto* p = &scene.points[std::size_t(roi_.y + r) * std::size_t(cols) + std::size_t(roi_.x)];
        for (int c = 0; c < roi_.w; ++c, ++p, ++i) {
            const double d = std::sqrt(p->x * p->x + p->y * p->y + p->z * p->z);
            const bool ok = p->valid != 0 && std::isfinite(d);
            x[i] = ok ? float(p->x) : 0.0f;
            y[i] = ok ? float(p->y) : 0.0f;
            z[i] = ok ? float(p->z) : 0.0f;
            range[i] = ok ? float(d) : nan;
            returns += ok;
        }
    }
    f.returns = returns;
    if (list_.empty()) {
        // A new window: its sums start from zero about a point near the target.
        clear();
        scratch_.clear();
        for (std::size_t k = 0; k < n; ++k)
            if (!std::isnan(range[k])) scratch_.push_back(range[k]);
        const double ahead = median(scratch_);
        origin_[0] = std::isfinite(ahead) ? float(ahead) : 0.0f;
        origin_[1] = origin_[2] = 0.0f;
        if (kind_ == target::sphere) per_mm_.assign(kCountedMm, 0);
        column_.assign(std::size_t(roi_.w), inlier_sums{});
        half_.assign(std::size_t(roi_.h) * 2, inlier_sums{});
        pixel_sum_.assign(n, 0.0);
        pixel_sq_.assign(n, 0.0);
        pixel_n_.assign(n, 0);
    }
    judge(f);
    account(f, +1);
    list_.push_back(std::move(f));
    set_frames(frames_);
    return true;
}

// ---- the pieces ----

double fill_rate(const window& w) {
    std::size_t pixels = 0;
    for (const roi_frame& f : w.list()) pixels += f.pixels;
    return pixels == 0 ? none : 100.0 * double(w.returns()) / double(pixels);
}

double median(std::vector<float>& values) {
    if (values.empty()) return none;
    const std::size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(mid), values.end());
    const double upper = values[mid];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + std::ptrdiff_t(mid));
    return 0.5 * (lower + upper);
}

double robust_sigma(std::vector<float> values) {
    const double m = median(values);
    if (!std::isfinite(m)) return none;
    for (float& v : values) v = float(std::fabs(v - m));
    return 1.4826 * median(values);
}

double shortest_half(const float* v, std::size_t n) {
    if (n == 0) return none;
    const std::size_t h = n / 2 + 1;
    std::size_t best = 0;
    for (std::size_t i = 1; i + h <= n; ++i)
        if (double(v[i + h - 1]) - v[i] < double(v[best + h - 1]) - v[best]) best = i;
    return 0.5 * (double(v[best]) + v[best + h - 1]);
}

double tilt_error(double a, double b, double n) {
    const double gap = a * a - b * b;
    if (!(gap > 0) || !(n > 0)) return std::numeric_limits<double>::infinity();
    return std::sqrt(a * a * b * b / n) / gap * 180.0 / M_PI;
}

double spread(const std::vector<double>& means) {
    bool any = false;
    double lo = 0, hi = 0;
    for (double v : means) {
        if (std::isnan(v)) continue;
        lo = any ? std::min(lo, v) : v;
        hi = any ? std::max(hi, v) : v;
        any = true;
    }
    return any ? hi - lo : none;
}

namespace {

// The temporal noise (see metrics).
double temporal_noise(const window& w) {
    std::vector<float> deviations;
    deviations.reserve(w.pixel_n().size());
    for (std::size_t i = 0; i < w.pixel_n().size(); ++i) {
        const double k = w.pixel_n()[i];
        if (k < 2 || 2 * k < double(w.size())) continue;
        const double s1 = w.pixel_sum()[i];
        const double var = (w.pixel_sq()[i] - s1 * s1 / k) / (k - 1.0);
        deviations.push_back(float(std::sqrt(std::max(var, 0.0))));
    }
    return median(deviations);
}

// Rows and columns of the region that hold an inlier of the window.
void inlier_lines(const window& w, int& rows, int& cols) {
    cols = int(std::count_if(w.column_sums().begin(), w.column_sums().end(), [](const inlier_sums& s) { return s.n > 0.5; }));
    rows = 0;
    for (std::size_t r = 0; r + 1 < w.half_sums().size(); r += 2) rows += w.half_sums()[r].n + w.half_sums()[r + 1].n > 0.5;
}

// tilt_error of the window's plane, over the pixels that hold an inlier.
double plane_tilt_error(const window& w, const plane& p) {
    if (!p.ok) return std::numeric_limits<double>::infinity();
    const auto pixels = std::count_if(w.pixel_n().begin(), w.pixel_n().end(), [](std::uint32_t k) { return k > 0; });
    return tilt_error(p.narrow, p.off, double(pixels));
}

// Whether the window's inliers lie far closer to the other target's shape
// than to the one measured: a plane (the smallest spread of the points) or
// one range (the spread of the ranges about their mean). `p` is the window's
// plane; only one its inliers determine is compared. Both RMS go into the
// verdict.
bool shape_fits_better(const window& w, const plane& p, bool determined, bool wall, verdict& v) {
    const inlier_sums& a = w.sums();
    if (!determined) return false;
    const double mean = a.r / a.n;
    v.plane_rms = p.off;
    v.range_rms = std::sqrt(std::max(a.rr / a.n - mean * mean, 0.0));
    return wall ? v.range_rms < kBetterFit * v.plane_rms : v.plane_rms < kBetterFit * v.range_rms;
}

// Drops every figure that needs the surface.
void drop_surface_figures(metrics& m) {
    m.distance = m.rms = m.angle = m.z_error = m.z_error_percent = m.channel_spread = m.row_spread = none;
    std::fill(m.column_error.begin(), m.column_error.end(), none);
    m.wall.ok = false;
}

} // namespace

metrics measure(const window& w, int channels, double ground_truth_mm) {
    metrics m;
    m.frames = w.size();
    if (w.size() == 0) return m;
    const region& roi = w.roi();
    m.fill_rate = fill_rate(w);
    m.column_error.assign(std::size_t(roi.w), none);
    m.temporal_noise = temporal_noise(w);
    const std::size_t returns = w.returns();
    verdict& v = m.verdict;
    v.kind = judge_kind::no_returns;
    v.of = w.kind();
    if (returns == 0 || !(w.sums().n > 0.5)) return m;

    // The surface, absolute for the points and relative to the window's
    // origin for the sums.
    surface s;
    s.wall = w.kind() == target::wall;
    const float* o = w.origin();
    // The plane of the window's inliers, and whether they determine one.
    const plane fitted = w.fit();
    int line_rows = 0, line_cols = 0;
    inlier_lines(w, line_rows, line_cols);
    const bool lines = line_rows >= kMinLines && line_cols >= kMinLines;
    const double tilt = plane_tilt_error(w, fitted);
    const bool determined = lines && tilt <= kMaxTiltErrorDeg;
    plane rel;
    double sphere = 0;
    if (s.wall) {
        if (!lines) {
            v.kind = judge_kind::too_few_lines;
            v.rows = line_rows, v.cols = line_cols;
            return m;
        }
        s.p = fitted;
        if (!determined) {
            v.kind = judge_kind::too_narrow;
            v.tilt_error = tilt;
            return m;
        }
        m.wall = s.p;
        m.distance = s.p.d;
        m.angle = std::acos(std::min(1.0, std::fabs(s.p.nx))) * 180.0 / M_PI;
        rel = s.p;
        rel.d = s.p.d - (s.p.nx * o[0] + s.p.ny * o[1] + s.p.nz * o[2]);
    } else {
        s.range = m.distance = w.median_range();
        sphere = m.distance - w.shift();
    }
    m.outliers = 100.0 * (double(returns) - w.sums().n) / double(returns);

    // The newest frame's inliers against the surface of the whole window.
    const roi_frame& newest = w.list().back();
    double sq = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < newest.pixels; ++i) {
        if (!newest.inlier[i]) continue;
        const double e = s.error(newest, i);
        sq += e * e, ++count;
    }
    if (count > 0) m.rms = std::sqrt(sq / double(count));

    // A group's mean error counts only where inliers fill at least half of
    // its pixels over the frames: a column with a few pixels on the surface
    // (an edge, a corner) tells nothing of the sensor.
    const double frames = double(w.size());
    const auto mean_errors = [&](const std::vector<inlier_sums>& groups, const std::vector<double>& pixels) {
        std::vector<double> means(groups.size(), none);
        for (std::size_t g = 0; g < groups.size(); ++g)
            if (pixels[g] > 0 && groups[g].n >= kMinCoverage * pixels[g] * frames)
                means[g] = groups[g].mean_error(rel, s.wall, sphere);
        return means;
    };
    m.column_error = mean_errors(w.column_sums(), std::vector<double>(std::size_t(roi.w), double(roi.h)));
    const int left = std::clamp(w.frame_cols() / 2 - roi.x, 0, roi.w);
    std::vector<double> half_pixels(std::size_t(roi.h) * 2);
    for (std::size_t h = 0; h < half_pixels.size(); ++h) half_pixels[h] = h % 2 == 0 ? left : roi.w - left;
    m.row_spread = spread(mean_errors(w.half_sums(), half_pixels));

    const int cols = w.frame_cols();
    const int g = channels > 0 ? cols / channels : 0;
    if (g > 0) {
        std::vector<inlier_sums> channel(std::size_t(channels), inlier_sums{});
        std::vector<double> channel_pixels(std::size_t(channels), 0.0);
        for (int c = 0; c < roi.w; ++c) {
            const int column = roi.x + c;
            if (column >= channels * g) continue;
            channel[std::size_t(column / g)].add(w.column_sums()[std::size_t(c)]);
            channel_pixels[std::size_t(column / g)] += roi.h;
        }
        m.channel_spread = spread(mean_errors(channel, channel_pixels));
    }

    if (ground_truth_mm > 0 && std::isfinite(m.distance)) {
        m.z_error = m.distance - ground_truth_mm;
        m.z_error_percent = 100.0 * m.z_error / ground_truth_mm;
    }

    // Whether the surface is the target's.
    const double on = 100.0 - m.outliers;
    double incidence = 0;
    if (s.wall) {
        // The line of sight to the inliers' middle: a plane through the sensor
        // (the fan of one column's rays) is no target.
        const inlier_sums& a = w.sums();
        const double cx = a.x / a.n + o[0], cy = a.y / a.n + o[1], cz = a.z / a.n + o[2];
        const double sight = std::sqrt(cx * cx + cy * cy + cz * cz);
        incidence = sight > 0 ? std::acos(std::clamp(s.p.d / sight, 0.0, 1.0)) * 180.0 / M_PI : 90.0;
    }
    if (on < kMinInlierShare) {
        v.kind = judge_kind::off_surface;
        v.off_share = m.outliers;
    } else if (incidence > kMaxIncidenceDeg) {
        v.kind = judge_kind::edge_on;
        v.incidence = incidence;
    } else if (shape_fits_better(w, fitted, determined, s.wall, v)) {
        v.kind = judge_kind::other_shape;
    } else if (std::isfinite(m.temporal_noise) && std::isfinite(m.rms) &&
               m.rms > kMaxScatterRatio * m.temporal_noise + kScatterAllowanceMm) {
        v.kind = judge_kind::scattered;
        v.rms = m.rms, v.noise = m.temporal_noise;
    } else {
        v.kind = judge_kind::holds;
    }
    if (!v.holds()) drop_surface_figures(m);
    return m;
}

} // namespace depth_quality
