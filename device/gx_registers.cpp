#include "device/gx_registers.h"

#include "device/c_numbers.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace gx {

namespace {

enum class vtype { u8, u16, u32, i32, u64, f32, str };

struct reg_def {
    const char* name;
    vtype type;
    int count;
    int offset;   // into configurations_t; -1 for the special registers below
    int special;  // 0 none, 1 FWVER, 2 GX_IP, 3 GX_PORT, 4 PC_IP, 5 PC_PORT
};

constexpr std::size_t width(vtype t) {
    switch (t) {
    case vtype::u8: return 1;
    case vtype::u16: return 2;
    case vtype::u32:
    case vtype::i32:
    case vtype::f32: return 4;
    case vtype::u64: return 8;
    case vtype::str: break;
    }
    return 0;
}

// Byte offset of element `first` of a configuration field within the field,
// after checking at compile time that the register's value type has the
// field's element width and that its `count` elements lie inside the field.
template <vtype Type, typename Field, std::size_t First, std::size_t Count>
constexpr int element_offset() {
    using element = std::remove_extent_t<Field>;
    static_assert(sizeof(element) == width(Type), "a register's value type has its field's element width");
    static_assert(First + Count <= sizeof(Field) / sizeof(element), "a register lies inside its field");
    return int(First * sizeof(element));
}

// A register over elements [first, first + count) of configurations_t::field;
// its offset is the field's own (whose place DadodUz.h pins).
#define GX_REG(name, type, count, field, first)                                                                  \
    reg_def {                                                                                                     \
        name, vtype::type, count,                                                                                 \
            int(offsetof(configurations_t, field)) +                                                              \
                element_offset<vtype::type, decltype(configurations_t::field), first, count>(),                    \
            0                                                                                                     \
    }

const reg_def kRegs[] = {
    GX_REG("RXVDP", f32, 1, vdp_voltage, 0),
    GX_REG("RXVDN", f32, 1, vdn_voltage, 0),
    GX_REG("RXHV", f32, 1, hv_bias, 0),
    GX_REG("RXHVCTRL", i32, 1, rx_hv_ctrl_en, 0),
    GX_REG("STREAMMODE", u8, 1, stream_mode, 0),
    GX_REG("THRESHOLD", f32, 4, threshold_coe, 0),
    GX_REG("LENSCOE", f32, 12, lens_coe, 0),
    GX_REG("GLBOFFSET", u16, 1, global_offset, 0),
    GX_REG("PRI", u16, 1, prf_period, 0),
    GX_REG("INTSREJECT", u8, 1, intf_reject, 0),
    GX_REG("TGSAMPLES", u16, 1, target_samples, 0),
    GX_REG("STARTCOL", u16, 1, start_column_index, 0),
    GX_REG("ENDCOL", u16, 1, end_column_index, 0),
    GX_REG("VCSELP", u32, 1, vcselp, 0),
    GX_REG("PULSEINHIBIT", u8, 1, pulse_inhibit, 0),
    GX_REG("PULSEEDGE", u8, 1, pulse_edge, 0),
    GX_REG("PULSEDELAY", u16, 1, pulse_delay, 0),
    GX_REG("PULSEDUTY", u8, 1, pulse_duty, 0),
    GX_REG("VCSELCS", u8, 1, vcsel_manual_cs, 0),
    GX_REG("VCSELTYPE", u8, 1, vcsel_type, 0),
    GX_REG("JITTEREN", u8, 1, jitter_en, 0),
    GX_REG("SPADOFSL", u8, 100, spad_offset, 0),
    GX_REG("SPADOFSR", u8, 100, spad_offset, 100),
    GX_REG("DUALMODE", u8, 1, dual_channel, 0),
    GX_REG("COEGRPA", u32, 1, fir_coef, 0),
    GX_REG("COEGRPB", u32, 1, fir_coef, 1),
    GX_REG("FIROFS", u8, 1, fir_offset, 0),
    GX_REG("COGTAP", u8, 1, cog_tap_num, 0),
    GX_REG("STARTROW", u8, 1, start_row_index, 0),
    GX_REG("ENDROW", u8, 1, end_row_index, 0),
    GX_REG("INTSMODE", u32, 1, image_mode, 0),
    GX_REG("PEAKWIDTH", u32, 1, peak_separation_width, 0),
    GX_REG("TYPEBPULSE", u32, 1, vcsel_timing, 0),
    GX_REG("VCSELOFFSET", u16, 96, vcsel_offset, 0),
    {"FWVERSION", vtype::str, 1, -1, 1},
    GX_REG("FILLIN", i32, 1, filli, 0),
    GX_REG("EMITDWIDTH", f32, 1, emitter_dwidth, 0),
    GX_REG("WALKERROR", f32, 6, walkerror, 0),
    GX_REG("CSCLSDELAY", u32, 1, h_cl_delay, 0),
    GX_REG("CLSDUTY", u32, 1, cls_duty, 0),
    GX_REG("INTSFIR", f32, 11, intensity_fir_coe, 0),
    GX_REG("OSYNCPOL", i32, 1, sync_output_polarity, 0),
    GX_REG("ISYNCPOL", i32, 1, sync_input_polarity, 0),
    GX_REG("SYNCMODE", i32, 1, sync_mode, 0),
    GX_REG("FPS", i32, 1, fps, 0),
    {"GX_IP", vtype::u8, 4, -1, 2},
    {"GX_PORT", vtype::u16, 1, -1, 3},
    {"PC_IP", vtype::u8, 4, -1, 4},
    {"PC_PORT", vtype::u16, 1, -1, 5},
};
#undef GX_REG

const char* type_name(vtype t) {
    switch (t) {
    case vtype::u8: return "UINT8";
    case vtype::u16: return "UINT16";
    case vtype::u32: return "UINT32";
    case vtype::i32: return "INT32";
    case vtype::u64: return "UINT64";
    case vtype::f32: return "FLOAT";
    case vtype::str: return "STRING";
    }
    return "?";
}

bool type_from_name(const std::string& s, vtype& t) {
    static const std::pair<const char*, vtype> names[] = {{"UINT8", vtype::u8},   {"UINT16", vtype::u16}, {"UINT32", vtype::u32},
                                                          {"INT32", vtype::i32},  {"UINT64", vtype::u64}, {"FLOAT", vtype::f32},
                                                          {"STRING", vtype::str}};
    for (const auto& n : names)
        if (s == n.first) {
            t = n.second;
            return true;
        }
    return false;
}

const reg_def* find_reg(const std::string& name) {
    for (const auto& r : kRegs)
        if (name == r.name) return &r;
    return nullptr;
}

std::string fmt_float(float f) {
    return c_numbers::general(double(f), 9);
}

std::string value_at(const register_set& regs, const reg_def& d, int i) {
    const auto* base = reinterpret_cast<const std::uint8_t*>(&regs.config);
    switch (d.special) {
    case 1: return regs.firmware_version;
    case 2: return std::to_string(regs.net.gx_ip[std::size_t(i)]);
    case 3: return std::to_string(regs.net.gx_port);
    case 4: return std::to_string(regs.net.pc_ip[std::size_t(i)]);
    case 5: return std::to_string(regs.net.pc_port);
    default: break;
    }
    switch (d.type) {
    case vtype::u8: return std::to_string(base[d.offset + i]);
    case vtype::u16: return std::to_string(get_u16(base + d.offset + 2 * i));
    case vtype::u32: return std::to_string(get_u32(base + d.offset + 4 * i));
    case vtype::i32: return std::to_string(std::int32_t(get_u32(base + d.offset + 4 * i)));
    case vtype::u64: return std::to_string(get_u64(base + d.offset + 8 * i));
    case vtype::f32: {
        float f;
        std::memcpy(&f, base + d.offset + 4 * i, 4);
        return fmt_float(f);
    }
    case vtype::str: break;
    }
    return "0";
}

bool parse_integer(const std::string& s, long long lo, unsigned long long hi, unsigned long long& out_bits) {
    if (s.empty() || s.size() > 24) return false;
    const char* b = s.c_str();
    char* e = nullptr;
    errno = 0;
    if (s[0] == '-') {
        long long v = std::strtoll(b, &e, 10);
        if (errno || *e || v < lo) return false;
        out_bits = static_cast<unsigned long long>(v);
        return true;
    }
    if (!(s[0] >= '0' && s[0] <= '9') && s[0] != '+') return false;
    unsigned long long v = std::strtoull(b, &e, 10);
    if (errno || *e || v > hi) return false;
    out_bits = v;
    return true;
}

bool parse_float(const std::string& s, float& out) {
    if (s.empty() || s.size() > 40) return false;
    char* e = nullptr;
    errno = 0;
    const double v = c_numbers::parse(s.c_str(), &e);
    if (e == s.c_str() || *e || !std::isfinite(v) || std::fabs(v) > double(std::numeric_limits<float>::max())) return false;
    out = float(v);
    return true;
}

bool value_ok(vtype t, const std::string& v) {
    unsigned long long bits = 0;
    float f = 0;
    switch (t) {
    case vtype::u8: return parse_integer(v, 0, 0xFF, bits);
    case vtype::u16: return parse_integer(v, 0, 0xFFFF, bits);
    case vtype::u32: return parse_integer(v, 0, 0xFFFFFFFFull, bits);
    case vtype::i32: return parse_integer(v, std::numeric_limits<std::int32_t>::min(), 0x7FFFFFFFull, bits);
    case vtype::u64: return parse_integer(v, 0, std::numeric_limits<unsigned long long>::max(), bits);
    case vtype::f32: return parse_float(v, f);
    case vtype::str: return v.size() <= 64;
    }
    return false;
}

void store_value(register_set& regs, const reg_def& d, int i, const std::string& v) {
    auto* base = reinterpret_cast<std::uint8_t*>(&regs.config);
    unsigned long long bits = 0;
    float f = 0;
    switch (d.special) {
    case 1: regs.firmware_version = v; return;
    case 2: parse_integer(v, 0, 255, bits); regs.net.gx_ip[std::size_t(i)] = std::uint8_t(bits); return;
    case 3: parse_integer(v, 0, 65535, bits); regs.net.gx_port = std::uint16_t(bits); return;
    case 4: parse_integer(v, 0, 255, bits); regs.net.pc_ip[std::size_t(i)] = std::uint8_t(bits); return;
    case 5: parse_integer(v, 0, 65535, bits); regs.net.pc_port = std::uint16_t(bits); return;
    default: break;
    }
    switch (d.type) {
    case vtype::u8: parse_integer(v, 0, 0xFF, bits); base[d.offset + i] = std::uint8_t(bits); break;
    case vtype::u16: parse_integer(v, 0, 0xFFFF, bits); put_u16(base + d.offset + 2 * i, std::uint16_t(bits)); break;
    case vtype::u32: parse_integer(v, 0, 0xFFFFFFFFull, bits); put_u32(base + d.offset + 4 * i, std::uint32_t(bits)); break;
    case vtype::i32:
        parse_integer(v, std::numeric_limits<std::int32_t>::min(), 0x7FFFFFFFull, bits);
        put_u32(base + d.offset + 4 * i, std::uint32_t(bits));
        break;
    case vtype::u64: parse_integer(v, 0, ~0ull, bits); put_u64(base + d.offset + 8 * i, bits); break;
    case vtype::f32: parse_float(v, f); std::memcpy(base + d.offset + 4 * i, &f, 4); break;
    case vtype::str: break;
    }
}

bool name_ok(const std::string& n) {
    if (n.empty() || n.size() > 32) return false;
    for (char c : n)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

}  // namespace

const std::vector<std::string>& register_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const auto& r : kRegs) v.push_back(r.name);
        return v;
    }();
    return names;
}

