#include "python/py_recording.h"

#include "python/py_errors.h"
#include "python/py_frame.h"

#include <unistd.h>

namespace py = pybind11;

namespace vezovad_py {

py_recording::py_recording(std::string path) : path_(std::move(path)) {
    bool opened;
    {
        py::gil_scoped_release unlocked;
        opened = device_.connect_file(path_);
    }
    if (!opened) {
        if (::access(path_.c_str(), R_OK) != 0) raise_errno(path_);
        throw format_error(device_.get_last_error());
    }
    device_.get_logging_file_size(frames_);
}

std::uint64_t py_recording::damaged() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_.get_link_statistics().frames_damaged;
}

bool py_recording::read(std::uint64_t i, py_frame& f) {
    py::gil_scoped_release unlocked;
    std::lock_guard<std::mutex> lock(mutex_);
    return device_.get_scene(f.scene, i);
}

py_frame py_recording::frame(std::int64_t i) {
    const std::int64_t n = std::int64_t(frames_);
    if (i < 0) i += n;
    if (i < 0 || i >= n) throw py::index_error("record " + std::to_string(i) + " is out of range (the recording holds " +
                                               std::to_string(n) + ")");
    py_frame f;
    if (!read(std::uint64_t(i), f)) throw format_error(path_ + ": record " + std::to_string(i) + " is damaged");
    return f;
}

namespace {

// Iteration in record order; damaged records are stepped over (and counted
// in Recording.damaged).
struct recording_iterator {
    py::object owner;  // keeps the recording open
    std::uint64_t next = 0;

    py_frame advance() {
        py_recording& r = owner.cast<py_recording&>();
        while (next < r.size()) {
            py_frame f;
            if (r.read(next++, f)) return f;
        }
        throw py::stop_iteration();
    }
};

}  // namespace

void bind_recording(py::module_& m) {
    py::class_<recording_iterator>(m, "_RecordingIterator")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &recording_iterator::advance);

    py::class_<py_recording>(m, "Recording",
                             "A GX recording (*.bin) read by the device library. len(rec) records; rec[i] reads one\n"
                             "(negative i counts from the end); iteration reads them in order and steps over damaged ones.")
        .def("__len__", &py_recording::size)
        .def("__getitem__", &py_recording::frame, py::arg("index"))
        .def("__iter__", [](py::object self) { return recording_iterator{self, 0}; })
        .def_property_readonly("damaged", &py_recording::damaged,
                               "Records the library stepped over as damaged or cut off so far.")
        .def_property_readonly("path", &py_recording::path)
        .def("__repr__", [](const py_recording& r) {
            return "<vezovad.Recording '" + r.path() + "': " + std::to_string(r.size()) + " frames>";
        });

    m.def("open_recording", [](std::string path) { return std::make_unique<py_recording>(std::move(path)); }, py::arg("path"),
          "Opens a GX recording. Raises OSError when it cannot be read and FormatError when it is not a recording;\n"
          "a cut-off recording gives the frames it holds.");
}

}  // namespace vezovad_py
