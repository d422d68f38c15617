#include "emulator/gx_synthetic_scene.h"

#include "device/c_numbers.h"
#include "device/gx_protocol.h"
#include "emulator/gx_factory_registers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

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
// The calibration target: a matt grey sphere section around the sensor.
constexpr float kTargetRefl = 0.5f;
constexpr float kTargetAmbient = 250.0f;
// Returns weaker than this are not detected.
constexpr float kMinIntensity = 3.0f;
// False returns fall at random ranges in this interval (metres).
constexpr float kFalseNear = 0.5f, kFalseFar = 40.0f;

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
    if (opt_.kind == scene_kind::target) {
        best.range = std::max(0.05f, opt_.target_range);
        best.refl = kTargetRefl;
        best.cosine = 1.0f;
        best.ambient = kTargetAmbient;
        return best;
    }
    if (opt_.kind == scene_kind::wall) {
        // The plane x = distance, of the target's grey: the ray meets it at
        // distance / dx, at an angle whose cosine is dx.
        if (r.dx > 1e-4f) {
            best.range = std::max(0.05f, opt_.target_range) / r.dx;
            best.refl = kTargetRefl;
            best.cosine = r.dx;
        }
        best.ambient = kTargetAmbient;
        return best;
    }
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

synthetic_scene::synthetic_scene(std::uint32_t rows, std::uint32_t cols) : synthetic_scene(scene_options{}, rows, cols) {}

synthetic_scene::synthetic_scene(const scene_options& options, std::uint32_t rows, std::uint32_t cols)
    : opt_(options), imp_(sensor_model::make_imperfections(options.seed)), rows_(rows), cols_(cols) {
    factory_ = default_registers().config;
    sensor_model::factory_calibrate(imp_, factory_);
    std::array<float, 12> lens = imp_.true_lens;
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
    set_fir(factory_);
}

void synthetic_scene::set_fir(const TAVRIN::DadodUz::configurations_t& cfg) {
    fir_sum_ = 0;
    for (int i = 0; i < 16; ++i) fir_sum_ += fir_[std::size_t(i)] = sensor_model::fir_tap(cfg, i);
    fir_offset_ = cfg.fir_offset & 15;
}

void synthetic_scene::render(double t, int stream_mode, std::vector<std::uint16_t>& ambient, std::vector<std::int32_t>& depth,
                             std::vector<std::uint16_t>& intensity, std::vector<std::int32_t>& depth2,
                             std::vector<std::uint16_t>& intensity2) {
    TAVRIN::DadodUz::configurations_t cfg = factory_;
    cfg.stream_mode = std::uint8_t(std::clamp(stream_mode, 0, 4));
    render(t, cfg, ambient, depth, intensity, depth2, intensity2);
}

