// Python package figures: a 10,000-frame recording read in order through
// vezovad, and live frames from an emulator at 25 FPS over 30 s (frames
// received, missed and dropped). This program writes the recording and starts
// the emulator on 127.0.0.1; bench_python.py measures. Prints figures;
// asserts nothing.
//
//   bench_python [FRAMES [SECONDS]]
#include "bench/bench_options.h"
#include "bench/synthetic_recording.h"
#include "tests/support/emulator_process.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
#ifndef VEZOVAD_PYTHON_DIR
    std::printf("the vezovad package is not built (no Python 3 with numpy and pybind11)\n");
    return 1;
#else
    int frames = 10000;
    std::string seconds = "30";
    {
        namespace po = bench_options::po;
        po::options_description desc("usage: bench_python [FRAMES [SECONDS]]\n"
                                     "The Python package: a recording read in order, and live frames from gx_emulator.\noptions");
        desc.add_options()("help", "show this text")
            ("frames", po::value(&frames)->value_name("N"), "frames of the recording read (default 10000)")
            ("seconds", po::value(&seconds)->value_name("S"), "length of the live run (default 30)");
        if (const int done = bench_options::read(argc, argv, "bench_python", desc, {"frames", "seconds"}); done >= 0) return done;
    }
    const std::string path = "/tmp/bench_python_" + std::to_string(::getpid()) + ".bin";
    {
        gx::recording_writer w;
        if (!w.open(path)) {
            std::printf("cannot create %s\n", path.c_str());
            return 1;
        }
        push_synthetic_frames(w, synthetic_frame_pool(), frames);
        w.close();
    }
    emulator_process emu({"--fps", "25"});
    if (!emu.start()) {
        std::printf("the emulator did not start\n");
        ::unlink(path.c_str());
        return 1;
    }
    ::setenv("PYTHONPATH", VEZOVAD_PYTHON_DIR, 1);
    ::setenv("PYTHONDONTWRITEBYTECODE", "1", 1);
    const std::string command = std::string(VEZOVAD_PYTHON) + " " + VEZOVAD_SOURCE_DIR "/bench/bench_python.py " + path +
                                " 127.0.0.1:" + std::to_string(emu.port()) + " " + seconds;
    std::fflush(stdout);
    const int rc = std::system(command.c_str());
    ::unlink(path.c_str());
    return rc == 0 ? 0 : 1;
#endif
}
