#include "logic/playbar_text.h"

#include "device/c_numbers.h"

#include <climits>
#include <cmath>
#include <cstdio>

namespace playbar_text {

std::string format_g(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    return c_numbers::general(value);
}

std::string frame_counter(double current, double total) {
    return "Frame : [" + format_g(current) + "/" + format_g(total) + "]";
}

std::string fps(double value) { return format_g(value) + " FPS"; }

std::string record_clock(std::int64_t elapsed_ms) {
    const std::int64_t seconds = elapsed_ms > 0 ? elapsed_ms / 1000 : 0;
    const int mm = static_cast<int>((seconds / 60) % 60);
    const int ss = static_cast<int>(seconds % 60);
    char buf[32];
    std::snprintf(buf, sizeof buf, "Record : %02dm:%02ds", mm, ss);
    return buf;
}

int slider_maximum(std::uint64_t total) {
    if (total == 0) return 0;
    const std::uint64_t last = total - 1;
    return last > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(last);
}

int slider_value(std::uint64_t n) {
    return n > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

} // namespace playbar_text
