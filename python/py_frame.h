// The Python Frame: one frame of the device library, its per-pixel arrays
// shown to numpy as views onto the frame's own storage.
#pragma once

#include "device/DadodUz.h"

#include <pybind11/pybind11.h>

namespace vezovad_py {

struct py_frame {
    TAVRIN::DadodUz::scene_t scene;
};

void bind_frame(pybind11::module_& m);

}  // namespace vezovad_py
