// The colour legend of a displayed picture: which colour table, and the raw
// values (in the quantity's unit) at which colours sit, worked out from the
// picture's own 8-bit scaling (display_pipeline.h).
//
// The display scales with no offset: a raw value x becomes the 8-bit value
// x * scale, so the colours run from x = 0 to x = 255 / scale = hi - lo, and
// larger values saturate in the top colour. A tick's position is x * scale /
// 255 along the bar (0 at the bottom, 1 at the top), whatever the table's
// direction; an inverted table (depth) puts its bright end at the bottom.
// Histogram equalisation makes the scale non-linear: no ticks, the note
// "equalised". A range with hi <= lo gives a black picture: no ticks, the
// note "— no range (max <= min)".
#pragma once

#include "logic/display_pipeline.h"

#include <string>
#include <vector>

namespace colour_legend {

struct tick {
    double position = 0.0;  // 0 .. 1 along the bar
    std::string text;       // the value in the legend's unit, C notation
    bool operator==(const tick& o) const { return position == o.position && text == o.text; }
};

struct legend {
    bool shown = false;  // false: fixed colours, no legend
    display::colour_map map = display::colour_map::grey;
    bool inverted = false;
    std::vector<tick> ticks;
    std::string unit;     // "mm", "m", "counts"
    std::string note;     // "equalised", or why there is no scale
    bool operator==(const legend& o) const {
        return shown == o.shown && map == o.map && inverted == o.inverted && ticks == o.ticks && unit == o.unit &&
               note == o.note;
    }
    bool operator!=(const legend& o) const { return !(*this == o); }
};

// Round tick values 0, step, 2 step, ... up to `top` (inclusive), with step 1,
// 2 or 5 times a power of ten and at most `max_ticks` ticks (at least 2).
std::vector<double> tick_values(double top, int max_ticks);

// The legend of a picture drawn with `params` over `range` (the range its
// scaling used). Raw values are divided by `unit_divisor` for the labels
// (1000 to show millimetres as metres).
legend for_picture(const display::pipeline_params& params, const display::value_range& range, const std::string& unit,
                   double unit_divisor = 1.0, int max_ticks = 6);

} // namespace colour_legend
