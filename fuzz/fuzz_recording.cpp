// Fuzz target: the recording reader. The input becomes a file; with the low
// bit of the first byte set a valid file header is put in front, so that the
// fuzzer exercises the index and the record scan.
#include "device/gx_lens.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::string path = "/tmp/gx_fuzz_recording_" + std::to_string(::getpid()) + ".bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size && (data[0] & 1)) {
        std::uint8_t hdr[gx::kRecordingHeaderSize] = {};
        std::memcpy(hdr, gx::kRecordingMagic, 8);
        gx::put_u32(hdr + 8, gx::kRecordingVersion);
        gx::put_u32(hdr + 12, gx::kRecordingHeaderSize);
        gx::put_u32(hdr + 28, gx::crc32(hdr, 28));
        std::fwrite(hdr, 1, sizeof hdr, f);
        if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    } else if (size) {
        std::fwrite(data, 1, size, f);
    }
    std::fclose(f);
    gx::recording_reader r;
    if (r.open(path)) {
        std::vector<std::uint8_t> obj;
        TAVRIN::DadodUz::sensing_packet_t st;
        gx::lens_rays rays;
        for (std::uint64_t i = 0; i < r.frames() && i < 16; ++i) {
            if (!r.read(i, obj, &st)) continue;
            TAVRIN::DadodUz::scene_t s;
            gx::frame_info info;
            if (gx::decode_frame(obj.data(), obj.size(), info, s)) {
                rays.update(info.lens, s.rows, s.cols);
                rays.make_points(s, info.stream_mode);
            }
        }
    }
    std::remove(path.c_str());
    return 0;
}
