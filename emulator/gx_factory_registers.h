// The factory register values of the emulated GX unit, in device units: what
// its flash holds before any state file or register write.
#pragma once

#include "device/gx_registers.h"

namespace gx {

register_set default_registers();

}  // namespace gx
