// Helpers shared by the device tests: bounded waits on a live device.
#pragma once

#include "device/DadodUz.h"
#include "tests/support/emulator_process.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
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

inline std::string temp_path(const std::string& stem) {
    static int n = 0;
    return "/tmp/gx_test_" + std::to_string(::getpid()) + "_" + std::to_string(n++) + "_" + stem;
}

}  // namespace device_test
