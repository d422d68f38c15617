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
