#include "device/gx_filters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace gx {

int mm_to_depth_units(int mm, int unit_mm) {
    if (unit_mm <= 0) unit_mm = 1;
    return std::max(1, mm / unit_mm);
}

namespace {
bool sizes_ok(std::size_t a, std::size_t b, int rows, int cols) {
    return rows > 0 && cols > 0 && a == std::size_t(rows) * std::size_t(cols) && b == a;
}
}  // namespace

void zigzag_fill(std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity, int rows, int cols, int depth_diff,
                 int smoothing) {
    if (!sizes_ok(depth.size(), intensity.size(), rows, cols)) return;
    const std::vector<std::int32_t> d0 = depth;
    const std::vector<std::uint16_t> i0 = intensity;
    const double s = std::clamp(smoothing, 0, 1000) / 1000.0;
    auto at = [&](int r, int c) { return d0[std::size_t(r) * cols + c]; };
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const std::size_t i = std::size_t(r) * cols + c;
            const std::int32_t d = d0[i];
            if (d <= 0) {
                int a = -1, b = -1;
                if (c > 0 && c + 1 < cols && at(r, c - 1) > 0 && at(r, c + 1) > 0 &&
                    std::abs(at(r, c - 1) - at(r, c + 1)) <= depth_diff) {
                    a = int(i - 1);
                    b = int(i + 1);
                } else if (r > 0 && r + 1 < rows && at(r - 1, c) > 0 && at(r + 1, c) > 0 &&
                           std::abs(at(r - 1, c) - at(r + 1, c)) <= depth_diff) {
                    a = int(i - cols);
                    b = int(i + cols);
                }
                if (a >= 0) {
                    depth[i] = std::int32_t((std::int64_t(d0[a]) + d0[b]) / 2);
                    intensity[i] = std::uint16_t((unsigned(i0[a]) + i0[b]) / 2);
                }
                continue;
            }
            if (s <= 0 || c == 0 || c + 1 >= cols) continue;
            const std::int32_t l = at(r, c - 1), rr = at(r, c + 1);
            if (l <= 0 || rr <= 0 || std::abs(l - rr) > depth_diff) continue;
            const std::int64_t dl = std::int64_t(d) - l, dr = std::int64_t(d) - rr;
            if (!((dl > 0 && dr > 0) || (dl < 0 && dr < 0))) continue;
            if (std::llabs(dl) > depth_diff || std::llabs(dr) > depth_diff) continue;
            const double mean = (double(l) + double(rr)) / 2.0;
            depth[i] = std::int32_t(std::lround(d + s * (mean - d)));
        }
}

void deflare(std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity, int rows, int cols, int retro_threshold,
             int depth_diff) {
    if (!sizes_ok(depth.size(), intensity.size(), rows, cols)) return;
    if (retro_threshold < 1) retro_threshold = 1;
    std::vector<std::uint8_t> clear(depth.size(), 0);
    bool any = false;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const std::size_t i = std::size_t(r) * cols + c;
            if (intensity[i] < retro_threshold || depth[i] <= 0) continue;
            const std::int32_t dr = depth[i];
            for (int y = std::max(0, r - kDeflareRadius); y <= std::min(rows - 1, r + kDeflareRadius); ++y)
                for (int x = std::max(0, c - kDeflareRadius); x <= std::min(cols - 1, c + kDeflareRadius); ++x) {
                    if ((y - r) * (y - r) + (x - c) * (x - c) > kDeflareRadius * kDeflareRadius) continue;
                    const std::size_t j = std::size_t(y) * cols + x;
                    if (intensity[j] >= retro_threshold || depth[j] <= 0) continue;
                    if (std::llabs(std::int64_t(depth[j]) - dr) <= depth_diff) {
                        clear[j] = 1;
                        any = true;
                    }
                }
        }
    if (!any) return;
    for (std::size_t j = 0; j < clear.size(); ++j)
        if (clear[j]) {
            depth[j] = 0;
            intensity[j] = 0;
        }
}

