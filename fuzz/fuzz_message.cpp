// Fuzz target: the command-channel record decoder and the device message
// decoder, over a stream of records as the library's reader sees them.
#include "device/gx_protocol.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t pos = 0;
    while (pos + gx::kTcpHeaderSize <= size) {
        gx::tcp_header h;
        if (!gx::decode_tcp_header(data + pos, h)) break;
        pos += gx::kTcpHeaderSize;
        if (h.length > size - pos) break;
        gx::device_message m;
        bool truncated = false;
        if (gx::decode_message_payload(data + pos, h.length, m, TAVRIN::_TCP_PROTOCOL_T::kMaxData, &truncated)) {
            static TAVRIN::_TCP_PROTOCOL_T rec;
            const std::size_t n = std::min<std::size_t>(m.data.size(), TAVRIN::_TCP_PROTOCOL_T::kMaxData);
            rec.length = std::uint16_t(n);
            std::memcpy(rec.data, m.data.data(), n);
            rec.data[n] = 0;
        }
        pos += h.length;
    }
    return 0;
}
