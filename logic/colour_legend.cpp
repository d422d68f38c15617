#include "logic/colour_legend.h"

#include "device/c_numbers.h"

#include <algorithm>
#include <cmath>

namespace colour_legend {

namespace {

double nice_step(double top, int max_ticks) {
    const double raw = top / double(std::max(1, max_ticks - 1));
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw * (1.0 - 1e-12)) return m * magnitude;
    return 10.0 * magnitude;
}

} // namespace

std::vector<double> tick_values(double top, int max_ticks) {
    std::vector<double> v;
    if (!(top > 0.0) || !std::isfinite(top)) return v;
    max_ticks = std::max(2, max_ticks);
    const double step = nice_step(top, max_ticks);
    for (int k = 0; k < max_ticks; ++k) {
        const double x = k * step;
        if (x > top * (1.0 + 1e-12)) break;
        v.push_back(x);
    }
    return v;
}

legend for_picture(const display::pipeline_params& params, const display::value_range& range, const std::string& unit,
                   double unit_divisor, int max_ticks) {
    legend l;
    l.shown = true;
    l.map = params.colour;
    l.inverted = params.invert;
    l.unit = unit;
    const double scale = display::display_scale(range);
    if (!(scale > 0.0)) {
        l.note = "\xE2\x80\x94 no range (max <= min)";
        return l;
    }
    if (params.equalise) {
        l.note = "equalised";
        return l;
    }
    const double top = 255.0 / scale / unit_divisor;  // the saturating value, in the unit
    const std::vector<double> values = tick_values(top, max_ticks);
    if (values.size() < 2) return l;
    const double step = values[1] - values[0];
    const int decimals = step >= 1.0 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    for (double x : values) l.ticks.push_back({std::min(1.0, x / top), c_numbers::fixed(x, decimals)});
    return l;
}

} // namespace colour_legend
