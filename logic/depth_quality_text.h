// The depth quality figures as text: the dialog's read-only fields, the
// verdict, and the metrics log, a CSV file that gets one row per save, so
// that one file records a series of checks. Numbers in the C notation
// whatever the locale, never a negative zero; a figure that could not be
// measured is "—" in the dialog and an empty cell in the log.
#pragma once

#include "device/DadodUz.h"
#include "logic/depth_quality.h"

#include <string>

namespace depth_quality_text {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// The dialog's text for a figure that was not measured or does not hold.
extern const char* const kNone;

// "98.5 %", "2000.3 mm", "0.4°", "-1.2 mm (-0.06 %)"; kNone for NaN.
std::string percent(double v);
std::string millimetres(double v);
std::string degrees(double v);
std::string accuracy(double mm, double percent);

// "Figures hold", or why they do not: "Region too narrow for a plane: 1 row",
// "Not a flat wall: 62 % of returns off the plane", ...
std::string verdict(const depth_quality::metrics& m);

// "30 of 30 frames": the frames the figures cover, of the frames asked for.
std::string frames_held(std::size_t measured, int asked);

// One check: when, what was measured and how the sensor was set.
struct entry {
    std::string time; // ISO 8601, local time
    depth_quality::region roi;
    depth_quality::target kind = depth_quality::target::wall;
    depth_quality::metrics m; // its `frames` are the frames measured
    double ground_truth_mm = 0; // 0: none
    bool has_configuration = false; // without it the configuration's cells stay empty
    configurations_t cfg{};
};

// The header line and one row, each without a line break.
std::string header();
std::string row(const entry& e);

// Appends the row (and, to a new or empty file, the header before it). A file
// whose first line is another header (an older log's included) is left as it
// is: false with the reason in `error`, as for a file that cannot be read or
// written.
bool append(const std::string& path, const std::string& row, std::string& error);

} // namespace depth_quality_text
