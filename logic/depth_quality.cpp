#include "logic/depth_quality.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

namespace depth_quality {

namespace {

constexpr double kGateSigmas = 6.0;
constexpr double kMinGateMm = 5.0;
constexpr double kQuantileFactor = 2.0;
constexpr int kPlaneFits = 3;

bool has_return(const float* p) { return std::isfinite(p[0]); }
double range_of(const float* p) { return std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2]); }

// The signed error of one return against the surface.
struct surface {
    target kind = target::wall;
    plane wall;
    double range = 0; // sphere
    double error(const float* p) const {
        if (kind == target::sphere) return range_of(p) - range;
        return wall.nx * p[0] + wall.ny * p[1] + wall.nz * p[2] - wall.d;
    }
};

using masks = std::vector<std::vector<std::uint8_t>>;

// Marks the returns within the gate of the surface. The gate comes from the
// newest frame's errors: six robust standard deviations, but at least twice
// the 90th percentile of |e| (a distribution of a few sharp levels, channel
// steps without noise, has a median absolute deviation of 0) and 5 mm.
void gate(const window& w, const surface& s, masks& mask) {
    const roi_frame& newest = w.list().back();
    const std::size_t n = newest.xyz.size() / 3;
    std::vector<float> e;
    e.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        if (has_return(&newest.xyz[3 * i])) e.push_back(float(s.error(&newest.xyz[3 * i])));
    double limit = kMinGateMm;
    if (!e.empty()) {
        const double sigma = robust_sigma(e);
        for (float& v : e) v = std::fabs(v);
        const auto q90 = e.begin() + std::ptrdiff_t((e.size() - 1) * 9 / 10);
        std::nth_element(e.begin(), q90, e.end());
        limit = std::max({limit, kGateSigmas * sigma, kQuantileFactor * double(*q90)});
    }
    for (std::size_t f = 0; f < w.size(); ++f) {
        const float* p = w.list()[f].xyz.data();
        std::uint8_t* m = mask[f].data();
        for (std::size_t i = 0; i < n; ++i) m[i] = has_return(p + 3 * i) && std::fabs(s.error(p + 3 * i)) <= limit;
    }
}

} // namespace

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

void window::set_frames(int n) {
    frames_ = std::max(1, n);
    while (int(list_.size()) > frames_) {
        spare_.push_back(std::move(list_.front()));
        list_.pop_front();
    }
}

void window::clear() {
    for (auto& f : list_) spare_.push_back(std::move(f));
    list_.clear();
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
    f.xyz.resize(std::size_t(roi_.w) * std::size_t(roi_.h) * 3);
    float* out = f.xyz.data();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int r = 0; r < roi_.h; ++r) {
        const auto* p = &scene.points[std::size_t(roi_.y + r) * std::size_t(cols) + std::size_t(roi_.x)];
        for (int c = 0; c < roi_.w; ++c, ++p, out += 3) {
            const bool ok = p->valid != 0 && std::isfinite(p->x) && std::isfinite(p->y) && std::isfinite(p->z);
            out[0] = ok ? float(p->x) : nan;
            out[1] = ok ? float(p->y) : nan;
            out[2] = ok ? float(p->z) : nan;
        }
    }
    list_.push_back(std::move(f));
    set_frames(frames_);
    return true;
}

// ---- the pieces ----

double fill_rate(const window& w) {
    std::size_t pixels = 0, returns = 0;
    for (const roi_frame& f : w.list()) {
        const std::size_t n = f.xyz.size() / 3;
        pixels += n;
        for (std::size_t i = 0; i < n; ++i) returns += has_return(&f.xyz[3 * i]);
    }
    return pixels == 0 ? none : 100.0 * double(returns) / double(pixels);
}

