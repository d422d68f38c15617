// Recording figures: frames per second written and bytes per frame; median
// and worst time of an indexed read in a 10,000-frame recording; time to open
// that recording when its index is missing. Prints figures; asserts nothing.
#include "bench/bench_options.h"
#include "bench/synthetic_recording.h"
#include "device/DadodUz.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "emulator/gx_synthetic_scene.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using clk = std::chrono::steady_clock;

int main(int argc, char** argv) {
    int frames = 10000;
    {
        namespace po = bench_options::po;
        po::options_description desc("usage: bench_device_recording [FRAMES]\nRecording figures: frames written per second, bytes per frame, indexed reads, opening without an index.\noptions");
        desc.add_options()("help", "show this text")
            ("frames", po::value(&frames)->value_name("N"), "frames recorded (default 10000)");
        if (const int done = bench_options::read(argc, argv, "bench_device_recording", desc, {"frames"}); done >= 0) return done;
        frames = std::max(1, frames);
    }
    const std::string path = "/tmp/bench_device_recording_" + std::to_string(::getpid()) + ".bin";
    const std::vector<std::vector<std::uint8_t>> pool = synthetic_frame_pool();
    gx::recording_writer w;
    if (!w.open(path)) {
        std::printf("cannot create %s\n", path.c_str());
        return 1;
    }
    const auto t0 = clk::now();
    push_synthetic_frames(w, pool, frames);
    w.close();
    const double wsec = std::chrono::duration<double>(clk::now() - t0).count();
    std::printf("recording: %d frames of 400 x 100 in %.2f s = %.0f frames/s written (zstd level 1, one writer thread)\n", frames,
                wsec, frames / wsec);
    std::printf("recording: %.0f bytes per frame on disk (raw frame object %zu bytes)\n", double(w.bytes_written()) / frames,
                pool[0].size());

    std::vector<double> times;
    {
        TAVRIN::DadodUz dev;
        auto o0 = clk::now();
        if (!dev.connect_file(path)) return 1;
        const double open_ms = std::chrono::duration<double, std::milli>(clk::now() - o0).count();
        std::uint64_t n = 0;
        dev.get_logging_file_size(n);
        std::printf("open with index: %.2f ms, %llu frames\n", open_ms, static_cast<unsigned long long>(n));
        std::mt19937_64 rng(1);
        TAVRIN::DadodUz::scene_t s;
        for (int k = 0; k < 2000; ++k) {
            const std::uint64_t i = rng() % n;
            const auto r0 = clk::now();
            dev.get_scene(s, i);
            times.push_back(std::chrono::duration<double, std::milli>(clk::now() - r0).count());
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("get_scene(scene, i) at random i: median %.3f ms, p99 %.3f ms, worst %.3f ms (2000 reads)\n",
                times[times.size() / 2], times[times.size() * 99 / 100], times.back());

    // Cut the index off: the reader rebuilds it by scanning.
    {
        gx::recording_reader r;
        r.open(path);
    }
    FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, -16, SEEK_END);
    std::uint8_t tr[16];
    if (std::fread(tr, 1, 16, f) != 16) return 1;
    std::fclose(f);
    if (::truncate(path.c_str(), off_t(gx::get_u64(tr))) != 0) return 1;
    {
        TAVRIN::DadodUz dev;
        const auto o0 = clk::now();
        const bool ok = dev.connect_file(path);
        const double ms = std::chrono::duration<double, std::milli>(clk::now() - o0).count();
        std::uint64_t n = 0;
        dev.get_logging_file_size(n);
        std::printf("open without index (scan): %.1f ms, %s, %llu frames\n", ms, ok ? "ok" : "FAILED",
                    static_cast<unsigned long long>(n));
    }
    std::remove(path.c_str());
    return 0;
}
