// Start-up: from starting ro_vezovad --connect against gx_emulator on
// 127.0.0.1 to the first frame on screen (the viewer says so on standard
// output with --print-first-frame), and the frames lost meanwhile (its
// --print-stats line at exit). Under an X server (scripts/xvfb.sh).
//   bench_startup [runs]
// Prints figures; asserts nothing.
#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "tests/support/emulator_process.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct run_result {
    double first_frame_ms = -1;
    std::string stats;
};

run_result start_viewer(int port, const std::string& home) {
    run_result r;
    int out[2];
    if (::pipe(out) != 0) return r;
    const std::string device = "127.0.0.1:" + std::to_string(port);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
        ::execl(RO_VEZOVAD_PATH, RO_VEZOVAD_PATH, "--device", device.c_str(), "--local", "127.0.0.1:0", "--connect",
                "--print-first-frame", "--print-stats", "--quit-after", "2", static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, std::size_t(n));
        if (r.first_frame_ms < 0 && text.find("first frame on screen\n") != std::string::npos)
            r.first_frame_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto at = text.find("frames received");
    if (at != std::string::npos) r.stats = text.substr(at, text.find('\n', at) - at);
    return r;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    {
        namespace po = bench_options::po;
        po::options_description desc("usage: bench_startup [RUNS]\nThe viewer's start until the first frame is on screen (under scripts/xvfb.sh).\noptions");
        desc.add_options()("help", "show this text")
            ("runs", po::value(&runs)->value_name("N"), "start-ups timed (default 5)");
        if (const int done = bench_options::read(argc, argv, "bench_startup", desc, {"runs"}); done >= 0) return done;
        runs = std::max(1, runs);
    }
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "needs an X server: run under scripts/xvfb.sh\n");
        return 1;
    }
    char home[] = "/tmp/bench_startup_XXXXXX";
    if (::mkdtemp(home) == nullptr) return 1;
    emulator_process emu({"--fps", "25"});
    if (!emu.start()) {
        std::printf("cannot start the emulator\n");
        return 1;
    }
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const run_result r = start_viewer(emu.port(), home);
        std::printf("run %d: first frame on screen after %.0f ms; %s\n", i + 1, r.first_frame_ms, r.stats.c_str());
        if (r.first_frame_ms >= 0) ms.push_back(r.first_frame_ms);
    }
    std::printf("process start to first frame on screen: median %.0f ms of %zu runs\n", median(ms), ms.size());
    const std::string clean = std::string("rm -rf ") + home;
    return std::system(clean.c_str()) == 0 ? 0 : 1;
}
