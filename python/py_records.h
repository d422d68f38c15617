// The device library's records as Python dicts of their named fields.
#pragma once

#include "device/DadodUz.h"

#include <pybind11/pybind11.h>

namespace vezovad_py {

pybind11::dict configuration_dict(const TAVRIN::DadodUz::configurations_t& c);
pybind11::dict status_dict(const TAVRIN::DadodUz::sensing_packet_t& s);
pybind11::dict link_statistics_dict(const TAVRIN::DadodUz::link_statistics_t& l);

}  // namespace vezovad_py
