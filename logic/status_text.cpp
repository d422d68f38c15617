#include "logic/status_text.h"

#include "device/c_numbers.h"

namespace status_text {

namespace {

using packet_t = TAVRIN::DadodUz::sensing_packet_t;

// The 23 float members after the scan count, in declaration order.
constexpr float packet_t::*kFloats[] = {
    &packet_t::xadc_onchip_temp, &packet_t::xadc_vccint,   &packet_t::xadc_vccaux,   &packet_t::xadc_vccbram,
    &packet_t::xadc_vccpint,     &packet_t::xadc_vccpaux,  &packet_t::xadc_vcco_ddr, &packet_t::xadc_rd_ddr_vtt,
    &packet_t::xadc_rd_dp3v3,    &packet_t::xadc_rd_p12v,  &packet_t::xadc_rd_heat,  &packet_t::xadc_tx_0v5,
    &packet_t::xadc_tx_5v0,      &packet_t::xadc_tx_12v,   &packet_t::xadc_tx_hv,    &packet_t::xadc_tx_temp,
    &packet_t::xadc_rx_vio,      &packet_t::xadc_rx_vcore, &packet_t::xadc_rx_bias,  &packet_t::xadc_rx_vdp,
    &packet_t::xadc_rx_vdn,      &packet_t::xadc_rx_0v5,   &packet_t::rx_temp};
static_assert(sizeof kFloats / sizeof kFloats[0] == kValues - 1, "one scan count and 23 floats");

void padded(std::string& out, int v, int digits) {
    if (v < 0) v = 0;
    std::string d = std::to_string(v);
    if (int(d.size()) < digits) out.append(std::size_t(digits) - d.size(), '0');
    out += d;
}

} // namespace

const std::array<const char*, kValues>& names() {
    static const std::array<const char*, kValues> n = {
        "xadc_scan_count", "xadc_onchip_temp", "xadc_vccint",   "xadc_vccaux",  "xadc_vccbram",    "xadc_vccpint",
        "xadc_vccpaux",    "xadc_vcco_ddr",    "xadc_rd_ddr_vtt", "xadc_rd_dp3v3", "xadc_rd_p12v",  "xadc_rd_heat",
        "xadc_tx_0v5",     "xadc_tx_5v0",      "xadc_tx_12v",   "xadc_tx_hv",   "xadc_tx_temp",    "xadc_rx_vio",
        "xadc_rx_vcore",   "xadc_rx_bias",     "xadc_rx_vdp",   "xadc_rx_vdn",  "xadc_rx_0v5",     "rx_temp"};
    return n;
}

std::array<std::string, kValues> values(const packet_t& packet) {
    std::array<std::string, kValues> v;
    v[0] = std::to_string(packet.xadc_scan_count);
    for (std::size_t i = 0; i + 1 < kValues; ++i) v[i + 1] = c_numbers::general(double(packet.*kFloats[i]), 6);
    return v;
}

std::string value(const packet_t& packet, const std::string& name) {
    for (std::size_t i = 0; i < kValues; ++i)
        if (name == names()[i]) return i == 0 ? std::to_string(packet.xadc_scan_count) : c_numbers::general(double(packet.*kFloats[i - 1]), 6);
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
