// Device messages as the main window reads them: the text form
// "<length>::<t0><t1>::<data>" and the register dump it carries.
#pragma once

#include "device/DadodUz.h"

#include <string>
#include <vector>

namespace device_message {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// The text T of a message: decimal length, "::", the two type characters,
// "::", then the data bytes up to the length (or the first zero byte). A
// length beyond the record's data area is cut to it.
std::string text(const TAVRIN::_TCP_PROTOCOL_T& msg);

// True when T has a one-digit length and the type a, b (T[1], T[2] colons).
bool is_short(const std::string& t, char a, char b);

// True when T is a register dump: "RS" at T[6..7] and "SN" at T[10..11].
bool is_register_dump(const std::string& t);

struct dump_result {
    int records = 0;        // records stored into the configuration
    int skipped = 0;        // records with an unknown name or values that do not convert
};

// Parses a register dump text T (from index 6 on) into cfg. Lines are split at
// line feeds; the first line (type and serial number) is not stored. Each
// record "name,TYPE,count,v1,..." is matched by name prefix and its values,
// converted, stored into the field; multi-value records fill at most the
// field's element count. A record whose values do not all convert is skipped
// whole; fields no line names keep their values.
dump_result parse_register_dump(const std::string& t, configurations_t& cfg);

// Who the sensor of a register dump text T is: the serial number of its
// first line ("SN,<serial>" after the type) and the firmware version of its
// FWVER line (the line's last field); empty where the dump says nothing.
struct identity {
    std::string serial;
    std::string firmware_version;
};
identity dump_identity(const std::string& t);

// A network change as the user entered it: the texts are taken as written.
struct network_settings {
    std::string device_ip;   // dotted
    std::string device_port; // decimal
    std::string pc_ip;
    std::string pc_port;
};

// The four lines of the network settings register file (dots of the addresses
// become commas).
std::vector<std::string> network_file_lines(const network_settings& net);

} // namespace device_message
