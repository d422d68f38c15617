// The decisions of the operator's device settings dialog, free of widgets:
// the false-positive-rate table, when Apply sends the configuration, and which
// typed network addresses may be sent to the sensor.
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <string>
#include <vector>

namespace user_settings {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// Adaptive threshold coefficients (a0, a1, a2, a3) for the false positive
// rates "0%", "0.1%", "1%", "5%", "10%", in single precision.
using threshold_set = std::array<float, 4>;
extern const std::array<threshold_set, 5> kFalsePositiveRates;

// The row whose a0 equals `a0` exactly (single precision), or -1.
int false_positive_row(float a0);

// The indices of the four combo boxes the Apply button compares.
struct selection {
    int sync_mode = 0;
    int input_sync = 0;
    int output_sync = 0;
    int false_positive = 0;
    bool operator==(const selection& o) const {
        return sync_mode == o.sync_mode && input_sync == o.input_sync && output_sync == o.output_sync &&
               false_positive == o.false_positive;
    }
};

// Apply: when `now` differs from `last`, stores it as `last`, writes the three
// sync fields and (for a rate index 0-4) the threshold set into `cfg`, and
// returns true: the record is to be sent. Otherwise returns false and changes
// nothing. A negative index (a combo showing no item) leaves its field as it
// is. No other byte of `cfg` is touched.
bool apply_selection(const selection& now, selection& last, configurations_t& cfg);

// Typed network settings: dotted IPv4 addresses of four decimal bytes, ports
// 1-65535, decimal digits only.
bool valid_ipv4(const std::string& text);
bool valid_port(const std::string& text);

// The four entries (sensor IP, sensor port, PC IP, PC port): an empty string
// when all are valid, else a message naming the first bad entry.
std::string network_error(const std::vector<std::string>& entries);

} // namespace user_settings
