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

// The surface the errors are taken against: the median range (a sphere) or
// a plane.
struct surface {
    target kind = target::sphere;
    plane wall;
    double range = 0; // sphere
};

// Calls fn(error) with the error function of the surface: error(frame, i)
// for pixel i of a frame. A pixel without a return has the range NaN and the
// point (0, 0, 0); `with_return` tells it apart.
template <class Fn>
void with_error(const surface& s, Fn&& fn) {
    if (s.kind == target::sphere) {
        const float r0 = float(s.range);
        fn([r0](const float*, const float*, const float*, const float* range, std::size_t i) { return range[i] - r0; });
    } else {
        const float nx = float(s.wall.nx), ny = float(s.wall.ny), nz = float(s.wall.nz), d = float(s.wall.d);
        fn([=](const float* x, const float* y, const float* z, const float*, std::size_t i) {
            return nx * x[i] + ny * y[i] + nz * z[i] - d;
        });
    }
}

inline bool with_return(const float* range, std::size_t i) { return range[i] == range[i]; }

// How far from the surface a return may lie: six robust standard deviations
// of the newest frame's errors, but at least twice the 90th percentile of
// |e| (a distribution of a few sharp levels, channel steps without noise,
// has a median absolute deviation of 0) and 5 mm.
double gate_of(const roi_frame& newest, const surface& s) {
    std::vector<float> e;
    e.reserve(newest.range.size());
    with_error(s, [&](auto error) {
        const float *x = newest.x.data(), *y = newest.y.data(), *z = newest.z.data(), *rg = newest.range.data();
        for (std::size_t i = 0; i < newest.range.size(); ++i)
            if (with_return(rg, i)) e.push_back(error(x, y, z, rg, i));
    });
    if (e.empty()) return kMinGateMm;
    const double sigma = robust_sigma(e);
    for (float& v : e) v = std::fabs(v);
    const auto q90 = e.begin() + std::ptrdiff_t((e.size() - 1) * 9 / 10);
    std::nth_element(e.begin(), q90, e.end());
    return std::max({kMinGateMm, kGateSigmas * sigma, kQuantileFactor * double(*q90)});
}

