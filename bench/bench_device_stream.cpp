// Throughput of the device library over loopback: frames per second received
// and assembled from gx_emulator, and the losses at each offered rate.
// Prints figures; asserts nothing.
#include "device/DadodUz.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

struct child {
    pid_t pid = -1;
    int port = 0;
    bool start(int fps) {
        int out[2];
        if (::pipe(out) != 0) return false;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            const std::string f = std::to_string(fps);
            ::execl(GX_EMULATOR_PATH, GX_EMULATOR_PATH, "--address", "127.0.0.1", "--port", "0", "--max-fps", "2000", "--fps",
                    f.c_str(), static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        ::close(out[1]);
        std::string line;
        pollfd p{out[0], POLLIN, 0};
        while (line.find('\n') == std::string::npos && ::poll(&p, 1, 5000) == 1) {
            char b[128];
            const ssize_t r = ::read(out[0], b, sizeof b);
            if (r <= 0) break;
            line.append(b, std::size_t(r));
        }
        ::close(out[0]);
        const auto c = line.rfind(':');
        port = c == std::string::npos ? 0 : std::atoi(line.c_str() + c + 1);
        return port > 0;
    }
    ~child() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

}  // namespace

int main() {
    std::printf("offered_fps  received_fps  delivered_fps  dropped  fragments_lost  discarded  (400 x 100 frames, 3 s each)\n");
    for (int fps : {25, 100, 250, 400, 600, 1000}) {
        child emu;
        if (!emu.start(fps)) {
            std::printf("cannot start the emulator\n");
            return 1;
        }
        TAVRIN::DadodUz dev;
        if (!dev.connect({"127.0.0.1", emu.port}, {"127.0.0.1", 0}) || !dev.tcp_device_run()) {
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