plane fit_plane(const window& w, const masks& mask) {
    // Moments about the first point, so that the sums stay small.
    double o[3] = {0, 0, 0};
    bool origin = false;
    double s[3] = {0, 0, 0}, ss[6] = {0, 0, 0, 0, 0, 0};
    std::size_t n = 0;
    for (std::size_t f = 0; f < w.size() && f < mask.size(); ++f) {
        const float* p = w.list()[f].xyz.data();
        const std::size_t count = std::min(mask[f].size(), w.list()[f].xyz.size() / 3);
        for (std::size_t i = 0; i < count; ++i, p += 3) {
            if (!mask[f][i] || !has_return(p)) continue;
            if (!origin) {
                o[0] = p[0], o[1] = p[1], o[2] = p[2];
                origin = true;
            }
            const double x = p[0] - o[0], y = p[1] - o[1], z = p[2] - o[2];
            s[0] += x, s[1] += y, s[2] += z;
            ss[0] += x * x, ss[1] += x * y, ss[2] += x * z, ss[3] += y * y, ss[4] += y * z, ss[5] += z * z;
            ++n;
        }
    }
    plane out;
    if (n < 3) return out;
    const double m[3] = {s[0] / double(n), s[1] / double(n), s[2] / double(n)};
    const double k = 1.0 / double(n);
    cv::Matx33d cov(ss[0] * k - m[0] * m[0], ss[1] * k - m[0] * m[1], ss[2] * k - m[0] * m[2],  //
                    ss[1] * k - m[0] * m[1], ss[3] * k - m[1] * m[1], ss[4] * k - m[1] * m[2],  //
                    ss[2] * k - m[0] * m[2], ss[4] * k - m[1] * m[2], ss[5] * k - m[2] * m[2]);
    cv::Matx31d values;
    cv::Matx33d vectors;
    if (!cv::eigen(cov, values, vectors)) return out;
    // Points on a line (or one point) leave two directions without spread.
    if (!(values(1) > 1e-9 * std::max(values(0), 1e-12))) return out;
    double nx = vectors(2, 0), ny = vectors(2, 1), nz = vectors(2, 2);
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(len > 0)) return out;
    nx /= len, ny /= len, nz /= len;
    const double c[3] = {m[0] + o[0], m[1] + o[1], m[2] + o[2]};
    double d = nx * c[0] + ny * c[1] + nz * c[2];
    if (d < 0) nx = -nx, ny = -ny, nz = -nz, d = -d;
    out = {nx, ny, nz, d, true};
    return out;
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

double temporal_noise(const window& w, const masks& mask) {
    if (w.size() == 0) return none;
    const std::size_t n = w.list().front().xyz.size() / 3;
    std::vector<double> sum(n, 0.0), sumsq(n, 0.0), shift(n, 0.0);
    std::vector<std::uint32_t> count(n, 0);
    for (std::size_t f = 0; f < w.size() && f < mask.size(); ++f) {
        const float* p = w.list()[f].xyz.data();
        const std::size_t pixels = std::min({n, mask[f].size(), w.list()[f].xyz.size() / 3});
        for (std::size_t i = 0; i < pixels; ++i) {
            if (!mask[f][i] || !has_return(p + 3 * i)) continue;
            const double r = range_of(p + 3 * i);
            if (count[i] == 0) shift[i] = r; // sums about the first range keep their precision
            const double v = r - shift[i];
            sum[i] += v;
            sumsq[i] += v * v;
            ++count[i];
        }
    }
    std::vector<float> deviations;
    deviations.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (count[i] < 2 || 2 * std::size_t(count[i]) < w.size()) continue;
        const double c = count[i];
        const double var = (sumsq[i] - sum[i] * sum[i] / c) / (c - 1.0);
        deviations.push_back(float(std::sqrt(std::max(var, 0.0))));
    }
    return median(deviations);
}

double spread(const std::vector<double>& sum, const std::vector<std::size_t>& count) {
    bool any = false;
    double lo = 0, hi = 0;
    for (std::size_t i = 0; i < sum.size() && i < count.size(); ++i) {
        if (count[i] == 0) continue;
        const double mean = sum[i] / double(count[i]);
        lo = any ? std::min(lo, mean) : mean;
        hi = any ? std::max(hi, mean) : mean;
        any = true;
    }
    return any ? hi - lo : none;
}

