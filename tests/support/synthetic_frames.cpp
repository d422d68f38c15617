// Synthetic frames.
#include "tests/support/synthetic_frames.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace synthetic {

void resize(scene_t& scene, std::uint32_t rows, std::uint32_t cols) {
    const std::size_t n = static_cast<std::size_t>(rows) * cols;
    scene.rows = rows;
    scene.cols = cols;
    scene.timestamp.assign(1, 0);
    scene.ambient.assign(n, 0);
    scene.depth.assign(n, 0);
    scene.intensity.assign(n, 0);
    scene.points.assign(n, point_t{});
    scene.depth2.clear();
    scene.intensity2.clear();
    scene.points2.clear();
}

scene_t uniform(std::uint32_t rows, std::uint32_t cols, std::uint16_t ambient, std::int32_t depth,
                std::uint16_t intensity, double distance_mm) {
    scene_t s;
    resize(s, rows, cols);
    std::fill(s.ambient.begin(), s.ambient.end(), ambient);
    std::fill(s.depth.begin(), s.depth.end(), depth);
    std::fill(s.intensity.begin(), s.intensity.end(), intensity);
    for (std::size_t i = 0; i < s.points.size(); ++i) set_point(s, i, distance_mm, distance_mm, 0, 0);
    return s;
}

void set_point(scene_t& scene, std::size_t i, double distance_mm, double x_mm, double y_mm, double z_mm) {
    point_t& p = scene.points.at(i);
    p.distance = distance_mm;
    p.x = x_mm;
    p.y = y_mm;
    p.z = z_mm;
    p.valid = distance_mm > 0 ? 1 : 0;
}

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Distance along the unit ray d to the axis-aligned box [lo, hi], or infinity.
double hit_box(const double d[3], const double lo[3], const double hi[3]) {
    double t0 = 0.0, t1 = kInf;
    for (int a = 0; a < 3; ++a) {
        if (std::fabs(d[a]) < 1e-12) {
            if (0.0 < lo[a] || 0.0 > hi[a]) return kInf;
            continue;
        }
        double ta = lo[a] / d[a], tb = hi[a] / d[a];
        if (ta > tb) std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
        if (t0 > t1) return kInf;
    }
    return t0 > 0.0 ? t0 : kInf;
}

} // namespace

void fill_scene(scene_t& scene, std::uint32_t rows, std::uint32_t cols, std::uint64_t index) {
    const std::size_t n = static_cast<std::size_t>(rows) * cols;
    if (scene.rows != rows || scene.cols != cols || scene.points.size() != n || scene.ambient.size() != n ||
        scene.depth.size() != n || scene.intensity.size() != n)
        resize(scene, rows, cols);
    scene.timestamp.assign(1, index * 1000000ull);

    const double box_shift = 2.0 * std::sin(static_cast<double>(index) * 0.05);  // metres
    const double box_lo[3] = {8.0, -3.0 + box_shift, -1.5};
    const double box_hi[3] = {10.0, -1.0 + box_shift, 0.5};
    const double post_lo[3] = {14.0, 4.0, -1.5};
    const double post_hi[3] = {14.5, 4.5, 3.0};

    std::size_t i = 0;
    for (std::uint32_t r = 0; r < rows; ++r) {
        const double el = (rows > 1 ? 0.5 - static_cast<double>(r) / (rows - 1) : 0.0) * 30.0 * kPi / 180.0;
        for (std::uint32_t c = 0; c < cols; ++c, ++i) {
            const double az = (cols > 1 ? 0.5 - static_cast<double>(c) / (cols - 1) : 0.0) * 120.0 * kPi / 180.0;
            const double d[3] = {std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)};

            double t = kInf;
            double reflect = 0.0, light = 0.0;
            auto take = [&](double tt, double rf, double amb) {
                if (tt < t) t = tt, reflect = rf, light = amb;
            };
            if (d[0] > 1e-9) take(25.0 / d[0], 0.5, 260.0);               // wall
            if (d[2] < -1e-9) take(-1.5 / d[2], 0.25, 120.0);             // ground
            take(hit_box(d, box_lo, box_hi), 0.9, 420.0);                  // box
            take(hit_box(d, post_lo, post_hi), 0.7, 340.0);                // post

            const double texture = 40.0 * std::sin(0.35 * c) * std::cos(0.5 * r);
            if (t > 60.0) {
                scene.ambient[i] = static_cast<std::uint16_t>(60.0 + 0.2 * r);
                scene.depth[i] = 0;
                scene.intensity[i] = 0;
                scene.points[i] = point_t{};
                continue;
            }
            const double mm = t * 1000.0;
            scene.ambient[i] = static_cast<std::uint16_t>(std::max(0.0, light + texture));
            scene.depth[i] = static_cast<std::int32_t>(std::lround(mm));
            scene.intensity[i] = static_cast<std::uint16_t>(std::min(1000.0, reflect * 4000.0 / std::max(1.0, t)));
            point_t& p = scene.points[i];
            p.echo = 0;
            p.distance = mm;
            p.azimuth = az;
            p.elevation = el;
            p.x = d[0] * mm;
            p.y = d[1] * mm;
            p.z = d[2] * mm;
            p.valid = 1;
        }
    }
}

scene_t make_scene(std::uint32_t rows, std::uint32_t cols, std::uint64_t index) {
    scene_t s;
    fill_scene(s, rows, cols, index);
    return s;
}

} // namespace synthetic