void real_ambient(std::vector<std::uint16_t>& ambient, int rows, int cols) {
    if (rows <= 0 || cols <= 0 || ambient.size() != std::size_t(rows) * cols) return;
    std::vector<int> med(static_cast<std::size_t>(cols));
    std::vector<std::uint16_t> col(static_cast<std::size_t>(rows));
    for (int c = 0; c < cols; ++c) {
        for (int r = 0; r < rows; ++r) col[std::size_t(r)] = ambient[std::size_t(r) * cols + c];
        std::nth_element(col.begin(), col.begin() + rows / 2, col.end());
        med[std::size_t(c)] = col[std::size_t(rows / 2)];
    }
    std::vector<int> pattern(static_cast<std::size_t>(cols));
    std::vector<int> win;
    for (int c = 0; c < cols; ++c) {
        win.clear();
        for (int k = std::max(0, c - 3); k <= std::min(cols - 1, c + 3); ++k) win.push_back(med[std::size_t(k)]);
        std::nth_element(win.begin(), win.begin() + win.size() / 2, win.end());
        pattern[std::size_t(c)] = med[std::size_t(c)] - win[win.size() / 2];
    }
    std::vector<int> out(ambient.size());
    int lowest = 1 << 30;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const std::size_t i = std::size_t(r) * cols + c;
            out[i] = int(ambient[i]) - pattern[std::size_t(c)];
            lowest = std::min(lowest, out[i]);
        }
    for (std::size_t i = 0; i < out.size(); ++i) ambient[i] = std::uint16_t(std::clamp(out[i] - lowest, 0, 65535));
}

void line_fill(std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity, int rows, int cols, int left_offset,
               int right_offset) {
    if (!sizes_ok(depth.size(), intensity.size(), rows, cols)) return;
    const int c0 = std::clamp(left_offset, 0, cols - 1);
    const int c1 = std::clamp(cols - 1 - right_offset, 0, cols - 1);
    if (c1 - c0 < 2) return;
    for (int r = 0; r < rows; ++r) {
        std::int32_t* d = depth.data() + std::size_t(r) * cols;
        std::uint16_t* in = intensity.data() + std::size_t(r) * cols;
        int c = c0;
        while (c <= c1) {
            if (d[c] > 0) {
                ++c;
                continue;
            }
            int e = c;
            while (e <= c1 && d[e] <= 0) ++e;
            const int gap = e - c;
            if (c > c0 && e <= c1 && gap <= kMaxLineGap) {
                const std::int64_t a = d[c - 1], b = d[e];
                if (std::llabs(a - b) * 100 <= std::max(a, b) * kLineGapTolerancePercent) {
                    for (int k = c; k < e; ++k) {
                        const double t = double(k - (c - 1)) / double(gap + 1);
                        d[k] = std::int32_t(std::lround(double(a) + t * double(b - a)));
                        in[k] = std::uint16_t(std::lround(double(in[c - 1]) + t * (double(in[e]) - double(in[c - 1]))));
                    }
                }
            }
            c = e;
        }
    }
}

void apply_filters(const filter_params& p, int unit_mm, int rows, int cols, std::vector<std::uint16_t>& ambient,
                   std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity) {
    if (p.real_ambient) real_ambient(ambient, rows, cols);
    if (p.deflaring) deflare(depth, intensity, rows, cols, p.retro_threshold, mm_to_depth_units(p.deflaring_depth_diff, unit_mm));
    if (p.zigzag_filling)
        zigzag_fill(depth, intensity, rows, cols, mm_to_depth_units(p.zigzag_depth_diff, unit_mm), p.zigzag_smoothing);
    if (p.line_filling) line_fill(depth, intensity, rows, cols, p.line_left_offset, p.line_right_offset);
}

}  // namespace gx
