#include "logic/depth_quality_text.h"

#include "device/c_numbers.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>

namespace depth_quality_text {

namespace {

std::string one_decimal(double v) { return std::isfinite(v) ? c_numbers::fixed(v, 1) : std::string(); }
std::string cell(double v, int decimals) { return std::isfinite(v) ? c_numbers::fixed(v, decimals) : std::string(); }

} // namespace

std::string percent(double v) { return std::isfinite(v) ? one_decimal(v) + " %" : std::string(); }
std::string millimetres(double v) { return std::isfinite(v) ? one_decimal(v) + " mm" : std::string(); }
std::string degrees(double v) { return std::isfinite(v) ? one_decimal(v) + "\u00b0" : std::string(); }

std::string accuracy(double mm, double pct) {
    if (!std::isfinite(mm) || !std::isfinite(pct)) return {};
    return one_decimal(mm) + " mm (" + c_numbers::fixed(pct, 2) + " %)";
}

std::string header() {
    return "time,roi_x,roi_y,roi_width,roi_height,frames,target,fill_rate_percent,outliers_percent,distance_mm,"
           "plane_rms_mm,plane_angle_deg,temporal_noise_mm,z_accuracy_mm,z_accuracy_percent,channel_spread_mm,"
           "row_spread_mm,ground_truth_mm,vcsel_type,global_offset,threshold_a0,fx,fy,cx,cy";
}

std::string row(const entry& e) {
    const auto& m = e.m;
    std::string s = e.time;
    const auto add = [&s](const std::string& v) { s += ',' + v; };
    add(std::to_string(e.roi.x));
    add(std::to_string(e.roi.y));
    add(std::to_string(e.roi.w));
    add(std::to_string(e.roi.h));
    add(std::to_string(e.frames));
    add(e.kind == depth_quality::target::sphere ? "sphere" : "wall");
    for (double v : {m.fill_rate, m.outliers, m.distance, m.rms}) add(cell(v, 2));
    add(cell(m.angle, 3));
    for (double v : {m.temporal_noise, m.z_error}) add(cell(v, 2));
    add(cell(m.z_error_percent, 3));
    for (double v : {m.channel_spread, m.row_spread}) add(cell(v, 2));
    add(e.ground_truth_mm > 0 ? c_numbers::general(e.ground_truth_mm, 10) : std::string());
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
