// Fuzz target: the viewer's command line parser. The bytes are split into
// arguments at NUL and newline (UTF-8, as the system hands them to Qt; the
// first is the program). Whatever the arguments, the parse ends with either
// options or a message, and the options it gives are ones the viewer can act
// on.
#include "logic/startup_options.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QStringList arguments{QStringLiteral("ro_vezovad")};
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == 0 || data[i] == '\n') {
            arguments << QString::fromUtf8(reinterpret_cast<const char*>(data) + begin, int(i - begin));
            begin = i + 1;
        }
    }
    startup_options::options opts;
    QString error;
    bool help = true;
    const bool ok = startup_options::parse(arguments, opts, error, help);
    if (help && (!ok || error.isEmpty())) __builtin_trap(); // help comes with its text
    if (!ok && error.isEmpty()) __builtin_trap();           // a refusal says why
    if (ok && !help) {
        if (opts.has_device && (opts.device_port < 0 || opts.device_port > 65535)) __builtin_trap();
        if (opts.has_local && (opts.local_port < 0 || opts.local_port > 65535)) __builtin_trap();
        if (opts.quit_after_s < 0) __builtin_trap();
        if (!opts.open_tool.isEmpty() && (!opts.admin || !startup_options::tool_names().contains(opts.open_tool)))
            __builtin_trap();
        if (opts.connect && !opts.play_file.isEmpty()) __builtin_trap();
    }
    return 0;
}
