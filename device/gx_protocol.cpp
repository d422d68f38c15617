#include "device/gx_protocol.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

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