void synthetic_scene::render(double t, const TAVRIN::DadodUz::configurations_t& cfg, std::vector<std::uint16_t>& ambient,
                             std::vector<std::int32_t>& depth, std::vector<std::uint16_t>& intensity,
                             std::vector<std::int32_t>& depth2, std::vector<std::uint16_t>& intensity2) {
    namespace sm = sensor_model;
    const std::size_t n = std::size_t(rows_) * cols_;
    ambient.resize(n);
    depth.resize(n);
    intensity.resize(n);
    const int stream_mode = cfg.stream_mode <= 3 ? cfg.stream_mode : 0;
    const bool multi = stream_mode_is_multi_echo(stream_mode);
    const bool bins = stream_mode_is_bins(stream_mode);
    if (multi) {
        depth2.assign(n, 0);
        intensity2.assign(n, 0);
    } else {
        depth2.clear();
        intensity2.clear();
    }
    clean_mm_.assign(n, 0.0f);
    clean_int_.assign(n, 0.0f);
    amb_bg_.assign(n, 0.0f);
    object_.assign(n, 0);
    edge_.assign(n, 0);

    // ---- the settings, once per frame
    const int channels = sm::vcsel_channel_count(cfg.vcsel_type);
    const int alone = cfg.vcsel_manual_cs >= 1 && cfg.vcsel_manual_cs <= channels ? cfg.vcsel_manual_cs - 1 : -1;
    std::vector<float>& col_mm = col_mm_;
    std::vector<unsigned char>& col_lit = col_lit_;
    col_mm.resize(cols_);
    col_lit.resize(cols_);
    for (std::uint32_t c = 0; c < cols_; ++c) {
        const int k = sm::vcsel_channel_of(int(c), int(cols_), channels);
        const int table = int(std::int16_t(cfg.vcsel_offset[k]));
        col_mm[c] = float(sm::kStepMm * double(imp_.vcsel_error_steps[std::size_t(k)] - table));
        col_lit[c] = alone < 0 || k == alone;
        if (c & 1) col_mm[c] += 20.0f;  // odd columns read a little long (the receiver's zig-zag)
    }
    float corr[sm::kHalfRows];
    sm::spad_corrections_mm(cfg.spad_offset, corr);
    const float global_mm = float(sm::kStepMm * double(int(imp_.true_global_offset) - int(cfg.global_offset)));
    const auto shift_mm = [&](std::uint32_t r, std::uint32_t c) {
        const std::size_t h = std::size_t(std::min<std::uint32_t>(r, 99)) + (c >= cols_ / 2 ? 100 : 0);
        return col_mm[c] + imp_.spad_error_mm[h] - corr[h] + global_mm;
    };
    const double p_false = sm::false_return_share(cfg.threshold_coe[0]);
    const bool dual = cfg.dual_channel == 1;
    const int intensity_mode = int(cfg.image_mode & 3u);
    const int ambient_mode = int((cfg.image_mode >> 2) & 3u);
    const sm::fir_gains fir = sm::fir_gains_of(cfg);
    set_fir(cfg);
    const float a0 = std::isfinite(cfg.threshold_coe[0]) ? cfg.threshold_coe[0] : 0.0f;
    const float a1 = std::isfinite(cfg.threshold_coe[1]) ? cfg.threshold_coe[1] : 0.0f;

    // ---- moving objects: a ball crossing left-right and a crate coming and going
    const bool moving = opt_.kind == scene_kind::corridor;
    const float ball_x = 11.0f, ball_y = float(3.2 * std::sin(0.45 * t)), ball_z = -0.75f, ball_r = 0.75f;
    const float crate_x = float(14.0 + 6.0 * std::sin(0.3 * t + 1.0));
    const float crate_lo[3] = {crate_x - 0.5f, -2.8f, -kSensorHeight};
    const float crate_hi[3] = {crate_x + 0.5f, -1.8f, -kSensorHeight + 1.4f};
    const float sun = float(1.0 + 0.05 * std::sin(0.1 * t));

    // ---- pass 1: what each pixel's optics deliver (noise-free)
    for (std::uint32_t r = 0; r < rows_; ++r) {
        for (std::uint32_t c = 0; c < cols_; ++c) {
            const std::size_t i = std::size_t(r) * cols_ + c;
            const lens_rays::ray& ry = rays_.at(i);
            hit h = static_[i];
            bool object = false, edge = false;
            if (moving) {
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
                float tt;
                int axis;
                if (ray_box(ry, crate_lo, crate_hi, tt, axis) && (h.range == 0 || tt < h.range)) {
                    h.range = tt;
                    h.refl = 0.35f;
                    const float d[3] = {ry.dx, ry.dy, ry.dz};
                    h.cosine = std::max(0.05f, std::fabs(d[axis]));
                    h.ambient = axis == 2 ? 420.0f : 230.0f;
                    object = true;
                    const float yz = tt * ry.dy;
                    edge = std::fabs(yz - crate_lo[1]) < 0.05f || std::fabs(yz - crate_hi[1]) < 0.05f;
                }
            }
            amb_bg_[i] = h.ambient * sun * kAmbientGain;
            object_[i] = object;
            edge_[i] = edge;
            float range = h.range, inten = 0;
            if (range > 0) {
                inten = intensity_of(h.refl, h.cosine, range);
                if (inten < kMinIntensity) range = 0;
            }
            if (!object && flare_gain_[i] > 0 && (range == 0 || range > flare_range_[i] + 1.0f)) {
                range = flare_range_[i];
                inten = 330.0f * flare_gain_[i];
            }
            if (range > 0 && col_lit[c] && c != kDeadColumn) {
                clean_mm_[i] = range * 1000.0f + shift_mm(r, c);
                clean_int_[i] = inten;
            }
        }
    }

    // ---- pass 2: detection, noise, false returns, pairing and output
    const auto to_depth = [bins](float mm) -> std::int32_t {
        if (!(mm > 0.0f)) return 0;
        const long v = bins ? std::lround(mm / float(kDepthBinMm)) : std::lround(mm);
        return std::int32_t(std::clamp<long>(v, 0, 0x7FFFFFFF));
    };
    const std::uint32_t step = dual ? 2 : 1;
    for (std::uint32_t r0 = 0; r0 < rows_; r0 += step) {
        const std::uint32_t r1 = std::min(r0 + step, rows_);
        const float noise_scale = (r1 - r0) == 2 ? 0.70710678f : 1.0f;
        for (std::uint32_t c = 0; c < cols_; ++c) {
            // One measurement for the row group (a pair in the 50-channel mode).
            float sum_mm = 0, sum_int = 0;
            int got = 0;
            for (std::uint32_t r = r0; r < r1; ++r) {
                const std::size_t i = std::size_t(r) * cols_ + c;
                if (clean_mm_[i] > 0) {
                    sum_mm += clean_mm_[i];
                    sum_int += clean_int_[i];
                    ++got;
                }
            }
            float mm = 0, inten = 0;
            if (got) {
                mm = sum_mm / float(got);
                inten = sum_int / float(got);
                mm += (15.0f + mm * 0.001f) * 2.0f * noise() * noise_scale;
                if (inten < 400.0f && uniform() < 0.004f) mm = 0;  // a random dropout of a weak return
            }
            bool false_return = false;
            if (p_false > 0 && col_lit[c] && c != kDeadColumn && uniform() < float(p_false)) {
                mm = (kFalseNear + (kFalseFar - kFalseNear) * uniform()) * 1000.0f;
                inten = 5.0f + 35.0f * uniform();
                false_return = true;
            }
            const float n_int = noise();
            for (std::uint32_t r = r0; r < r1; ++r) {
                const std::size_t i = std::size_t(r) * cols_ + c;
                const float bg = amb_bg_[i];
                // Intensity image.
                float out_int = 0;
                if (mm > 0) {
                    if (intensity_mode == 1 || intensity_mode == 2) {
                        out_int = inten * float(fir.pulse) * (1.0f + 0.05f * float(fir.noise) * n_int * noise_scale);
                        if (intensity_mode == 2) out_int += bg / 8.0f;
                    } else {
                        out_int = inten * (1.0f + 0.05f * n_int * noise_scale);
                    }
                }
                // Ambient image.
                float amb;
                if (ambient_mode == 1) amb = bg + 0.25f * std::sqrt(std::max(bg, 1.0f)) * noise();
                else if (ambient_mode == 2) amb = a0 + a1 * bg;
                else amb = bg + std::sqrt(std::max(bg, 1.0f)) * noise() + float(kDarkLevel + column_pattern(c));
                if (!std::isfinite(amb)) amb = 0;
                ambient[i] = std::uint16_t(std::clamp(amb, 0.0f, 4095.0f));
                depth[i] = to_depth(mm);
                intensity[i] = std::uint16_t(depth[i] > 0 ? std::clamp(out_int, 1.0f, 4095.0f) : 0.0f);
                if (multi && !false_return && object_[i] && edge_[i] && static_[i].range > 0 && depth[i] > 0) {
                    depth2[i] = to_depth(static_[i].range * 1000.0f + shift_mm(r, c));
                    intensity2[i] = std::uint16_t(std::clamp(intensity_of(static_[i].refl, static_[i].cosine, static_[i].range) * 0.4f, 1.0f, 4095.0f));
                }
                last_range_[i] = depth[i] > 0 ? mm / 1000.0f : 0.0f;
                last_intensity_[i] = depth[i] > 0 ? inten : 0.0f;
                last_ambient_[i] = bg + float(kDarkLevel + column_pattern(c));
            }
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
    std::vector<float>& raw = hist_raw_;
    raw.resize(bin_count);
    for (std::uint32_t b = 0; b < bin_count; ++b) {
        float v = floor_level + std::sqrt(floor_level) * 2.0f * noise();
        if (amp > 0) {
            const float d = (float(b) - peak_bin) / 1.6f;
            if (std::fabs(d) < 8) v += amp * std::exp(-0.5f * d * d);
        }
        raw[b] = v;
    }
    // The sensor delivers the histogram through its FIR: taps normalised to
    // their sum, tap j weighting bin b + j - fir_offset. No taps: raw counts.
    const int sum = fir_sum_;
    for (std::uint32_t b = 0; b < bin_count; ++b) {
        float v = raw[b];
        if (sum > 0) {
            float acc = 0;
            for (int j = 0; j < 16; ++j) {
                if (!fir_[std::size_t(j)]) continue;
                const long k = long(b) + j - fir_offset_;
                const float x = k < 0 ? raw.front() : (k >= long(bin_count) ? raw.back() : raw[std::size_t(k)]);
                acc += float(fir_[std::size_t(j)]) * x;
            }
            v = acc / float(sum);
        }
        bins[b] = std::uint16_t(std::clamp(v, 0.0f, 65535.0f));
    }
}

std::vector<std::array<float, 3>> synthetic_scene::ground_truth() const {
    std::vector<std::array<float, 3>> pts;
    pts.reserve(static_.size());
    for (std::size_t i = 0; i < static_.size(); ++i) {
        const hit& h = static_[i];
        if (!(h.range > 0) || intensity_of(h.refl, h.cosine, h.range) < kMinIntensity) continue;
        const lens_rays::ray& ry = rays_.at(i);
        pts.push_back({h.range * ry.dx, h.range * ry.dy, h.range * ry.dz});
    }
    return pts;
}

bool synthetic_scene::write_ground_truth(const std::string& path) const {
    const auto pts = ground_truth();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fprintf(f,
                           "# .PCD v0.7 - Point Cloud Data file format\nVERSION 0.7\nFIELDS x y z rgb\nSIZE 4 4 4 4\n"
                           "TYPE F F F U\nCOUNT 1 1 1 1\nWIDTH %zu\nHEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS %zu\nDATA ascii\n",
                           pts.size(), pts.size()) > 0;
    // Eight significant digits with a point for decimals, whatever the locale of
    // the process. Colour: opaque white, packed as the viewer's clouds pack it.
    for (const auto& p : pts) {
        const std::string line = c_numbers::general(p[0], 8) + ' ' + c_numbers::general(p[1], 8) + ' ' +
                                 c_numbers::general(p[2], 8) + " 4294967295\n";
        if (std::fputs(line.c_str(), f) < 0) ok = false;
    }
    if (std::fclose(f) != 0) ok = false;
    return ok;
}

}  // namespace gx
