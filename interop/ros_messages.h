// The GX frame and status record as ROS 2 messages in CDR (little-endian,
// plain CDR as ROS 2 writes it), with the schema texts that describe them.
// The MCAP export and the live WebSocket bridge both send exactly these bytes.
//
// Topics (frame id "gx", stamp = the frame's sensor time in nanoseconds):
//   /gx/points     sensor_msgs/msg/PointCloud2, organised rows x cols, fields
//                  x y z intensity ambient (float32; metres for x y z, NaN
//                  for a pixel without a return), is_dense false
//   /gx/ambient    sensor_msgs/msg/Image "mono16"
//   /gx/depth      sensor_msgs/msg/Image "32FC1", range in metres, NaN
//                  without a return
//   /gx/intensity  sensor_msgs/msg/Image "mono16"
//   /gx/status     gx_msgs/msg/Status: the status record's scan count and its
//                  23 values by name
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ros_messages {

using scene_t = TAVRIN::DadodUz::scene_t;
using status_t = TAVRIN::DadodUz::sensing_packet_t;

enum class topic { points, ambient, depth, intensity, status };
constexpr std::size_t topic_count = 5;
constexpr std::array<topic, topic_count> all_topics = {topic::points, topic::ambient, topic::depth, topic::intensity,
                                                       topic::status};

struct topic_info {
    const char* name;         // "/gx/points"
    const char* schema_name;  // "sensor_msgs/msg/PointCloud2"
    const std::string& schema;  // ros2msg text
};
const topic_info& info(topic t);

constexpr const char* frame_id = "gx";
constexpr const char* message_encoding = "cdr";
constexpr const char* schema_encoding = "ros2msg";

// The frame's time: sensor ticks of 10 ns as nanoseconds.
constexpr std::uint64_t nanoseconds(std::uint64_t ticks) { return ticks * 10; }
std::uint64_t frame_time_ns(const scene_t& scene);


// Serialises one topic's message for a frame (and the status record that came
// with it) into `out`, which is resized (its capacity is reused). A frame
// whose arrays are shorter than rows x cols is padded with pixels without a
// return.
void serialize(topic t, const scene_t& scene, const status_t& status, std::uint64_t stamp_ns,
               std::vector<std::uint8_t>& out);

void point_cloud(const scene_t& scene, std::uint64_t stamp_ns, std::vector<std::uint8_t>& out);
void image(const scene_t& scene, topic which, std::uint64_t stamp_ns, std::vector<std::uint8_t>& out);
void status(const status_t& status, std::uint64_t stamp_ns, std::vector<std::uint8_t>& out);

}  // namespace ros_messages
