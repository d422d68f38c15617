// Fuzz target: the preset reader, over the core library's key/value store.
// Whatever the file holds, the read ends; a preset that is not loaded or is
// refused leaves every control as it was.
#include "logic/admin_settings.h"
#include "logic/preset_file.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

namespace {

bool same(const admin_settings::controls& a, const admin_settings::controls& b) {
    admin_settings::configurations_t x{}, y{};
    admin_settings::to_record(a, x);
    admin_settings::to_record(b, y);
    return std::memcmp(&x, &y, sizeof x) == 0 && a.calibration_path == b.calibration_path && a.gx_ip == b.gx_ip &&
           a.gx_port == b.gx_port && a.pc_ip == b.pc_ip && a.pc_port == b.pc_port;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* path = "fuzz_preset_input.conf";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
    admin_settings::controls before;
    admin_settings::load_defaults(before);
    admin_settings::controls c = before;
    const preset_file::read_result r = preset_file::read(path, c);
    if (r.result != preset_file::status::loaded && !same(c, before)) __builtin_trap();
    if (r.result == preset_file::status::refused && r.problem.empty()) __builtin_trap();
    admin_settings::configurations_t cfg{};
    admin_settings::to_record(c, cfg); // whatever was read converts into a record
    return 0;
}
