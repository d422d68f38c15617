// The status values over time for the status monitor's chart: samples of the
// 23 measured values at a position (seconds for a live stream, the frame
// index for a recording), and the points of one value thinned for drawing.
#pragma once

#include "device/DadodUz.h"
#include "logic/status_limits.h"

#include <array>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

class status_history {
public:
    using point = std::pair<double, double>;

    void add(double x, const TAVRIN::DadodUz::sensing_packet_t& packet);
    void clear() { samples_.clear(); }
    // Drops the samples before x.
    void trim_before(double x);

    std::size_t size() const { return samples_.size(); }
    bool empty() const { return samples_.empty(); }
    double first_x() const { return samples_.front().x; }
    double last_x() const { return samples_.back().x; }

    // The samples of value i (status_limits order) with x0 <= x <= x1, shifted
    // by -origin. More than max_points samples are thinned bucket by bucket to
    // each bucket's lowest and highest value (in their order), so a spike
    // survives. Non-finite values are left out.
    std::vector<point> series(std::size_t i, double x0, double x1, std::size_t max_points, double origin = 0.0) const;

    // The recording frames to load around `frame` of `frames`: `width` frames
    // centred on it, moved inside the recording. [first, last) .
    static std::pair<std::uint64_t, std::uint64_t> window_around(std::uint64_t frame, std::uint64_t frames,
                                                                  std::uint64_t width);
    // Whether a loaded window [first, last) still holds `frame` away from its
    // ends (more than an eighth of the window from either, unless that end is
    // the recording's).
    static bool holds(std::uint64_t first, std::uint64_t last, std::uint64_t frame, std::uint64_t frames);

private:
    struct sample {
        double x;
        std::array<float, status_limits::kBands> v;
    };
    std::deque<sample> samples_;
};
