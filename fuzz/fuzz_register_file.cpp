// Fuzz target: the register file / register dump parser, the per-record
// validation and the store into a register set.
#include "device/gx_protocol.h"
#include "device/gx_registers.h"
#include "emulator/gx_factory_registers.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<gx::register_record> recs;
    std::string err;
    gx::parse_register_text(text, recs, err, true);
    gx::register_set regs = gx::default_registers();
    int rejected = 0;
    gx::apply_register_records(recs, regs, &rejected);
    const std::string again = gx::format_registers(regs);
    std::vector<gx::register_record> back;
    if (!gx::parse_register_text(again, back, err)) __builtin_trap();  // our own output must always parse
    return 0;
}
