// Synthetic recordings for the benchmarks: 64 distinct frames of the corridor
// (400 x 100, default stream mode: depth in bins), encoded once and repeated
// with advancing time stamps (25 frames/s) and frame numbers.
#pragma once

#include "device/DadodUz.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "emulator/gx_factory_registers.h"
#include "emulator/gx_synthetic_scene.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

inline std::vector<std::vector<std::uint8_t>> synthetic_frame_pool() {
    gx::synthetic_scene scene;
    const auto def = gx::default_registers();
    std::vector<std::vector<std::uint8_t>> pool;
    std::vector<std::uint16_t> a, in, in2;
    std::vector<std::int32_t> d, d2;
    for (int i = 0; i < 64; ++i) {
        scene.render(i * 0.04, 1, a, d, in, d2, in2);
        gx::frame_info info;
        info.rows = 100;
        info.cols = 400;
        info.stream_mode = 1;
        std::copy(def.config.lens_coe, def.config.lens_coe + 12, info.lens.begin());
        pool.push_back(gx::encode_frame(info, a.data(), d.data(), in.data(), nullptr, nullptr));
    }
    return pool;
}

// Pushes `frames` frames of the pool into an open writer, waiting while its queue is full.
inline void push_synthetic_frames(gx::recording_writer& w, const std::vector<std::vector<std::uint8_t>>& pool, int frames) {
    const TAVRIN::DadodUz::sensing_packet_t st{};
    for (int i = 0; i < frames; ++i) {
        std::vector<std::uint8_t> f = pool[std::size_t(i) % pool.size()];
        gx::put_u64(f.data() + 4, 100000000ull + std::uint64_t(i) * 4000000ull);
        gx::put_u32(f.data() + 12, std::uint32_t(i));
        while (!w.push(std::move(f), st)) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}
