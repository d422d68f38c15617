#include "logic/acceptance_limits.h"

#include "device/c_numbers.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace acceptance_limits {

// The text of resources/limits/acceptance_limits.csv, generated at build
// time (logic/CMakeLists.txt).
extern const char* const kBuiltInText;

namespace {

const metric_info kInfo[kMetrics] = {
    {"fill_rate_percent", "Fill rate", "%", true, false},
    {"plane_rms_mm", "Plane RMS", "mm", false, false},
    {"z_accuracy_mm", "Z accuracy", "mm", false, true},
    {"channel_spread_mm", "Channel spread", "mm", false, false},
    {"row_spread_mm", "Row spread", "mm", false, false},
    {"temporal_noise_mm", "Temporal noise", "mm", false, false},
    {"dead_pixels", "Dead pixels", "", false, false},
    {"noisy_pixels", "Noisy pixels", "", false, false},
};

parse_result refuse(int line, const std::string& why) {
    parse_result r;
    r.error = "line " + std::to_string(line) + ": " + why;
    return r;
}

} // namespace

const metric_info& info(metric m) { return kInfo[std::size_t(m)]; }

parse_result parse_csv(const std::string& text) {
    parse_result r;
    std::vector<status_limits::table_line> lines;
    if (!status_limits::read_table(text, lines, r.error)) return r;
    std::array<bool, kMetrics> metric_seen{};
    std::array<bool, status_limits::kBands> band_seen{};
    for (const auto& l : lines) {
        const auto& f = l.fields;
        if (f.size() != 3) return refuse(l.number, "expected name,low,high");
        std::size_t m = 0;
        while (m < kMetrics && f[0] != kInfo[m].name) ++m;
        if (m < kMetrics) {
            const metric_info& mi = kInfo[m];
            if (metric_seen[m]) return refuse(l.number, f[0] + " given twice");
            const std::string& given = mi.at_least ? f[1] : f[2];
            const std::string& other = mi.at_least ? f[2] : f[1];
            if (!other.empty())
                return refuse(l.number, f[0] + (mi.at_least ? ": a lower bound only (name,low,)" : ": an upper bound only (name,,high)"));
            double v = 0;
            if (!c_numbers::parse_finite(given, v)) return refuse(l.number, f[0] + ": the bound must be a number");
            if (v < 0) return refuse(l.number, f[0] + ": the bound must not be negative");
            r.values.bound[m] = v;
            metric_seen[m] = true;
            continue;
        }
        std::size_t i = 0;
        while (i < status_limits::kBands && f[0] != status_limits::name(i)) ++i;
        if (i == status_limits::kBands) return refuse(l.number, "unknown name \"" + f[0] + "\"");
        if (band_seen[i]) return refuse(l.number, f[0] + " given twice");
        status_limits::band b;
        if (!c_numbers::parse_finite(f[1], b.low) || !c_numbers::parse_finite(f[2], b.high))
            return refuse(l.number, f[0] + ": low and high must be numbers");
        if (!(b.low < b.high)) return refuse(l.number, f[0] + ": low must be below high");
        r.values.status[i] = b;
        band_seen[i] = true;
    }
    for (std::size_t m = 0; m < kMetrics; ++m)
        if (!metric_seen[m]) return parse_result{false, {}, std::string("no bound for ") + kInfo[m].name};
    for (std::size_t i = 0; i < status_limits::kBands; ++i)
        if (!band_seen[i]) return parse_result{false, {}, std::string("no band for ") + status_limits::name(i)};
    r.ok = true;
    return r;
}

parse_result read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return parse_result{false, {}, std::string("cannot read it: ") + std::strerror(errno)};
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, std::size_t(in.gcount()));
        if (text.size() > kMaxFileBytes) return parse_result{false, {}, "the file is too large (64 KiB at most)"};
    }
    return parse_csv(text);
}

const std::string& built_in_text() {
    static const std::string text(kBuiltInText);
    return text;
}

chosen choose(const std::string& path) {
    chosen c;
    if (path.empty()) {
        c.ok = true;
        c.values = built_in();
        c.from = "built-in (resources/limits/acceptance_limits.csv)";
        return c;
    }
    const parse_result parsed = read_file(path);
    c.ok = parsed.ok;
    c.error = parsed.error;
    if (parsed.ok) c.values = parsed.values;
    c.from = path;
    return c;
}

const limits& built_in() {
    static const limits values = [] {
        const parse_result r = parse_csv(built_in_text());
        return r.values; // the test of the shipped file keeps it well formed
    }();
    return values;
}

bool keeps(metric m, double value, double bound) {
    if (!std::isfinite(value)) return false;
    const metric_info& mi = info(m);
    if (mi.magnitude) value = std::fabs(value);
    return mi.at_least ? value >= bound : value <= bound;
}

std::string bound_text(metric m, double bound) {
    const metric_info& mi = info(m);
    const bool count = *mi.unit == '\0';
    std::string s = mi.magnitude ? "|\u00b7| " : "";
    s += mi.at_least ? "\u2265 " : "\u2264 ";
    s += count ? c_numbers::general(bound, 10) : c_numbers::fixed(bound, 1);
    if (!count) s += std::string(" ") + mi.unit;
    return s;
}

} // namespace acceptance_limits
