#include "logic/offset_calibration.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace offset_calibration {

namespace {
bool frame_ok(const std::int32_t* depth, std::size_t size, int rows, int cols) {
    return depth != nullptr && rows > 0 && cols > 0 && std::size_t(rows) * std::size_t(cols) <= size;
}
} // namespace

centre_columns centre_column_lists(int rows, int cols) {
    centre_columns out;
    if (rows < 1 || cols < 2) return out;
    const std::size_t half = std::size_t(cols / 2);
    out.left.reserve(std::size_t(rows));
    out.right.reserve(std::size_t(rows));
    for (std::size_t r = 0; r < std::size_t(rows); ++r) {
        out.left.push_back(r * std::size_t(cols) + half - 1);
        out.right.push_back(r * std::size_t(cols) + half);
    }
    return out;
}

std::vector<chart_point> vcsel_chart(const std::vector<std::int32_t>& values) {
    std::vector<chart_point> out;
    out.reserve(values.size());
    for (std::size_t k = 0; k < values.size(); ++k) out.push_back({double(k), double(values[k])});
    return out;
}

std::vector<chart_point> spad_chart(const std::int32_t* depth, std::size_t size, const centre_columns& lists) {
    std::vector<chart_point> out;
    if (depth == nullptr) return out;
    out.reserve(lists.left.size() + lists.right.size());
    const auto add = [&](const std::vector<std::size_t>& list, std::size_t first_x) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i] >= size) continue;
            const float value = float(std::uint32_t(depth[list[i]])) * depth_scale;
            out.push_back({double(first_x + i), double(value)});
        }
    };
    add(lists.left, 0);
    add(lists.right, std::size_t(centre_list_rows));
    return out;
}

axis_range y_range(const std::vector<chart_point>& points, bool truncate) {
    if (points.empty()) return {0.0, 1.0};
    double lo = points.front().y, hi = lo;
    for (const chart_point& p : points) {
        lo = std::min(lo, p.y);
        hi = std::max(hi, p.y);
    }
    if (truncate) {
        lo = std::trunc(lo);
        hi = std::trunc(hi);
        if (hi == 0.0) hi = 1.0;
    }
    if (!(hi > lo)) hi = lo + 1.0;
    return {lo, hi};
}

std::vector<std::int32_t> vcsel_channel_values(const std::int32_t* depth, std::size_t size, int rows, int cols, int channels) {
    std::vector<std::int32_t> out;
    if (!frame_ok(depth, size, rows, cols) || channels <= 0) return out;
    const int g = cols / channels;
    if (g <= 0) return out;
    out.reserve(std::size_t(channels));
    for (int k = 0; k < channels; ++k) {
        double sum = 0;
        for (int r = 0; r < rows; ++r) {
            const std::int32_t* row = depth + std::size_t(r) * std::size_t(cols) + std::size_t(k) * std::size_t(g);
            for (int c = 0; c < g; ++c) sum += double(std::uint32_t(row[c]));
        }
        const double mean = sum / double(rows * g);
        out.push_back(static_cast<std::int32_t>(mean * depth_scale));
    }
    return out;
}

std::vector<std::int32_t> vcsel_step(const std::vector<std::int32_t>& values) {
    if (values.empty()) return values;
    const std::int32_t m = *std::min_element(values.begin(), values.end());
    std::vector<std::int32_t> out(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) out[i] = values[i] - m;
    return out;
}

std::vector<std::int32_t> spad_half_row_means(const std::int32_t* depth, std::size_t size, int rows, int cols) {
    std::vector<std::int32_t> out;
    if (!frame_ok(depth, size, rows, cols) || cols < 2) return out;
    const std::uint32_t half = std::uint32_t(cols / 2);
    out.resize(std::size_t(rows) * 2);
    for (int r = 0; r < rows; ++r) {
        const std::int32_t* row = depth + std::size_t(r) * std::size_t(cols);
        std::uint32_t left = 0, right = 0;
        for (std::uint32_t c = 0; c < half; ++c) left += std::uint32_t(row[c]);
        for (std::uint32_t c = half; c < std::uint32_t(cols); ++c) right += std::uint32_t(row[c]);
        out[std::size_t(r)] = std::int32_t(left / half);
        out[std::size_t(rows + r)] = std::int32_t(right / half);
    }
    return out;
}

void accumulate(std::vector<std::int32_t>& acc, const std::vector<std::int32_t>& values) {
    if (acc.empty()) {
        acc = values;
        return;
    }
    const std::size_t n = std::min(acc.size(), values.size());
    for (std::size_t i = 0; i < n; ++i) acc[i] = std::int32_t(std::uint32_t(acc[i]) + std::uint32_t(values[i]));
}

std::vector<std::int32_t> average(const std::vector<std::int32_t>& acc, int frames) {
    std::vector<std::int32_t> out(acc);
    if (frames <= 0) return out;
    for (auto& v : out) v /= frames;
    return out;
}

void store_vcsel_offsets(const std::vector<std::int32_t>& result, configurations_t& cfg) {
    const std::size_t n = std::min<std::size_t>(result.size(), sizeof cfg.vcsel_offset / sizeof cfg.vcsel_offset[0]);
    for (std::size_t i = 0; i < n; ++i) cfg.vcsel_offset[i] = std::uint16_t(std::uint32_t(result[i]) & 0xFFFFu);
}

void store_spad_offsets(const std::vector<std::int32_t>& result, configurations_t& cfg) {
    const std::size_t n = std::min<std::size_t>(result.size(), sizeof cfg.spad_offset);
    for (std::size_t i = 0; i < n; ++i) cfg.spad_offset[i] = std::uint8_t(std::uint32_t(result[i]) & 0xFFu);
}

int driver_channels(int vcsel_type) {
    static constexpr int counts[8] = {48, 64, 64, 96, 45, 60, 45, 60};
    return vcsel_type >= 0 && vcsel_type < 8 ? counts[vcsel_type] : 64;
}

std::size_t missing_in_channels(const std::int32_t* depth, std::size_t size, int rows, int cols, int channels) {
    if (!frame_ok(depth, size, rows, cols) || channels <= 0) return 0;
    const int width = (cols / channels) * channels;
    std::size_t missing = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < width; ++c) missing += depth[std::size_t(r) * std::size_t(cols) + std::size_t(c)] <= 0;
    return missing;
}

std::size_t uneven_half_rows(const std::int32_t* depth, std::size_t size, int rows, int cols) {
    if (!frame_ok(depth, size, rows, cols) || cols < 2) return 0;
    std::size_t uneven = 0;
    const int half = cols / 2;
    for (const auto& [from, to] : {std::pair<int, int>{0, half}, std::pair<int, int>{half, cols}}) {
        std::vector<int> missing(std::size_t(rows), 0);
        for (int r = 0; r < rows; ++r)
            for (int c = from; c < to; ++c) missing[std::size_t(r)] += depth[std::size_t(r) * std::size_t(cols) + std::size_t(c)] <= 0;
        const int fewest = *std::min_element(missing.begin(), missing.end());
        for (int m : missing) uneven += m > fewest;
    }
    return uneven;
}

} // namespace offset_calibration
