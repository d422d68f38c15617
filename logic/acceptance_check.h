// An acceptance check run from start to end without a window: connect to a
// sensor (or open a recording), learn who it is, take the frames and status
// records of the check, and evaluate them (acceptance_report.h). gx_verify and
// the Python package's verify() run it; the console's depth quality tool
// builds its report from the frames it already holds.
//
// From a sensor: the hello's acknowledgement gives the serial number; the
// register dump (asked for once, waited for up to 2 s) the configuration, its
// firmware version and its VCSEL driver, hence the channel count. Then the
// sensor runs, and the first `frames` frames that arrive (with the status
// records that come meanwhile) make the check; the host filters stay off. A
// sensor that sends no frame for 3 s ends the check ("could not measure").
// From a recording: the first `frames` readable records and their status
// records; a recording carries no serial number, firmware version or
// configuration, so the channel count must be given.
#pragma once

#include "logic/acceptance_report.h"

#include <functional>
#include <optional>
#include <string>

namespace acceptance_check {

struct options {
    std::string device;    // "IP:PORT" of a sensor ...
    std::string local;     // ... and this end ("IP:PORT", empty: any address, a free port)
    std::string recording; // or a recording
    depth_quality::target target = depth_quality::target::wall;
    double range_mm = 0;
    std::optional<depth_quality::region> roi; // none: the tool's default region of the frame
    int frames = 30;
    int channels = 0;      // 0: the sensor's driver's
    int connect_timeout_ms = 2000;
    int frame_timeout_ms = 3000;
};

// Called after each frame taken: frames so far, frames asked.
using progress_fn = std::function<void(int, int)>;

// Runs the check and evaluates it; a sensor that cannot be reached, a
// recording that cannot be read, a region that does not fit the frame or too
// few frames make a report that could not measure (with no_connection set
// for a sensor that could not be reached).
struct result {
    acceptance::report report;
    bool no_connection = false;
};
result run(const options& o, const acceptance_limits::limits& limits, const std::string& limits_from,
           const std::string& program, const progress_fn& progress = {});

// The one line of gx_verify: summary_line, or "COULD NOT CONNECT: ..." for a
// sensor that could not be reached.
std::string summary_line(const result& r);

// "wall" or "sphere" as a target: false for anything else.
bool parse_target(const std::string& name, depth_quality::target& out);

// The first of the options' figures out of its range, in words ("the range
// is 100 .. 100000 mm, not 5"), or "" when all are in range: the range 100 ..
// 100000 mm, the frames 2 .. 1000, the channels 0 (the sensor's) .. 400.
std::string out_of_range(const options& o);

// "X,Y,W,H" as a region: false for anything else or a width or height
// below 1.
bool parse_region(const std::string& text, depth_quality::region& out);

} // namespace acceptance_check
