// The depth quality tool's work and what false returns do to an offset
// calibration, on frames the synthetic scene renders as the sensor would:
//  - every metric of a 200 x 50 region over the last 30 frames, per frame
//    (one frame in, the whole window measured; goal: under 2 ms), on the
//    wall and on the range sphere, of a calibrated and an uncalibrated unit,
//    and on the corridor, with the figures and the verdict;
//  - the memory a window of 1000 whole frames holds, and gives back;
//  - the offset calibration's arithmetic over 20 frames of the target at 2 m
//    with zeroed tables and 64 channels, under the factory threshold and
//    without false returns: how far its VCSEL and SPAD tables lie from the
//    unit's own errors, and the channel spread the depth quality tool then
//    measures with each table applied.
//   bench_depth_quality [iterations]
#include "bench/bench_options.h"
#include "app/startup.h"
#include "bench/bench_timing.h"
#include "device/gx_lens.h"
#include "emulator/gx_synthetic_scene.h"
#include "logic/depth_quality.h"
#include "logic/depth_quality_text.h"
#include "logic/offset_calibration.h"
#include "logic/user_settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>
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

void metric_cost(gx::scene_kind kind, depth_quality::target target, bool uncalibrated, const char* name,
                 int iterations) {
    renderer r(kind);
    cfg_t cfg = r.scene.factory_configuration();
    if (uncalibrated) {
        std::fill(std::begin(cfg.vcsel_offset), std::end(cfg.vcsel_offset), 0);
        std::fill(std::begin(cfg.spad_offset), std::end(cfg.spad_offset), 0);
    }
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
    std::printf("   %s; fill %.1f %%, outliers %.2f %%, distance %.1f mm, RMS %.1f mm, angle %.2f deg, temporal noise "
                "%.1f mm, channel spread %.1f mm, row spread %.1f mm\n",
                depth_quality_text::verdict(m).c_str(), m.fill_rate, m.outliers, m.distance, m.rms, m.angle,
                m.temporal_noise, m.channel_spread, m.row_spread);
}

// Resident memory in MiB.
double resident_mib() {
    std::ifstream statm("/proc/self/statm");
    double pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// What a long window holds: the whole frame as the region, 1000 frames, then
// 30, then none (the tool closed).
void window_memory() {
    startup::keep_freed_heap(); // as the viewer runs
    renderer r(gx::scene_kind::wall);
    const cfg_t cfg = r.scene.factory_configuration();
    scene_t f;
    r.frame(cfg, f);
    const double before = resident_mib();
    double held = 0, thirty = 0;
    {
        depth_quality::window w;
        w.set_region({0, 0, 400, 100});
        w.set_frames(1000);
        for (int i = 0; i < 1000; ++i) w.push(f);
        held = resident_mib();
        w.set_frames(30);
        thirty = resident_mib();
        w.release();
    }
    std::printf("memory of the window, 400 x 100 region: %.0f MiB before, %.0f MiB at 1000 frames, %.0f MiB at 30, "
                "%.0f MiB once released\n",
                before, held, thirty, resident_mib());
}

} // namespace

int main(int argc, char** argv) {
    int iterations = 200;
    {
        namespace po = bench_options::po;
        po::options_description desc("usage: bench_depth_quality [ITERATIONS]\nThe depth quality tool's work on synthetic frames.\noptions");
        desc.add_options()("help", "show this text")
            ("iterations", po::value(&iterations)->value_name("N"), "repetitions timed (at least 20, default 200)");
        if (const int done = bench_options::read(argc, argv, "bench_depth_quality", desc, {"iterations"}); done >= 0) return done;
        iterations = std::max(20, iterations);
    }
    window_memory();
    metric_cost(gx::scene_kind::wall, depth_quality::target::wall, false, "every metric, wall, 200 x 50, 30 frames",
                iterations);
    metric_cost(gx::scene_kind::target, depth_quality::target::sphere, false,
                "every metric, sphere, 200 x 50, 30 frames", iterations);
    metric_cost(gx::scene_kind::wall, depth_quality::target::wall, true, "uncalibrated unit, wall", iterations);
    metric_cost(gx::scene_kind::target, depth_quality::target::sphere, true, "uncalibrated unit, sphere", iterations);
    metric_cost(gx::scene_kind::corridor, depth_quality::target::wall, false, "corridor as a wall", iterations);
    metric_cost(gx::scene_kind::corridor, depth_quality::target::sphere, false, "corridor as a sphere", iterations);
    calibration_bias(false);
    calibration_bias(true);
    return 0;
}
