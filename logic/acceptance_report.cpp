#include "logic/acceptance_report.h"

#include "device/c_numbers.h"
#include "logic/calibration_file.h"
#include "logic/colour_legend.h"
#include "logic/depth_quality_text.h"
#include "logic/whole_file.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>

namespace acceptance {

namespace {

namespace dq = depth_quality;
namespace al = acceptance_limits;
using json = nlohmann::json;

std::string fixed(double v, int decimals) {
    std::string s = c_numbers::fixed(v, decimals);
    if (!s.empty() && s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos) s.erase(0, 1);
    return s;
}

// A figure in the metric's unit, "—" when not measured.
std::string value_text(double v, const char* unit, int decimals = 1) {
    if (!std::isfinite(v)) return depth_quality_text::kNone;
    if (*unit == '\0') return fixed(v, 0);
    return fixed(v, decimals) + " " + unit;
}

const char* verdict_name(dq::judge_kind k) {
    switch (k) {
    case dq::judge_kind::holds: return "holds";
    case dq::judge_kind::no_frames: return "no_frames";
    case dq::judge_kind::no_returns: return "no_returns";
    case dq::judge_kind::too_few_lines: return "too_few_lines";
    case dq::judge_kind::too_narrow: return "too_narrow";
    case dq::judge_kind::off_surface: return "off_surface";
    case dq::judge_kind::edge_on: return "edge_on";
    case dq::judge_kind::other_shape: return "other_shape";
    case dq::judge_kind::scattered: return "scattered";
    }
    return "no_frames";
}

std::string sha256(const void* data, std::size_t size) {
    return QCryptographicHash::hash(QByteArray(static_cast<const char*>(data), int(size)), QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// The value a metric judges, from the figures and the maps.
double metric_value(al::metric k, const dq::metrics& m, const pixel_maps::maps& maps) {
    switch (k) {
    case al::metric::fill_rate: return m.fill_rate;
    case al::metric::plane_rms: return m.rms;
    case al::metric::z_accuracy: return m.z_error;
    case al::metric::channel_spread: return m.channel_spread;
    case al::metric::row_spread: return m.row_spread;
    case al::metric::temporal_noise: return m.temporal_noise;
    case al::metric::dead_pixels: return maps.frames > 0 ? double(maps.dead.size()) : dq::none;
    case al::metric::noisy_pixels: return std::isfinite(maps.median_sigma) ? double(maps.noisy.size()) : dq::none;
    }
    return dq::none;
}

// Why a judged figure has no value.
std::string missing_why(al::metric k, const setup& set) {
    const std::string label = al::info(k).label;
    if (k == al::metric::channel_spread && set.channels <= 0)
        return label + " could not be measured: the VCSEL channel count is not known";
    if (k == al::metric::z_accuracy && !(set.range_mm > 0))
        return label + " could not be measured: no ground truth (the target's range)";
    return label + " could not be measured";
}

// ---- pictures ----

// A colour table of 256 entries (BGR), one row.
cv::Mat table_of(int map) {
    cv::Mat ramp(1, 256, CV_8UC1);
    for (int i = 0; i < 256; ++i) ramp.at<std::uint8_t>(0, i) = std::uint8_t(i);
    cv::Mat out;
    if (map >= 0) {
        cv::applyColorMap(ramp, out, map);
        return out;
    }
    // Diverging: blue through white to red.
    out.create(1, 256, CV_8UC3);
    const double lo[3] = {192, 76, 59}, mid[3] = {247, 247, 247}, hi[3] = {38, 4, 180};
    for (int i = 0; i < 256; ++i) {
        const double t = i / 255.0;
        cv::Vec3b& px = out.at<cv::Vec3b>(0, i);
        for (int c = 0; c < 3; ++c)
            px[c] = cv::saturate_cast<std::uint8_t>(t < 0.5 ? lo[c] + (mid[c] - lo[c]) * t * 2 : mid[c] + (hi[c] - mid[c]) * (t - 0.5) * 2);
    }
    return out;
}

std::string png_uri(const cv::Mat& bgr) {
    std::vector<std::uint8_t> png;
    cv::imencode(".png", bgr, png);
    const QByteArray bytes(reinterpret_cast<const char*>(png.data()), int(png.size()));
    return "data:image/png;base64," + bytes.toBase64().toStdString();
}

// A map's colour scale: its range, ticks and colour table.
struct scale {
    double lo = 0, hi = 1;
    std::vector<double> ticks;
    int map = cv::COLORMAP_VIRIDIS; // < 0: diverging
};

// 0 .. a round value at or above `top`, with round ticks.
scale upward(double top) {
    scale s;
    if (!(top > 0) || !std::isfinite(top)) top = 1;
    const std::vector<double> v = colour_legend::tick_values(top, 6);
    const double step = v.size() >= 2 ? v[1] - v[0] : top;
    const int n = std::max(1, int(std::ceil(top / step - 1e-9)));
    for (int k = 0; k <= n; ++k) s.ticks.push_back(k * step);
    s.hi = n * step;
    return s;
}

std::string html_escape(const std::string& t) {
    std::string out;
    for (char c : t) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// The map as a picture (each pixel a square of a few screen pixels, grey
// where there is no value) with its legend, as HTML.
std::string map_figure(const std::string& title, const std::string& unit, const std::vector<double>& values, int w, int h,
                       const scale& s, const std::string& notes) {
    if (w <= 0 || h <= 0) return {};
    const cv::Mat table = table_of(s.map);
    cv::Mat picture(h, w, CV_8UC3);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const double v = values[std::size_t(r) * std::size_t(w) + std::size_t(c)];
            cv::Vec3b& px = picture.at<cv::Vec3b>(r, c);
            if (!std::isfinite(v)) {
                px = cv::Vec3b(150, 150, 150);
                continue;
            }
            const int i = int(std::lround(std::clamp((v - s.lo) / (s.hi - s.lo), 0.0, 1.0) * 255.0));
            px = table.at<cv::Vec3b>(0, i);
        }
    const int k = std::clamp(std::min(800 / w, 400 / h), 1, 12);
    cv::Mat big;
    cv::resize(picture, big, cv::Size(w * k, h * k), 0, 0, cv::INTER_NEAREST);
    cv::Mat bar;
    cv::resize(table, bar, cv::Size(256, 4), 0, 0, cv::INTER_NEAREST);
    // The picture and its scale share one width.
    std::string out = "<figure><figcaption>" + html_escape(title) + "</figcaption>\n<div class=\"mapbox\" style=\"width:" +
                      std::to_string(w * k) + "px\">\n";
    out += "<img class=\"map\" alt=\"" + html_escape(title) + "\" src=\"" + png_uri(big) + "\">\n";
    out += "<div class=\"legend\"><img alt=\"colour scale\" src=\"" + png_uri(bar) + "\">";
    const double step = s.ticks.size() >= 2 ? s.ticks[1] - s.ticks[0] : 1;
    const int decimals = step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    for (std::size_t t = 0; t < s.ticks.size(); ++t) {
        const double at = 100.0 * (s.ticks[t] - s.lo) / (s.hi - s.lo);
        const char* cls = t == 0 ? " class=\"first\"" : t + 1 == s.ticks.size() ? " class=\"last\"" : "";
        out += "<span" + std::string(cls) + " style=\"left:" + fixed(at, 2) + "%\">" + fixed(s.ticks[t], decimals) + "</span>";
    }
    out += "</div>\n</div>\n<p class=\"note\">" + html_escape(unit) + "; grey: no value. " + notes + "</p></figure>\n";
    return out;
}

// Minimum, median and maximum of the finite values.
std::string spread_text(const std::vector<double>& values, const char* unit) {
    std::vector<float> v;
    for (double x : values)
        if (std::isfinite(x)) v.push_back(float(x));
    if (v.empty()) return "no value";
    const auto mm = std::minmax_element(v.begin(), v.end());
    const double lo = *mm.first, hi = *mm.second;
    return "min " + value_text(lo, unit, 2) + ", median " + value_text(dq::median(v), unit, 2) + ", max " + value_text(hi, unit, 2) + ".";
}

json number(double v, int decimals = -1) {
    if (!std::isfinite(v)) return nullptr;
    if (decimals < 0) return v;
    const double k = std::pow(10.0, decimals);
    return std::round(v * k) / k;
}

json text_or_null(const std::string& s) { return s.empty() ? json(nullptr) : json(s); }

json grid(const std::vector<double>& values, int w, int h) {
    json rows = json::array();
    for (int r = 0; r < h; ++r) {
        json row = json::array();
        for (int c = 0; c < w; ++c) row.push_back(number(values[std::size_t(r) * std::size_t(w) + std::size_t(c)], 3));
        rows.push_back(std::move(row));
    }
    return rows;
}

const char* result_class(outcome o) { return o == outcome::pass ? "pass" : o == outcome::fail ? "fail" : "nm"; }
const char* result_word(outcome o) { return o == outcome::pass ? "PASS" : o == outcome::fail ? "FAIL" : "not measured"; }

std::string target_name(dq::target t) { return t == dq::target::sphere ? "sphere" : "wall"; }

std::string known(const std::string& value, const std::string& note) {
    if (!value.empty()) return html_escape(value);
    return std::string(depth_quality_text::kNone) + " <span class=\"why\">(" + html_escape(note) + ")</span>";
}

} // namespace

const char* outcome_name(outcome o) {
    switch (o) {
    case outcome::pass: return "pass";
    case outcome::fail: return "fail";
    case outcome::not_measured: return "could not measure";
    }
    return "could not measure";
}

void status_span::add(const sensing_packet_t& packet) {
    for (std::size_t i = 0; i < status_limits::kBands; ++i) {
        const double v = status_limits::value(packet, i);
        if (records == 0 || !(v >= low[i])) low[i] = v;   // a NaN stays
        if (records == 0 || !(v <= high[i])) high[i] = v;
    }
    ++records;
}

const char* program_version() { return VEZOVAD_VERSION; }

std::string now_text() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string s = buf; // +0100 -> +01:00
    if (s.size() >= 5) s.insert(s.size() - 2, ":");
    return s;
}

std::string configuration_hash(const configurations_t& cfg) { return sha256(&cfg, sizeof cfg); }

std::string calibration_hash(const configurations_t& cfg) {
    const std::string text = calibration_file::format(calibration_file::from_record(cfg));
    return sha256(text.data(), text.size());
}

report evaluate(const dq::window& w, const setup& set, const identity& id, const status_span& status,
                const al::limits& limits, const std::string& program, const std::string& problem) {
    report r;
    r.program = program;
    r.version = program_version();
    r.created = now_text();
    r.id = id;
    r.set = set;
    if (id.has_configuration) {
        r.configuration_sha256 = configuration_hash(id.cfg);
        r.calibration_sha256 = calibration_hash(id.cfg);
    }
    r.m = dq::measure(w, set.channels, set.range_mm);
    r.maps = pixel_maps::compute(w, r.m);

    std::vector<std::string> missing, failed;
    for (std::size_t k = 0; k < al::kMetrics; ++k) {
        const auto kind = al::metric(k);
        metric_check& c = r.metrics[k];
        c.value = metric_value(kind, r.m, r.maps);
        c.bound = limits.bound[k];
        if (!std::isfinite(c.value)) {
            c.result = outcome::not_measured;
            missing.push_back(missing_why(kind, set));
            continue;
        }
        c.result = al::keeps(kind, c.value, c.bound) ? outcome::pass : outcome::fail;
        const auto& mi = al::info(kind);
        if (c.result == outcome::fail)
            failed.push_back(std::string(mi.label) + " " + value_text(c.value, mi.unit) + (mi.at_least ? " below " : " above ") +
                             value_text(c.bound, mi.unit));
    }
    r.status_records = status.records;
    for (std::size_t i = 0; i < status_limits::kBands; ++i) {
        status_check& c = r.status[i];
        c.band = limits.status[i];
        if (status.records == 0) continue;
        c.min = status.low[i];
        c.max = status.high[i];
        const bool inside = c.min >= c.band.low && c.max <= c.band.high; // false for NaN
        c.result = inside ? outcome::pass : outcome::fail;
        if (!inside)
            failed.push_back(std::string(status_limits::name(i)) + " " + c_numbers::general(c.min, 6) + " .. " +
                             c_numbers::general(c.max, 6) + " outside " + c_numbers::general(c.band.low, 6) + " .. " +
                             c_numbers::general(c.band.high, 6));
    }

    // Why the check could not measure, if it could not.
    std::string why = problem;
    if (why.empty() && r.m.frames == 0) why = "no frame was measured";
    if (why.empty() && !r.m.verdict.holds()) why = depth_quality_text::verdict(r.m);
    if (why.empty() && set.range_mm > 0 && std::isfinite(r.m.distance) &&
        std::fabs(r.m.distance - set.range_mm) > kRangeTolerance * set.range_mm)
        why = "the surface lies at " + fixed(r.m.distance, 1) + " mm, not near the " + fixed(set.range_mm, 0) +
              " mm of the set-up: is the target in place?";
    if (why.empty() && !missing.empty()) why = missing.front();
    if (why.empty() && status.records == 0) why = "no status record arrived";
    if (!why.empty()) {
        r.result = outcome::not_measured;
        r.reason = why;
    } else if (!failed.empty()) {
        r.result = outcome::fail;
        for (std::size_t i = 0; i < failed.size(); ++i) r.reason += (i ? "; " : "") + failed[i];
    } else {
        r.result = outcome::pass;
        r.reason = std::to_string(al::kMetrics) + " metrics and " + std::to_string(status_limits::kBands) +
                   " status values within their limits";
    }
    return r;
}

std::string summary_line(const report& r) {
    const char* word = r.result == outcome::pass ? "PASS" : r.result == outcome::fail ? "FAIL" : "COULD NOT MEASURE";
    std::string unit = r.id.serial.empty() ? std::string() : " (" + r.id.serial + ")";
    return std::string(word) + ": " + r.reason + unit;
}

std::string to_json(const report& r) {
    const dq::metrics& m = r.m;
    json j;
    j["schema_version"] = 1;
    j["result"] = outcome_name(r.result);
    j["reason"] = r.reason;
    j["program"] = {{"name", r.program}, {"version", r.version}};
    j["created"] = r.created;
    j["sensor"] = {
        {"source", r.id.source},
        {"serial_number", text_or_null(r.id.serial)},
        {"serial_number_note", r.id.serial.empty() ? text_or_null(r.id.serial_note) : json(nullptr)},
        {"firmware_version", text_or_null(r.id.firmware)},
        {"firmware_version_note", r.id.firmware.empty() ? text_or_null(r.id.firmware_note) : json(nullptr)},
        {"configuration_sha256", text_or_null(r.configuration_sha256)},
        {"calibration_sha256", text_or_null(r.calibration_sha256)},
        {"configuration_note", r.id.has_configuration ? json(nullptr) : text_or_null(r.id.configuration_note)},
    };
    j["setup"] = {
        {"target", target_name(r.set.target)},
        {"range_mm", r.set.range_mm > 0 ? json(r.set.range_mm) : json(nullptr)},
        {"region", {{"x", r.set.roi.x}, {"y", r.set.roi.y}, {"width", r.set.roi.w}, {"height", r.set.roi.h}}},
        {"frames_asked", r.set.frames},
        {"frames_measured", m.frames},
        {"channels", r.set.channels > 0 ? json(r.set.channels) : json(nullptr)},
        {"channels_from", r.set.channels_from},
        {"limits", r.set.limits_from},
    };
    j["depth_quality"] = {
        {"verdict", verdict_name(m.verdict.kind)},
        {"text", depth_quality_text::verdict(m)},
        {"holds", m.verdict.holds()},
        {"figures",
         {{"fill_rate_percent", number(m.fill_rate)},
          {"outliers_percent", number(m.outliers)},
          {"distance_mm", number(m.distance)},
          {"plane_rms_mm", number(m.rms)},
          {"plane_angle_deg", number(m.angle)},
          {"temporal_noise_mm", number(m.temporal_noise)},
          {"z_accuracy_mm", number(m.z_error)},
          {"z_accuracy_percent", number(m.z_error_percent)},
          {"channel_spread_mm", number(m.channel_spread)},
          {"row_spread_mm", number(m.row_spread)}}},
    };
    json metrics = json::array();
    for (std::size_t k = 0; k < al::kMetrics; ++k) {
        const auto& mi = al::info(k);
        metrics.push_back({{"name", mi.name},
                           {"label", mi.label},
                           {"unit", mi.unit},
                           {"bound", mi.at_least ? "min" : mi.magnitude ? "max_magnitude" : "max"},
                           {"limit", r.metrics[k].bound},
                           {"value", number(r.metrics[k].value)},
                           {"result", outcome_name(r.metrics[k].result)}});
    }
    j["metrics"] = metrics;
    const pixel_maps::maps& p = r.maps;
    j["maps"] = {
        {"x", p.roi.x},
        {"y", p.roi.y},
        {"width", p.roi.w},
        {"height", p.roi.h},
        {"frames", p.frames},
        {"noisy_factor", pixel_maps::kNoisyFactor},
        {"median_sigma_mm", number(p.median_sigma)},
        {"valid_rate_percent", grid(p.valid_rate, p.roi.w, p.roi.h)},
        {"mean_error_mm", grid(p.mean_error, p.roi.w, p.roi.h)},
        {"temporal_sigma_mm", grid(p.sigma, p.roi.w, p.roi.h)},
    };
    json dead = json::array(), noisy = json::array();
    for (std::size_t i = 0; i < p.dead.size() && i < kListed; ++i) dead.push_back({{"row", p.dead[i].row}, {"col", p.dead[i].col}});
    for (std::size_t i = 0; i < p.noisy.size() && i < kListed; ++i)
        noisy.push_back({{"row", p.noisy[i].row}, {"col", p.noisy[i].col}, {"sigma_mm", number(p.noisy[i].sigma, 3)}});
    j["dead_pixels"] = {{"count", p.dead.size()}, {"listed", dead}};
    j["noisy_pixels"] = {{"count", p.noisy.size()}, {"listed", noisy}};
    json values = json::array();
    for (std::size_t i = 0; i < status_limits::kBands; ++i) {
        const status_check& c = r.status[i];
        values.push_back({{"name", status_limits::name(i)},
                          {"min", number(c.min)},
                          {"max", number(c.max)},
                          {"low", c.band.low},
                          {"high", c.band.high},
                          {"result", outcome_name(c.result)}});
    }
    j["status"] = {{"records", r.status_records}, {"values", values}};
    return j.dump(1) + "\n";
}

std::string to_html(const report& r) {
    const dq::metrics& m = r.m;
    const pixel_maps::maps& p = r.maps;
    std::string h;
    h += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    h += "<title>GX acceptance report " + html_escape(r.id.serial.empty() ? r.id.source : r.id.serial) + "</title>\n";
    h += R"(<style>
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; color: #111; background: #fff;
       max-width: 880px; margin: 24px auto; padding: 0 16px; font-size: 14px; line-height: 1.35; }
h1 { font-size: 22px; margin: 0 0 6px; }
h2 { font-size: 16px; margin: 22px 0 6px; border-bottom: 2px solid #333; padding-bottom: 2px; }
.verdict { border: 2px solid #333; padding: 10px 14px; margin: 10px 0 4px; }
.badge { display: inline-block; padding: 3px 12px; font-weight: bold; font-size: 18px; color: #fff; margin-right: 10px; }
.badge.pass { background: #1a7f37; } .badge.fail { background: #c62828; } .badge.nm { background: #9a5b00; }
table { border-collapse: collapse; width: 100%; margin: 4px 0 10px; }
th, td { border: 1px solid #aaa; padding: 3px 7px; text-align: left; vertical-align: top; }
th { background: #eee; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.pass { color: #1a7f37; font-weight: bold; } td.fail { color: #c62828; font-weight: bold; } td.nm { color: #9a5b00; font-weight: bold; }
.why, .note { color: #555; font-size: 12px; }
.maps { display: block; }
figure { margin: 0 0 18px; }
figcaption { font-weight: bold; margin-bottom: 4px; }
.mapbox { max-width: 100%; }
img.map { display: block; width: 100%; border: 1px solid #666; box-sizing: border-box; image-rendering: pixelated; }
.legend { position: relative; height: 30px; width: 100%; }
.legend img { display: block; width: 100%; height: 12px; border: 1px solid #666; box-sizing: border-box; }
.legend span { position: absolute; top: 14px; font-size: 11px; transform: translateX(-50%); white-space: nowrap; }
.legend span.first { transform: none; } .legend span.last { transform: translateX(-100%); }
.pixels { columns: 5; font-size: 12px; font-variant-numeric: tabular-nums; margin: 4px 0; padding-left: 18px; }
* { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
@media print {
  @page { size: A4; margin: 14mm; }
  body { max-width: none; margin: 0; padding: 0; font-size: 10pt; }
  h2 { page-break-after: avoid; break-after: avoid; }
  table, figure, .verdict, section.keep { page-break-inside: avoid; break-inside: avoid; }
  .badge { border: 1px solid #000; }
}
</style>
</head>
<body>
)";
    h += "<h1>GX sensor acceptance report</h1>\n";
    h += "<div class=\"verdict\"><span class=\"badge " + std::string(result_class(r.result)) + "\">" +
         (r.result == outcome::pass ? "PASS" : r.result == outcome::fail ? "FAIL" : "COULD NOT MEASURE") + "</span>" +
         html_escape(r.reason) + "</div>\n";

    h += "<h2>Sensor</h2>\n<table>\n";
    const auto row = [&h](const std::string& k, const std::string& v) { h += "<tr><th>" + k + "</th><td>" + v + "</td></tr>\n"; };
    row("Serial number", known(r.id.serial, r.id.serial_note));
    row("Firmware version", known(r.id.firmware, r.id.firmware_note));
    row("Configuration SHA-256", known(r.configuration_sha256, r.id.configuration_note));
    row("Calibration tables SHA-256", known(r.calibration_sha256, r.id.configuration_note));
    row("Frames from", html_escape(r.id.source));
    row("Program", html_escape(r.program) + " " + html_escape(r.version));
    row("Date and time", html_escape(r.created));
    h += "</table>\n";

    h += "<h2>Set-up</h2>\n<table>\n";
    row("Target", r.set.target == dq::target::sphere ? "range sphere (every pixel at one range)" : "flat wall");
    row("Range", r.set.range_mm > 0 ? fixed(r.set.range_mm, 0) + " mm" : std::string(depth_quality_text::kNone));
    row("Ground truth (Z accuracy)", r.set.range_mm > 0 ? fixed(r.set.range_mm, 0) + " mm" : std::string("none"));
    row("Region", "columns " + std::to_string(r.set.roi.x) + "&ndash;" + std::to_string(r.set.roi.x + r.set.roi.w - 1) + ", rows " +
                      std::to_string(r.set.roi.y) + "&ndash;" + std::to_string(r.set.roi.y + r.set.roi.h - 1) + " (" +
                      std::to_string(r.set.roi.w) + " &times; " + std::to_string(r.set.roi.h) + " pixels)");
    row("Frames", std::to_string(m.frames) + " measured of " + std::to_string(r.set.frames) + " asked");
    row("VCSEL channels", r.set.channels > 0 ? std::to_string(r.set.channels) + " (" + html_escape(r.set.channels_from) + ")"
                                             : std::string(depth_quality_text::kNone) + " (" + html_escape(r.set.channels_from) + ")");
    row("Limits", html_escape(r.set.limits_from));
    h += "</table>\n";

    h += "<h2>Depth quality</h2>\n<p>Verdict of the depth quality tool: <b>" + html_escape(depth_quality_text::verdict(m)) + "</b></p>\n";
    h += "<table>\n<tr><th>Metric</th><th>Value</th><th>Limit</th><th>Result</th></tr>\n";
    for (std::size_t k = 0; k < al::kMetrics; ++k) {
        const auto& mi = al::info(k);
        const metric_check& c = r.metrics[k];
        h += "<tr><td>" + std::string(mi.label) + "</td><td class=\"num\">" + value_text(c.value, mi.unit) + "</td><td class=\"num\">" +
             al::bound_text(al::metric(k), c.bound) + "</td><td class=\"" + result_class(c.result) + "\">" + result_word(c.result) +
             "</td></tr>\n";
    }
    h += "</table>\n<table>\n<tr><th>Further figures (no limit)</th><th>Value</th></tr>\n";
    h += "<tr><td>Outliers (false returns, objects in front)</td><td class=\"num\">" + depth_quality_text::percent(m.outliers) + "</td></tr>\n";
    h += "<tr><td>Distance</td><td class=\"num\">" + depth_quality_text::millimetres(m.distance) + "</td></tr>\n";
    h += "<tr><td>Plane angle</td><td class=\"num\">" + depth_quality_text::degrees(m.angle) + "</td></tr>\n";
    h += "<tr><td>Z accuracy</td><td class=\"num\">" + depth_quality_text::accuracy(m.z_error, m.z_error_percent) + "</td></tr>\n";
    h += "<tr><td>Median temporal &sigma; of the pixels</td><td class=\"num\">" + value_text(p.median_sigma, "mm", 2) + "</td></tr>\n";
    h += "</table>\n";

    h += "<h2>Pixel maps</h2>\n";
    if (p.frames == 0) h += "<p>No maps: no frame was measured.</p>\n";
    else h += "<p class=\"note\">Over the " + std::to_string(p.frames) +
         " frames of the check, each picture pixel one sensor pixel of the region (left: column " + std::to_string(p.roi.x) +
         ", top: row " + std::to_string(p.roi.y) + ").</p>\n";
    h += "<div class=\"maps\">\n";
    h += map_figure("Valid rate", "% of the frames with a return", p.valid_rate, p.roi.w, p.roi.h, [] {
        scale s = upward(100);
        return s;
    }(), spread_text(p.valid_rate, "%"));
    {
        double top = 0;
        for (double v : p.mean_error)
            if (std::isfinite(v)) top = std::max(top, std::fabs(v));
        scale s = upward(std::max(top, 1.0));
        const double hi = s.hi;
        std::vector<double> ticks;
        for (auto it = s.ticks.rbegin(); it != s.ticks.rend(); ++it)
            if (*it > 0) ticks.push_back(-*it);
        ticks.insert(ticks.end(), s.ticks.begin(), s.ticks.end());
        s.ticks = ticks;
        s.lo = -hi;
        s.map = -1;
        h += map_figure("Mean error from the fitted surface", "mm, positive beyond the surface", p.mean_error, p.roi.w, p.roi.h, s,
                        spread_text(p.mean_error, "mm"));
    }
    {
        double top = 0;
        for (double v : p.sigma)
            if (std::isfinite(v)) top = std::max(top, v);
        h += map_figure("Temporal standard deviation", "mm", p.sigma, p.roi.w, p.roi.h, upward(top),
                        spread_text(p.sigma, "mm") + " Noisy above " + fixed(pixel_maps::kNoisyFactor, 0) + " &times; the median.");
    }
    h += "</div>\n";

    const auto pixel_list = [&h](const char* title, const std::vector<pixel_maps::pixel>& list, bool sigma, const std::string& rule) {
        h += "<section class=\"keep\">\n<h2>" + std::string(title) + ": " + std::to_string(list.size()) + "</h2>\n<p class=\"note\">" +
             rule + "</p>\n";
        if (list.empty()) {
            h += "</section>\n";
            return;
        }
        h += "<ol class=\"pixels\">\n";
        for (std::size_t i = 0; i < list.size() && i < kListed; ++i)
            h += "<li>row " + std::to_string(list[i].row) + ", col " + std::to_string(list[i].col) +
                 (sigma ? ": " + fixed(list[i].sigma, 1) + " mm" : std::string()) + "</li>\n";
        h += "</ol>\n";
        if (list.size() > kListed) h += "<p class=\"note\">The first " + std::to_string(kListed) + " of " + std::to_string(list.size()) + ", row by row.</p>\n";
        h += "</section>\n";
    };
    pixel_list("Dead pixels", p.dead, false, "No return in any frame of the check.");
    pixel_list("Noisy pixels", p.noisy, true,
               "Temporal &sigma; above " + fixed(pixel_maps::kNoisyFactor, 0) + " &times; the region's median (" +
                   value_text(p.median_sigma, "mm", 2) + ").");

    h += "<section class=\"keep\">\n<h2>Status values</h2>\n<p class=\"note\">Minimum and maximum over the " + std::to_string(r.status_records) +
         " status records of the check, against their bands.</p>\n";
    h += "<table>\n<tr><th>Value</th><th>Minimum</th><th>Maximum</th><th>Band</th><th>Result</th></tr>\n";
    for (std::size_t i = 0; i < status_limits::kBands; ++i) {
        const status_check& c = r.status[i];
        const auto num = [](double v) { return std::isfinite(v) ? c_numbers::general(v, 6) : std::string(depth_quality_text::kNone); };
        h += "<tr><td>" + std::string(status_limits::name(i)) + "</td><td class=\"num\">" + num(c.min) + "</td><td class=\"num\">" +
             num(c.max) + "</td><td class=\"num\">" + c_numbers::general(c.band.low, 6) + " &ndash; " + c_numbers::general(c.band.high, 6) +
             "</td><td class=\"" + result_class(c.result) + "\">" + result_word(c.result) + "</td></tr>\n";
    }
    h += "</table>\n</section>\n";
    h += "<p class=\"note\">The figures and their rules: docs/sensor-model.md (the depth quality tool) and docs/acceptance.md "
         "(the maps, the limits and this report) of RO Vezovad.</p>\n</body>\n</html>\n";
    return h;
}

namespace {

bool put(const std::string& path, const std::string& text, std::string& error) {
    if (whole_file::write(path, text, error)) return true;
    error = "cannot write " + path + ": " + error;
    return false;
}

} // namespace

bool write(const report& r, const std::string& html_path, const std::string& json_path, std::string& error) {
    return put(html_path, to_html(r), error) && (json_path.empty() || put(json_path, to_json(r), error));
}

bool write_json(const report& r, const std::string& json_path, std::string& error) { return put(json_path, to_json(r), error); }

} // namespace acceptance
