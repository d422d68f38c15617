// The Python Sensor: a stream session with a GX sensor through the device
// library. Every wait releases the interpreter lock.
#pragma once

#include "device/DadodUz.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <optional>
#include <string>

namespace vezovad_py {

struct py_frame;

class py_sensor {
public:
    // Raises ValueError for a malformed address, TimeoutError when the
    // sensor does not answer within timeout seconds, ConnectionRefusedError
    // when nothing listens there, and the OSError that the system's error
    // names otherwise (the local address in use, no route, ...).
    py_sensor(const std::string& device, const std::string& local, double timeout);

    // The next frame the library receives, waiting up to timeout seconds
    // (TimeoutError), or RuntimeError when the session is closed.
    py_frame next_frame(double timeout);
    pybind11::dict configuration(double timeout);
    pybind11::object status();
    pybind11::dict link_statistics() const;
    void record(const std::string& path);
    std::uint64_t stop_recording();
    void close();
    bool is_open() const { return open_; }

private:
    void check_open() const;
    TAVRIN::DadodUz device_;
    bool open_ = false;
    bool recording_ = false;
    std::string address_;
    std::optional<TAVRIN::DadodUz::sensing_packet_t> status_;
};

void bind_sensor(pybind11::module_& m);

}  // namespace vezovad_py
