// The arithmetic of the offset calibration: per-frame VCSEL channel values
// and SPAD half-row means of a frame's depth, their accumulation over frames,
// and the copy of the results into the configuration's offset tables. Plain
// code: the offset calibration dialog and the tests call it directly.
#pragma once

#include "device/DadodUz.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace offset_calibration {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// Depth scale factor: offset steps per millimetre of depth (bit pattern 0x3DAEE237).
constexpr float depth_scale = 0x1.5DC46Ep-4f;  // 0.0853924 rounded up to the next float

// What a calibration run measures, in the order of the dialog's mode list.
enum class mode { vcsel = 0, spad = 1 };

// The channel count of a VCSEL driver id (`vcsel_type`): 48, 64, 64, 96, 45,
// 60, 45, 60 for ids 0-7; other ids drive 64 channels.
int driver_channels(int vcsel_type);

// The centre column lists are built from the first frame of this height.
constexpr int centre_list_rows = 100;

// The pixel indices of the two centre columns, cols/2 - 1 (left) and cols/2
// (right), one entry per row from the top. Empty for rows < 1 or cols < 2.
struct centre_columns {
    std::vector<std::size_t> left;
    std::vector<std::size_t> right;
};
centre_columns centre_column_lists(int rows, int cols);

struct chart_point {
    double x;
    double y;
};

struct axis_range {
    double lo;
    double hi;
};

// The VCSEL chart of one frame: point (k, value k) for every channel.
std::vector<chart_point> vcsel_chart(const std::vector<std::int32_t>& channel_values);

// The SPAD chart of one frame: (i, depth * depth_scale) for entry i of the
// left list, then (i + centre_list_rows, depth * depth_scale) for entry i of
// the right list; depth read as unsigned 32-bit, the product in single
// precision. Entries that lie outside the frame (a later, smaller frame) are
// left out.
std::vector<chart_point> spad_chart(const std::int32_t* depth, std::size_t size, const centre_columns& lists);

// The y range of a chart: the smallest and largest y. With `truncate` (the
// SPAD chart) both are truncated toward zero and a largest value of 0 becomes
// 1. A range of a single value is widened to (v, v + 1) so that the axis can
// show it; no points give (0, 1).
axis_range y_range(const std::vector<chart_point>& points, bool truncate);

// VCSEL channel values of one frame: with g = cols / channels (remainder
// dropped), value k = the mean of the depth values (read as unsigned 32-bit,
// summed in double precision) over all rows of columns k*g .. k*g + g - 1,
// times depth_scale, truncated toward zero. Columns past the last group belong
// to no channel. Empty when the frame is smaller than the arrays claim, or
// when channels <= 0 or g == 0.
std::vector<std::int32_t> vcsel_channel_values(const std::int32_t* depth, std::size_t size, int rows, int cols, int channels);

// One frame's VCSEL calibration step: the channel values less their smallest
// value (the channel with the smallest mean contributes 0). Empty stays empty.
std::vector<std::int32_t> vcsel_step(const std::vector<std::int32_t>& channel_values);

// One frame's SPAD calibration values: 2 x rows entries, first the mean of the
// left half (columns 0 .. cols/2 - 1) of each row, then the mean of the right
// half (columns cols/2 .. cols - 1) of each row; unsigned 32-bit sums divided
// by cols/2 with the remainder dropped. Empty when the frame is smaller than
// the arrays claim or cols < 2.
std::vector<std::int32_t> spad_half_row_means(const std::int32_t* depth, std::size_t size, int rows, int cols);

// What spoils a run, from a frame taken as it starts. A pixel without a
// return reads depth 0 and pulls the mean it belongs to toward 0.
//  - VCSEL: the pixels without a return in the columns of the full channel
//    groups (0 when the frame is smaller than the arrays claim);
//  - SPAD: only differences within a half count, so a pixel missing in every
//    half-row alike (a dead column) does no harm; the number of half-rows
//    that miss more returns than the fewest-missing half-row of their half.
std::size_t missing_in_channels(const std::int32_t* depth, std::size_t size, int rows, int cols, int channels);
std::size_t uneven_half_rows(const std::int32_t* depth, std::size_t size, int rows, int cols);

// Running sums: an empty accumulator takes the values, otherwise each entry
// adds the matching value (entries beyond the shorter list are left alone).
void accumulate(std::vector<std::int32_t>& accumulator, const std::vector<std::int32_t>& values);

// Every entry divided by the frame count (signed, truncated toward zero).
std::vector<std::int32_t> average(const std::vector<std::int32_t>& accumulator, int frames);

// Copies the results into the configuration's tables: at most 96 VCSEL
// entries (low 16 bits) and at most 200 SPAD entries (low 8 bits); entries
// past the results keep their values.
void store_vcsel_offsets(const std::vector<std::int32_t>& result, configurations_t& cfg);
void store_spad_offsets(const std::vector<std::int32_t>& result, configurations_t& cfg);

} // namespace offset_calibration
