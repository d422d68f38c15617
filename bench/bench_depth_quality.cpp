// The depth quality tool's work and what false returns do to an offset
// calibration, on frames the synthetic scene renders as the sensor would:
//  - every metric of a 200 x 50 region over the last 30 frames, per frame
//    (one frame in, the whole window measured; goal: under 2 ms), on the
//    wall and on the range sphere;
//  - the offset calibration's arithmetic over 20 frames of the target at 2 m
//    with zeroed tables and 64 channels, under the factory threshold and
//    without false returns: how far its VCSEL and SPAD tables lie from the
//    unit's own errors, and the channel spread the depth quality tool then
//    measures with each table applied.
//   bench_depth_quality [iterations]
#include "bench/bench_timing.h"
#include "device/gx_lens.h"
#include "device/gx_synthetic_scene.h"
#include "logic/depth_quality.h"
#include "logic/offset_calibration.h"
#include "logic/user_settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;
using scene_t = TAVRIN::DadodUz::scene_t;
namespace oc = offset_calibration;

// Renders frames of one scene with one configuration, points included.
struct renderer {
    gx::synthetic_scene scene;
    gx::lens_rays rays;
    std::vector<std::int32_t> depth2;
    std::vector<std::uint16_t> intensity2;
    double t = 0;
    explicit renderer(gx::scene_kind kind) : scene(gx::scene_options{kind, 2.0f}) {}
    void frame(const cfg_t& cfg, scene_t& f) {
        f.rows = scene.rows();
        f.cols = scene.cols();
        f.timestamp.assign(1, 0);
        scene.render(t += 0.04, cfg, f.ambient, f.depth, f.intensity, depth2, intensity2);
        std::array<float, 12> lens;
        std::copy(std::begin(cfg.lens_coe), std::end(cfg.lens_coe), lens.begin());
        rays.update(lens, f.rows, f.cols);
        rays.make_points(f, cfg.stream_mode);
    }
};

cfg_t measuring(cfg_t c, bool no_false_returns) {
    std::fill(std::begin(c.vcsel_offset), std::end(c.vcsel_offset), 0);
    std::fill(std::begin(c.spad_offset), std::end(c.spad_offset), 0);
    c.dual_channel = 0;
    if (no_false_returns) {
        const auto& none = user_settings::kFalsePositiveRates[0];
        std::copy(none.begin(), none.end(), c.threshold_coe);
    }
    return c;
}

double channel_spread(renderer& r, const cfg_t& cfg, int frames) {
    depth_quality::window w;
    w.set_region(depth_quality::default_region(400, 100));
    w.set_frames(frames);
    w.set_target(depth_quality::target::sphere);
    scene_t f;
    for (int i = 0; i < frames; ++i) r.frame(cfg, f), w.push(f);
    return depth_quality::measure(w, 64, 2000).channel_spread;
}

void calibration_bias(bool no_false_returns) {
    renderer r(gx::scene_kind::target);
    const cfg_t factory = r.scene.factory_configuration();
    const cfg_t cfg = measuring(factory, no_false_returns);
    std::vector<std::int32_t> vcsel, spad;
    scene_t f;
    const int frames = 20;
    for (int i = 0; i < frames; ++i) {
        r.frame(cfg, f);
        const auto values = oc::vcsel_channel_values(f.depth.data(), f.depth.size(), 100, 400, 64);
        oc::accumulate(vcsel, oc::vcsel_step(values));
        oc::accumulate(spad, oc::spad_half_row_means(f.depth.data(), f.depth.size(), 100, 400));
    }
    vcsel = oc::average(vcsel, frames);
    spad = oc::average(spad, frames);
    const auto& imp = r.scene.imperfections();
    double vcsel_sum = 0, vcsel_max = 0, spad_sum = 0, spad_max = 0;
    for (int k = 0; k < 64; ++k) {
        const double d = vcsel[std::size_t(k)] - imp.vcsel_error_steps[std::size_t(k)];
        vcsel_sum += d, vcsel_max = std::max(vcsel_max, std::fabs(d));
    }
    // Half-rows: only differences within a half count, modulo 256 mm.
    for (int h = 0; h < 200; ++h) {
        const int first = h < 100 ? 0 : 100;
        const int measured = spad[std::size_t(h)] - spad[std::size_t(first)];
        const double truth = imp.spad_error_mm[std::size_t(h)] - imp.spad_error_mm[std::size_t(first)];
        const double d = std::int8_t(std::uint8_t(measured - int(std::lround(truth))));
        spad_sum += std::fabs(d), spad_max = std::max(spad_max, std::fabs(d));
    }
    cfg_t applied = cfg;
    oc::store_vcsel_offsets(vcsel, applied);
    oc::store_spad_offsets(spad, applied);
    std::printf("%-26s VCSEL offsets: mean bias %+.2f steps, largest %.0f; SPAD half-rows: mean |error| %.1f mm, "
                "largest %.0f mm; channel spread before %.1f mm, after %.1f mm\n",
                no_false_returns ? "threshold \"0%\":" : "factory threshold (0.64%):", vcsel_sum / 64, vcsel_max,
                spad_sum / 200, spad_max, channel_spread(r, cfg, 30), channel_spread(r, applied, 30));
}

void metric_cost(gx::scene_kind kind, depth_quality::target target, const char* name, int iterations) {
    renderer r(kind);
    const cfg_t cfg = r.scene.factory_configuration();
    std::vector<scene_t> frames(40);
    for (auto& f : frames) r.frame(cfg, f);
    depth_quality::window w;
    w.set_region(depth_quality::default_region(400, 100));
    w.set_frames(30);
    w.set_target(target);
    std::size_t next = 0;
    depth_quality::metrics m;
    const auto one = [&] {
        w.push(frames[next++ % frames.size()]);
        m = depth_quality::measure(w, 64, 2000);
    };
    report(name, measure(iterations, one));
    std::printf("   fill %.1f %%, outliers %.2f %%, distance %.1f mm, RMS %.1f mm, temporal noise %.1f mm, channel "
                "spread %.1f mm, row spread %.1f mm\n",
                m.fill_rate, m.outliers, m.distance, m.rms, m.temporal_noise, m.channel_spread, m.row_spread);
}

} // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::max(20, std::atoi(argv[1])) : 200;
    metric_cost(gx::scene_kind::wall, depth_quality::target::wall, "every metric, wall, 200 x 50, 30 frames", iterations);
    metric_cost(gx::scene_kind::target, depth_quality::target::sphere, "every metric, sphere, 200 x 50, 30 frames",
                iterations);
    calibration_bias(false);
    calibration_bias(true);
    return 0;
}
