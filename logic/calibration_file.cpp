#include "logic/calibration_file.h"

#include "device/c_numbers.h"
#include "logic/configuration_codec.h"
#include "logic/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace calibration_file {

namespace {

// A calibration file is a few kilobytes; anything far larger is not one.
constexpr std::size_t kMaxFileSize = 1 << 20;

std::string real(double v) { return c_numbers::general(v, 6); }

std::vector<std::string> split_fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

} // namespace

tables from_record(const configurations_t& cfg) {
    tables t;
    std::copy(std::begin(cfg.vcsel_offset), std::end(cfg.vcsel_offset), t.vcsel_offset.begin());
    std::copy(std::begin(cfg.spad_offset), std::end(cfg.spad_offset), t.spad_offset.begin());
    std::copy(std::begin(cfg.lens_coe), std::end(cfg.lens_coe), t.lens_coe.begin());
    t.emitter_width = cfg.emitter_dwidth;
    t.global_offset = cfg.global_offset;
    return t;
}

void to_record(const tables& t, configurations_t& cfg) {
    std::copy(t.vcsel_offset.begin(), t.vcsel_offset.end(), std::begin(cfg.vcsel_offset));
    std::copy(t.spad_offset.begin(), t.spad_offset.end(), std::begin(cfg.spad_offset));
    std::copy(t.lens_coe.begin(), t.lens_coe.end(), std::begin(cfg.lens_coe));
    cfg.emitter_dwidth = static_cast<float>(t.emitter_width);
    cfg.global_offset = t.global_offset;
}

std::string format(const tables& t) {
    std::string out;
    out.reserve(4096);
    for (int i = 0; i < kLines; ++i) {
        if (i < 96) out += std::to_string(t.vcsel_offset[i]);
        out += ',';
        out += std::to_string(t.spad_offset[i]);
        if (i == 0) {
            out += ',' + real(t.lens_coe[0]) + ',' + real(t.emitter_width) + ',' + std::to_string(t.global_offset);
        } else if (i < 12) {
            out += ',' + real(t.lens_coe[i]) + ",,,";
        } else {
            out += ",,,,";
        }
        out += '\n';
    }
    return out;
}

read_result parse(const std::string& text) {
    read_result r;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size() && lines.size() < static_cast<std::size_t>(kLines)) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    if (lines.size() < static_cast<std::size_t>(kLines)) {
        r.problem = "it has " + std::to_string(lines.size()) + " lines, 200 are needed";
        return r;
    }
    namespace cc = configuration_codec;
    tables t;
    for (int i = 0; i < kLines; ++i) {
        const std::vector<std::string> f = split_fields(lines[static_cast<std::size_t>(i)]);
        if (f.size() < 5) {
            r.problem = "line " + std::to_string(i + 1) + " has " + std::to_string(f.size()) +
                        " fields, at least 5 are needed";
            return r;
        }
        if (i < 96) t.vcsel_offset[i] = static_cast<std::uint16_t>(cc::parse_int_cell(f[0]));
        t.spad_offset[i] = static_cast<std::uint8_t>(cc::parse_int_cell(f[1]));
        if (i < 12) t.lens_coe[i] = cc::parse_real_cell(f[2]);
        if (i == 0) {
            t.emitter_width = cc::parse_real_cell(f[3]);
            t.global_offset = static_cast<std::uint16_t>(cc::parse_int_cell(f[4]));
        }
    }
    r.result = status::ok;
    r.values = t;
    return r;
}

read_result read(const std::string& path) {
    read_result r;
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in) {
        r.result = status::cannot_open;
        r.problem = "it cannot be opened";
        return r;
    }
    std::string text;
    char buf[8192];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxFileSize) {
            r.problem = "it is larger than a calibration file can be";
            return r;
        }
    }
    if (in.bad()) {
        r.result = status::cannot_open;
        r.problem = "it cannot be read";
        return r;
    }
    return parse(text);
}

bool write(const std::string& path, const tables& t, std::string& error) {
    if (path.empty()) {
        error = "no file name";
        return false;
    }
    return whole_file::write(path, format(t), error);
}

} // namespace calibration_file
