#include "device/gx_synthetic_scene.h"

#include "device/gx_protocol.h"

#include <algorithm>
#include <cmath>

namespace gx {

namespace {
constexpr float kSensorHeight = 1.5f;  // floor at z = -1.5 m
constexpr float kSideWall = 5.0f;      // walls at y = +-5 m, 4.5 m tall
constexpr float kSideTop = 3.0f;
constexpr float kBackWall = 35.0f;     // back wall at x = 35 m, 3 m tall
constexpr float kBackTop = 1.5f;
// The retro-reflective sign: a 0.4 m square facing the sensor.
constexpr float kSignX = 18.0f, kSignY = 1.5f, kSignZ = 0.2f, kSignHalf = 0.2f;
constexpr float kSignRefl = 60.0f;
constexpr int kFlareRadius = 4;
// Ambient counts per unit of scene brightness: lit surfaces stay below 500
// counts, only the sky saturates.
constexpr float kAmbientGain = 0.6f;

float intensity_of(float refl, float cosine, float range) {
    return refl * cosine * 40000.0f / (range * range + 25.0f);
}

bool ray_box(const lens_rays::ray& r, const float lo[3], const float hi[3], float& t, int& axis) {
    const float d[3] = {r.dx, r.dy, r.dz};
    float tmin = 0.0f, tmax = 1e9f;
    axis = 0;
    for (int a = 0; a < 3; ++a) {
        if (std::fabs(d[a]) < 1e-9f) {
            if (0.0f < lo[a] || 0.0f > hi[a]) return false;
            continue;
        }
        float t0 = lo[a] / d[a], t1 = hi[a] / d[a];
        if (t0 > t1) std::swap(t0, t1);
        if (t0 > tmin) {
            tmin = t0;
            axis = a;
        }
        tmax = std::min(tmax, t1);
        if (tmin > tmax) return false;
    }
    t = tmin;
    return tmin > 0.0f;
}
}  // namespace

std::uint32_t synthetic_scene::next() {
    rng_ ^= rng_ << 13;
    rng_ ^= rng_ >> 7;
    rng_ ^= rng_ << 17;
    return std::uint32_t(rng_ >> 16);
}

synthetic_scene::hit synthetic_scene::cast_static(const lens_rays::ray& r) const {
    hit best;
    float tbest = 1e9f;
    // Floor, with 1 m tiles of two grey levels.
    if (r.dz < -1e-4f) {
        const float t = -kSensorHeight / r.dz;
        const float x = t * r.dx, y = t * r.dy;
        if (x < kBackWall && std::fabs(y) < kSideWall && t < tbest) {
            tbest = t;
            const bool tile = (int(std::floor(x)) + int(std::floor(y))) & 1;
            best.refl = tile ? 0.22f : 0.32f;
            best.cosine = -r.dz;
            best.ambient = 260.0f * best.refl / 0.3f;
        }
    }
    // Side walls, brick courses 0.3 m high.
    if (std::fabs(r.dy) > 1e-4f) {
        const float wy = r.dy > 0 ? kSideWall : -kSideWall;
        const float t = wy / r.dy;
        const float x = t * r.dx, z = t * r.dz;
        if (t > 0 && x < kBackWall && z > -kSensorHeight && z < kSideTop && t < tbest) {
            tbest = t;
            const bool course = int(std::floor((z + kSensorHeight) / 0.3f)) & 1;
            best.refl = course ? 0.45f : 0.55f;
            best.cosine = std::fabs(r.dy);
            best.ambient = r.dy > 0 ? 380.0f : 180.0f;  // sunlit left wall, shaded right wall
        }
    }
    // Back wall.
    if (r.dx > 1e-4f) {
        const float t = kBackWall / r.dx;
        const float y = t * r.dy, z = t * r.dz;
        if (std::fabs(y) < kSideWall && z > -kSensorHeight && z < kBackTop && t < tbest) {
            tbest = t;
            best.refl = 0.6f;
            best.cosine = r.dx;
            best.ambient = 320.0f;
        }
        // The sign and its post.
        const float ts = kSignX / r.dx;
        const float sy = ts * r.dy, sz = ts * r.dz;
        if (std::fabs(sy - kSignY) < kSignHalf && std::fabs(sz - kSignZ) < kSignHalf && ts < tbest) {
            tbest = ts;
            best.refl = kSignRefl;
            best.cosine = r.dx;
            best.ambient = 500.0f;
        } else if (std::fabs(sy - kSignY) < 0.04f && sz < kSignZ - kSignHalf && sz > -kSensorHeight && ts < tbest) {
            tbest = ts;
            best.refl = 0.4f;
            best.cosine = r.dx;
            best.ambient = 200.0f;
        }
    }
    if (tbest < 1e8f) best.range = tbest;
    else best.ambient = 900.0f;  // sky: bright, no return
    return best;
}

synthetic_scene::synthetic_scene(std::uint32_t rows, std::uint32_t cols) : rows_(rows), cols_(cols) {
    const register_set def = default_registers();
    std::array<float, 12> lens;
    std::copy(def.config.lens_coe, def.config.lens_coe + 12, lens.begin());
    if (rows != kDefaultRows || cols != kDefaultCols) {
        lens[2] = lens[2] * float(cols) / float(kDefaultCols);
        lens[3] = lens[3] * float(rows) / float(kDefaultRows);
    }
    rays_.update(lens, rows, cols);
    const std::size_t n = std::size_t(rows) * cols;
    static_.resize(n);
    for (std::size_t i = 0; i < n; ++i) static_[i] = cast_static(rays_.at(i));
    // Flare: pixels near the sign that see something farther away receive a
    // weak return at the sign's range.
    flare_range_.assign(n, 0.0f);
    flare_gain_.assign(n, 0.0f);
    for (std::uint32_t r = 0; r < rows; ++r)
        for (std::uint32_t c = 0; c < cols; ++c) {
            const hit& h = static_[std::size_t(r) * cols + c];
            if (h.refl < 10.0f) continue;
            for (int dr = -kFlareRadius; dr <= kFlareRadius; ++dr)
                for (int dc = -kFlareRadius; dc <= kFlareRadius; ++dc) {
                    const int rr = int(r) + dr, cc = int(c) + dc;
                    if (rr < 0 || cc < 0 || rr >= int(rows) || cc >= int(cols)) continue;
                    const std::size_t j = std::size_t(rr) * cols + std::size_t(cc);
                    if (static_[j].refl >= 10.0f) continue;
                    const float dist = std::sqrt(float(dr * dr + dc * dc));
                    if (dist > kFlareRadius) continue;
                    const float gain = 1.0f / (1.0f + dist);
                    if (gain > flare_gain_[j]) {
                        flare_gain_[j] = gain;
                        flare_range_[j] = h.range;
                    }
                }
        }
    last_range_.assign(n, 0.0f);
    last_intensity_.assign(n, 0.0f);
    last_ambient_.assign(n, 0.0f);
}

void synthetic_scene::render(double t, int stream_mode, std::vector<std::uint16_t>& ambient, std::vector<std::int32_t>& depth,
                             std::vector<std::uint16_t>& intensity, std::vector<std::int32_t>& depth2,
                             std::vector<std::uint16_t>& intensity2) {
    const std::size_t n = std::size_t(rows_) * cols_;
    ambient.resize(n);
    depth.resize(n);
    intensity.resize(n);
    const bool multi = stream_mode_is_multi_echo(stream_mode);
    const bool bins = stream_mode_is_bins(stream_mode);
    if (multi) {
        depth2.assign(n, 0);
        intensity2.assign(n, 0);
    } else {
        depth2.clear();
        intensity2.clear();
    }
    // Moving objects: a ball crossing left-right and a crate coming and going.
    const float ball_x = 11.0f, ball_y = float(3.2 * std::sin(0.45 * t)), ball_z = -0.75f, ball_r = 0.75f;
    const float crate_x = float(14.0 + 6.0 * std::sin(0.3 * t + 1.0));
    const float crate_lo[3] = {crate_x - 0.5f, -2.8f, -kSensorHeight};
    const float crate_hi[3] = {crate_x + 0.5f, -1.8f, -kSensorHeight + 1.4f};
    const float sun = float(1.0 + 0.05 * std::sin(0.1 * t));
    const auto to_depth = [bins](float range_m) -> std::int32_t {
        const float mm = range_m * 1000.0f;
        return bins ? std::int32_t(std::lround(mm / float(kDepthBinMm))) : std::int32_t(std::lround(mm));
    };
    for (std::uint32_t r = 0; r < rows_; ++r) {
        for (std::uint32_t c = 0; c < cols_; ++c) {
            const std::size_t i = std::size_t(r) * cols_ + c;
            const lens_rays::ray& ry = rays_.at(i);
            hit h = static_[i];
            float background = h.range;
            bool object = false, edge = false;
            // Ball.
            {
                const float ox = ball_x, oy = ball_y, oz = ball_z;
                const float b = ry.dx * ox + ry.dy * oy + ry.dz * oz;
                const float cc = ox * ox + oy * oy + oz * oz - ball_r * ball_r;
                const float disc = b * b - cc;
                if (disc > 0) {
                    const float tt = b - std::sqrt(disc);
                    if (tt > 0 && (h.range == 0 || tt < h.range)) {
                        const float nx = (tt * ry.dx - ox) / ball_r, ny = (tt * ry.dy - oy) / ball_r, nz = (tt * ry.dz - oz) / ball_r;
                        h.range = tt;
                        h.refl = 0.7f;
                        h.cosine = std::max(0.05f, -(nx * ry.dx + ny * ry.dy + nz * ry.dz));
                        h.ambient = 300.0f + 250.0f * std::max(0.0f, nz);
                        object = true;
                        edge = h.cosine < 0.35f;
                    }
                }
            }
            // Crate.
            {
                float tt;
                int axis;
                if (ray_box(ry, crate_lo, crate_hi, tt, axis) && (h.range == 0 || tt < h.range)) {
                    h.range = tt;
                    h.refl = 0.35f;
                    const float d[3] = {ry.dx, ry.dy, ry.dz};
                    h.cosine = std::max(0.05f, std::fabs(d[axis]));
                    h.ambient = axis == 2 ? 420.0f : 230.0f;
                    object = true;
                    const float yz[2] = {tt * ry.dy, tt * ry.dz};
                    edge = std::fabs(yz[0] - crate_lo[1]) < 0.05f || std::fabs(yz[0] - crate_hi[1]) < 0.05f;
                }
            }
            float amb = h.ambient * sun * kAmbientGain;
            float inten = 0;
            float range = h.range;
            if (range > 0) {
                inten = intensity_of(h.refl, h.cosine, range);
                inten *= 1.0f + 0.05f * noise();
                range += (0.015f + 0.001f * range) * 2.0f * noise();
                // Odd columns read a little long (the receiver's zig-zag).
                if (c & 1) range += 0.02f;
                if (inten < 3.0f || uniform() < 0.004f) range = 0;  // too weak, or a random dropout
            }
            if (!object && flare_gain_[i] > 0 && (range == 0 || range > flare_range_[i] + 1.0f)) {
                range = flare_range_[i] + 0.03f * noise();
                inten = 330.0f * flare_gain_[i] * (1.0f + 0.05f * noise());
            }
            if (c == kDeadColumn) {
                range = 0;
                inten = 0;
            }
            amb += std::sqrt(std::max(amb, 1.0f)) * noise();
            amb += float(kDarkLevel + column_pattern(c));
            ambient[i] = std::uint16_t(std::clamp(amb, 0.0f, 4095.0f));
            intensity[i] = std::uint16_t(range > 0 ? std::clamp(inten, 1.0f, 4095.0f) : 0.0f);
            depth[i] = range > 0 ? to_depth(range) : 0;
            if (multi && object && edge && background > 0) {
                depth2[i] = to_depth(background);
                intensity2[i] = std::uint16_t(std::clamp(intensity_of(static_[i].refl, static_[i].cosine, background) * 0.4f, 1.0f, 4095.0f));
            }
            last_range_[i] = range;
            last_intensity_[i] = float(intensity[i]);
            last_ambient_[i] = float(ambient[i]);
        }
    }
}

void synthetic_scene::histogram(std::uint32_t row, std::uint32_t col, std::vector<std::uint16_t>& bins, std::uint32_t bin_count) {
    bins.assign(bin_count, 0);
    if (row >= rows_ || col >= cols_) return;
    const std::size_t i = std::size_t(row) * cols_ + col;
    const float floor_level = 4.0f + last_ambient_[i] / 40.0f;
    const float peak_bin = last_range_[i] * 1000.0f / float(kDepthBinMm);
    const float amp = last_range_[i] > 0 ? 30.0f + last_intensity_[i] * 0.5f : 0.0f;
    for (std::uint32_t b = 0; b < bin_count; ++b) {
        float v = floor_level + std::sqrt(floor_level) * 2.0f * noise();
        if (amp > 0) {
            const float d = (float(b) - peak_bin) / 1.6f;
            if (std::fabs(d) < 8) v += amp * std::exp(-0.5f * d * d);
        }
        bins[b] = std::uint16_t(std::clamp(v, 0.0f, 65535.0f));
    }
}

}  // namespace gx
