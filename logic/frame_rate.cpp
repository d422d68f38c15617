#include "logic/frame_rate.h"

#include <cmath>
#include <limits>

namespace frame_rate {

double between(std::uint64_t previous, std::uint64_t current, double fallback) {
    if (current <= previous) return fallback;
    return kTicksPerSecond / static_cast<double>(current - previous);
}

int play_interval_ms(double rate, double speed) {
    const double effective = rate * speed;
    if (!(effective > 0) || !std::isfinite(effective)) return -1;
    const double ms = 1000.0 / effective;
    if (ms >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(ms);
}

} // namespace frame_rate
