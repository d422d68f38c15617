// Arithmetic of the histogram viewer's charts: the usable length of a record
// and the axis ranges auto scale picks for a histogram or an average.
#pragma once

#include "device/DadodUz.h"

#include <cstddef>
#include <cstdint>

namespace histogram_scale {

// Range boxes of the viewer hold 0 ... 10000.
constexpr int kBoxMinimum = 0;
constexpr int kBoxMaximum = 10000;

struct bounds {
    double x_min = 0;
    double x_max = 0;
    double y_min = 0;
    double y_max = 0;
};

// Bins of a record the viewer uses: bin_count and the number of values it
// carries should agree; when they do not, the smaller of the two.
std::size_t record_length(const TAVRIN::DadodUz::histogram_t& record);

// x 0 ... n, y smallest ... largest value. False (bounds untouched) for n = 0.
bool of_values(const std::uint16_t* values, std::size_t n, bounds& out);
// The same for averaged values, y truncated toward zero to integers.
bool of_values(const float* values, std::size_t n, bounds& out);

// A value as a range box holds it: truncated and clamped to 0 ... 10000.
int box_value(double v);

} // namespace histogram_scale
