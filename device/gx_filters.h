// Host-side filters of the device library, applied to every live frame
// before it is handed out (see docs/filters.md). Plain functions on the
// frame arrays so that tests can check each on a small frame.
#pragma once

#include <cstdint>
#include <vector>

namespace gx {

struct filter_params {
    bool zigzag_filling = false;
    bool deflaring = false;
    bool real_ambient = false;
    bool line_filling = false;
    int line_left_offset = 0;
    int line_right_offset = 0;
    int retro_threshold = 450;     // intensity counts
    int deflaring_depth_diff = 1400;  // mm
    int zigzag_depth_diff = 500;      // mm
    int zigzag_smoothing = 600;       // per mille
    bool any() const { return zigzag_filling || deflaring || real_ambient || line_filling; }
};

constexpr int kDeflareRadius = 4;   // pixels around a retro pixel examined for flare
constexpr int kMaxLineGap = 4;      // longest run of missing pixels line filling bridges
constexpr int kLineGapTolerancePercent = 5;

// Converts a millimetre threshold to depth units (1 mm, or one bin).
int mm_to_depth_units(int mm, int unit_mm);

// Zigzag filling: an invalid pixel (depth <= 0) whose two horizontal, else two
// vertical, neighbours are valid and agree within depth_diff takes their mean
// depth and intensity. Then every valid pixel that sticks out on the same side
// of both horizontal neighbours, which agree with each other and with it
// within depth_diff, moves toward their mean by smoothing / 1000.
void zigzag_fill(std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity, int rows, int cols, int depth_diff,
                 int smoothing_per_mille);

// Deflaring: pixels with intensity >= retro_threshold are retro-reflectors.
// Every weaker pixel within kDeflareRadius of one whose depth lies within
// depth_diff of the reflector's is flare and is cleared (depth and intensity 0).
void deflare(std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity, int rows, int cols, int retro_threshold,
             int depth_diff);

// Real ambient: removes the column fixed pattern of the readout (each
// column's median minus the median of the medians of the 7 columns around
// it) and then the dark level (the smallest remaining value).
void real_ambient(std::vector<std::uint16_t>& ambient, int rows, int cols);

// Line filling: in every row, within columns [left_offset, cols - 1 -
// right_offset], a run of at most kMaxLineGap invalid pixels between two
// valid pixels whose depths agree within kLineGapTolerancePercent is filled
// by linear interpolation of depth and intensity.
void line_fill(std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity, int rows, int cols, int left_offset,
               int right_offset);

// Applies the enabled filters in the order real ambient, deflaring, zigzag
// filling, line filling. unit_mm is the depth unit of the frame.
void apply_filters(const filter_params& p, int unit_mm, int rows, int cols, std::vector<std::uint16_t>& ambient,
                   std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity);

}  // namespace gx
