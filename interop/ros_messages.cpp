// ROS 2 messages of a GX frame in CDR.
#include "interop/ros_messages.h"

#include "device/gx_status_fields.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace ros_messages {
namespace {

const std::string separator = "\n" + std::string(80, '=') + "\n";

const std::string header_dependencies = separator + "MSG: std_msgs/Header\n"
                                                    "builtin_interfaces/Time stamp\n"
                                                    "string frame_id\n" +
                                        separator + "MSG: builtin_interfaces/Time\n"
                                                    "int32 sec\n"
                                                    "uint32 nanosec\n";

const std::string point_cloud_schema = "std_msgs/Header header\n"
                                       "uint32 height\n"
                                       "uint32 width\n"
                                       "PointField[] fields\n"
                                       "bool    is_bigendian\n"
                                       "uint32  point_step\n"
                                       "uint32  row_step\n"
                                       "uint8[] data\n"
                                       "bool is_dense" +
                                       separator + "MSG: sensor_msgs/PointField\n"
                                                   "uint8 INT8    = 1\n"
                                                   "uint8 UINT8   = 2\n"
                                                   "uint8 INT16   = 3\n"
                                                   "uint8 UINT16  = 4\n"
                                                   "uint8 INT32   = 5\n"
                                                   "uint8 UINT32  = 6\n"
                                                   "uint8 FLOAT32 = 7\n"
                                                   "uint8 FLOAT64 = 8\n"
                                                   "string name\n"
                                                   "uint32 offset\n"
                                                   "uint8  datatype\n"
                                                   "uint32 count" +
                                       header_dependencies;

const std::string image_schema = "std_msgs/Header header\n"
                                 "uint32 height\n"
                                 "uint32 width\n"
                                 "string encoding\n"
                                 "uint8 is_bigendian\n"
                                 "uint32 step\n"
                                 "uint8[] data" +
                                 header_dependencies;

std::string make_status_schema() {
    std::string s = "# The GX sensor's on-board monitor: scan count, then voltages (V) and temperatures (degC)\n"
                    "std_msgs/Header header\n"
                    "uint32 " + std::string(gx::kStatusScanCountName) + "\n";
    for (const auto& field : gx::kStatusValues) s += std::string("float32 ") + field.name + "\n";
    s.pop_back();
    return s + header_dependencies;
}
const std::string status_schema = make_status_schema();

const topic_info infos[topic_count] = {
    {"/gx/points", "sensor_msgs/msg/PointCloud2", point_cloud_schema},
    {"/gx/ambient", "sensor_msgs/msg/Image", image_schema},
    {"/gx/depth", "sensor_msgs/msg/Image", image_schema},
    {"/gx/intensity", "sensor_msgs/msg/Image", image_schema},
    {"/gx/status", "gx_msgs/msg/Status", status_schema},
};

// Plain CDR, little-endian: alignment counted from the byte after the
// four-byte encapsulation header.
class cdr_writer {
public:
    explicit cdr_writer(std::vector<std::uint8_t>& out, std::size_t expected) : out_(out) {
        out_.clear();
        out_.reserve(expected);
        const std::uint8_t encapsulation[4] = {0x00, 0x01, 0x00, 0x00};
        raw(encapsulation, 4);
    }
    void align(std::size_t n) {
        const std::size_t rel = out_.size() - 4;
        if (rel % n) out_.resize(out_.size() + (n - rel % n), 0);
    }
    void raw(const void* p, std::size_t n) {
        const std::size_t at = out_.size();
        out_.resize(at + n);
        if (n) std::memcpy(out_.data() + at, p, n);
    }
    void u8(std::uint8_t v) { out_.push_back(v); }
    void u32(std::uint32_t v) {
        align(4);
        const std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
        raw(b, 4);
    }
    void i32(std::int32_t v) { u32(std::uint32_t(v)); }
    void f32(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    void string(const char* s) {
        const std::size_t n = std::strlen(s);
        u32(std::uint32_t(n + 1));
        raw(s, n);
        u8(0);
    }
    void header(std::uint64_t stamp_ns) {
        const std::uint64_t sec = stamp_ns / 1000000000u;
        i32(std::int32_t(std::min<std::uint64_t>(sec, std::uint64_t(std::numeric_limits<std::int32_t>::max()))));
        u32(std::uint32_t(stamp_ns % 1000000000u));
        string(frame_id);
    }
    // Room for n raw bytes at the end, returned for the caller to fill.
    std::uint8_t* grow(std::size_t n) {
        const std::size_t at = out_.size();
        out_.resize(at + n);
        return out_.data() + at;
    }

private:
    std::vector<std::uint8_t>& out_;
};

void store(std::uint8_t* p, float v) { std::memcpy(p, &v, 4); }

}  // namespace

const topic_info& info(topic t) { return infos[std::size_t(t)]; }

std::uint64_t frame_time_ns(const scene_t& scene) { return scene.timestamp.empty() ? 0 : nanoseconds(scene.timestamp[0]); }


void point_cloud(const scene_t& scene, std::uint64_t stamp_ns, std::vector<std::uint8_t>& out) {
    constexpr std::uint32_t step = 20;
    const char* const names[5] = {"x", "y", "z", "intensity", "ambient"};
    const std::size_t n = std::size_t(scene.rows) * scene.cols;
    cdr_writer w(out, 200 + n * step);
    w.header(stamp_ns);
    w.u32(scene.rows);
    w.u32(scene.cols);
    w.u32(5);
    for (std::uint32_t k = 0; k < 5; ++k) {
        w.string(names[k]);
        w.u32(4 * k);
        w.u8(7);  // FLOAT32
        w.u32(1);
    }
    w.u8(0);  // is_bigendian
    w.u32(step);
    w.u32(step * scene.cols);
    w.u32(std::uint32_t(n * step));
    std::uint8_t* p = w.grow(n * step);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::size_t have = std::min(n, scene.points.size());
    for (std::size_t i = 0; i < n; ++i, p += step) {
        float x = nan, y = nan, z = nan;
        if (i < have && scene.points[i].valid > 0) {
            const auto& q = scene.points[i];
            const float fx = float(q.x / 1000.0), fy = float(q.y / 1000.0), fz = float(q.z / 1000.0);
            if (std::isfinite(fx) && std::isfinite(fy) && std::isfinite(fz)) x = fx, y = fy, z = fz;
        }
        store(p, x);
        store(p + 4, y);
        store(p + 8, z);
        store(p + 12, i < scene.intensity.size() ? float(scene.intensity[i]) : 0.0f);
        store(p + 16, i < scene.ambient.size() ? float(scene.ambient[i]) : 0.0f);
    }
    w.u8(0);  // is_dense: pixels without a return are NaN
}

void image(const scene_t& scene, topic which, std::uint64_t stamp_ns, std::vector<std::uint8_t>& out) {
    const std::size_t n = std::size_t(scene.rows) * scene.cols;
    const bool depth = which == topic::depth;
    const std::uint32_t bytes = depth ? 4 : 2;
    cdr_writer w(out, 80 + n * bytes);
    w.header(stamp_ns);
    w.u32(scene.rows);
    w.u32(scene.cols);
    w.string(depth ? "32FC1" : "mono16");
    w.u8(0);  // is_bigendian
    w.u32(bytes * scene.cols);
    w.u32(std::uint32_t(n * bytes));
    std::uint8_t* p = w.grow(n * bytes);
    if (depth) {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const std::size_t have = std::min(n, scene.points.size());
        for (std::size_t i = 0; i < n; ++i, p += 4) {
            float d = nan;
            if (i < have && scene.points[i].valid > 0) {
                const float m = float(scene.points[i].distance / 1000.0);
                if (std::isfinite(m)) d = m;
            }
            store(p, d);
        }
        return;
    }
    const std::vector<std::uint16_t>& pixels = which == topic::ambient ? scene.ambient : scene.intensity;
    const std::size_t have = std::min(n, pixels.size());
    for (std::size_t i = 0; i < have; ++i) {
        p[2 * i] = std::uint8_t(pixels[i]);
        p[2 * i + 1] = std::uint8_t(pixels[i] >> 8);
    }
    std::memset(p + 2 * have, 0, 2 * (n - have));
}

void status(const status_t& s, std::uint64_t stamp_ns, std::vector<std::uint8_t>& out) {
    cdr_writer w(out, 128);
    w.header(stamp_ns);
    w.u32(s.xadc_scan_count);
    for (const auto& field : gx::kStatusValues) w.f32(s.*field.member);
}

void serialize(topic t, const scene_t& scene, const status_t& s, std::uint64_t stamp_ns, std::vector<std::uint8_t>& out) {
    switch (t) {
    case topic::points: point_cloud(scene, stamp_ns, out); break;
    case topic::status: status(s, stamp_ns, out); break;
    default: image(scene, t, stamp_ns, out); break;
    }
}

}  // namespace ros_messages
