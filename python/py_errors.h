// How the package raises: the library's failures become Python exceptions
// that carry the library's own words.
#pragma once

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

namespace vezovad_py {

// vezovad.FormatError, a ValueError: the input is not what it claims to be.
struct format_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Raises the Python exception `type` (PyExc_TimeoutError, ...) with `message`.
[[noreturn]] inline void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw pybind11::error_already_set();
}

// Raises the OSError subclass that errno names (FileNotFoundError, ...) for `path`.
[[noreturn]] inline void raise_errno(const std::string& path) {
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw pybind11::error_already_set();
}

// Raises OSError(code, message), which Python makes the subclass that the
// error number names (ConnectionRefusedError for ECONNREFUSED, ...).
[[noreturn]] inline void raise_os_error(int code, const std::string& message) {
    PyObject* args = Py_BuildValue("(is)", code, message.c_str());
    PyErr_SetObject(PyExc_OSError, args);
    Py_XDECREF(args);
    throw pybind11::error_already_set();
}

}  // namespace vezovad_py
