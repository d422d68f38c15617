// The status record's fields by name, in the record's order: the scan count,
// then the 23 measured values (voltages in V, temperatures in degC). The
// status log, the status bands and the ROS 2 status message all name them
// from here.
#pragma once

#include "device/DadodUz.h"

#include <array>

namespace gx {

struct status_value_field {
    const char* name;
    float TAVRIN::DadodUz::sensing_packet_t::*member;
};

constexpr const char* kStatusScanCountName = "xadc_scan_count";

using status_packet = TAVRIN::DadodUz::sensing_packet_t;
constexpr std::array<status_value_field, 23> kStatusValues = {{
    {"xadc_onchip_temp", &status_packet::xadc_onchip_temp}, {"xadc_vccint", &status_packet::xadc_vccint},
    {"xadc_vccaux", &status_packet::xadc_vccaux},           {"xadc_vccbram", &status_packet::xadc_vccbram},
    {"xadc_vccpint", &status_packet::xadc_vccpint},         {"xadc_vccpaux", &status_packet::xadc_vccpaux},
    {"xadc_vcco_ddr", &status_packet::xadc_vcco_ddr},       {"xadc_rd_ddr_vtt", &status_packet::xadc_rd_ddr_vtt},
    {"xadc_rd_dp3v3", &status_packet::xadc_rd_dp3v3},       {"xadc_rd_p12v", &status_packet::xadc_rd_p12v},
    {"xadc_rd_heat", &status_packet::xadc_rd_heat},         {"xadc_tx_0v5", &status_packet::xadc_tx_0v5},
    {"xadc_tx_5v0", &status_packet::xadc_tx_5v0},           {"xadc_tx_12v", &status_packet::xadc_tx_12v},
    {"xadc_tx_hv", &status_packet::xadc_tx_hv},             {"xadc_tx_temp", &status_packet::xadc_tx_temp},
    {"xadc_rx_vio", &status_packet::xadc_rx_vio},           {"xadc_rx_vcore", &status_packet::xadc_rx_vcore},
    {"xadc_rx_bias", &status_packet::xadc_rx_bias},         {"xadc_rx_vdp", &status_packet::xadc_rx_vdp},
    {"xadc_rx_vdn", &status_packet::xadc_rx_vdn},           {"xadc_rx_0v5", &status_packet::xadc_rx_0v5},
    {"rx_temp", &status_packet::rx_temp},
}};

}  // namespace gx
