#include "logic/depth_quality.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

namespace depth_quality {

namespace {

constexpr double kGateSigmas = 6.0;
constexpr double kQuantileFactor = 2.0;
constexpr double kMinGateMm = 5.0;
constexpr std::size_t kCountedMm = 262144; // ranges counted per millimetre up to 262 m

// What a frame's returns are judged against: a plane (absolute coordinates)
// or a range.
struct surface {
    bool wall = false;
    plane p;
    double range = 0;
    float error(const roi_frame& f, std::size_t i) const {
        if (!wall) return f.range[i] - float(range);
        return float(p.nx * f.x[i] + p.ny * f.y[i] + p.nz * f.z[i] - p.d);
    }
};

// How far from the surface a return may lie, from the frame's errors: six
// robust standard deviations, but at least twice the 90th percentile of |e|
// (a distribution of a few sharp levels, channel steps without noise, has a
// median absolute deviation of 0) and 5 mm.
double gate_of(std::vector<float> e) {
    if (e.empty()) return kMinGateMm;
    const double sigma = robust_sigma(e);
    for (float& v : e) v = std::fabs(v);
    const auto q90 = e.begin() + std::ptrdiff_t((e.size() - 1) * 9 / 10);
    std::nth_element(e.begin(), q90, e.end());
    return std::max({kMinGateMm, kGateSigmas * sigma, kQuantileFactor * double(*q90)});
}

// Marks the frame's returns within the gate of the surface.
void gate(roi_frame& f, const surface& s) {
    std::vector<float> e;
    e.reserve(f.returns);
    for (std::size_t i = 0; i < f.range.size(); ++i)
        if (!std::isnan(f.range[i])) e.push_back(s.error(f, i));
    const float limit = float(gate_of(std::move(e)));
    for (std::size_t i = 0; i < f.range.size(); ++i)
        f.inlier[i] = !std::isnan(f.range[i]) && std::fabs(s.error(f, i)) <= limit;
}

// The median of a frame's ordered ranges.
double median_of_sorted(const std::vector<float>& v) {
    if (v.empty()) return none;
    const std::size_t mid = v.size() / 2;
    return v.size() % 2 == 1 ? v[mid] : 0.5 * (double(v[mid - 1]) + v[mid]);
}

// The least-squares plane through the inliers whose sums these are, in the
// sums' own (origin-relative) coordinates: the centroid and the direction of
// least spread.
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
    return {nx / len, ny / len, nz / len, (nx * m[0] + ny * m[1] + nz * m[2]) / len, true};
}

// A plane of origin-relative coordinates in absolute ones, its normal
// pointing away from the sensor.
plane absolute(plane p, const float o[3]) {
    p.d += p.nx * o[0] + p.ny * o[1] + p.nz * o[2];
    if (p.d < 0) p.nx = -p.nx, p.ny = -p.ny, p.nz = -p.nz, p.d = -p.d;
    return p;
}

} // namespace

void inlier_sums::add(double px, double py, double pz, double pr) {
    x += px, y += py, z += pz, r += pr;
    xx += px * px, xy += px * py, xz += px * pz, yy += py * py, yz += py * pz, zz += pz * pz;
    n += 1;
}

