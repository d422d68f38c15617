#include "python/py_sensor.h"

#include "device/c_numbers.h"
#include "device/gx_address.h"
#include "device/gx_protocol.h"
#include "device/gx_registers.h"
#include "python/py_errors.h"
#include "python/py_frame.h"
#include "python/py_records.h"

#include <arpa/inet.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

namespace py = pybind11;

namespace vezovad_py {
namespace {

int milliseconds(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) throw py::value_error("a timeout is a number of seconds, 0 or more");
    return seconds > 86400 ? 86400000 : int(std::lround(seconds * 1000));
}

// "IP:PORT" as the library takes it; `what` names the address in errors.
TAVRIN::IP_ADDRESS_T parse_address(const std::string& text, const char* what, bool port_zero_ok) {
    TAVRIN::IP_ADDRESS_T a;
    in_addr ip{};
    if (!gx_address::split(text, a.ip, a.port) || ::inet_pton(AF_INET, a.ip.c_str(), &ip) != 1 ||
        a.port < (port_zero_ok ? 0 : 1))
        throw py::value_error(std::string(what) + " \"" + text + "\" is not IP:PORT (an IPv4 address and a port)");
    return a;
}

std::string seconds_text(double s) { return c_numbers::general(s, 6) + " s"; }

}  // namespace

py_sensor::py_sensor(const std::string& device, const std::string& local, double timeout) {
    const TAVRIN::IP_ADDRESS_T dev = parse_address(device, "the sensor address", false);
    const TAVRIN::IP_ADDRESS_T loc = local.empty() ? TAVRIN::IP_ADDRESS_T{} : parse_address(local, "the local address", true);
    device_.set_connect_timeout(milliseconds(timeout));
    bool connected;
    {
        py::gil_scoped_release unlocked;
        connected = device_.connect(dev, loc) && device_.start() && device_.tcp_device_run();
    }
    if (!connected) {
        const std::string why = device_.get_last_error();
        const int code = device_.get_last_errno();
        device_.disconnect();
        if (why.empty()) raise(PyExc_TimeoutError, device + " did not start streaming");
        // OSError(errno, text) is the subclass the number names:
        // ConnectionRefusedError, TimeoutError, or OSError itself.
        raise_os_error(code != 0 ? code : ETIMEDOUT, why);
    }
    open_ = true;
    address_ = device;
}

void py_sensor::check_open() const {
    if (!open_) throw std::runtime_error("the sensor connection is closed");
}

py_frame py_sensor::next_frame(double timeout) {
    check_open();
    const int ms = milliseconds(timeout);
    py_frame f;
    bool got;
    {
        py::gil_scoped_release unlocked;
        got = device_.wait_scene(f.scene, ms);
    }
    if (!got) {
        check_open();
        raise(PyExc_TimeoutError, "no frame from " + address_ + " within " + seconds_text(timeout));
    }
    return f;
}

