// The GX wire protocol: command channel records (TCP), datagrams (UDP), the
// frame / status / histogram objects they carry, and firmware images (the
// register text some records carry is gx_registers.h). Both the device
// library and the emulator encode and decode through this module only. Every
// decoder takes untrusted bytes and reports malformed input by its return
// value; none throws or reads out of bounds. All multi-byte fields are
// little-endian.
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gx {

using configurations_t = TAVRIN::DadodUz::configurations_t;
using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;
using histogram_t = TAVRIN::DadodUz::histogram_t;

// ---------------------------------------------------------------- basics
std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t seed = 0);

// Depth unit of the bin stream modes: one bin is this many millimetres.
constexpr int kDepthBinMm = 50;
// Default frame geometry.
constexpr std::uint16_t kDefaultRows = 100;
constexpr std::uint16_t kDefaultCols = 400;
constexpr std::uint32_t kHistogramBins = 1024;

inline bool stream_mode_is_bins(int mode) { return mode == 1 || mode == 3; }
inline bool stream_mode_is_multi_echo(int mode) { return mode == 2 || mode == 3; }

// ---------------------------------------------------------------- command channel
// Every record on the TCP channel: 'G','X', two type characters, a sequence
// number and the payload length, followed by the payload.
struct tcp_header {
    char type[2] = {0, 0};
    std::uint32_t seq = 0;
    std::uint32_t length = 0;
};
constexpr std::size_t kTcpHeaderSize = 12;
constexpr std::uint32_t kMaxTcpPayload = 4u << 20;  // larger lengths are a protocol error

void encode_tcp_header(const tcp_header& h, std::uint8_t out[kTcpHeaderSize]);
// False when the magic is wrong or the length exceeds kMaxTcpPayload.
bool decode_tcp_header(const std::uint8_t in[kTcpHeaderSize], tcp_header& h);
std::vector<std::uint8_t> encode_tcp_record(const char type[2], std::uint32_t seq, const void* payload, std::size_t size);
std::vector<std::uint8_t> encode_tcp_record(const char* type, std::uint32_t seq, const std::string& payload);

// Command types, host to sensor.
namespace cmd {
constexpr const char* hello = "HI";        // u32 session, u16 udp port
constexpr const char* run = "RN";
constexpr const char* stop = "ST";
constexpr const char* pause = "PA";        // library stop(): output paused
constexpr const char* resume = "RE";       // library start(): output resumed
constexpr const char* reset = "RB";
constexpr const char* flash = "MU";        // running registers to flash
constexpr const char* reg_read = "RR";     // u8 mode: 0 dump as message, 1 dump in the ack
constexpr const char* reg_write = "RW";    // register file text
constexpr const char* config = "CF";       // 632-byte configuration record
constexpr const char* fw_begin = "FB";     // u32 image size
constexpr const char* fw_data = "FD";      // image bytes
constexpr const char* fw_end = "FE";
constexpr const char* ping = "PI";        // no effect; answered with AK (the library's keep-alive)
}  // namespace cmd
// Sensor to host.
constexpr const char* kAckType = "AK";     // payload: u8 status, then command data
constexpr const char* kMessageType = "MS"; // payload: two type characters, then data

enum ack_status : std::uint8_t { ack_ok = 0, ack_refused = 1, ack_malformed = 2, ack_busy = 3 };

bool type_is(const char type[2], const char* two);

// A device message as carried in an MS record.
struct device_message {
    char type[2] = {0, 0};
    std::string data;
};
std::string encode_message_payload(const char* type, const std::string& data);
// Data longer than max_data is truncated to max_data (truncated set true).
bool decode_message_payload(const std::uint8_t* p, std::size_t n, device_message& m, std::size_t max_data, bool* truncated = nullptr);

// ---------------------------------------------------------------- datagrams
enum object_kind : std::uint8_t { kind_frame = 1, kind_status = 2, kind_histogram = 3 };

struct datagram_header {
    std::uint8_t kind = 0;
    std::uint8_t flags = 0;
    std::uint16_t fragment_count = 0;
    std::uint32_t session = 0;
    std::uint32_t sequence = 0;
    std::uint16_t fragment_index = 0;
    std::uint16_t payload_length = 0;
    std::uint32_t total_size = 0;
};
constexpr std::size_t kDatagramHeaderSize = 24;
constexpr std::size_t kFragmentPayload = 1440;          // 24 + 1440 = 1464 bytes per datagram
constexpr std::size_t kMaxDatagram = kDatagramHeaderSize + kFragmentPayload;
constexpr std::uint32_t kMaxObjectSize = 4u << 20;
constexpr std::uint32_t kDatagramMagic = 0x31445847u;   // "GXD1"

