// A text file written whole or not at all: into PATH.part, then renamed over
// PATH, so that a full disk or a failed write leaves the file that was there.
#pragma once

#include <string>

namespace whole_file {

// False with the reason in `error` (the system's words, or "the disk refused
// the data"); the partial file is removed.
bool write(const std::string& path, const std::string& text, std::string& error);

} // namespace whole_file
