// A GX recording (*.bin) as one MCAP file, profile "ros2": the frames as
// PointCloud2 and three Images, the status records as gx_msgs/msg/Status (see
// ros_messages.h), all stamped with the frame's sensor time, and the
// configuration the frames carry (stream mode, echoes, size, lens
// coefficients) as the metadata record "gx_configuration". Frames are read
// and turned into points exactly as the device library's play mode does.
//
//   mcap_export ex;
//   ex.open("rec.bin", error);                  // false: not a recording
//   ex.begin("out.mcap", error);
//   for (auto i : chosen) ex.convert(i, error);
//   ex.finish(error);
#pragma once

#include "device/DadodUz.h"
#include "device/gx_lens.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "interop/mcap_writer.h"
#include "interop/ros_messages.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class mcap_export {
public:
    enum class frame_result {
        written,       // the frame's five messages are in the file
        unreadable,    // the record could not be read or decoded: skipped
        write_failed,  // the file could not be written (error says what became of it)
    };

    bool open(const std::string& recording, std::string& error);
    std::uint64_t records() const { return reader_.frames(); }
    bool index_was_rebuilt() const { return reader_.index_was_rebuilt(); }

    bool begin(const std::string& path, std::string& error, const mcap_writer::options& o = {});
    frame_result convert(std::uint64_t record, std::string& error);
    // Completes the file. False, with the reason, when it could not be written.
    bool finish(std::string& error);

    std::uint64_t frames_written() const { return frames_; }

private:
    gx::recording_reader reader_;
    std::vector<std::uint8_t> buffer_, message_;
    TAVRIN::DadodUz::scene_t scene_;
    TAVRIN::DadodUz::sensing_packet_t status_{};
    gx::lens_rays rays_;
    mcap_writer writer_;
    std::array<std::uint16_t, ros_messages::topic_count> channels_{};
    bool configuration_written_ = false;
    std::uint64_t frames_ = 0;
};
