// vezovad: recordings and live GX sensors as numpy arrays, through the
// device library (libtavrin_gx).
#include "python/py_acceptance.h"
#include "python/py_errors.h"
#include "python/py_frame.h"
#include "python/py_recording.h"
#include "python/py_sensor.h"

namespace py = pybind11;

PYBIND11_MODULE(vezovad, m) {
    m.doc() =
        "Recordings and live GX sensors as numpy arrays.\n\n"
        "    rec = vezovad.open_recording('run.bin')\n"
        "    depth = rec[0].depth            # int32 (rows, cols)\n"
        "    with vezovad.connect('127.0.0.1:2000') as gx:\n"
        "        for frame in gx.frames(10): ...\n";
    m.attr("__version__") = VEZOVAD_VERSION;
    py::register_exception<vezovad_py::format_error>(m, "FormatError", PyExc_ValueError);
    vezovad_py::bind_frame(m);
    vezovad_py::bind_recording(m);
    vezovad_py::bind_sensor(m);
    vezovad_py::bind_acceptance(m);
}
