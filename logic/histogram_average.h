// Running average of the last histograms of the histogram viewer: a window of
// up to N + 1 bin vectors in arrival order and one 64-bit sum per bin, so an
// update costs one subtraction and one addition per bin whatever N is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class histogram_average {
public:
    explicit histogram_average(std::size_t frames = 100) : frames_(frames) {}

    // N, the number of average frames. Setting it discards the window.
    void set_frames(std::size_t frames);
    std::size_t frames() const { return frames_; }

    // Takes the first `length` values of `bins`. A length other than that of
    // the retained vectors restarts the window with this vector alone.
    void add(const std::uint16_t* bins, std::size_t length);
    void clear();

    std::size_t retained() const { return kept_.size(); }
    // Bins per retained vector; 0 while the window is empty.
    std::size_t length() const { return sum_.size(); }
    // The most recently retained vector (empty while the window is empty).
    const std::vector<std::uint16_t>& latest() const;
    const std::vector<std::uint64_t>& sum() const { return sum_; }

    // sum[i] / retained, both as single precision (empty window: empty out).
    void average(std::vector<float>& out) const;
    // sum[i] / retained in integers, kept as 16 bits.
    void integer_average(std::vector<std::uint16_t>& out) const;

private:
    std::size_t frames_;
    std::deque<std::vector<std::uint16_t>> kept_;
    std::vector<std::uint64_t> sum_;
    std::vector<std::uint16_t> spare_; // a dropped vector's storage, reused for the next one
};
