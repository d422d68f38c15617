// Per-pixel viewing rays of the GX receiver lens and the conversion of a
// frame's depth into 3D points. Sensor frame: x forward (the optical axis),
// y to the left, z up. Pixel (row r, column c) looks along the ray obtained by
// undistorting the normalised image point ((c - cx) / fx, (r - cy) / fy)
// through the rational / tangential lens model (p1, p2, k1..k6); image
// columns grow to the right (-y) and rows grow downwards (-z).
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <cstdint>
#include <vector>

namespace gx {

class lens_rays {
public:
    // Recomputes the rays only when the lens or the geometry changed.
    void update(const std::array<float, 12>& lens, std::uint32_t rows, std::uint32_t cols);
    std::uint32_t rows() const { return rows_; }
    std::uint32_t cols() const { return cols_; }
    bool valid() const { return !dir_.empty(); }

    struct ray {
        float dx, dy, dz;        // unit direction
        float azimuth, elevation; // radians
    };
    const ray& at(std::size_t i) const { return dir_[i]; }
    const std::vector<ray>& rays() const { return dir_; }

    // Fills `points` (and points2 in multi-echo frames) from depth: range =
    // depth in mm, or depth * kDepthBinMm in the bin stream modes. Pixels
    // with depth <= 0 are zero points with valid = 0.
    void make_points(TAVRIN::DadodUz::scene_t& scene, int stream_mode) const;

    // A well-behaved lens for the given frame size (used when the configured
    // one is unusable: zero or non-finite focal lengths).
    static std::array<float, 12> fallback(std::uint32_t rows, std::uint32_t cols);

private:
    std::array<float, 12> lens_{};
    std::uint32_t rows_ = 0, cols_ = 0;
    std::vector<ray> dir_;
};

}  // namespace gx
