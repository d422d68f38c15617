// Fuzz target: the viewer's register dump parser, which turns the text of an
// "RS" device message into the configuration record. Whatever the text, the
// parse ends, stays inside the record, and a second parse of the same text
// gives the same record.
#include "logic/device_message.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    device_message::is_register_dump(text);
    using configurations_t = device_message::configurations_t;
    configurations_t first{};
    const device_message::dump_result r = device_message::parse_register_dump(text, first);
    if (r.records < 0 || r.skipped < 0) __builtin_trap();
    configurations_t second{};
    device_message::parse_register_dump(text, second);
    if (std::memcmp(&first, &second, sizeof first) != 0) __builtin_trap();  // the parse depends on the text alone
    return 0;
}
