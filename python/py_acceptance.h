// vezovad.depth_quality, vezovad.pixel_maps and vezovad.verify: the depth
// quality tool's figures, its per-pixel maps and gx_verify's acceptance check.
#pragma once

#include <pybind11/pybind11.h>

namespace vezovad_py {

void bind_acceptance(pybind11::module_& m);

}  // namespace vezovad_py
