#include "logic/depth_quality_text.h"

#include "device/c_numbers.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

namespace depth_quality_text {

namespace {

namespace dq = depth_quality;

// Fixed decimals without a negative zero ("-0.0" is "0.0").
std::string fixed(double v, int decimals) {
    std::string s = c_numbers::fixed(v, decimals);
    if (!s.empty() && s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos) s.erase(0, 1);
    return s;
}

std::string cell(double v, int decimals) { return std::isfinite(v) ? fixed(v, decimals) : std::string(); }

// A CSV cell of text: quoted when it holds a comma, a quote or a line break.
std::string text_cell(const std::string& v) {
    if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
    std::string q = "\"";
    for (char c : v) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + '"';
}

std::string lines(int n, const char* one, const char* many) { return std::to_string(n) + ' ' + (n == 1 ? one : many); }

// The header of the logs written before the verdict was logged.
const char* const kOlderHeader =
    "time,roi_x,roi_y,roi_width,roi_height,frames,target,fill_rate_percent,outliers_percent,distance_mm,"
    "plane_rms_mm,plane_angle_deg,temporal_noise_mm,z_accuracy_mm,z_accuracy_percent,channel_spread_mm,"
    "row_spread_mm,ground_truth_mm,vcsel_type,global_offset,threshold_a0,fx,fy,cx,cy";

} // namespace

const char* const kNone = "\u2014";

std::string percent(double v) { return std::isfinite(v) ? fixed(v, 1) + " %" : kNone; }
std::string millimetres(double v) { return std::isfinite(v) ? fixed(v, 1) + " mm" : kNone; }
std::string degrees(double v) { return std::isfinite(v) ? fixed(v, 1) + "\u00b0" : kNone; }

std::string accuracy(double mm, double pct) {
    if (!std::isfinite(mm) || !std::isfinite(pct)) return kNone;
    return fixed(mm, 1) + " mm (" + fixed(pct, 2) + " %)";
}

std::string verdict(const dq::metrics& m) {
    const dq::verdict& v = m.verdict;
    const bool wall = v.of == dq::target::wall;
    const std::string shape = wall ? "Not a flat wall: " : "Not a range sphere: ";
    switch (v.kind) {
    case dq::judge_kind::holds: return "Figures hold";
    case dq::judge_kind::no_frames: return "No frame measured yet";
    case dq::judge_kind::no_returns: return "No return in the region";
    case dq::judge_kind::too_few_lines: {
        std::string why;
        if (v.rows < dq::kMinLines) why = lines(v.rows, "row", "rows");
        if (v.cols < dq::kMinLines) why += (why.empty() ? "" : " and ") + lines(v.cols, "column", "columns");
        return "Region too narrow for a plane: " + why;
    }
    case dq::judge_kind::too_narrow:
        if (!(v.tilt_error < 90)) return "Region too narrow for a plane: its returns span no plane";
        return "Region too narrow for a plane: its tilt is uncertain by " + fixed(v.tilt_error, 1) + "\u00b0";
    case dq::judge_kind::off_surface:
        return shape + fixed(v.off_share, 0) + " % of returns off the " + (wall ? "plane" : "sphere");
    case dq::judge_kind::edge_on:
        return shape + "the plane runs along the line of sight (" + fixed(v.incidence, 1) + "\u00b0)";
    case dq::judge_kind::other_shape:
        if (wall)
            return shape + "one range fits its returns better (" + fixed(v.range_rms, 1) + " mm against " +
                   fixed(v.plane_rms, 1) + " mm about the plane)";
        return shape + "a plane fits its returns better (" + fixed(v.plane_rms, 1) + " mm against " +
               fixed(v.range_rms, 1) + " mm about one range)";
    case dq::judge_kind::scattered:
        return shape + "RMS " + fixed(v.rms, 1) + " mm against " + fixed(v.noise, 1) + " mm of temporal noise";
    }
    return {};
}

std::string frames_held(std::size_t measured, int asked) {
    return std::to_string(measured) + " of " + std::to_string(asked) + " frames";
}

std::string header() {
    return "time,roi_x,roi_y,roi_width,roi_height,frames,target,verdict,fill_rate_percent,outliers_percent,"
           "distance_mm,plane_rms_mm,plane_angle_deg,temporal_noise_mm,z_accuracy_mm,z_accuracy_percent,"
           "channel_spread_mm,row_spread_mm,ground_truth_mm,vcsel_type,global_offset,threshold_a0,fx,fy,cx,cy";
}

std::string row(const entry& e) {
    const auto& m = e.m;
    std::string s = e.time;
    const auto add = [&s](const std::string& v) { s += ',' + v; };
    add(std::to_string(e.roi.x));
    add(std::to_string(e.roi.y));
    add(std::to_string(e.roi.w));
    add(std::to_string(e.roi.h));
    add(std::to_string(m.frames));
    add(e.kind == dq::target::sphere ? "sphere" : "wall");
    add(text_cell(verdict(m)));
    for (double v : {m.fill_rate, m.outliers, m.distance, m.rms}) add(cell(v, 2));
    add(cell(m.angle, 3));
    for (double v : {m.temporal_noise, m.z_error}) add(cell(v, 2));
    add(cell(m.z_error_percent, 3));
    for (double v : {m.channel_spread, m.row_spread}) add(cell(v, 2));
    add(e.ground_truth_mm > 0 ? c_numbers::general(e.ground_truth_mm, 10) : std::string());
    if (!e.has_configuration) return s + std::string(7, ',');
    add(std::to_string(int(e.cfg.vcsel_type)));
    add(std::to_string(unsigned(e.cfg.global_offset)));
    add(c_numbers::general(e.cfg.threshold_coe[0], 7));
    for (int i = 0; i < 4; ++i) add(c_numbers::general(e.cfg.lens_coe[i], 7));
    return s;
}

bool append(const std::string& path, const std::string& line, std::string& error) {
    bool need_header = true;
    bool need_break = false; // a last line without its line break
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::string first;
            std::getline(in, first);
            if (!first.empty() && first.back() == '\r') first.pop_back();
            if (!first.empty() || in.peek() != std::ifstream::traits_type::eof()) {
                if (first == kOlderHeader) {
                    error = "the file is a metrics log of an older layout, without verdicts; choose a new file";
                    return false;
                }
                if (first != header()) {
                    error = "the file holds something else than depth quality metrics";
                    return false;
                }
                need_header = false;
                in.clear();
                in.seekg(-1, std::ios::end);
                need_break = in.get() != '\n';
            }
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (!out) {
        error = std::strerror(errno);
        return false;
    }
    if (need_break) out << '\n';
    if (need_header) out << header() << '\n';
    out << line << '\n';
    out.flush();
    if (!out) {
        error = "the file could not be written";
        return false;
    }
    return true;
}

} // namespace depth_quality_text
