// Fuzz target: the calibration table reader. Whatever the text, the parse
// ends; a text it refuses gives no values at all, and one it takes writes
// back to a file that reads the same tables again.
#include "logic/calibration_file.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const calibration_file::read_result r = calibration_file::parse(text);
    if (r.result != calibration_file::status::ok) {
        const calibration_file::tables empty;
        if (r.problem.empty() || r.values.vcsel_offset != empty.vcsel_offset || r.values.spad_offset != empty.spad_offset ||
            r.values.lens_coe != empty.lens_coe || r.values.global_offset != 0 || r.values.emitter_width != 0)
            __builtin_trap(); // a refused file leaves nothing half filled
        return 0;
    }
    const calibration_file::read_result again = calibration_file::parse(calibration_file::format(r.values));
    if (again.result != calibration_file::status::ok || again.values.vcsel_offset != r.values.vcsel_offset ||
        again.values.spad_offset != r.values.spad_offset || again.values.global_offset != r.values.global_offset)
        __builtin_trap();
    return 0;
}
