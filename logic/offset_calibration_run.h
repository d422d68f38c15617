// One offset calibration run: the set number of frames, the frame counter,
// the VCSEL and SPAD accumulators and their result-ready flags. Plain code:
// the offset calibration dialog feeds it frame by frame.
#pragma once

#include "logic/offset_calibration.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class offset_calibration_run {
public:
    using mode = offset_calibration::mode;
    using configurations_t = offset_calibration::configurations_t;

    enum class outcome {
        idle,     // no run
        skipped,  // the frame gave nothing to add and did not count
        counted,  // added and counted
        finished, // added, counted, and the run is over: the result is ready
    };

    // Frames a run averages; a run of 0 frames ends after its first frame.
    void set_frames(int frames) { frames_ = frames; }
    int frames() const { return frames_; }

    // Starts a run in `m`: that accumulator is emptied, its result is no
    // longer ready, the counter restarts.
    void start(mode m);
    // Ends a run before its time: nothing becomes ready.
    void cancel();

    bool running() const { return running_; }
    mode run_mode() const { return mode_; }
    int counter() const { return counter_; }

    // One frame of the run. VCSEL: the frame's channel values (empty when the
    // chart did not run, and then the frame is skipped); their smallest is
    // subtracted before they are added. SPAD: the frame's half-row means. A
    // frame whose list is not as long as the accumulator (another channel
    // count, another frame size) is skipped. At the set number of frames the
    // sums become the mean (truncated toward zero) and the result is ready.
    outcome step(const std::vector<std::int32_t>& channel_values, const std::int32_t* depth, std::size_t size, int rows,
                 int cols);

    const std::vector<std::int32_t>& vcsel() const { return vcsel_; }
    const std::vector<std::int32_t>& spad() const { return spad_; }
    bool vcsel_ready() const { return vcsel_ready_; }
    bool spad_ready() const { return spad_ready_; }

    // Copies every ready result into the record's table and clears its flag.
    void store_ready(configurations_t& cfg);

private:
    int frames_ = 99;
    bool running_ = false;
    mode mode_ = mode::vcsel;
    int counter_ = 0;
    std::vector<std::int32_t> vcsel_;
    std::vector<std::int32_t> spad_;
    bool vcsel_ready_ = false;
    bool spad_ready_ = false;
};
