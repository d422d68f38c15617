// The emulator's replay of a recording (docs/emulator.md): the recorded frame
// objects and status packets, one after the other, each with the pause the
// recording's time stamps put before it. Plain logic without sockets: the
// emulator sends what it hands out.
#pragma once

#include "device/DadodUz.h"
#include "device/gx_recording.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gx {

// Pauses longer than this (a sensor stopped while recording, a damaged stamp)
// are replayed as one ordinary frame period.
constexpr std::int64_t kMaxReplayGapNs = 1000000000;
constexpr std::int64_t kDefaultReplayPeriodNs = 40000000;  // 25 frames/s

// The pause before a frame stamped `stamp` (10 ns ticks) that follows one
// stamped `previous`: their difference, or `fallback_ns` when the stamps do
// not advance or are more than kMaxReplayGapNs apart.
std::int64_t replay_gap_ns(std::uint64_t previous, std::uint64_t stamp, std::int64_t fallback_ns);

class replay_source {
public:
    struct frame {
        std::vector<std::uint8_t> object;          // the frame object exactly as recorded
        TAVRIN::DadodUz::sensing_packet_t status{};
        bool has_status = false;                   // false: none had arrived when it was recorded
        std::uint64_t record = 0;
        std::uint32_t frame_number = 0;
        std::int64_t gap_ns = 0;                   // pause since the previous frame handed out
    };

    // Opens the recording and checks that at least one of its records reads.
    // False with error() a one-line reason otherwise.
    bool open(const std::string& path, bool loop);
    const std::string& error() const { return error_; }
    std::uint64_t records() const { return reader_.frames(); }
    // Damaged records found so far: by the scan that rebuilt a missing index
    // and by reading, each counted once.
    std::uint64_t damaged() const { return reader_.damaged_records() + bad_count_; }
    bool index_was_rebuilt() const { return reader_.index_was_rebuilt(); }

    // The next frame. Records that do not read (or hold no frame the data
    // channel can carry) are stepped over and appended to `skipped` the first
    // time. False at the end of the recording; with looping, only when no
    // record reads any more.
    bool next(frame& f, std::vector<std::uint64_t>* skipped = nullptr);
    // Back to the first record; its frame follows without a pause.
    void rewind();

private:
    bool read(std::uint64_t i, frame& f, std::vector<std::uint64_t>* skipped);
    recording_reader reader_;
    bool loop_ = false;
    std::string error_;
    std::uint64_t pos_ = 0;
    bool have_previous_ = false;
    bool wrapped_ = false;                 // the next frame begins a new pass
    std::uint64_t previous_stamp_ = 0;
    std::int64_t period_ns_ = kDefaultReplayPeriodNs;
    std::vector<bool> bad_;
    std::uint64_t bad_count_ = 0;
};

}  // namespace gx
