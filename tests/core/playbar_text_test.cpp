#include "logic/playbar_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>

namespace {

TEST(playbar_text, frame_counter_uses_six_significant_digits) {
    EXPECT_EQ(playbar_text::frame_counter(3, 10), "Frame : [3/10]");
    EXPECT_EQ(playbar_text::frame_counter(0, 1), "Frame : [0/1]");
    EXPECT_EQ(playbar_text::frame_counter(0, 0), "Frame : [0/0]");
    EXPECT_EQ(playbar_text::frame_counter(999999, 999999), "Frame : [999999/999999]");
    // Beyond six digits the 'g' format switches to exponent notation.
    EXPECT_EQ(playbar_text::frame_counter(1234567, 2000000), "Frame : [1.23457e+06/2e+06]");
}

TEST(playbar_text, fps_text) {
    EXPECT_EQ(playbar_text::fps(0), "0 FPS");
    EXPECT_EQ(playbar_text::fps(20), "20 FPS");
    EXPECT_EQ(playbar_text::fps(29.970029), "29.97 FPS");
    EXPECT_EQ(playbar_text::fps(1.0 / 3.0), "0.333333 FPS");
    EXPECT_EQ(playbar_text::fps(std::numeric_limits<double>::infinity()), "inf FPS");
}

// The record clock shows the minutes and seconds of an hour (mm:ss): whole
// seconds, and the hours left out.
TEST(playbar_text, record_clock_shows_minutes_and_seconds_within_the_hour) {
    const struct {
        long long ms;
        const char* shown;
    } cases[] = {
        {0, "Record : 00m:00s"},
        {65 * 1000 + 999, "Record : 01m:05s"},
        {(59 * 60 + 59) * 1000, "Record : 59m:59s"},
        {(25 * 3600 + 61) * 1000LL, "Record : 01m:01s"},
        {-5000, "Record : 00m:00s"},
    };
    for (const auto& c : cases) EXPECT_EQ(playbar_text::record_clock(c.ms), c.shown) << c.ms;
}

TEST(playbar_text, slider_range_never_goes_negative_or_overflows) {
    EXPECT_EQ(playbar_text::slider_maximum(0), 0);
    EXPECT_EQ(playbar_text::slider_maximum(1), 0);
    EXPECT_EQ(playbar_text::slider_maximum(10), 9);
    EXPECT_EQ(playbar_text::slider_maximum(std::uint64_t(INT_MAX) + 5), INT_MAX);
    EXPECT_EQ(playbar_text::slider_maximum(std::numeric_limits<std::uint64_t>::max()), INT_MAX);
    EXPECT_EQ(playbar_text::slider_value(7), 7);
    EXPECT_EQ(playbar_text::slider_value(std::uint64_t(1) << 40), INT_MAX);
}

} // namespace
