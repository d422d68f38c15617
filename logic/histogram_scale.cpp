#include "logic/histogram_scale.h"

#include <algorithm>
#include <cmath>

namespace histogram_scale {

std::size_t record_length(const TAVRIN::DadodUz::histogram_t& record) {
    return std::min<std::size_t>(record.bin_count, record.bins.size());
}

bool of_values(const std::uint16_t* values, std::size_t n, bounds& out) {
    if (n == 0) return false;
    const auto mm = std::minmax_element(values, values + n);
    out = bounds{0, double(n), double(*mm.first), double(*mm.second)};
    return true;
}

bool of_values(const float* values, std::size_t n, bounds& out) {
    if (n == 0) return false;
    const auto mm = std::minmax_element(values, values + n);
    out = bounds{0, double(n), std::trunc(double(*mm.first)), std::trunc(double(*mm.second))};
    return true;
}

int box_value(double v) {
    if (!(v > kBoxMinimum)) return kBoxMinimum; // NaN too
    if (v >= kBoxMaximum) return kBoxMaximum;
    return int(v);
}

} // namespace histogram_scale
