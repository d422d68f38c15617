// The command lines of the programs beside the viewer (gx_emulator,
// gx_convert, gx_bridge, gx_monkey), read with Boost.Program_options the same way:
// options are written in full (abbreviations are not guessed), "--name value"
// and "--name=value" both work, and a later occurrence of an option overrides
// an earlier one. Header only: the device library does not use it.
#pragma once

#include <boost/program_options.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

namespace command_line {

namespace po = boost::program_options;

// Reads argv against desc (and positional, when given) into a variables map,
// notified. Throws po::error for a command line it does not take.
inline po::variables_map read(int argc, char** argv, const po::options_description& desc,
                              const po::positional_options_description* positional = nullptr) {
    po::command_line_parser parser(argc, argv);
    parser.options(desc).style(po::command_line_style::unix_style & ~po::command_line_style::allow_guessing);
    if (positional) parser.positional(*positional);
    po::parsed_options parsed = parser.run();
    // Only the last occurrence of each named option stays (positional
    // arguments share one name and all stay).
    auto& options = parsed.options;
    for (auto it = options.begin(); it != options.end();) {
        const bool later = it->position_key < 0 &&
                           std::any_of(std::next(it), options.end(), [&](const po::option& o) { return o.string_key == it->string_key; });
        it = later ? options.erase(it) : std::next(it);
    }
    po::variables_map vm;
    po::store(parsed, vm);
    po::notify(vm);
    return vm;
}

// The library's complaint in a program's words, the option first
// ("unknown option --bogus", "--format needs a value").
inline std::string complaint(const po::error& e) {
    if (const auto* u = dynamic_cast<const po::unknown_option*>(&e)) return "unknown option " + u->get_option_name();
    if (const auto* s = dynamic_cast<const po::invalid_command_line_syntax*>(&e)) {
        if (s->kind() == po::invalid_command_line_syntax::extra_parameter) return s->get_option_name() + " takes no value";
        if (s->kind() == po::invalid_command_line_syntax::missing_parameter) return s->get_option_name() + " needs a value";
    }
    if (dynamic_cast<const po::too_many_positional_options_error*>(&e)) return "unexpected argument";
    return e.what();
}

// What --help prints: the options shown (by default all of them) and a text
// after them.
struct help_text {
    const po::options_description* shown = nullptr;
    const char* tail = "";
};

// Reads argv against desc (which has a "help" option) into vm, for every
// program beside the viewer. Returns -1 to go on; 0 after printing the
// options with their meanings to stdout for --help, or "PROGRAM VERSION" for
// --version (in the programs the build gives VEZOVAD_VERSION, the project's
// version); 2 after naming on stderr what it does not take.
inline int read_or_answer(int argc, char** argv, const po::options_description& desc, const char* program,
                          po::variables_map& vm, const po::positional_options_description* positional = nullptr,
                          help_text help = {}) {
    try {
        vm = read(argc, argv, desc, positional);
    } catch (const po::error& e) {
        std::fprintf(stderr, "%s: %s (%s --help lists the options)\n", program, complaint(e).c_str(), program);
        return 2;
    }
    if (vm.count("help")) {
        // Two spaces at least between an option and its meaning (Boost leaves
        // one after the widest), so that readers of the text (help2man) tell
        // them apart.
        const po::options_description& shown = help.shown ? *help.shown : desc;
        shown.print(std::cout, shown.get_option_column_width() + 1);
        std::cout << help.tail;
        std::cout.flush();
        return 0;
    }
#ifdef VEZOVAD_VERSION
    if (vm.count("version")) {
        std::cout << program << ' ' << VEZOVAD_VERSION << std::endl;
        return 0;
    }
#endif
    return -1;
}

} // namespace command_line
