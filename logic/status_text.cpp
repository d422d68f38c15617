#include "logic/status_text.h"

#include "device/c_numbers.h"
#include "device/gx_status_fields.h"

namespace status_text {

namespace {

using packet_t = TAVRIN::DadodUz::sensing_packet_t;


void padded(std::string& out, int v, int digits) {
    if (v < 0) v = 0;
    std::string d = std::to_string(v);
    if (int(d.size()) < digits) out.append(std::size_t(digits) - d.size(), '0');
    out += d;
}

} // namespace

const std::array<const char*, kValues>& names() {
    static const std::array<const char*, kValues> n = [] {
        std::array<const char*, kValues> out{gx::kStatusScanCountName};
        for (std::size_t i = 0; i + 1 < kValues; ++i) out[i + 1] = gx::kStatusValues[i].name;
        return out;
    }();
    return n;
}

std::array<std::string, kValues> values(const packet_t& packet) {
    std::array<std::string, kValues> v;
    v[0] = std::to_string(packet.xadc_scan_count);
    for (std::size_t i = 0; i + 1 < kValues; ++i) v[i + 1] = c_numbers::general(double(packet.*gx::kStatusValues[i].member), 6);
    return v;
}

std::string value(const packet_t& packet, const std::string& name) {
    for (std::size_t i = 0; i < kValues; ++i)
        if (name == names()[i]) return i == 0 ? std::to_string(packet.xadc_scan_count) : c_numbers::general(double(packet.*gx::kStatusValues[i - 1].member), 6);
    return std::string();
}

std::string header_line() {
    std::string out = "time,";
    for (const char* n : names()) {
        out += n;
        out += ',';
    }
    out += '\n';
    return out;
}

std::string data_line(const std::string& clock, const packet_t& packet) {
    std::string out = clock;
    out += ',';
    for (const std::string& v : values(packet)) {
        out += v;
        out += ',';
    }
    out += '\n';
    return out;
}

std::string clock(int hours, int minutes, int seconds, int milliseconds) {
    std::string out;
    padded(out, hours, 2);
    out += ':';
    padded(out, minutes, 2);
    out += ':';
    padded(out, seconds, 2);
    out += ':';
    padded(out, milliseconds, 3);
    return out;
}

} // namespace status_text
