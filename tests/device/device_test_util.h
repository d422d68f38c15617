// Helpers shared by the device tests: bounded waits on a live device.
#pragma once

#include "device/DadodUz.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "emulator/gx_factory_registers.h"
#include "emulator/gx_synthetic_scene.h"
#include "tests/support/emulator_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace device_test {

// Polls cond every 5 ms until it holds or timeout_ms passed.
inline bool wait_for(const std::function<bool()>& cond, int timeout_ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
}

inline bool connect(TAVRIN::DadodUz& dev, const emulator_process& emu) {
    return dev.connect(TAVRIN::IP_ADDRESS_T{"127.0.0.1", emu.port()}, TAVRIN::IP_ADDRESS_T{"127.0.0.1", 0});
}

inline bool next_scene(TAVRIN::DadodUz& dev, TAVRIN::DadodUz::scene_t& s, int timeout_ms = 5000) {
    return wait_for([&] { return dev.get_scene(s); }, timeout_ms);
}

// Waits for the first frame made with the configuration the sensor last
// accepted; frames the sensor made before it are passed over.
inline bool next_scene_with_last_configuration(TAVRIN::DadodUz& dev, TAVRIN::DadodUz::scene_t& s,
                                               int timeout_ms = 5000) {
    const std::uint32_t first = dev.get_configuration_frame();
    return wait_for([&] { return dev.get_scene(s) && std::int32_t(s.frame_number - first) >= 0; }, timeout_ms);
}

// Waits for a device message of the given type; its data goes to data.
inline bool wait_message(TAVRIN::DadodUz& dev, const char* type, std::string* data = nullptr, int timeout_ms = 5000) {
    static TAVRIN::_TCP_PROTOCOL_T msg;
    return wait_for(
        [&] {
            while (dev.tcp_get_message(msg)) {
                if (msg.type[0] == type[0] && msg.type[1] == type[1]) {
                    if (data) data->assign(reinterpret_cast<const char*>(msg.data), msg.length);
                    return true;
                }
            }
            return false;
        },
        timeout_ms);
}

// A fresh folder under /tmp, removed with everything in it.
struct temp_dir {
    std::string path;
    temp_dir() {
        char tmpl[] = "/tmp/gx_test_dir_XXXXXX";
        if (::mkdtemp(tmpl) != nullptr) path = tmpl;
    }
    ~temp_dir() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// A shell command's exit status (-1 when it did not exit normally) and what
// it printed.
struct run_result {
    int status = -1;
    std::string out, err;
};
inline run_result run_command(const std::string& command, const temp_dir& scratch) {
    const std::string out = scratch / "stdout.txt", err = scratch / "stderr.txt";
    const int raw = std::system((command + " >" + out + " 2>" + err).c_str());
    run_result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream o(out), e(err);
    std::stringstream so, se;
    so << o.rdbuf();
    se << e.rdbuf();
    r.out = so.str();
    r.err = se.str();
    return r;
}

// n synthetic frames, frame i with frame number 100 + i and time stamp
// (1 + i / 100) s; the stream mode cycles 0 (mm), 1 (bins), 3 (two echoes,
// bins), and frame 3 carries an unusable lens (the library's fallback lens).
// Status i has scan count i and receiver temperature 30 + i.
inline void make_mixed_recording(const std::string& path, int n) {
    gx::synthetic_scene scene;
    gx::recording_writer w;
    ASSERT_TRUE(w.open(path));
    std::vector<std::uint16_t> a, in, in2;
    std::vector<std::int32_t> d, d2;
    const auto def = gx::default_registers();
    static const int modes[] = {0, 1, 3};
    for (int i = 0; i < n; ++i) {
        const int mode = modes[i % 3];
        scene.render(i * 0.1, mode, a, d, in, d2, in2);
        gx::frame_info info;
        info.timestamp = 100000000ull + std::uint64_t(i) * 1000000ull;
        info.frame_number = std::uint32_t(100 + i);
        info.rows = 100;
        info.cols = 400;
        info.stream_mode = std::uint8_t(mode);
        info.echoes = d2.empty() ? 1 : 2;
        if (i != 3) std::copy(def.config.lens_coe, def.config.lens_coe + 12, info.lens.begin());
        TAVRIN::DadodUz::sensing_packet_t status{};
        status.xadc_scan_count = std::uint32_t(i);
        status.rx_temp = 30.0f + float(i);
        ASSERT_TRUE(w.push(gx::encode_frame(info, a.data(), d.data(), in.data(), d2.empty() ? nullptr : d2.data(),
                                            in2.empty() ? nullptr : in2.data()),
                           status));
    }
    ASSERT_TRUE(w.close());
}

inline std::string temp_path(const std::string& stem) {
    static int n = 0;
    return "/tmp/gx_test_" + std::to_string(::getpid()) + "_" + std::to_string(n++) + "_" + stem;
}

}  // namespace device_test