std::string format_register_line(const std::string& name, const std::string& type,
                                 const std::vector<std::string>& values) {
    std::string line = name + ',' + type + ',' + std::to_string(values.size());
    for (const auto& v : values) {
        line += ',';
        line += v;
    }
    return line;
}

std::string format_registers(const register_set& regs) {
    std::string out;
    out.reserve(4096);
    std::vector<std::string> values;
    for (const auto& d : kRegs) {
        values.clear();
        for (int i = 0; i < d.count; ++i) values.push_back(value_at(regs, d, i));
        out += format_register_line(d.name, type_name(d.type), values);
        out += '\n';
    }
    return out;
}

std::string format_register_dump(const register_set& regs) {
    std::string serial;
    for (char c : regs.serial)
        if (c != '\n' && c != '\r' && c != ',') serial.push_back(c);
    std::string out = "SN," + serial + "\n" + format_registers(regs);
    while (out.size() < 1000) out += '\n';
    if (out.size() > 9999) out.resize(9999);  // cannot happen with the fixed table; keeps the four-digit promise
    return out;
}

bool parse_register_text(const std::string& text, std::vector<register_record>& records, std::string& error, bool allow_sn_line) {
    records.clear();
    error.clear();
    if (text.size() > kMaxRegisterFile) {
        error = "file too large";
        return false;
    }
    std::size_t pos = 0;
    int line_no = 0;
    bool first_content = true;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++line_no;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        std::size_t lead = 0;
        while (lead < line.size() && (line[lead] == ' ' || line[lead] == '\t')) ++lead;
        line.erase(0, lead);
        if (line.empty()) continue;
        for (unsigned char c : line)
            if (c < 0x20 || c >= 0x7F) {
                error = "line " + std::to_string(line_no) + ": not text";
                return false;
            }
        if (first_content && allow_sn_line && line.compare(0, 2, "SN") == 0) {
            first_content = false;
            continue;
        }
        first_content = false;
        std::vector<std::string> fields;
        std::size_t f = 0;
        while (true) {
            std::size_t c = line.find(',', f);
            fields.push_back(line.substr(f, c == std::string::npos ? std::string::npos : c - f));
            if (c == std::string::npos) break;
            f = c + 1;
            if (fields.size() > kMaxRegisterValues + 3) break;
        }
        if (fields.size() < 4) {
            error = "line " + std::to_string(line_no) + ": expected name,TYPE,count,values";
            return false;
        }
        register_record r;
        r.name = fields[0];
        r.type = fields[1];
        vtype t;
        if (!name_ok(r.name)) {
            error = "line " + std::to_string(line_no) + ": bad register name";
            return false;
        }
        if (!type_from_name(r.type, t)) {
            error = "line " + std::to_string(line_no) + ": unknown value type";
            return false;
        }
        unsigned long long count = 0;
        if (!parse_integer(fields[2], 0, kMaxRegisterValues, count) || count == 0 || fields[2][0] == '-') {
            error = "line " + std::to_string(line_no) + ": bad value count";
            return false;
        }
        if (fields.size() - 3 != count) {
            error = "line " + std::to_string(line_no) + ": count does not match the values";
            return false;
        }
        r.values.assign(fields.begin() + 3, fields.end());
        for (const auto& v : r.values)
            if (!value_ok(t, v)) {
                error = "line " + std::to_string(line_no) + ": value '" + v.substr(0, 20) + "' is not a " + r.type;
                return false;
            }
        records.push_back(std::move(r));
    }
    return true;
}

