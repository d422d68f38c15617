#include "logic/acceptance_check.h"

#include "device/c_numbers.h"
#include "device/gx_address.h"
#include "logic/device_message.h"
#include "logic/offset_calibration.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

namespace acceptance_check {

namespace {

namespace dq = depth_quality;
using clock_type = std::chrono::steady_clock;

std::string region_text(const dq::region& r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "," + std::to_string(r.h);
}

// Takes frames into the window while `next(scene)` gives them (false: no
// more); the problem, if any: a region that does not fit the first frame.
template <class Next>
std::string take_frames(const options& o, dq::window& w, acceptance::setup& set, const progress_fn& progress, Next next) {
    TAVRIN::DadodUz::scene_t scene;
    int taken = 0;
    bool first = true;
    while (taken < o.frames) {
        if (!next(scene)) break;
        if (scene.rows == 0 || scene.cols == 0 || scene.points.size() != std::size_t(scene.rows) * scene.cols) continue;
        if (first) {
            first = false;
            set.roi = o.roi ? *o.roi : dq::default_region(int(scene.cols), int(scene.rows));
            if (!dq::fits(set.roi, int(scene.cols), int(scene.rows)))
                return "the region " + region_text(set.roi) + " does not fit the frame of " + std::to_string(scene.cols) + " x " +
                       std::to_string(scene.rows) + " pixels";
            w.set_region(set.roi);
        }
        if (!w.push(scene)) continue;
        ++taken;
        if (progress) progress(taken, o.frames);
    }
    return {};
}

} // namespace

bool parse_target(const std::string& name, dq::target& out) {
    if (name == "wall") out = dq::target::wall;
    else if (name == "sphere") out = dq::target::sphere;
    else return false;
    return true;
}

std::string out_of_range(const options& o) {
    if (!(o.range_mm >= 100 && o.range_mm <= 100000))
        return "the range is 100 .. 100000 mm, not " + c_numbers::general(o.range_mm, 6);
    if (o.frames < 2 || o.frames > 1000) return "the frames are 2 .. 1000, not " + std::to_string(o.frames);
    if (o.channels < 0 || o.channels > 400) return "the channels are 1 .. 400, not " + std::to_string(o.channels);
    return {};
}

bool parse_region(const std::string& text, dq::region& out) {
    int v[4];
    std::size_t at = 0;
    for (int k = 0; k < 4; ++k) {
        const std::size_t end = k < 3 ? text.find(',', at) : text.size();
        if (end == std::string::npos) return false;
        const std::string part = text.substr(at, end - at);
        if (part.empty() || part.size() > 6 || part.find_first_not_of("0123456789") != std::string::npos) return false;
        v[k] = std::atoi(part.c_str());
        at = end + 1;
    }
    if (v[2] < 1 || v[3] < 1) return false;
    out = {v[0], v[1], v[2], v[3]};
    return true;
}

result run(const options& o, const acceptance_limits::limits& limits, const std::string& limits_from, const std::string& program,
           const progress_fn& progress) {
    result out;
    acceptance::setup set;
    set.target = o.target;
    set.range_mm = o.range_mm;
    set.frames = o.frames;
    set.limits_from = limits_from;
    if (o.roi) set.roi = *o.roi;
    acceptance::identity id;
    acceptance::status_span status;
    dq::window w;
    w.set_target(o.target);
    w.set_frames(o.frames);
    std::string problem;
    const auto channels_from_option = [&] {
        set.channels = o.channels;
        set.channels_from = "given";
    };

    auto device = std::make_unique<TAVRIN::DadodUz>();
    if (!o.recording.empty()) {
        id.source = "recording " + o.recording;
        const std::string none = "a recording does not carry it";
        id.serial_note = id.firmware_note = none;
        id.configuration_note = "a recording does not carry the sensor's configuration";
        if (o.channels > 0)
            channels_from_option();
        else
            set.channels_from = "not known: a recording does not carry the sensor's configuration (give the channel count)";
        std::uint64_t total = 0;
        if (!device->connect_file(o.recording) || !device->get_logging_file_size(total)) {
            problem = "cannot read the recording: " + device->get_last_error();
        } else {
            std::uint64_t index = 0;
            problem = take_frames(o, w, set, progress, [&](TAVRIN::DadodUz::scene_t& scene) {
                while (index < total) {
                    const std::uint64_t i = index++;
                    if (!device->get_scene(scene, i)) continue;
                    TAVRIN::DadodUz::sensing_packet_t packet;
                    if (device->get_sensing_packet(packet, i)) status.add(packet);
                    return true;
                }
                return false;
            });
            if (problem.empty() && int(w.size()) < o.frames)
                problem = "the recording holds " + std::to_string(w.size()) + " usable frames, " + std::to_string(o.frames) + " asked";
        }
    } else {
        id.source = "sensor " + o.device;
        TAVRIN::IP_ADDRESS_T dev, local;
        if (!gx_address::split(o.device, dev.ip, dev.port)) {
            problem = "the sensor address " + o.device + " is not IP:PORT";
        } else if (!o.local.empty() && !gx_address::split(o.local, local.ip, local.port)) {
            problem = "the local address " + o.local + " is not IP:PORT";
        }
        device->set_connect_timeout(o.connect_timeout_ms);
        if (problem.empty() && !device->connect(dev, local)) {
            out.no_connection = true;
            problem = device->get_last_error();
        }
        if (problem.empty()) {
            id.serial = device->get_serial_number();
            id.serial_note = "the sensor did not send it with its answer to the hello";
            // The register dump: the configuration, the firmware version.
            id.configuration_note = id.firmware_note = "the sensor did not send its registers";
            const auto buffer = std::make_unique<TAVRIN::_TCP_PROTOCOL_T>(); // 64 KiB: not on the stack
            TAVRIN::_TCP_PROTOCOL_T& message = *buffer;
            if (device->tcp_register_read()) {
                const auto until = clock_type::now() + std::chrono::seconds(2);
                bool dump = false;
                while (!dump && clock_type::now() < until) {
                    if (!device->tcp_get_message(message)) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                        continue;
                    }
                    if (message.type[0] != 'R' || message.type[1] != 'S') continue;
                    message.data[message.length] = 0;
                    const std::string text = device_message::text(message);
                    if (device_message::parse_register_dump(text, id.cfg).records == 0) continue;
                    dump = true;
                    id.has_configuration = true;
                    const auto who = device_message::dump_identity(text);
                    id.firmware = who.firmware_version;
                    id.firmware_note = "the sensor's registers name no firmware version";
                    if (id.serial.empty()) id.serial = who.serial;
                }
            }
            if (o.channels > 0) {
                channels_from_option();
            } else if (id.has_configuration) {
                set.channels = offset_calibration::driver_channels(id.cfg.vcsel_type);
                set.channels_from = "the sensor's VCSEL driver, id " + std::to_string(int(id.cfg.vcsel_type));
            } else {
                set.channels_from = "not known: the sensor did not send its configuration (give the channel count)";
            }
            device->tcp_device_run();
            problem = take_frames(o, w, set, progress, [&](TAVRIN::DadodUz::scene_t& scene) {
                const bool got = device->wait_scene(scene, o.frame_timeout_ms);
                TAVRIN::DadodUz::sensing_packet_t packet;
                if (device->get_sensing_packet(packet)) status.add(packet);
                return got;
            });
            if (problem.empty() && int(w.size()) < o.frames)
                problem = "the sensor sent " + std::to_string(w.size()) + " of " + std::to_string(o.frames) + " frames, then none for " +
                          std::to_string(o.frame_timeout_ms / 1000) + " s";
            // A check short enough to end between two status records still
            // gets one.
            const auto until = clock_type::now() + std::chrono::seconds(2);
            TAVRIN::DadodUz::sensing_packet_t packet;
            while (problem.empty() && status.records == 0 && clock_type::now() < until) {
                if (device->get_sensing_packet(packet))
                    status.add(packet);
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            device->tcp_device_stop();
            device->stop();
        }
        if (out.no_connection) problem = "cannot connect: " + problem; // the reason names the address
    }
    device->disconnect();
    out.report = acceptance::evaluate(w, set, id, status, limits, program, problem);
    return out;
}

std::string summary_line(const result& r) {
    if (r.no_connection) return "COULD NOT CONNECT: " + r.report.reason;
    return acceptance::summary_line(r.report);
}

} // namespace acceptance_check
