// Register text: the sensor's register table (each register's name, value
// type, count and place in the configuration record), register dumps and
// register files, read and written through that table only.
#pragma once

#include "device/gx_protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gx {

// One register record: name,TYPE,count,v1,v2,...
struct register_record {
    std::string name;
    std::string type;          // UINT8 UINT16 UINT32 INT32 UINT64 FLOAT STRING
    std::vector<std::string> values;
};

struct network_registers {
    std::array<std::uint8_t, 4> gx_ip{{192, 168, 1, 10}};
    std::uint16_t gx_port = 2000;
    std::array<std::uint8_t, 4> pc_ip{{192, 168, 1, 15}};
    std::uint16_t pc_port = 2000;
};

// Everything a GX sensor keeps in its registers.
struct register_set {
    configurations_t config{};
    network_registers net;
    std::string serial = "GX0-EMU-0001";
    std::string firmware_version = "1.4.2";
};

// Register names of the dump, in dump order (the configuration fields, FWVER,
// then GX_IP, GX_PORT, PC_IP, PC_PORT).
const std::vector<std::string>& register_names();

// One register line, NAME,TYPE,count,v1,...,vn, without its line feed: the
// one form of every register line written.
std::string format_register_line(const std::string& name, const std::string& type,
                                 const std::vector<std::string>& values);
inline std::string format_register_line(const register_record& r) { return format_register_line(r.name, r.type, r.values); }

// Formats every register as one record per line.
std::string format_registers(const register_set& regs);
// The register dump sent as an "RS" message: an "SN" line, the records, and
// trailing blank lines so that the size has exactly four decimal digits.
std::string format_register_dump(const register_set& regs);

// Parse limits of register text.
constexpr std::size_t kMaxRegisterFile = 1u << 20;
constexpr std::size_t kMaxRegisterValues = 256;

// Splits register text into records. Blank lines (and a leading "SN" line
// when allow_sn_line) are skipped. On a malformed line returns false with
// error = "line N: reason" and records holding the lines before it.
bool parse_register_text(const std::string& text, std::vector<register_record>& records, std::string& error,
                         bool allow_sn_line = false);
// Checks a record against the known register table: known names must have
// their type and count and convertible, in-range values. unknown is set for
// well-formed records whose name the sensor does not know.
bool validate_register_record(const register_record& r, bool& unknown, std::string& error);
// Stores known records into regs (unknown names ignored). Returns the number
// of records applied; records that fail validation are skipped and counted in
// rejected.
int apply_register_records(const std::vector<register_record>& records, register_set& regs, int* rejected = nullptr);

}  // namespace gx