// Moments of the inliers about a fixed origin near the target, for the plane
// through them. Each frame's sums are taken in single precision (a region of
// one frame is small enough for that) and added up in double precision.
struct moments {
    double o[3] = {0, 0, 0};
    double s[3] = {0, 0, 0}, ss[6] = {0, 0, 0, 0, 0, 0};
    double n = 0;
    // The least-squares plane: the centroid and the direction of least spread.
    plane fit() const {
        plane out;
        if (n < 3) return out;
        const double k = 1.0 / n;
        const double m[3] = {s[0] * k, s[1] * k, s[2] * k};
        const cv::Matx33d cov(ss[0] * k - m[0] * m[0], ss[1] * k - m[0] * m[1], ss[2] * k - m[0] * m[2],
                              ss[1] * k - m[0] * m[1], ss[3] * k - m[1] * m[1], ss[4] * k - m[1] * m[2],
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
        double d = nx * (m[0] + o[0]) + ny * (m[1] + o[1]) + nz * (m[2] + o[2]);
        if (d < 0) nx = -nx, ny = -ny, nz = -nz, d = -d;
        return {nx, ny, nz, d, true};
    }
};

moments fit_pass(const window& w, const surface& s, double gate, const float origin[3]) {
    moments mo;
    std::copy(origin, origin + 3, mo.o);
    const float limit = float(gate), o0 = origin[0], o1 = origin[1], o2 = origin[2];
    with_error(s, [&](auto error) {
        for (const roi_frame& f : w.list()) {
            const float *px = f.x.data(), *py = f.y.data(), *pz = f.z.data(), *rg = f.range.data();
            const std::size_t n = f.range.size();
            float a0 = 0, a1 = 0, a2 = 0, b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, cnt = 0;
#pragma omp simd reduction(+ : a0, a1, a2, b0, b1, b2, b3, b4, b5, cnt)
            for (std::size_t i = 0; i < n; ++i) {
                const bool ok = (std::fabs(error(px, py, pz, rg, i)) <= limit) & with_return(rg, i);
                const float in = ok ? 1.0f : 0.0f;
                const float x = (px[i] - o0) * in, y = (py[i] - o1) * in, z = (pz[i] - o2) * in;
                a0 += x, a1 += y, a2 += z;
                b0 += x * x, b1 += x * y, b2 += x * z, b3 += y * y, b4 += y * z, b5 += z * z;
                cnt += in;
            }
            mo.s[0] += a0, mo.s[1] += a1, mo.s[2] += a2;
            mo.ss[0] += b0, mo.ss[1] += b1, mo.ss[2] += b2, mo.ss[3] += b3, mo.ss[4] += b4, mo.ss[5] += b5;
            mo.n += cnt;
        }
    });
    return mo;
}

// What the last pass adds up: errors per region column and half-row, each
// pixel's ranges (less `shift`, to keep their precision), the newest frame's
// squared errors.
struct sums {
    std::vector<double> column, column_n, half, half_n;
    std::vector<float> pixel, pixel_sq, pixel_n;
    std::vector<float> row_e, row_n; // one row of one frame
    float shift = 0;
    double newest_sq = 0, newest_n = 0, inliers = 0;
};

void metrics_pass(const window& w, const surface& s, double gate, sums& out) {
    const region& roi = w.roi();
    const std::size_t cols = std::size_t(roi.w);
    // Region columns left of the frame's middle belong to the left half-row.
    const std::size_t left = std::size_t(std::clamp(w.frame_cols() / 2 - roi.x, 0, roi.w));
    const float limit = float(gate), shift = out.shift;
    out.row_e.assign(cols, 0.0f);
    out.row_n.assign(cols, 0.0f);
    with_error(s, [&](auto error) {
        for (std::size_t f = 0; f < w.size(); ++f) {
            const roi_frame& fr = w.list()[f];
            const bool newest = f + 1 == w.size();
            for (std::size_t r = 0; r < std::size_t(roi.h); ++r) {
                const std::size_t at = r * cols;
                const float *px = fr.x.data() + at, *py = fr.y.data() + at, *pz = fr.z.data() + at;
                const float* rg = fr.range.data() + at;
                float* pixel = out.pixel.data() + r * cols;
                float* pixel_sq = out.pixel_sq.data() + r * cols;
                float* pixel_n = out.pixel_n.data() + r * cols;
                float* row_e = out.row_e.data();
                float* row_n = out.row_n.data();
#pragma omp simd
                for (std::size_t c = 0; c < cols; ++c) {
                    const float e = error(px, py, pz, rg, c);
                    const bool ok = (std::fabs(e) <= limit) & with_return(rg, c);
                    const float in = ok ? 1.0f : 0.0f, ein = ok ? e : 0.0f, v = ok ? rg[c] - shift : 0.0f;
                    row_e[c] = ein;
                    row_n[c] = in;
                    pixel[c] += v;
                    pixel_sq[c] += v * v;
                    pixel_n[c] += in;
                }
                double halves[2] = {0, 0}, halves_n[2] = {0, 0}, sq = 0;
                for (std::size_t c = 0; c < cols; ++c) {
                    const int h = c >= left ? 1 : 0;
                    halves[h] += row_e[c];
                    halves_n[h] += row_n[c];
                    out.column[c] += row_e[c];
                    out.column_n[c] += row_n[c];
                    sq += double(row_e[c]) * row_e[c];
                }
                for (std::size_t h = 0; h < 2; ++h) out.half[2 * r + h] += halves[h], out.half_n[2 * r + h] += halves_n[h];
                out.inliers += halves_n[0] + halves_n[1];
                if (newest) out.newest_sq += sq, out.newest_n += halves_n[0] + halves_n[1];
            }
        }
    });
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
        count(list_.front(), -1);
        spare_.push_back(std::move(list_.front()));
        list_.pop_front();
    }
}

void window::clear() {
    for (auto& f : list_) spare_.push_back(std::move(f));
    list_.clear();
    per_mm_.clear();
    returns_ = 0;
}

void window::count(const roi_frame& f, int sign) {
    if (per_mm_.empty()) per_mm_.assign(kCountedMm, 0);
    for (float r : f.range) {
        if (std::isnan(r)) continue;
        per_mm_[std::min(std::size_t(std::max(r, 0.0f)), kCountedMm - 1)] += std::uint32_t(sign);
        returns_ += std::size_t(std::ptrdiff_t(sign));
    }
}