void inlier_sums::add(const inlier_sums& o, double sign) {
    x += sign * o.x, y += sign * o.y, z += sign * o.z, r += sign * o.r;
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

void window::set_frames(int n) {
    frames_ = std::max(1, n);
    while (int(list_.size()) > frames_) {
        account(list_.front(), -1);
        spare_.push_back(std::move(list_.front()));
        list_.pop_front();
    }
}

void window::clear() {
    for (auto& f : list_) spare_.push_back(std::move(f));
    list_.clear();
    per_mm_.clear();
    returns_ = 0;
    sums_ = {};
    column_.clear();
    half_.clear();
    pixel_sum_.clear();
    pixel_sq_.clear();
    pixel_n_.clear();
}

void window::account(const roi_frame& f, int sign) {
    for (float r : f.sorted) per_mm_[std::min(std::size_t(std::max(r, 0.0f)), kCountedMm - 1)] += std::uint32_t(sign);
    returns_ = std::size_t(std::ptrdiff_t(returns_) + sign * std::ptrdiff_t(f.returns));
    sums_.add(f.all, sign);
    for (std::size_t c = 0; c < column_.size(); ++c) column_[c].add(f.column[c], sign);
    for (std::size_t h = 0; h < half_.size(); ++h) half_[h].add(f.half[h], sign);
    const double shift = origin_[0];
    for (std::size_t i = 0; i < f.range.size(); ++i) {
        if (!f.inlier[i]) continue;
        const double v = f.range[i] - shift;
        pixel_sum_[i] += sign * v;
        pixel_sq_[i] += sign * v * v;
        pixel_n_[i] = std::uint32_t(std::int64_t(pixel_n_[i]) + sign);
    }
}

double window::median_range() const {
    if (returns_ == 0) return none;
    // The one or two middle ranges, k and k + 1 (counted from 0).
    const std::size_t k = (returns_ - 1) / 2;
    std::size_t below = 0, mm = 0;
    while (below + per_mm_[mm] <= k) below += per_mm_[mm++];
    std::size_t last = mm;
    if (returns_ % 2 == 0 && below + per_mm_[mm] == k + 1)
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
    if (returns_ % 2 == 1 || at + 1 >= near.size()) return middle;
    return 0.5 * (middle + *std::min_element(near.begin() + std::ptrdiff_t(at) + 1, near.end()));
}

plane window::fit() const { return absolute(fit_sums(sums_), origin_); }

void window::judge(roi_frame& f) {
    // The surface of the frames before it, or the frame's own.
    surface s;
    s.range = list_.empty() ? median_of_sorted(f.sorted) : median_range();
    f.inlier.assign(f.range.size(), 0);
    if (kind_ == target::wall) {
        const plane p = list_.empty() ? plane{} : fit();
        if (p.ok) {
            s.wall = true;
            s.p = p;
        } else {
            // Its own plane, through the returns near its median range.
            gate(f, s);
            inlier_sums own;
            for (std::size_t i = 0; i < f.range.size(); ++i)
                if (f.inlier[i]) own.add(f.x[i] - origin_[0], f.y[i] - origin_[1], f.z[i] - origin_[2], 0);
            const plane q = absolute(fit_sums(own), origin_);
            if (q.ok) s.wall = true, s.p = q;
        }
    }
    gate(f, s);
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
            one.add(f.x[i] - origin_[0], f.y[i] - origin_[1], f.z[i] - origin_[2], f.range[i] - origin_[0]);
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
    for (auto* v : {&f.x, &f.y, &f.z, &f.range}) v->resize(n);
    f.sorted.clear();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::size_t i = 0;
    for (int r = 0; r < roi_.h; ++r) {
        const auto* p = &scene.points[std::size_t(roi_.y + r) * std::size_t(cols) + std::size_t(roi_.x)];
        for (int c = 0; c < roi_.w; ++c, ++p, ++i) {
            const double d = std::sqrt(p->x * p->x + p->y * p->y + p->z * p->z);
            const bool ok = p->valid != 0 && std::isfinite(d);
            f.x[i] = ok ? float(p->x) : 0.0f;
            f.y[i] = ok ? float(p->y) : 0.0f;
            f.z[i] = ok ? float(p->z) : 0.0f;
            f.range[i] = ok ? float(d) : nan;
            if (ok) f.sorted.push_back(float(d));
        }
    }
    std::sort(f.sorted.begin(), f.sorted.end());
    f.returns = f.sorted.size();
    if (list_.empty()) {
        // A new window: its sums start from zero about a point near the target.
        clear();
        const double ahead = median_of_sorted(f.sorted);
        origin_[0] = std::isfinite(ahead) ? float(ahead) : 0.0f;
        origin_[1] = origin_[2] = 0.0f;
        per_mm_.assign(kCountedMm, 0);
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
    for (const roi_frame& f : w.list()) pixels += f.range.size();
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

metrics measure(const window& w, int channels, double ground_truth_mm) {
    metrics m;
    m.frames = w.size();
    if (w.size() == 0) return m;
    const region& roi = w.roi();
    m.fill_rate = fill_rate(w);
    m.column_error.assign(std::size_t(roi.w), none);
    const std::size_t returns = w.returns();
    if (returns == 0) return m;

    // The surface, absolute for the points and relative to the window's
    // origin for the sums.
    surface s;
    s.wall = w.kind() == target::wall;
    const float* o = w.origin();
    plane rel;
    double sphere = 0;
    if (s.wall) {
        s.p = w.fit();
        if (!s.p.ok) return m;
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
    for (std::size_t i = 0; i < newest.range.size(); ++i) {
        if (!newest.inlier[i]) continue;
        const double e = s.error(newest, i);
        sq += e * e, ++count;
    }
    if (count > 0) m.rms = std::sqrt(sq / double(count));

    const auto mean_errors = [&](const std::vector<inlier_sums>& groups) {
        std::vector<double> means(groups.size());
        for (std::size_t g = 0; g < groups.size(); ++g) means[g] = groups[g].mean_error(rel, s.wall, sphere);
        return means;
    };
    m.column_error = mean_errors(w.column_sums());
    m.row_spread = spread(mean_errors(w.half_sums()));

    const int cols = w.frame_cols();
    const int g = channels > 0 ? cols / channels : 0;
    if (g > 0) {
        std::vector<inlier_sums> channel(std::size_t(channels), inlier_sums{});
        for (int c = 0; c < roi.w; ++c) {
            const int column = roi.x + c;
            if (column < channels * g) channel[std::size_t(column / g)].add(w.column_sums()[std::size_t(c)]);
        }
        m.channel_spread = spread(mean_errors(channel));
    }

    std::vector<float> deviations;
    deviations.reserve(w.pixel_n().size());
    for (std::size_t i = 0; i < w.pixel_n().size(); ++i) {
        const double k = w.pixel_n()[i];
        if (k < 2 || 2 * k < double(w.size())) continue;
        const double s1 = w.pixel_sum()[i];
        const double var = (w.pixel_sq()[i] - s1 * s1 / k) / (k - 1.0);
        deviations.push_back(float(std::sqrt(std::max(var, 0.0))));
    }
    m.temporal_noise = median(deviations);

    if (ground_truth_mm > 0 && std::isfinite(m.distance)) {
        m.z_error = m.distance - ground_truth_mm;
        m.z_error_percent = 100.0 * m.z_error / ground_truth_mm;
    }
    return m;
}

} // namespace depth_quality
