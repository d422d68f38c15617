#include "python/py_frame.h"

#include <pybind11/numpy.h>

#include <cstdio>
#include <string>

namespace py = pybind11;

namespace vezovad_py {
namespace {

using point_t = TAVRIN::DadodUz::point_t;
constexpr double kTickSeconds = 1e-8;  // the sensor clock counts 10 ns

std::size_t pixels(const py_frame& f) { return std::size_t(f.scene.rows) * f.scene.cols; }

// A (rows, cols) view onto one of the frame's arrays, kept alive by `owner`.
// An array that does not hold one value per pixel (a frame without a second
// echo) gives None.
template <typename T>
py::object plane(py::object owner, std::vector<T>& values) {
    const py_frame& f = owner.cast<const py_frame&>();
    if (values.size() != pixels(f) || values.empty()) return py::none();
    const py::ssize_t cols = f.scene.cols;
    return py::array_t<T>({py::ssize_t(f.scene.rows), cols}, {cols * py::ssize_t(sizeof(T)), py::ssize_t(sizeof(T))},
                          values.data(), owner);
}

template <typename T>
py::object required_plane(py::object owner, std::vector<T>& values) {
    py::object a = plane(owner, values);
    if (!a.is_none()) return a;
    const py_frame& f = owner.cast<const py_frame&>();
    return py::array_t<T>({py::ssize_t(f.scene.rows), py::ssize_t(f.scene.cols)});
}

// (rows, cols, 3) view onto x y z of the frame's points.
py::object points_of(py::object owner, std::vector<point_t>& points) {
    const py_frame& f = owner.cast<const py_frame&>();
    const py::ssize_t rows = f.scene.rows, cols = f.scene.cols;
    if (points.size() != pixels(f) || points.empty()) return py::array_t<double>({rows, cols, py::ssize_t(3)});
    constexpr py::ssize_t s = sizeof(point_t);
    return py::array_t<double>({rows, cols, py::ssize_t(3)}, {cols * s, s, py::ssize_t(sizeof(double))}, &points[0].x, owner);
}

py::array_t<bool> valid_of(const py_frame& f) {
    py::array_t<bool> out({py::ssize_t(f.scene.rows), py::ssize_t(f.scene.cols)});
    bool* o = out.mutable_data();
    const std::size_t n = pixels(f);
    for (std::size_t i = 0; i < n; ++i) o[i] = i < f.scene.points.size() && f.scene.points[i].valid != 0;
    return out;
}

py::array_t<double> xyz_m(const py_frame& f) {
    const std::size_t n = pixels(f);
    py::array_t<double> out({py::ssize_t(f.scene.rows), py::ssize_t(f.scene.cols), py::ssize_t(3)});
    double* o = out.mutable_data();
    for (std::size_t i = 0; i < n; ++i) {
        const point_t* p = i < f.scene.points.size() ? &f.scene.points[i] : nullptr;
        o[3 * i] = p ? p->x * 1e-3 : 0.0;
        o[3 * i + 1] = p ? p->y * 1e-3 : 0.0;
        o[3 * i + 2] = p ? p->z * 1e-3 : 0.0;
    }
    return out;
}

std::uint64_t timestamp_of(const py_frame& f) { return f.scene.timestamp.empty() ? 0 : f.scene.timestamp[0]; }

std::string repr(const py_frame& f) {
    char text[128];
    std::snprintf(text, sizeof text, "<vezovad.Frame %u: %u x %u, t=%llu>", f.scene.frame_number, f.scene.rows, f.scene.cols,
                  static_cast<unsigned long long>(timestamp_of(f)));
    return text;
}

}  // namespace

void bind_frame(py::module_& m) {
    py::class_<py_frame>(m, "Frame",
                         "One frame of a GX sensor or recording. The arrays are views onto the frame's own storage\n"
                         "(row-major, shape (rows, cols)); they keep the frame alive. copy() gives an independent frame.")
        .def_property_readonly("rows", [](const py_frame& f) { return f.scene.rows; })
        .def_property_readonly("cols", [](const py_frame& f) { return f.scene.cols; })
        .def_property_readonly("frame_number", [](const py_frame& f) { return f.scene.frame_number; },
                               "The sensor's frame sequence number.")
        .def_property_readonly("timestamp", &timestamp_of, "Frame time in 10 ns ticks of the sensor clock.")
        .def_property_readonly("time", [](const py_frame& f) { return double(timestamp_of(f)) * kTickSeconds; },
                               "Frame time in seconds of the sensor clock.")
        .def_property_readonly("ambient", [](py::object self) { return required_plane(self, self.cast<py_frame&>().scene.ambient); },
                               "uint16 (rows, cols): ambient light.")
        .def_property_readonly("depth", [](py::object self) { return required_plane(self, self.cast<py_frame&>().scene.depth); },
                               "int32 (rows, cols): range in millimetres, or in bins in the bin stream modes.")
        .def_property_readonly("intensity",
                               [](py::object self) { return required_plane(self, self.cast<py_frame&>().scene.intensity); },
                               "uint16 (rows, cols): return intensity.")
        .def_property_readonly("depth2", [](py::object self) { return plane(self, self.cast<py_frame&>().scene.depth2); },
                               "int32 (rows, cols) of the second echo, or None when the stream has one echo.")
        .def_property_readonly("intensity2",
                               [](py::object self) { return plane(self, self.cast<py_frame&>().scene.intensity2); },
                               "uint16 (rows, cols) of the second echo, or None when the stream has one echo.")
        .def_property_readonly("points", [](py::object self) { return points_of(self, self.cast<py_frame&>().scene.points); },
                               "float64 (rows, cols, 3): x y z of every pixel in millimetres (sensor frame).")
        .def_property_readonly("valid", &valid_of, "bool (rows, cols): the pixel carries a return.")
        .def("xyz_m", &xyz_m, "The points in metres, as a new float64 (rows, cols, 3) array.")
        .def("copy", [](const py_frame& f) { return py_frame{f.scene}; }, "An independent copy of the frame and its arrays.")
        .def("__repr__", &repr);
}

}  // namespace vezovad_py