py::dict py_sensor::configuration(double timeout) {
    check_open();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds(timeout));
    std::string dump;
    bool asked, answered = false;
    {
        py::gil_scoped_release unlocked;
        auto msg = std::make_unique<TAVRIN::_TCP_PROTOCOL_T>();
        asked = device_.tcp_register_read();
        while (asked && !answered) {
            while (!answered && device_.tcp_get_message(*msg)) {
                answered = msg->type[0] == 'R' && msg->type[1] == 'S';
                if (answered) dump.assign(reinterpret_cast<const char*>(msg->data), msg->length);
            }
            if (answered || std::chrono::steady_clock::now() >= deadline) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    if (!answered)
        raise(PyExc_TimeoutError, address_ + (asked ? " sent no register dump within " + seconds_text(timeout)
                                                     : " did not answer the register read"));
    std::vector<gx::register_record> records;
    std::string error;
    if (!gx::parse_register_text(dump, records, error, true)) throw format_error("the sensor's register dump: " + error);
    gx::register_set regs;
    std::memset(&regs.config, 0, sizeof regs.config);
    gx::apply_register_records(records, regs);
    return configuration_dict(regs.config);
}

py::object py_sensor::status() {
    check_open();
    TAVRIN::DadodUz::sensing_packet_t s;
    if (device_.get_sensing_packet(s)) status_ = s;
    if (!status_) return py::none();
    return status_dict(*status_);
}

py::dict py_sensor::link_statistics() const { return link_statistics_dict(device_.get_link_statistics()); }

void py_sensor::record(const std::string& path) {
    check_open();
    if (recording_) throw std::runtime_error("a recording is already running; stop_recording() first");
    if (!device_.start_recording(path)) raise_errno(path);
    recording_ = true;
}

std::uint64_t py_sensor::stop_recording() {
    if (!recording_) throw std::runtime_error("no recording is running");
    recording_ = false;
    bool ok;
    {
        py::gil_scoped_release unlocked;
        ok = device_.stop_recording();
    }
    const auto l = device_.get_link_statistics();
    if (!ok)
        raise(PyExc_OSError, "the recording lacks " + std::to_string(l.frames_not_recorded) + " of " +
                                 std::to_string(l.frames_recorded + l.frames_not_recorded) + " frames (full queue or failed write)");
    return l.frames_recorded;
}

void py_sensor::close() {
    if (!open_) return;
    open_ = false;
    recording_ = false;
    py::gil_scoped_release unlocked;
    device_.disconnect();
}

namespace {

// Sensor.frames(): the frames as the library receives them.
struct frame_stream {
    py::object owner;  // keeps the sensor
    std::optional<std::uint64_t> left;
    double timeout;

    py_frame advance() {
        if (left && *left == 0) throw py::stop_iteration();
        py_frame f = owner.cast<py_sensor&>().next_frame(timeout);
        if (left) --*left;
        return f;
    }
};

}  // namespace

void bind_sensor(py::module_& m) {
    py::class_<frame_stream>(m, "_FrameStream")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &frame_stream::advance);

    py::class_<py_sensor>(m, "Sensor", "A stream session with a GX sensor. Use it as a context manager; closing disconnects.")
        .def("frames",
             [](py::object self, std::optional<std::uint64_t> count, double timeout) {
                 if (!self.cast<py_sensor&>().is_open()) throw std::runtime_error("the sensor connection is closed");
                 milliseconds(timeout);  // refuses a bad timeout now rather than at the first frame
                 return frame_stream{self, count, timeout};
             },
             py::arg("count") = py::none(), py::arg("timeout") = 1.0,
             "Yields frames as the library receives them: `count` of them, or without end when None.\n"
             "Raises TimeoutError when no frame comes within `timeout` seconds.")
        .def("configuration", &py_sensor::configuration, py::arg("timeout") = 2.0,
             "Reads the sensor's registers: the configuration record as a dict of its named fields (tables as lists).")
        .def("status", &py_sensor::status, "The newest status packet as a dict, or None before the first.")
        .def("link_statistics", &py_sensor::link_statistics, "The link counters as a dict.")
        .def("record", &py_sensor::record, py::arg("path"), "Starts recording the live stream into `path` (*.bin).")
        .def("stop_recording", &py_sensor::stop_recording,
             "Finishes the recording and returns the frames written; OSError when frames could not be written.")
        .def("close", &py_sensor::close, "Disconnects (and finishes a running recording).")
        .def_property_readonly("closed", [](const py_sensor& s) { return !s.is_open(); })
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](py_sensor& s, py::args) { s.close(); });

    m.def("connect",
          [](const std::string& device, std::optional<std::string> local, double timeout) {
              return std::make_unique<py_sensor>(device, local.value_or(std::string()), timeout);
          },
          py::arg("device"), py::arg("local") = py::none(), py::arg("timeout") = 5.0,
          "Connects to the GX sensor at device=\"IP:PORT\" and starts its stream. local=\"IP:PORT\" is where\n"
          "frames are received (default: any address, a free port). TimeoutError when the sensor does not\n"
          "answer within `timeout` seconds; ConnectionRefusedError when nothing listens at the address.");
}

}  // namespace vezovad_py
