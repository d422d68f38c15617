#include "python/py_recording.h"

#include "python/py_errors.h"
#include "python/py_frame.h"

#include "interop/mcap_export.h"

#include <cerrno>
#include <sys/stat.h>
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
        // A file that cannot be read raises the OSError its error names; a
        // directory is such a file (IsADirectoryError), as for open().
        struct stat st;
        if (::stat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) errno = EISDIR;
        else if (::access(path_.c_str(), R_OK) == 0) throw format_error(device_.get_last_error());
        raise_errno(path_);
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

std::uint64_t py_recording::export_mcap(const std::string& out, py::object start, py::object stop, std::int64_t step) {
    if (step < 1) throw py::value_error("step must be 1 or more, not " + std::to_string(step));
    std::size_t first = 0, end = 0, stride = 1, count = 0;
    if (!py::slice(start, stop, py::int_(step)).compute(std::size_t(frames_), &first, &end, &stride, &count))
        throw py::error_already_set();
    std::string error;
    bool unwritable = false;
    mcap_export ex;
    {
        py::gil_scoped_release unlocked;
        if (!ex.open(path_, error)) {
        } else if (!ex.begin(out, error)) {
            unwritable = true;
        } else {
            for (std::size_t k = 0; k < count && !unwritable; ++k)
                unwritable = ex.convert(first + k * stride, error) == mcap_export::frame_result::write_failed;
            if (!unwritable) unwritable = !ex.finish(error);
        }
    }
    if (unwritable) raise(PyExc_OSError, error);
    if (!error.empty()) throw format_error(error);
    return ex.frames_written();
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
        .def("export_mcap", &py_recording::export_mcap, py::arg("path"), py::arg("start") = py::none(),
             py::arg("stop") = py::none(), py::arg("step") = 1,
             "Writes the records range(start, stop, step) selects (as a slice: negative counts from the end) as one\n"
             "MCAP file for Foxglove, ros2 bag and other robotics tools; returns the frames written. Damaged records\n"
             "are stepped over. ValueError for a step below 1; OSError when the file cannot be written (a file cut\n"
             "off by a failed write keeps its whole chunks, or is removed).")
        .def("__repr__", [](const py_recording& r) {
            return "<vezovad.Recording '" + r.path() + "': " + std::to_string(r.size()) + " frames>";
        });

    m.def("open_recording", [](std::string path) { return std::make_unique<py_recording>(std::move(path)); }, py::arg("path"),
          "Opens a GX recording. Raises OSError when it cannot be read and FormatError when it is not a recording;\n"
          "a cut-off recording gives the frames it holds.");
}

}  // namespace vezovad_py