metrics measure(const window& w, target kind, int channels, double ground_truth_mm) {
    metrics m;
    m.frames = w.size();
    if (w.size() == 0) return m;
    const region& roi = w.roi();
    const std::size_t n = std::size_t(roi.w) * std::size_t(roi.h);
    m.fill_rate = fill_rate(w);
    m.column_error.assign(std::size_t(roi.w), none);

    // A first surface from the median range keeps false returns far from the
    // target out of the first plane.
    std::vector<float> ranges;
    ranges.reserve(n * w.size());
    for (const roi_frame& f : w.list())
        for (std::size_t i = 0; i < n; ++i)
            if (has_return(&f.xyz[3 * i])) ranges.push_back(float(range_of(&f.xyz[3 * i])));
    const std::size_t returns = ranges.size();
    if (returns == 0) return m;
    surface s;
    s.kind = target::sphere;
    s.range = median(ranges);
    masks mask(w.size(), std::vector<std::uint8_t>(n, 0));
    gate(w, s, mask);
    if (kind == target::sphere) {
        m.distance = s.range;
    } else {
        s.kind = target::wall;
        for (int i = 0; i < kPlaneFits; ++i) {
            const plane p = fit_plane(w, mask);
            if (!p.ok) break;
            s.wall = p;
            gate(w, s, mask);
        }
        if (!s.wall.ok) return m;
        m.wall = s.wall;
        m.distance = s.wall.d;
        m.angle = std::acos(std::min(1.0, std::fabs(s.wall.nx))) * 180.0 / M_PI;
    }

    // Column and half-row sums of e over every frame; the newest frame's RMS.
    const int cols = w.frame_cols();
    std::vector<double> column_sum(std::size_t(roi.w), 0.0), half_sum(std::size_t(roi.h) * 2, 0.0);
    std::vector<std::size_t> column_count(std::size_t(roi.w), 0), half_count(std::size_t(roi.h) * 2, 0);
    std::size_t inliers = 0;
    double newest_sq = 0;
    std::size_t newest_n = 0;
    for (std::size_t f = 0; f < w.size(); ++f) {
        const float* p = w.list()[f].xyz.data();
        const bool newest = f + 1 == w.size();
        for (int r = 0; r < roi.h; ++r) {
            for (int c = 0; c < roi.w; ++c) {
                const std::size_t i = std::size_t(r) * std::size_t(roi.w) + std::size_t(c);
                if (!mask[f][i]) continue;
                const double e = s.error(p + 3 * i);
                column_sum[std::size_t(c)] += e;
                ++column_count[std::size_t(c)];
                const std::size_t h = std::size_t(r) * 2 + (roi.x + c >= cols / 2 ? 1 : 0);
                half_sum[h] += e;
                ++half_count[h];
                ++inliers;
                if (newest) newest_sq += e * e, ++newest_n;
            }
        }
    }
    m.outliers = 100.0 * double(returns - inliers) / double(returns);
    if (newest_n > 0) m.rms = std::sqrt(newest_sq / double(newest_n));
    for (std::size_t c = 0; c < column_sum.size(); ++c)
        if (column_count[c] > 0) m.column_error[c] = column_sum[c] / double(column_count[c]);
    m.row_spread = spread(half_sum, half_count);

    const int g = channels > 0 ? cols / channels : 0;
    if (g > 0) {
        std::vector<double> channel_sum(std::size_t(channels), 0.0);
        std::vector<std::size_t> channel_count(std::size_t(channels), 0);
        for (int c = 0; c < roi.w; ++c) {
            const int column = roi.x + c;
            if (column >= channels * g) continue;
            channel_sum[std::size_t(column / g)] += column_sum[std::size_t(c)];
            channel_count[std::size_t(column / g)] += column_count[std::size_t(c)];
        }
        m.channel_spread = spread(channel_sum, channel_count);
    }
    m.temporal_noise = temporal_noise(w, mask);
    if (ground_truth_mm > 0 && std::isfinite(m.distance)) {
        m.z_error = m.distance - ground_truth_mm;
        m.z_error_percent = 100.0 * m.z_error / ground_truth_mm;
    }
    return m;
}

} // namespace depth_quality
