// Texts shown by the play bar: the frame counter, the frame rate and the
// recording clock. Plain functions so that tests call them directly.
#pragma once

#include <cstdint>
#include <string>

namespace playbar_text {

// A double in the 'g' format with six significant digits (1e+06 style for
// large values), as the play bar shows frame numbers and rates.
std::string format_g(double value);

// "Frame : [<current>/<total>]".
std::string frame_counter(double current, double total);

// "<fps> FPS".
std::string fps(double value);

// "Record : MMm:SSs" for the time elapsed since recording started. Whole
// seconds only; the minutes wrap after 59 (one hour reads 00m:00s again).
// A negative elapsed time reads as zero.
std::string record_clock(std::int64_t elapsed_ms);

// Largest slider index for a recording of `total` frames: total - 1, never
// below 0 and never above the largest int a slider can hold.
int slider_maximum(std::uint64_t total);

// Slider position for frame n: n, capped at the largest int.
int slider_value(std::uint64_t n);

} // namespace playbar_text
