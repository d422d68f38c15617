// The measured cloud of the lens calibration tool: every pixel's point in
// metres, white, optionally averaged over the last N frames with running
// sums. Plain code: the dialog and the tests call it directly.
#pragma once

#include "device/DadodUz.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <vector>

class lens_cloud {
public:
    using scene_t = TAVRIN::DadodUz::scene_t;
    using cloud_t = pcl::PointCloud<pcl::PointXYZRGB>;

    // Averaging on or off; switching it off empties the averaging list.
    void set_average(bool on);
    bool average() const { return average_; }

    // Frames averaged (at least 1); empties the averaging list. The running
    // sums restart with the next frame.
    void set_frames(std::size_t n);
    std::size_t frames() const { return frames_; }

    // Frames in the averaging list.
    std::size_t listed() const { return list_.size(); }

    // Refills `cloud` from the frame: it becomes rows x cols points,
    // organised. A frame without depth values leaves the points as they
    // were and returns false. Otherwise point i is frame point i in metres
    // (x, y, z divided by 1000 in double precision), colour white; with
    // averaging it is the mean of pixel i over the frames in the list, this
    // one included, that saw a return there: a pixel without a return sits
    // at the origin and is left out of its mean (a pixel that saw nothing in
    // any of them stays at the origin). With averaging, a frame of another
    // size than those in the list empties the list first, and the oldest
    // frame leaves once N are listed. A coordinate that is not finite counts
    // as 0. A frame larger than cloud_builder::max_pixels is refused (false,
    // cloud unchanged).
    bool update(const scene_t& scene, cloud_t& cloud);

private:
    struct frame {
        std::vector<float> x, y, z;
    };
    void take(const scene_t& scene, std::size_t n, frame& f) const;
    static bool has_return(const frame& f, std::size_t i);

    bool average_ = false;
    std::size_t frames_ = 1;
    std::deque<frame> list_;
    frame sums_;
    std::vector<std::uint32_t> returns_; // per pixel: frames of the list with a return there
    frame spare_; // the storage of the last frame dropped, reused
};