bool validate_register_record(const register_record& r, bool& unknown, std::string& error) {
    unknown = false;
    vtype t;
    if (!name_ok(r.name) || !type_from_name(r.type, t) || r.values.empty() || r.values.size() > kMaxRegisterValues) {
        error = r.name + ": malformed";
        return false;
    }
    const reg_def* d = find_reg(r.name);
    if (!d) {
        unknown = true;
        for (const auto& v : r.values)
            if (!value_ok(t, v)) {
                error = r.name + ": bad value";
                return false;
            }
        return true;
    }
    if (t != d->type) {
        error = r.name + ": expected type " + type_name(d->type);
        return false;
    }
    if (int(r.values.size()) != d->count) {
        error = r.name + ": expected " + std::to_string(d->count) + " values";
        return false;
    }
    for (const auto& v : r.values)
        if (!value_ok(d->type, v)) {
            error = r.name + ": bad value";
            return false;
        }
    return true;
}

int apply_register_records(const std::vector<register_record>& records, register_set& regs, int* rejected) {
    int applied = 0, bad = 0;
    for (const auto& r : records) {
        bool unknown = false;
        std::string err;
        if (!validate_register_record(r, unknown, err)) {
            ++bad;
            continue;
        }
        if (unknown) continue;
        const reg_def* d = find_reg(r.name);
        for (int i = 0; i < d->count; ++i) store_value(regs, *d, i, r.values[std::size_t(i)]);
        ++applied;
    }
    if (rejected) *rejected = bad;
    return applied;
}

}  // namespace gx