void encode_datagram_header(const datagram_header& h, std::uint8_t out[kDatagramHeaderSize]);
// Validates magic, kind, sizes and the fragment arithmetic against the
// datagram's real size. payload points into `in` on success.
bool decode_datagram(const std::uint8_t* in, std::size_t size, datagram_header& h, const std::uint8_t*& payload);
std::uint16_t fragment_count_for(std::uint32_t total_size);
// Splits an object into ready-to-send datagrams.
void fragment_object(std::uint8_t kind, std::uint32_t session, std::uint32_t sequence,
                     const std::uint8_t* object, std::uint32_t size, std::vector<std::vector<std::uint8_t>>& out);

// ---------------------------------------------------------------- frame object
struct frame_info {
    std::uint64_t timestamp = 0;   // 10 ns ticks of the sensor clock
    std::uint32_t frame_number = 0;
    std::uint16_t rows = 0;
    std::uint16_t cols = 0;
    std::uint8_t stream_mode = 0;
    std::uint8_t echoes = 1;
    std::array<float, 12> lens{};  // lens coefficients in force on the sensor
};
constexpr std::size_t kFrameHeaderSize = 4 + 8 + 4 + 2 + 2 + 1 + 1 + 2 + 48;  // 72
constexpr std::uint32_t kFrameMagic = 0x304d5246u;  // "FRM0"
constexpr std::uint32_t kMaxPixels = 1u << 18;

std::size_t frame_object_size(std::uint32_t pixels, int echoes);
// Arrays may be null for echo 2 when echoes == 1.
std::vector<std::uint8_t> encode_frame(const frame_info& info, const std::uint16_t* ambient, const std::int32_t* depth,
                                       const std::uint16_t* intensity, const std::int32_t* depth2, const std::uint16_t* intensity2);
void encode_frame(const frame_info& info, const std::uint16_t* ambient, const std::int32_t* depth,
                  const std::uint16_t* intensity, const std::int32_t* depth2, const std::uint16_t* intensity2,
                  std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> encode_frame(const TAVRIN::DadodUz::scene_t& scene, const frame_info& info);
bool decode_frame_info(const std::uint8_t* p, std::size_t n, frame_info& info);
// Fills timestamp, frame_number, rows, cols and the pixel arrays (not points).
bool decode_frame(const std::uint8_t* p, std::size_t n, frame_info& info, TAVRIN::DadodUz::scene_t& scene);

// ---------------------------------------------------------------- status and histogram
constexpr std::uint32_t kStatusPacketId = 0x53544131u;  // "1ATS"
std::vector<std::uint8_t> encode_status(const sensing_packet_t& s);
bool decode_status(const std::uint8_t* p, std::size_t n, sensing_packet_t& s);
constexpr std::uint32_t kMaxHistogramBins = 4096;
std::vector<std::uint8_t> encode_histogram(const histogram_t& h);
bool decode_histogram(const std::uint8_t* p, std::size_t n, histogram_t& h);

// ---------------------------------------------------------------- firmware images
// Image = 32-byte header ("GXFW", u32 version 1, u32 payload size, u32 CRC-32
// of the payload, 16 bytes of NUL-padded name) followed by the payload.
constexpr std::size_t kFirmwareHeaderSize = 32;
constexpr std::uint32_t kMaxFirmwareSize = 64u << 20;
std::vector<std::uint8_t> make_firmware_image(const std::vector<std::uint8_t>& payload, const std::string& name);
bool validate_firmware_image(const std::uint8_t* p, std::size_t n, std::string* why = nullptr);

// ---------------------------------------------------------------- little-endian helpers
inline void put_u16(std::uint8_t* p, std::uint16_t v) { p[0] = std::uint8_t(v); p[1] = std::uint8_t(v >> 8); }
inline void put_u32(std::uint8_t* p, std::uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i)); }
inline void put_u64(std::uint8_t* p, std::uint64_t v) { for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(v >> (8 * i)); }
inline std::uint16_t get_u16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t get_u32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t get_u64(const std::uint8_t* p) { return std::uint64_t(get_u32(p)) | (std::uint64_t(get_u32(p + 4)) << 32); }

}  // namespace gx
