// Fuzz target: the datagram decoder and the reassembler, fed a sequence of
// datagrams cut from the input (a two-byte length before each). With the low
// bit of the first byte set, each datagram gets a valid magic and session so
// that the fuzzer reaches the fragment arithmetic.
#include "device/gx_protocol.h"
#include "device/gx_reassembler.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool fix = data[0] & 1;
    gx::reassembler r(7);
    gx::reassembler::object out;
    std::size_t pos = 1;
    while (pos + 2 <= size) {
        std::size_t len = gx::get_u16(data + pos);
        pos += 2;
        len = std::min(len % 2048, size - pos);
        std::vector<std::uint8_t> dg(data + pos, data + pos + len);
        pos += len;
        if (fix && dg.size() >= gx::kDatagramHeaderSize) {
            gx::put_u32(dg.data(), gx::kDatagramMagic);
            gx::put_u32(dg.data() + 8, 7);
        }
        if (r.feed(dg.data(), dg.size(), out)) {
            TAVRIN::DadodUz::scene_t s;
            gx::frame_info info;
            gx::sensing_packet_t st;
            gx::histogram_t h;
            gx::decode_frame(out.data.data(), out.data.size(), info, s);
            gx::decode_status(out.data.data(), out.data.size(), st);
            gx::decode_histogram(out.data.data(), out.data.size(), h);
        }
    }
    return 0;
}
