#include "device/gx_protocol.h"

#include "device/c_numbers.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace gx {

// ---------------------------------------------------------------- CRC-32 (IEEE, reflected)
namespace {
struct crc_table {
    std::uint32_t t[8][256];
    crc_table() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};
const crc_table& table() {
    static const crc_table tab;
    return tab;
}
}  // namespace

std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t seed) {
    const auto& t = table().t;
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t c = ~seed;
    while (size >= 8) {
        std::uint32_t a = c ^ get_u32(p);
        std::uint32_t b = get_u32(p + 4);
        c = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
            t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
        p += 8;
        size -= 8;
    }
    while (size--) c = t[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

bool type_is(const char type[2], const char* two) { return type[0] == two[0] && type[1] == two[1]; }

// ---------------------------------------------------------------- TCP records
void encode_tcp_header(const tcp_header& h, std::uint8_t out[kTcpHeaderSize]) {
    out[0] = 'G';
    out[1] = 'X';
    out[2] = std::uint8_t(h.type[0]);
    out[3] = std::uint8_t(h.type[1]);
    put_u32(out + 4, h.seq);
    put_u32(out + 8, h.length);
}

bool decode_tcp_header(const std::uint8_t in[kTcpHeaderSize], tcp_header& h) {
    if (in[0] != 'G' || in[1] != 'X') return false;
    h.type[0] = char(in[2]);
    h.type[1] = char(in[3]);
    h.seq = get_u32(in + 4);
    h.length = get_u32(in + 8);
    return h.length <= kMaxTcpPayload;
}

std::vector<std::uint8_t> encode_tcp_record(const char type[2], std::uint32_t seq, const void* payload, std::size_t size) {
    std::vector<std::uint8_t> out(kTcpHeaderSize + size);
    tcp_header h;
    h.type[0] = type[0];
    h.type[1] = type[1];
    h.seq = seq;
    h.length = std::uint32_t(size);
    encode_tcp_header(h, out.data());
    if (size) std::memcpy(out.data() + kTcpHeaderSize, payload, size);
    return out;
}

std::vector<std::uint8_t> encode_tcp_record(const char* type, std::uint32_t seq, const std::string& payload) {
    return encode_tcp_record(type, seq, payload.data(), payload.size());
}

std::string encode_message_payload(const char* type, const std::string& data) {
    std::string s;
    s.reserve(2 + data.size());
    s.push_back(type[0]);
    s.push_back(type[1]);
    s += data;
    return s;
}

bool decode_message_payload(const std::uint8_t* p, std::size_t n, device_message& m, std::size_t max_data, bool* truncated) {
    if (truncated) *truncated = false;
    if (n < 2) return false;
    m.type[0] = char(p[0]);
    m.type[1] = char(p[1]);
    std::size_t len = n - 2;
    if (len > max_data) {
        len = max_data;
        if (truncated) *truncated = true;
    }
    m.data.assign(reinterpret_cast<const char*>(p + 2), len);
    return true;
}

// ---------------------------------------------------------------- datagrams
void encode_datagram_header(const datagram_header& h, std::uint8_t out[kDatagramHeaderSize]) {
    put_u32(out, kDatagramMagic);
    out[4] = h.kind;
    out[5] = h.flags;
    put_u16(out + 6, h.fragment_count);
    put_u32(out + 8, h.session);
    put_u32(out + 12, h.sequence);
    put_u16(out + 16, h.fragment_index);
    put_u16(out + 18, h.payload_length);
    put_u32(out + 20, h.total_size);
}

std::uint16_t fragment_count_for(std::uint32_t total_size) {
    return std::uint16_t((total_size + kFragmentPayload - 1) / kFragmentPayload);
}

bool decode_datagram(const std::uint8_t* in, std::size_t size, datagram_header& h, const std::uint8_t*& payload) {
    if (!in || size < kDatagramHeaderSize || size > kMaxDatagram) return false;
    if (get_u32(in) != kDatagramMagic) return false;
    h.kind = in[4];
    h.flags = in[5];
    h.fragment_count = get_u16(in + 6);
    h.session = get_u32(in + 8);
    h.sequence = get_u32(in + 12);
    h.fragment_index = get_u16(in + 16);
    h.payload_length = get_u16(in + 18);
    h.total_size = get_u32(in + 20);
    if (h.kind < kind_frame || h.kind > kind_histogram) return false;
    if (h.total_size == 0 || h.total_size > kMaxObjectSize) return false;
    if (h.fragment_count != fragment_count_for(h.total_size)) return false;
    if (h.fragment_index >= h.fragment_count) return false;
    const std::size_t offset = std::size_t(h.fragment_index) * kFragmentPayload;
    const std::size_t expect = std::min<std::size_t>(kFragmentPayload, h.total_size - offset);
    if (h.payload_length != expect) return false;
    if (size != kDatagramHeaderSize + expect) return false;
    payload = in + kDatagramHeaderSize;
    return true;
}

void fragment_object(std::uint8_t kind, std::uint32_t session, std::uint32_t sequence, const std::uint8_t* object,
                     std::uint32_t size, std::vector<std::vector<std::uint8_t>>& out) {
    out.clear();
    if (size == 0 || size > kMaxObjectSize) return;
    datagram_header h;
    h.kind = kind;
    h.session = session;
    h.sequence = sequence;
    h.total_size = size;
    h.fragment_count = fragment_count_for(size);
    out.resize(h.fragment_count);
    for (std::uint16_t i = 0; i < h.fragment_count; ++i) {
        const std::size_t offset = std::size_t(i) * kFragmentPayload;
        const std::size_t len = std::min<std::size_t>(kFragmentPayload, size - offset);
        h.fragment_index = i;
        h.payload_length = std::uint16_t(len);
        out[i].resize(kDatagramHeaderSize + len);
        encode_datagram_header(h, out[i].data());
        std::memcpy(out[i].data() + kDatagramHeaderSize, object + offset, len);
    }
}

// ---------------------------------------------------------------- frames
std::size_t frame_object_size(std::uint32_t pixels, int echoes) {
    return kFrameHeaderSize + std::size_t(pixels) * (2 + 4 + 2) + (echoes > 1 ? std::size_t(pixels) * (4 + 2) : 0);
}

void encode_frame(const frame_info& info, const std::uint16_t* ambient, const std::int32_t* depth, const std::uint16_t* intensity,
                  const std::int32_t* depth2, const std::uint16_t* intensity2, std::vector<std::uint8_t>& out) {
    const std::uint32_t n = std::uint32_t(info.rows) * info.cols;
    const int echoes = (info.echoes > 1 && depth2 && intensity2) ? 2 : 1;
    out.resize(frame_object_size(n, echoes));
    std::uint8_t* p = out.data();
    put_u32(p, kFrameMagic);
    put_u64(p + 4, info.timestamp);
    put_u32(p + 12, info.frame_number);
    put_u16(p + 16, info.rows);
    put_u16(p + 18, info.cols);
    p[20] = info.stream_mode;
    p[21] = std::uint8_t(echoes);
    put_u16(p + 22, 0);
    std::memcpy(p + 24, info.lens.data(), 48);
    p += kFrameHeaderSize;
    std::memcpy(p, ambient, n * 2);
    p += n * 2;
    std::memcpy(p, depth, n * 4);
    p += n * 4;
    std::memcpy(p, intensity, n * 2);
    p += n * 2;
    if (echoes > 1) {
        std::memcpy(p, depth2, n * 4);
        p += n * 4;
        std::memcpy(p, intensity2, n * 2);
    }
}

std::vector<std::uint8_t> encode_frame(const frame_info& info, const std::uint16_t* ambient, const std::int32_t* depth,
                                       const std::uint16_t* intensity, const std::int32_t* depth2, const std::uint16_t* intensity2) {
    std::vector<std::uint8_t> out;
    encode_frame(info, ambient, depth, intensity, depth2, intensity2, out);
    return out;
}

std::vector<std::uint8_t> encode_frame(const TAVRIN::DadodUz::scene_t& s, const frame_info& info_in) {
    frame_info info = info_in;
    info.rows = std::uint16_t(s.rows);
    info.cols = std::uint16_t(s.cols);
    info.frame_number = s.frame_number;
    info.timestamp = s.timestamp.empty() ? 0 : s.timestamp[0];
    const std::size_t n = std::size_t(s.rows) * s.cols;
    const bool two = info.echoes > 1 && s.depth2.size() == n && s.intensity2.size() == n;
    info.echoes = two ? 2 : 1;
    if (s.ambient.size() != n || s.depth.size() != n || s.intensity.size() != n) return {};
    return encode_frame(info, s.ambient.data(), s.depth.data(), s.intensity.data(), two ? s.depth2.data() : nullptr,
                        two ? s.intensity2.data() : nullptr);
}

bool decode_frame_info(const std::uint8_t* p, std::size_t n, frame_info& info) {
    if (!p || n < kFrameHeaderSize || get_u32(p) != kFrameMagic) return false;
    info.timestamp = get_u64(p + 4);
    info.frame_number = get_u32(p + 12);
    info.rows = get_u16(p + 16);
    info.cols = get_u16(p + 18);
    info.stream_mode = p[20];
    info.echoes = p[21];
    std::memcpy(info.lens.data(), p + 24, 48);
    const std::uint32_t pixels = std::uint32_t(info.rows) * info.cols;
    if (info.echoes < 1 || info.echoes > 2 || info.stream_mode > 4) return false;
    if (pixels > kMaxPixels) return false;
    return n == frame_object_size(pixels, info.echoes);
}

bool decode_frame(const std::uint8_t* p, std::size_t n, frame_info& info, TAVRIN::DadodUz::scene_t& s) {
    if (!decode_frame_info(p, n, info)) return false;
    const std::size_t px = std::size_t(info.rows) * info.cols;
    s.timestamp.assign(1, info.timestamp);
    s.frame_number = info.frame_number;
    s.rows = info.rows;
    s.cols = info.cols;
    const std::uint8_t* q = p + kFrameHeaderSize;
    s.ambient.resize(px);
    std::memcpy(s.ambient.data(), q, px * 2);
    q += px * 2;
    s.depth.resize(px);
    std::memcpy(s.depth.data(), q, px * 4);
    q += px * 4;
    s.intensity.resize(px);
    std::memcpy(s.intensity.data(), q, px * 2);
    q += px * 2;
    if (info.echoes > 1) {
        s.depth2.resize(px);
        std::memcpy(s.depth2.data(), q, px * 4);
        q += px * 4;
        s.intensity2.resize(px);
        std::memcpy(s.intensity2.data(), q, px * 2);
    } else {
        s.depth2.clear();
        s.intensity2.clear();
        s.points2.clear();
    }
    return true;
}

// ---------------------------------------------------------------- status, histogram
std::vector<std::uint8_t> encode_status(const sensing_packet_t& s) {
    std::vector<std::uint8_t> out(sizeof(sensing_packet_t));
    sensing_packet_t c = s;
    c.packet_id = kStatusPacketId;
    std::memcpy(out.data(), &c, sizeof c);
    return out;
}

bool decode_status(const std::uint8_t* p, std::size_t n, sensing_packet_t& s) {
    if (!p || n != sizeof(sensing_packet_t) || get_u32(p) != kStatusPacketId) return false;
    std::memcpy(&s, p, sizeof s);
    return true;
}

std::vector<std::uint8_t> encode_histogram(const histogram_t& h) {
    const std::uint32_t bins = std::uint32_t(std::min<std::size_t>(h.bins.size(), kMaxHistogramBins));
    std::vector<std::uint8_t> out(12 + std::size_t(bins) * 2);
    put_u32(out.data(), h.row);
    put_u32(out.data() + 4, h.col);
    put_u32(out.data() + 8, bins);
    if (bins) std::memcpy(out.data() + 12, h.bins.data(), std::size_t(bins) * 2);
    return out;
}

bool decode_histogram(const std::uint8_t* p, std::size_t n, histogram_t& h) {
    if (!p || n < 12) return false;
    const std::uint32_t bins = get_u32(p + 8);
    if (bins > kMaxHistogramBins || n != 12 + std::size_t(bins) * 2) return false;
    h.row = get_u32(p);
    h.col = get_u32(p + 4);
    h.bin_count = bins;
    h.bins.resize(bins);
    if (bins) std::memcpy(h.bins.data(), p + 12, std::size_t(bins) * 2);
    return true;
}

// ---------------------------------------------------------------- registers
namespace {

enum class vtype { u8, u16, u32, i32, u64, f32, str };

struct reg_def {
    const char* name;
    vtype type;
    int count;
    int offset;   // into configurations_t; -1 for the special registers below
    int special;  // 0 none, 1 FWVER, 2 GX_IP, 3 GX_PORT, 4 PC_IP, 5 PC_PORT
};

const reg_def kRegs[] = {
    {"RXVDP", vtype::f32, 1, 0, 0},
    {"RXVDN", vtype::f32, 1, 4, 0},
    {"RXHV", vtype::f32, 1, 8, 0},
    {"RXHVCTRL", vtype::i32, 1, 416, 0},
    {"STREAMMODE", vtype::u8, 1, 37, 0},
    {"THRESHOLD", vtype::f32, 4, 68, 0},
    {"LENSCOE", vtype::f32, 12, 84, 0},
    {"GLBOFFSET", vtype::u16, 1, 134, 0},
    {"PRI", vtype::u16, 1, 20, 0},
    {"INTSREJECT", vtype::u8, 1, 22, 0},
    {"TGSAMPLES", vtype::u16, 1, 24, 0},
    {"STARTCOL", vtype::u16, 1, 26, 0},
    {"ENDCOL", vtype::u16, 1, 28, 0},
    {"VCSELP", vtype::u32, 1, 16, 0},
    {"PULSEINHIBIT", vtype::u8, 1, 32, 0},
    {"PULSEEDGE", vtype::u8, 1, 33, 0},
    {"PULSEDELAY", vtype::u16, 1, 34, 0},
    {"PULSEDUTY", vtype::u8, 1, 36, 0},
    {"VCSELCS", vtype::u8, 1, 12, 0},
    {"VCSELTYPE", vtype::u8, 1, 132, 0},
    {"JITTEREN", vtype::u8, 1, 65, 0},
    {"SPADOFSL", vtype::u8, 100, 432, 0},
    {"SPADOFSR", vtype::u8, 100, 532, 0},
    {"DUALMODE", vtype::u8, 1, 133, 0},
    {"COEGRPA", vtype::u32, 1, 56, 0},
    {"COEGRPB", vtype::u32, 1, 60, 0},
    {"FIROFS", vtype::u8, 1, 52, 0},
    {"COGTAP", vtype::u8, 1, 64, 0},
    {"STARTROW", vtype::u8, 1, 30, 0},
    {"ENDROW", vtype::u8, 1, 31, 0},
    {"INTSMODE", vtype::u32, 1, 44, 0},
    {"PEAKWIDTH", vtype::u32, 1, 48, 0},
    {"TYPEBPULSE", vtype::u32, 1, 40, 0},
    {"VCSELOFFSET", vtype::u16, 96, 136, 0},
    {"FWVERSION", vtype::str, 1, -1, 1},
    {"FILLIN", vtype::i32, 1, 328, 0},
    {"EMITDWIDTH", vtype::f32, 1, 332, 0},
    {"WALKERROR", vtype::f32, 6, 336, 0},
    {"CSCLSDELAY", vtype::u32, 1, 360, 0},
    {"CLSDUTY", vtype::u32, 1, 364, 0},
    {"INTSFIR", vtype::f32, 11, 368, 0},
    {"OSYNCPOL", vtype::i32, 1, 412, 0},
    {"ISYNCPOL", vtype::i32, 1, 420, 0},
    {"SYNCMODE", vtype::i32, 1, 424, 0},
    {"FPS", vtype::i32, 1, 428, 0},
    {"GX_IP", vtype::u8, 4, -1, 2},
    {"GX_PORT", vtype::u16, 1, -1, 3},
    {"PC_IP", vtype::u8, 4, -1, 4},
    {"PC_PORT", vtype::u16, 1, -1, 5},
};

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

std::string format_registers(const register_set& regs) {
    std::string out;
    out.reserve(4096);
    for (const auto& d : kRegs) {
        out += d.name;
        out += ',';
        out += type_name(d.type);
        out += ',';
        out += std::to_string(d.count);
        for (int i = 0; i < d.count; ++i) {
            out += ',';
            out += value_at(regs, d, i);
        }
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

// ---------------------------------------------------------------- firmware
std::vector<std::uint8_t> make_firmware_image(const std::vector<std::uint8_t>& payload, const std::string& name) {
    std::vector<std::uint8_t> out(kFirmwareHeaderSize + payload.size(), 0);
    std::memcpy(out.data(), "GXFW", 4);
    put_u32(out.data() + 4, 1);
    put_u32(out.data() + 8, std::uint32_t(payload.size()));
    put_u32(out.data() + 12, crc32(payload.data(), payload.size()));
    std::memcpy(out.data() + 16, name.data(), std::min<std::size_t>(16, name.size()));
    if (!payload.empty()) std::memcpy(out.data() + kFirmwareHeaderSize, payload.data(), payload.size());
    return out;
}

bool validate_firmware_image(const std::uint8_t* p, std::size_t n, std::string* why) {
    auto fail = [&](const char* w) {
        if (why) *why = w;
        return false;
    };
    if (!p || n < kFirmwareHeaderSize) return fail("too short");
    if (std::memcmp(p, "GXFW", 4) != 0) return fail("no image header");
    if (get_u32(p + 4) != 1) return fail("unknown image version");
    const std::uint32_t size = get_u32(p + 8);
    if (size != n - kFirmwareHeaderSize) return fail("size mismatch");
    if (crc32(p + kFirmwareHeaderSize, size) != get_u32(p + 12)) return fail("checksum mismatch");
    return true;
}

}  // namespace gx
