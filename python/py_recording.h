// The Python Recording: a recording file opened by the device library in
// play mode, read by index or in order.
#pragma once

#include "device/DadodUz.h"

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace vezovad_py {

struct py_frame;

class py_recording {
public:
    // Raises OSError when the file cannot be read, FormatError when it is not a recording.
    explicit py_recording(std::string path);

    std::uint64_t size() const { return frames_; }
    const std::string& path() const { return path_; }
    std::uint64_t damaged() const;
    // Record i (negative counts from the end); IndexError out of range,
    // FormatError when the record cannot be decoded.
    py_frame frame(std::int64_t i);
    // Reads record i into f with the interpreter lock released; false when
    // the record is damaged.
    bool read(std::uint64_t i, py_frame& f);
    // Writes the records range(start, stop, step) selects as one MCAP file;
    // returns the frames written (damaged records are stepped over).
    // ValueError for a step below 1, OSError when the file cannot be written.
    std::uint64_t export_mcap(const std::string& out, pybind11::object start, pybind11::object stop, std::int64_t step);

private:
    std::string path_;
    std::uint64_t frames_ = 0;
    mutable std::mutex mutex_;  // the session is read from one thread at a time
    TAVRIN::DadodUz device_;
};

void bind_recording(pybind11::module_& m);

}  // namespace vezovad_py
