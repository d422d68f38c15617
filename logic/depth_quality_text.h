// The depth quality figures as text: the dialog's read-only fields and the
// metrics log, a CSV file that gets one row per save, so that one file
// records a series of checks. Numbers in the C notation whatever the locale;
// a figure that could not be measured is an empty text (an empty CSV cell).
#pragma once

#include "device/DadodUz.h"
#include "logic/depth_quality.h"

#include <string>

namespace depth_quality_text {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// "98.5 %", "2000.3 mm", "0.4°", "-1.2 mm (-0.06 %)"; empty for NaN.
std::string percent(double v);
std::string millimetres(double v);
std::string degrees(double v);
std::string accuracy(double mm, double percent);

// One check: when, what was measured and how the sensor was set.
struct entry {
    std::string time; // ISO 8601, local time
    depth_quality::region roi;
    int frames = 0;   // the frames setting
    depth_quality::target kind = depth_quality::target::wall;
    depth_quality::metrics m;
    double ground_truth_mm = 0; // 0: none
    configurations_t cfg{};
};

// The header line and one row, each without a line break.
std::string header();
std::string row(const entry& e);

// Appends the row (and, to a new or empty file, the header before it). A file
// whose first line is another header is left as it is: false with the reason
// in `error`, as for a file that cannot be read or written.
bool append(const std::string& path, const std::string& row, std::string& error);

} // namespace depth_quality_text
