// A sensor's acceptance report: which unit, which firmware and tables, what
// the depth quality tool measured over the frames of a check (its figures,
// its verdict and the per-pixel maps), against which limits, and the result:
// pass, fail, or could not measure. One self-contained HTML file (pictures as
// embedded PNG data, no scripts, a print style sheet) and one JSON file of the
// same content as data (docs/acceptance-report.schema.json). Plain code: the
// console's depth quality tool, gx_verify and the Python package build their
// reports here alike.
//
// The result, in this order:
//  - could not measure: a problem before the figures (no connection, too few
//    frames), no frame, a depth quality verdict other than "Figures hold",
//    a surface farther than kRangeTolerance of the set-up's range from it
//    (another object than the target), a judged figure that could not be
//    measured, or no status record. Never a pass, whatever the figures.
//  - fail: a figure beyond its bound, or a status value whose minimum or
//    maximum over the check lies outside its band.
//  - pass: everything within its limits.
#pragma once

#include "device/DadodUz.h"
#include "logic/acceptance_limits.h"
#include "logic/depth_quality.h"
#include "logic/pixel_maps.h"

#include <array>
#include <cstddef>
#include <string>

namespace acceptance {

using configurations_t = TAVRIN::DadodUz::configurations_t;
using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;

enum class outcome { pass = 0, fail = 1, not_measured = 2 };

// "pass", "fail", "could not measure"
const char* outcome_name(outcome o);
// The exit status of gx_verify: 0, 1, 2.
inline int exit_status(outcome o) { return int(o); }

// A surface farther from the set-up's range than this share of it is not
// the target (the check measured something else).
constexpr double kRangeTolerance = 0.25;
// Pixels listed in the report; the counts cover them all.
constexpr std::size_t kListed = 50;

// Which unit: where the frames came from, and what it said of itself. An
// empty value is shown as "—" with its note (why it is not known).
struct identity {
    std::string source; // "sensor 127.0.0.1:2000", "recording /data/run.bin"
    std::string serial, serial_note;
    std::string firmware, firmware_note;
    bool has_configuration = false;
    configurations_t cfg{};
    std::string configuration_note; // why there is no configuration
};

// How the check was set up.
struct setup {
    depth_quality::target target = depth_quality::target::wall;
    double range_mm = 0;              // the target's range, the ground truth of Z accuracy (0: none)
    depth_quality::region roi;
    int frames = 30;                  // asked for
    int channels = 0;                 // VCSEL channels the channel spread groups columns by (0: unknown)
    std::string channels_from;        // "sensor configuration", "--channels", ...
    std::string limits_from = "built-in";
};

// The status values' extremes over the check.
struct status_span {
    std::size_t records = 0;
    std::array<double, status_limits::kBands> low{}, high{};
    void add(const sensing_packet_t& packet);
};

struct metric_check {
    double value = depth_quality::none;
    double bound = 0;
    outcome result = outcome::not_measured;
};

struct status_check {
    double min = depth_quality::none, max = depth_quality::none;
    status_limits::band band;
    outcome result = outcome::not_measured;
};

struct report {
    std::string program;   // "gx_verify", "ro_vezovad", "vezovad"
    std::string version;   // the program's (CMake project) version
    std::string created;   // local date and time, ISO 8601 with its offset
    identity id;
    setup set;
    std::string configuration_sha256, calibration_sha256; // empty without a configuration
    depth_quality::metrics m;
    pixel_maps::maps maps;
    std::array<metric_check, acceptance_limits::kMetrics> metrics;
    std::size_t status_records = 0;
    std::array<status_check, status_limits::kBands> status;
    outcome result = outcome::not_measured;
    std::string reason; // one line: why (what failed, what could not be measured)
};

// Evaluates the window's frames (measured against set.target with
// set.channels and set.range_mm as ground truth) and the status span against
// the limits. `problem`, when not empty, is why the check could not measure
// (its report still shows what there is).
report evaluate(const depth_quality::window& w, const setup& set, const identity& id, const status_span& status,
                const acceptance_limits::limits& limits, const std::string& program, const std::string& problem = {});

// "PASS: ...", "FAIL: ...", "COULD NOT MEASURE: ...": the one line gx_verify
// prints.
std::string summary_line(const report& r);

// The current local date and time, "2025-01-05T14:03:12+01:00".
std::string now_text();
// The program's version ("1.0").
const char* program_version();

// SHA-256 in lower-case hex of the 632-byte record, and of its calibration
// tables as the calibration file holds them (calibration_file::format: the
// hash of the file the offset calibration saves).
std::string configuration_hash(const configurations_t& cfg);
std::string calibration_hash(const configurations_t& cfg);

std::string to_json(const report& r);
std::string to_html(const report& r);

// Writes the HTML report and, when json_path is not empty, the JSON beside
// it; false with the reason in `error`.
bool write(const report& r, const std::string& html_path, const std::string& json_path, std::string& error);
bool write_json(const report& r, const std::string& json_path, std::string& error);

} // namespace acceptance
