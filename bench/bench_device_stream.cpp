// Throughput of the device library over loopback: frames per second received
// and assembled from gx_emulator, and the losses at each offered rate.
// Prints figures; asserts nothing.
#include "bench/bench_options.h"
#include "device/DadodUz.h"
#include "tests/support/emulator_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {


}  // namespace

int main(int argc, char** argv) {
    {
        bench_options::po::options_description desc(
            "usage: bench_device_stream\nThe device library's stream against gx_emulator at rising frame rates.\noptions");
        desc.add_options()("help", "show this text");
        if (const int done = bench_options::read(argc, argv, "bench_device_stream", desc); done >= 0) return done;
    }
    std::printf("offered_fps  received_fps  delivered_fps  dropped  fragments_lost  discarded  (400 x 100 frames, 3 s each)\n");
    for (int fps : {25, 100, 250, 400, 600, 1000}) {
        emulator_process emu({"--max-fps", "2000", "--fps", std::to_string(fps)});
        if (!emu.start()) {
            std::printf("cannot start the emulator\n");
            return 1;
        }
        TAVRIN::DadodUz dev;
        if (!dev.connect({"127.0.0.1", emu.port()}, {"127.0.0.1", 0}) || !dev.tcp_device_run()) {
            std::printf("cannot connect\n");
            return 1;
        }
        TAVRIN::DadodUz::scene_t s;
        // Warm up, then measure.
        const auto warm = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < warm) dev.get_scene(s);
        const auto a = dev.get_link_statistics();
        const auto t0 = std::chrono::steady_clock::now();
        std::uint64_t delivered = 0;
        while (std::chrono::steady_clock::now() - t0 < std::chrono::seconds(3)) {
            if (dev.get_scene(s)) ++delivered;
            else std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const auto b = dev.get_link_statistics();
        std::printf("%11d  %12.1f  %13.1f  %7llu  %14llu  %9llu\n", fps, double(b.frames_received - a.frames_received) / secs,
                    double(delivered) / secs, static_cast<unsigned long long>(b.frames_dropped - a.frames_dropped),
                    static_cast<unsigned long long>(b.fragments_lost - a.fragments_lost),
                    static_cast<unsigned long long>(b.datagrams_discarded - a.datagrams_discarded));
        std::fflush(stdout);
        dev.stop();
        dev.disconnect();
    }
    return 0;
}
