// Frame rate from the sensor's frame time stamps (10 ns ticks).
#pragma once

#include <cstdint>

namespace frame_rate {

constexpr double kTicksPerSecond = 100000000.0;

// Rate between two successive stamps. A stamp that does not advance (equal or
// earlier than the previous one) has no rate: `fallback` is returned.
double between(std::uint64_t previous, std::uint64_t current, double fallback);

// Timer interval in whole milliseconds for playing at rate * speed, or -1
// when rate * speed does not give a usable interval (zero, negative, not a number).
int play_interval_ms(double rate, double speed);

} // namespace frame_rate
