// The host-side filters as the settings dialogs send them, a list of ten
// integers (switches 1/0, then offsets, thresholds and factors), read once
// into the device library's filter settings.
#pragma once

#include "device/gx_filters.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace filter_list {

constexpr std::size_t kEntries = 10;

// The filter settings of a list: entries 0 to 3 switch zigzag filling,
// deflaring, real ambient and line filling (non-zero is on); 4 and 5 are the
// line filling's left and right offsets, 6 the deflaring retro threshold, 7
// the deflaring depth difference, 8 the zigzag depth difference and 9 the
// zigzag smoothing factor. A list of fewer than ten entries configures
// nothing (nullopt); entries past the tenth are ignored.
std::optional<gx::filter_params> read(const std::vector<int>& list);

// The list the analysis and calibration tools measure with: every filter off.
std::vector<int> all_off();

} // namespace filter_list
