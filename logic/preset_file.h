// The configuration preset (.conf): the Connection-0 and Device_settings-0
// sections that the administrator settings dialog writes and reads through
// the core library's key/value store. Plain code, no widgets.
#pragma once

#include "device/DadodUz.h"
#include "logic/admin_settings.h"

#include <string>

namespace preset_file {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// Writes both sections, every key in its order, to path: the record's values
// (taken after the controls were copied into it), and from the controls the
// connection settings, the PRF, the nanosecond timings and the calibration
// path. False when the file could not be written.
bool write(const std::string& path, const configurations_t& cfg, const admin_settings::controls& c);

enum class status { loaded, not_loaded, refused };

struct read_result {
    status result = status::not_loaded;
    std::string problem; // for a refused preset: what is wrong with it
};

// Reads a preset into the controls, key by key; a key that is missing or of
// the wrong type leaves its control as it was. The emitter width, the global
// offset and the lens coefficients are not read: they come from the
// calibration file the preset names. A file the store cannot load changes
// nothing (not_loaded); a preset whose FIR tables are too short to fill them
// changes nothing either (refused, with the reason).
read_result read(const std::string& path, admin_settings::controls& c);

// The first free name "<base><extension>", "<base>_0<extension>",
// "<base>_1<extension>", ... in the file system.
std::string free_name(const std::string& base, const std::string& extension);

} // namespace preset_file
