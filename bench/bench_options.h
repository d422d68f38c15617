// A benchmark's command line, read by the parser every program shares
// (device/command_line.h): --help prints the options with their meanings,
// a word the benchmark does not take is named on stderr with status 2.
#pragma once

#include "device/command_line.h"

#include <initializer_list>

namespace bench_options {

namespace po = command_line::po;

// Reads argv against desc (which has "help"); the bare words stand for the
// options named in `bare`, in order. Returns -1 to go on, else the exit status.
inline int read(int argc, char** argv, const char* program, const po::options_description& desc,
                std::initializer_list<const char*> bare = {}) {
    po::positional_options_description positional;
    for (const char* name : bare) positional.add(name, 1);
    po::variables_map vm;
    return command_line::read_or_answer(argc, argv, desc, program, vm, &positional);
}

} // namespace bench_options
