// Nominal bands of the 23 measured values of a status record, and where a
// value stands against its band.
//
// Limits file (CSV, UTF-8 or ASCII): a header line "name,low,high", then one
// line "<name>,<low>,<high>" for each of the 23 values named as in the status
// log's header (xadc_onchip_temp .. rx_temp), in any order. Numbers in the C
// notation (a point for decimals). Blank lines and lines whose first
// character is '#' are skipped. A file is taken whole or not at all: a
// missing, unknown or repeated name, a number that is not one, a band whose
// low is not below its high, or a line with other than three fields refuses
// the whole file.
//
// Classification: a value inside [low, high] is in band; outside it by no
// more than a quarter of the band's width (high - low) it is amber; further
// out, or not a number at all, it is red.
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <string>
#include <vector>

namespace status_limits {

constexpr std::size_t kBands = 23;

struct band {
    double low = 0.0;
    double high = 0.0;
};
using bands = std::array<band, kBands>;

enum class level { in_band = 0, amber = 1, red = 2 };

// Value i's name: the status log's column i + 1 (xadc_onchip_temp first).
const char* name(std::size_t i);

// Value i of the record, the float widened to double.
double value(const TAVRIN::DadodUz::sensing_packet_t& packet, std::size_t i);

level classify(double value, const band& b);

// The lines of a limits table, of this file's format or of another of its
// family (acceptance_limits.h): past comments and blank lines, the header
// "name,low,high", then each line split at its commas into trimmed fields,
// with its line number. False, with "line N: why" in `error`, for a
// character outside printable ASCII text or a missing header.
struct table_line {
    int number = 0;
    std::vector<std::string> fields;
};
bool read_table(const std::string& text, std::vector<table_line>& lines, std::string& error);

struct parse_result {
    bool ok = false;
    bands values{};
    std::string error;  // what is wrong and on which line, when !ok
};
parse_result parse_csv(const std::string& text);

// "band 0.95 .. 1.05" in the C notation.
std::string band_text(const band& b);

// The level of each value and how many are out of band, with the worst level.
struct verdict {
    std::array<level, kBands> levels{};
    int out_of_band = 0;
    level worst = level::in_band;
};
verdict check(const TAVRIN::DadodUz::sensing_packet_t& packet, const bands& limits);

// "Status: 1 value out of band", "Status: 2 values out of band"; empty for 0.
std::string summary_text(int out_of_band);

} // namespace status_limits
