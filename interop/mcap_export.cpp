// Recordings to MCAP.
#include "interop/mcap_export.h"

#include "device/gx_protocol.h"

#include <charconv>
#include <map>

namespace {

std::string number(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The channel metadata rosbag2 writes (offered_qos_profiles).
const mcap_writer::string_map& channel_metadata() {
    static const mcap_writer::string_map m = {
        {"offered_qos_profiles",
         "- history: keep_last\n  depth: 10\n  reliability: reliable\n  durability: volatile\n  deadline:\n    sec: 0\n"
         "    nsec: 0\n  lifespan:\n    sec: 0\n    nsec: 0\n  liveliness: automatic\n  liveliness_lease_duration:\n"
         "    sec: 0\n    nsec: 0\n  avoid_ros_namespace_conventions: false"}};
    return m;
}

// The metadata record of a frame's configuration: its named fields.
mcap_writer::string_map configuration(const gx::frame_info& info) {
    std::string lens;
    for (float v : info.lens) lens += (lens.empty() ? "" : " ") + number(v);
    return {{"stream_mode", std::to_string(info.stream_mode)},
            {"echoes", std::to_string(info.echoes)},
            {"rows", std::to_string(info.rows)},
            {"cols", std::to_string(info.cols)},
            {"lens_coe", lens}};
}

}  // namespace

bool mcap_export::open(const std::string& path, std::string& error) {
    if (reader_.open(path)) return true;
    error = reader_.error();  // names the file and what is wrong with it
    return false;
}

bool mcap_export::begin(const std::string& path, std::string& error, const mcap_writer::options& o) {
    if (!writer_.open(path, o)) {
        error = writer_.error();
        return false;
    }
    std::map<std::string, std::uint16_t> schemas;  // the images share one
    for (ros_messages::topic t : ros_messages::all_topics) {
        const ros_messages::topic_info& ti = ros_messages::info(t);
        std::uint16_t& schema = schemas[ti.schema_name];
        if (schema == 0) schema = writer_.add_schema(ti.schema_name, ros_messages::schema_encoding, ti.schema);
        channels_[std::size_t(t)] = writer_.add_channel(schema, ti.name, ros_messages::message_encoding, channel_metadata());
    }
    configuration_written_ = false;
    frames_ = 0;
    return true;
}

mcap_export::frame_result mcap_export::convert(std::uint64_t i, std::string& error) {
    gx::frame_info info;
    if (!reader_.read(i, buffer_, &status_) || !gx::decode_frame(buffer_.data(), buffer_.size(), info, scene_))
        return frame_result::unreadable;
    rays_.update(info.lens, scene_.rows, scene_.cols);
    rays_.make_points(scene_, info.stream_mode);
    if (!configuration_written_) {
        if (!writer_.add_metadata("gx_configuration", configuration(info))) {
            error = writer_.error();
            return frame_result::write_failed;
        }
        configuration_written_ = true;
    }
    const std::uint64_t t = ros_messages::frame_time_ns(scene_);
    for (ros_messages::topic topic : ros_messages::all_topics) {
        ros_messages::serialize(topic, scene_, status_, t, message_);
        if (!writer_.write(channels_[std::size_t(topic)], t, t, message_.data(), message_.size())) {
            error = writer_.error();
            return frame_result::write_failed;
        }
    }
    ++frames_;
    return frame_result::written;
}

bool mcap_export::finish(std::string& error) {
    if (writer_.close()) return true;
    error = writer_.error();
    return false;
}
