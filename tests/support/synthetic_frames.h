// Synthetic frames (scene_t) for tests and benchmarks: no device needed.
#pragma once

#include "device/DadodUz.h"

#include <cstddef>
#include <cstdint>

namespace synthetic {

using scene_t = TAVRIN::DadodUz::scene_t;
using point_t = TAVRIN::DadodUz::point_t;

// Sizes the per-pixel arrays (ambient, depth, intensity, points) to rows x cols
// and zeroes them; the second-echo arrays are emptied. timestamp[0] = 0.
void resize(scene_t& scene, std::uint32_t rows, std::uint32_t cols);

// A frame in which every pixel carries the same values; the point lies at
// `distance_mm` straight ahead (x = distance, y = z = 0).
scene_t uniform(std::uint32_t rows, std::uint32_t cols, std::uint16_t ambient, std::int32_t depth,
                std::uint16_t intensity, double distance_mm);

// Sets pixel i's point; its distance is given, not derived from x, y, z.
void set_point(scene_t& scene, std::size_t i, double distance_mm, double x_mm, double y_mm, double z_mm);

// Fills `scene` in place with a small scene seen by a sensor at the origin that
// looks along +x with z up: a ground plane 1.5 m below, a wall 25 m ahead and
// a box 8 to 10 m ahead that slides sideways with `index`. Column 0 looks
// left (+y), row 0 up (+z); the field of view is 120 x 30 degrees. Pixels
// whose ray hits nothing within 60 m have depth, distance and intensity 0.
// Storage is reused when the size does not change. timestamp[0] = index * 1e6
// ticks (100 frames/s).
void fill_scene(scene_t& scene, std::uint32_t rows = 100, std::uint32_t cols = 400, std::uint64_t index = 0);

scene_t make_scene(std::uint32_t rows = 100, std::uint32_t cols = 400, std::uint64_t index = 0);

} // namespace synthetic
