#include "logic/filter_list.h"

namespace filter_list {

std::optional<gx::filter_params> read(const std::vector<int>& list) {
    if (list.size() < kEntries) return std::nullopt;
    gx::filter_params f;
    f.zigzag_filling = list[0] != 0;
    f.deflaring = list[1] != 0;
    f.real_ambient = list[2] != 0;
    f.line_filling = list[3] != 0;
    f.line_left_offset = list[4];
    f.line_right_offset = list[5];
    f.retro_threshold = list[6];
    f.deflaring_depth_diff = list[7];
    f.zigzag_depth_diff = list[8];
    f.zigzag_smoothing = list[9];
    return f;
}

std::vector<int> all_off() { return {0, 0, 0, 0, 0, 0, 100, 1400, 500, 300}; }

} // namespace filter_list
