#include "logic/status_limits.h"

#include "device/c_numbers.h"
#include "device/gx_status_fields.h"
#include "logic/status_text.h"

#include <cmath>
#include <sstream>
#include <vector>

namespace status_limits {

namespace {

using packet_t = TAVRIN::DadodUz::sensing_packet_t;


std::string trimmed(const std::string& s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

parse_result refuse(int line, const std::string& why) {
    parse_result r;
    r.error = "line " + std::to_string(line) + ": " + why;
    return r;
}

} // namespace

const char* name(std::size_t i) { return gx::kStatusValues[i].name; }

double value(const packet_t& packet, std::size_t i) { return double(packet.*gx::kStatusValues[i].member); }

level classify(double v, const band& b) {
    if (!std::isfinite(v)) return level::red;
    if (v >= b.low && v <= b.high) return level::in_band;
    const double outside = v < b.low ? b.low - v : v - b.high;
    return outside <= 0.25 * (b.high - b.low) ? level::amber : level::red;
}

bool read_table(const std::string& text, std::vector<table_line>& lines, std::string& error) {
    std::string body = text;
    if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);  // a UTF-8 byte order mark
    std::istringstream in(body);
    std::string line;
    int number = 0;
    bool header = false;
    lines.clear();
    while (std::getline(in, line)) {
        ++number;
        for (unsigned char c : line)
            if (c >= 0x80 || (c < 0x20 && c != '\t' && c != '\r')) {
                error = "line " + std::to_string(number) + ": characters other than ASCII text";
                return false;
            }
        const std::string t = trimmed(line);
        if (t.empty() || t[0] == '#') continue;
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = t.find(',', start);
            fields.push_back(trimmed(t.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (!header) {
            if (fields != std::vector<std::string>{"name", "low", "high"}) break;
            header = true;
            continue;
        }
        lines.push_back({number, std::move(fields)});
    }
    if (!header) {
        error = "line " + std::to_string(number) + ": the header \"name,low,high\" is missing";
        return false;
    }
    return true;
}

parse_result parse_csv(const std::string& text) {
    std::array<bool, kBands> seen{};
    parse_result r;
    std::vector<table_line> lines;
    if (!read_table(text, lines, r.error)) return r;
    for (const table_line& l : lines) {
        const std::vector<std::string>& fields = l.fields;
        if (fields.size() != 3) return refuse(l.number, "expected name,low,high");
        std::size_t i = 0;
        while (i < kBands && fields[0] != name(i)) ++i;
        if (i == kBands) return refuse(l.number, "unknown value \"" + fields[0] + "\"");
        if (seen[i]) return refuse(l.number, fields[0] + " given twice");
        band b;
        if (!c_numbers::parse_finite(fields[1], b.low) || !c_numbers::parse_finite(fields[2], b.high))
            return refuse(l.number, fields[0] + ": low and high must be numbers");
        if (!(b.low < b.high)) return refuse(l.number, fields[0] + ": low must be below high");
        r.values[i] = b;
        seen[i] = true;
    }
    for (std::size_t i = 0; i < kBands; ++i)
        if (!seen[i]) {
            parse_result missing;
            missing.error = std::string("no band for ") + name(i);
            return missing;
        }
    r.ok = true;
    return r;
}

std::string band_text(const band& b) {
    return "band " + c_numbers::general(b.low, 6) + " .. " + c_numbers::general(b.high, 6);
}

verdict check(const packet_t& packet, const bands& limits) {
    verdict v;
    for (std::size_t i = 0; i < kBands; ++i) {
        v.levels[i] = classify(value(packet, i), limits[i]);
        if (v.levels[i] == level::in_band) continue;
        ++v.out_of_band;
        if (v.levels[i] > v.worst) v.worst = v.levels[i];
    }
    return v;
}

std::string summary_text(int out_of_band) {
    if (out_of_band <= 0) return std::string();
    return "Status: " + std::to_string(out_of_band) + (out_of_band == 1 ? " value out of band" : " values out of band");
}

} // namespace status_limits
