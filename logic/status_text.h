// Texts of the status monitor: the 24 values of a status record as shown and
// logged, the CSV header and data lines, and the time stamp of a line. Every
// number in the C notation, whatever the process locale.
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <string>

namespace status_text {

constexpr std::size_t kValues = 24;

// The column names, in member order from xadc_scan_count to rx_temp.
const std::array<const char*, kValues>& names();

// The scan count in unsigned decimal, then the 23 floats widened to double
// in the "%g" form with 6 significant digits (45.5, 0.0001, 1e-05).
std::array<std::string, kValues> values(const TAVRIN::DadodUz::sensing_packet_t& packet);

// The value of the member called `name` (one of names()) in the form of
// values(); empty for a name that is not a member. The status monitor and the
// board alignment view show a member by its name through this one mapping.
std::string value(const TAVRIN::DadodUz::sensing_packet_t& packet, const std::string& name);

// "time,xadc_scan_count,...,rx_temp," and a line end.
std::string header_line();

// "<clock>,<v1>,...,<v24>," and a line end: 25 commas.
std::string data_line(const std::string& clock, const TAVRIN::DadodUz::sensing_packet_t& packet);

// "hh:mm:ss:zzz", each part zero-padded (two digits, milliseconds three).
std::string clock(int hours, int minutes, int seconds, int milliseconds);

} // namespace status_text
