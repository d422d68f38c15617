// The limits of a sensor's acceptance check (acceptance_report.h): a bound
// for each depth quality figure the check judges, and a band for each of the
// 23 status values.
//
// Limits file: a CSV table of the status limits' family (status_limits.h,
// read by the same reader): comments ('#') and blank lines skipped, the
// header "name,low,high", then one line "<name>,<low>,<high>" for each of
// the eight metrics below and for each of the 23 status values (named as in
// the status log's header), in any order. A metric that must reach its
// bound gives only `low` ("fill_rate_percent,99,"), one that must stay under
// it only `high` ("plane_rms_mm,,25"); the other field stays empty. Status
// values give both ends of their band. Numbers in the C notation. A file is
// taken whole or not at all: a missing, unknown or repeated name, a number
// that is not one, a bound on the wrong side, a negative bound, a band whose
// low is not below its high, or a line with other than three fields refuses
// the whole file, naming the line.
#pragma once

#include "logic/status_limits.h"

#include <array>
#include <cstddef>
#include <string>

namespace acceptance_limits {

enum class metric { fill_rate, plane_rms, z_accuracy, channel_spread, row_spread, temporal_noise, dead_pixels, noisy_pixels };
constexpr std::size_t kMetrics = 8;

struct metric_info {
    const char* name;  // in the file and the report's JSON ("fill_rate_percent")
    const char* label; // in words ("Fill rate")
    const char* unit;  // "%", "mm", "" for counts
    bool at_least;     // true: value >= bound; false: value <= bound
    bool magnitude;    // the value's magnitude is judged (Z accuracy)
};
const metric_info& info(metric m);
inline const metric_info& info(std::size_t i) { return info(metric(i)); }

struct limits {
    std::array<double, kMetrics> bound{};
    status_limits::bands status{};
};

struct parse_result {
    bool ok = false;
    limits values;
    std::string error; // what is wrong and on which line, when !ok
};
parse_result parse_csv(const std::string& text);

// Files larger than this are refused unread.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

// Reads and parses a file ("the file is too large", "cannot read it: ..."
// as errors besides the parser's).
parse_result read_file(const std::string& path);

// The text of the shipped limits (resources/limits/acceptance_limits.csv,
// compiled in).
const std::string& built_in_text();
// The shipped limits, parsed.
const limits& built_in();

// The limits of a check: the shipped ones for an empty path, else the
// file's (ok false, and nothing of it, when the file is refused); `from`
// names where they came from for the report.
struct chosen {
    bool ok = false;
    limits values;
    std::string from;
    std::string error;
};
chosen choose(const std::string& path);

// Whether a value keeps its metric's bound: false for NaN.
bool keeps(metric m, double value, double bound);

// "≥ 99.0 %", "≤ 25.0 mm", "|·| ≤ 20.0 mm", "≤ 5"
std::string bound_text(metric m, double bound);

} // namespace acceptance_limits