double window::median_range() const {
    if (returns_ == 0) return none;
    // The one or two middle ranges, k and k + 1 (counted from 0).
    const std::size_t k = (returns_ - 1) / 2;
    const bool two = returns_ % 2 == 0;
    std::size_t below = 0, mm = 0;
    while (below + per_mm_[mm] <= k) below += per_mm_[mm++];
    std::size_t last = mm; // the millimetre of range k + 1
    if (two && below + per_mm_[mm] == k + 1) {
        ++last;
        while (per_mm_[last] == 0) ++last;
    }
    // The ranges of those millimetres, gathered from the frames (NaN, no
    // return, is in none).
    const float lo = mm == 0 ? -std::numeric_limits<float>::infinity() : float(mm);
    const float hi = last + 1 == kCountedMm ? std::numeric_limits<float>::infinity() : float(last + 1);
    std::vector<float> near;
    near.reserve(per_mm_[mm] + per_mm_[last]);
    for (const roi_frame& f : list_)
        for (float r : f.range)
            if (r >= lo && r < hi && (last == mm || r < float(mm + 1) || r >= float(last))) near.push_back(r);
    const std::size_t at = std::min(k - below, near.size() - 1);
    std::nth_element(near.begin(), near.begin() + std::ptrdiff_t(at), near.end());
    const double middle = near[at];
    if (!two || at + 1 >= near.size()) return middle;
    return 0.5 * (middle + *std::min_element(near.begin() + std::ptrdiff_t(at) + 1, near.end()));
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
        }
    }
    count(f, +1);
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
    const std::size_t returns = w.returns();
    if (returns == 0) return m;

    // The first surface, the median range, keeps false returns far from the
    // target out of the first plane. The moments are taken about a point
    // near the target, so that their sums stay small.
    surface s;
    s.range = w.median_range();
    const float origin[3] = {float(s.range), 0.0f, 0.0f};
    const roi_frame& newest = w.list().back();
    if (kind == target::wall) {
        // The plane through the returns near the median range; the metrics
        // then gate by the distance to that plane.
        const plane p = fit_pass(w, s, gate_of(newest, s), origin).fit();
        if (!p.ok) return m;
        s.kind = target::wall;
        s.wall = p;
        m.wall = s.wall;
        m.distance = s.wall.d;
        m.angle = std::acos(std::min(1.0, std::fabs(s.wall.nx))) * 180.0 / M_PI;
    } else {
        m.distance = s.range;
    }
    sums out;
    out.column.assign(std::size_t(roi.w), 0.0);
    out.column_n.assign(std::size_t(roi.w), 0.0);
    out.half.assign(std::size_t(roi.h) * 2, 0.0);
    out.half_n.assign(std::size_t(roi.h) * 2, 0.0);
    out.pixel.assign(n, 0.0f);
    out.pixel_sq.assign(n, 0.0f);
    out.pixel_n.assign(n, 0.0f);
    out.shift = float(s.range);
    metrics_pass(w, s, gate_of(newest, s), out);

    const auto counts = [](const std::vector<double>& v) { return std::vector<std::size_t>(v.begin(), v.end()); };
    m.outliers = 100.0 * (double(returns) - out.inliers) / double(returns);
    if (out.newest_n > 0) m.rms = std::sqrt(out.newest_sq / out.newest_n);
    for (std::size_t c = 0; c < out.column.size(); ++c)
        if (out.column_n[c] > 0) m.column_error[c] = out.column[c] / out.column_n[c];
    m.row_spread = spread(out.half, counts(out.half_n));

    const int cols = w.frame_cols();
    const int g = channels > 0 ? cols / channels : 0;
    if (g > 0) {
        std::vector<double> channel(std::size_t(channels), 0.0);
        std::vector<std::size_t> channel_n(std::size_t(channels), 0);
        for (int c = 0; c < roi.w; ++c) {
            const int column = roi.x + c;
            if (column >= channels * g) continue;
            channel[std::size_t(column / g)] += out.column[std::size_t(c)];
            channel_n[std::size_t(column / g)] += std::size_t(out.column_n[std::size_t(c)]);
        }
        m.channel_spread = spread(channel, channel_n);
    }

    std::vector<float> deviations;
    deviations.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double k = out.pixel_n[i];
        if (k < 2 || 2 * k < double(w.size())) continue;
        const double sum = out.pixel[i];
        const double var = (double(out.pixel_sq[i]) - sum * sum / k) / (k - 1.0);
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
