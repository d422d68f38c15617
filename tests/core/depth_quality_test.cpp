// The depth quality metrics on synthetic walls and spheres of known noise,
// holes, tilt, channel steps and false returns; the window of frames; the
// region rules; the texts and the metrics log.
#include "logic/depth_quality.h"
#include "logic/depth_quality_text.h"
#include "tests/support/comma_locale.h"
#include "tests/support/synthetic_frames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

namespace dq = depth_quality;

namespace {

struct surface_spec {
    dq::target kind = dq::target::wall;
    double range = 2000;      // wall: distance along its normal; sphere: radius
    double tilt_deg = 0;      // the wall's normal turned about the z axis
    double noise = 0;         // mm along the ray, one standard deviation
    double holes = 0;         // share of pixels without a return
    double step = 0;          // mm added to the odd VCSEL channels (64 channels of 6 columns)
    double false_returns = 0; // share of pixels at a random range of 0.5 .. 40 m
    double front = 0;         // share of the region's columns (from its left) on a box 1 m nearer
    double bend = 0;          // mm: a corrugated surface, ranges swinging by this much every 100 columns
    dq::region roi = dq::default_region(400, 100);
    std::optional<dq::target> measured = std::nullopt; // the target measured, when not the one seen
};

// A 400 x 100 frame of the surface seen through a pinhole (f = 540 px).
synthetic::scene_t frame_of(const surface_spec& s, std::mt19937& rng) {
    synthetic::scene_t f;
    synthetic::resize(f, 100, 400);
    std::normal_distribution<double> noise(0.0, s.noise > 0 ? s.noise : 1.0);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double t = s.tilt_deg * M_PI / 180.0, nx = std::cos(t), ny = std::sin(t);
    for (int r = 0; r < 100; ++r) {
        for (int c = 0; c < 400; ++c) {
            const std::size_t i = std::size_t(r) * 400 + std::size_t(c);
            double dx = 1, dy = -(c - 199.5) / 540.0, dz = -(r - 49.5) / 540.0;
            const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
            dx /= len, dy /= len, dz /= len;
            double range = s.kind == dq::target::sphere ? s.range : s.range / (nx * dx + ny * dy);
            if (c - s.roi.x < s.front * s.roi.w) range *= 1.0 - 1000 / s.range;
            range += s.bend * std::sin(c * M_PI / 50.0);
            range += (s.noise > 0 ? noise(rng) : 0.0) + ((c / 6) % 2 == 1 && c < 384 ? s.step : 0.0);
            if (u(rng) < s.false_returns) range = 500 + u(rng) * 39500;
            if (u(rng) < s.holes) continue; // no return: a zero point
            synthetic::set_point(f, i, range, range * dx, range * dy, range * dz);
            f.points[i].valid = 1;
        }
    }
    return f;
}

dq::metrics measure(const surface_spec& s, int frames, double truth = 0) {
    std::mt19937 rng(7);
    dq::window w;
    w.set_region(s.roi);
    w.set_frames(frames);
    w.set_target(s.measured.value_or(s.kind));
    for (int i = 0; i < frames; ++i) EXPECT_TRUE(w.push(frame_of(s, rng)));
    return dq::measure(w, 64, truth);
}

} // namespace

TEST(depth_quality, metrics_of_known_surfaces) {
    const struct {
        const char* what;
        surface_spec s;
        double fill, rms, noise, angle, channel_spread, outliers;
    } cases[] = {
        {"flat wall", {}, 100, 0, 0, 0, 0, 0},
        {"noisy wall", {dq::target::wall, 2000, 0, 10}, 100, 10, 10, 0, 0, 0},
        {"tilted wall", {dq::target::wall, 3000, 20, 5}, 100, 5, 5, 20, 0, 0},
        {"wall with holes", {dq::target::wall, 2000, 0, 5, 0.25}, 75, 5, 5, 0, 0, 0},
        {"channel steps", {dq::target::wall, 2000, 0, 0, 0, 12}, 100, 6, 0, 0, 12, 0},
        {"false returns", {dq::target::wall, 2000, 0, 10, 0, 0, 0.01}, 100, 10, 10, 0, 0, 1},
        {"sphere", {dq::target::sphere, 3000, 0, 8}, 100, 8, 8, NAN, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const dq::metrics m = measure(c.s, 30, c.s.range - 10);
        EXPECT_EQ(m.frames, 30u);
        EXPECT_NEAR(m.fill_rate, c.fill, 1.0);
        EXPECT_NEAR(m.outliers, c.outliers, 0.3);
        EXPECT_NEAR(m.distance, c.s.range + (c.s.step > 0 ? 6 : 0), 1.0);
        EXPECT_NEAR(m.z_error, m.distance - (c.s.range - 10), 1e-9);
        EXPECT_NEAR(m.rms, c.rms, 0.1 * c.rms + 0.5);
        EXPECT_NEAR(m.temporal_noise, c.noise, 0.1 * c.noise + 0.01);
        if (std::isnan(c.angle))
            EXPECT_TRUE(std::isnan(m.angle));
        else
            EXPECT_NEAR(m.angle, c.angle, 0.1);
        EXPECT_NEAR(m.channel_spread, c.channel_spread, 0.1 * c.channel_spread + 0.15 * c.rms + 0.5);
        EXPECT_LT(m.row_spread, 0.3 * c.rms + 1.0) << "rows hold every channel alike";
        ASSERT_EQ(m.column_error.size(), 200u);
        EXPECT_NEAR(m.column_error[0] - m.column_error[6], c.s.step > 0 ? -12 : 0, 0.3 * c.rms + 1.0)
            << "columns 100 and 106 lie in channels 16 and 17";
    }
}

// False returns, objects in front, narrow regions and scenes that are no
// wall: the figures hold to the truth, or the verdict says why they cannot.
TEST(depth_quality, hard_cases_keep_figures_or_say_why) {
    using k = dq::judge_kind;
    const dq::target sphere = dq::target::sphere;
    const struct {
        const char* what;
        surface_spec s;
        k verdict;
        double outliers; // % of returns truly off the target (NaN: not shown)
    } cases[] = {
        {"wall, no false returns", {dq::target::wall, 2000, 0, 10}, k::holds, 0},
        {"wall, 10 % false", {dq::target::wall, 2000, 0, 10, 0, 0, 0.10}, k::holds, 10},
        {"wall, 30 % false", {dq::target::wall, 2000, 0, 10, 0, 0, 0.30}, k::holds, 30},
        {"wall, 50 % false", {dq::target::wall, 2000, 0, 10, 0, 0, 0.50}, k::holds, 50},
        {"wall, box in front of 15 %", {dq::target::wall, 2000, 0, 10, 0, 0, 0, 0.15}, k::holds, 15},
        {"wall, box in front of 40 %", {dq::target::wall, 2000, 0, 10, 0, 0, 0, 0.40}, k::holds, 40},
        {"wall tilted 30 deg, 30 % false", {dq::target::wall, 2000, 30, 10, 0, 0, 0.30}, k::holds, 30},
        {"1 row", {dq::target::wall, 2000, 0, 10, 0, 0, 0, 0, 0, {100, 50, 200, 1}}, k::too_few_lines, NAN},
        {"1 column", {dq::target::wall, 2000, 0, 10, 0, 0, 0, 0, 0, {200, 25, 1, 50}}, k::too_few_lines, NAN},
        {"5 x 5", {dq::target::wall, 2000, 0, 10, 0, 0, 0, 0, 0, {200, 50, 5, 5}}, k::too_few_lines, NAN},
        {"10 x 10", {dq::target::wall, 2000, 0, 10, 0, 0, 0, 0, 0, {200, 50, 10, 10}}, k::too_narrow, NAN},
        {"20 x 20", {dq::target::wall, 2000, 0, 10, 0, 0, 0, 0, 0, {190, 40, 20, 20}}, k::too_narrow, NAN},
        {"40 x 40", {dq::target::wall, 2000, 0, 10, 0, 0, 0, 0, 0, {180, 30, 40, 40}}, k::holds, 0},
        {"corrugated", {dq::target::wall, 2000, 0, 10, 0, 0, 0, 0, 300}, k::edge_on, 28.6},
        {"sphere, 30 % false", {sphere, 3000, 0, 8, 0, 0, 0.30}, k::holds, 30},
        {"sphere, 50 % false", {sphere, 3000, 0, 8, 0, 0, 0.50}, k::holds, 50},
        {"sphere, box in front of 40 %", {sphere, 3000, 0, 8, 0, 0, 0, 0.40}, k::holds, 40},
        {"sphere, 1 row", {sphere, 3000, 0, 8, 0, 0, 0, 0, 0, {100, 50, 200, 1}}, k::holds, 0},
        {"sphere measured as a wall", {sphere, 2000, 0, 8, 0, 0, 0.10, 0, 0, {0, 25, 400, 50}, dq::target::wall}, k::other_shape, 10},
        {"wall measured as a sphere", {dq::target::wall, 2000, 0, 8, 0, 0, 0.10, 0, 0, {0, 25, 400, 50}, sphere}, k::other_shape, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const dq::metrics m = measure(c.s, 30, 2000);
        std::printf("[figure] %-30s %s; outliers %.2f %%, distance %.2f mm, RMS %.2f mm, angle %.3f deg, temporal "
                    "noise %.2f mm\n",
                    c.what, depth_quality_text::verdict(m).c_str(), m.outliers, m.distance, m.rms, m.angle,
                    m.temporal_noise);
        EXPECT_EQ(m.verdict.kind, c.verdict);
        EXPECT_NEAR(m.temporal_noise, c.s.noise, 0.1 * c.s.noise) << "needs no surface";
        if (std::isnan(c.outliers))
            EXPECT_TRUE(std::isnan(m.outliers));
        else
            EXPECT_NEAR(m.outliers, c.outliers, 1.0);
        if (!m.verdict.holds()) {
            EXPECT_TRUE(std::isnan(m.distance) && std::isnan(m.rms) && std::isnan(m.angle) && std::isnan(m.z_error));
            continue;
        }
        // Errors along the ray, measured across the plane.
        const bool wall = c.s.kind == dq::target::wall, small = c.s.roi.w * c.s.roi.h < 1000;
        const double rms = c.s.noise * (wall ? std::cos(c.s.tilt_deg * M_PI / 180) : 1.0);
        EXPECT_NEAR(m.distance, c.s.range, 2.0);
        EXPECT_NEAR(m.rms, rms, (small ? 0.15 : 0.1) * rms);
        if (wall) {
            EXPECT_NEAR(m.angle, c.s.tilt_deg, small ? 1.0 : 0.2);
        }
    }
}

TEST(depth_quality, what_cannot_be_measured_stays_empty) {
    const dq::metrics single = measure({dq::target::wall, 2000, 0, 10}, 1);
    EXPECT_TRUE(std::isnan(single.temporal_noise)) << "one frame has no temporal noise";
    EXPECT_TRUE(std::isnan(single.z_error)) << "no ground truth";
    EXPECT_TRUE(std::isfinite(single.rms));
    const dq::metrics empty = measure({dq::target::wall, 2000, 0, 0, 1.0}, 3);
    EXPECT_EQ(empty.fill_rate, 0.0);
    EXPECT_TRUE(std::isnan(empty.distance) && std::isnan(empty.rms) && std::isnan(empty.channel_spread));
    dq::window none;
    EXPECT_EQ(dq::measure(none, 64, 2000).frames, 0u);
}

TEST(depth_quality, window_keeps_the_last_frames_of_one_size_and_region) {
    std::mt19937 rng(1);
    dq::window w;
    w.set_region({10, 10, 20, 5});
    w.set_frames(3);
    for (int i = 0; i < 5; ++i) w.push(frame_of({}, rng));
    EXPECT_EQ(w.size(), 3u);
    EXPECT_EQ(w.list().back().pixels, 20u * 5u);
    w.set_frames(2);
    EXPECT_EQ(w.size(), 2u);
    synthetic::scene_t other;
    synthetic::resize(other, 50, 200);
    EXPECT_TRUE(w.push(other));
    EXPECT_EQ(w.size(), 1u) << "a frame of another size empties the window";
    w.set_target(dq::target::sphere);
    EXPECT_EQ(w.size(), 0u) << "so does another target";
    w.push(other);
    w.set_region({0, 0, 5, 5});
    EXPECT_EQ(w.size(), 0u) << "and another region";
    other.points.clear();
    EXPECT_FALSE(w.push(other)) << "a frame without points";
    w.set_region({390, 0, 20, 5});
    EXPECT_FALSE(w.push(frame_of({}, rng))) << "a region the frame cannot hold";
    w.set_region({380, 0, 20, 5});
    EXPECT_TRUE(w.push(frame_of({}, rng)));
    EXPECT_EQ(w.frame_cols(), 400);
}

TEST(depth_quality, regions_stay_inside_the_frame) {
    const struct {
        dq::region in, out;
    } cases[] = {
        {{100, 25, 200, 50}, {100, 25, 200, 50}},
        {{380, 90, 50, 20}, {350, 80, 50, 20}},
        {{-5, -5, 0, 0}, {0, 0, 1, 1}},
        {{0, 0, 999, 999}, {0, 0, 400, 100}},
    };
    for (const auto& c : cases) EXPECT_EQ(dq::clamp_region(c.in, 400, 100), c.out);
    EXPECT_EQ(dq::default_region(400, 100), (dq::region{100, 25, 200, 50}));
    EXPECT_EQ(dq::from_corners(300, 80, 100, 20, 400, 100), (dq::region{100, 20, 201, 61}));
    EXPECT_EQ(dq::from_corners(-9, 500, 3, 3, 400, 100), (dq::region{0, 3, 4, 97}));
    EXPECT_EQ(dq::clamp_region({1, 1, 1, 1}, 0, 0), dq::region{});
}

TEST(depth_quality, texts_and_the_metrics_log_ignore_the_locale) {
    const comma_locale german;
    if (!german.active()) GTEST_SKIP() << comma_locale::missing();
    namespace t = depth_quality_text;
    EXPECT_EQ(t::percent(98.46), "98.5 %");
    EXPECT_EQ(t::millimetres(2000.26), "2000.3 mm");
    EXPECT_EQ(t::degrees(0.42), "0.4\u00b0");
    EXPECT_EQ(t::accuracy(-1.2, -0.06), "-1.2 mm (-0.06 %)");
    EXPECT_EQ(t::accuracy(-0.04, -0.002), "0.0 mm (0.00 %)") << "no negative zero";
    EXPECT_EQ(t::millimetres(NAN), "\u2014");
    EXPECT_EQ(t::frames_held(3, 1000), "3 of 1000 frames");

    dq::metrics why;
    const struct {
        dq::verdict v;
        const char* text;
    } verdicts[] = {
        {{dq::judge_kind::holds}, "Figures hold"},
        {{dq::judge_kind::too_few_lines, dq::target::wall, 1, 200}, "Region too narrow for a plane: 1 row"},
        {{dq::judge_kind::too_few_lines, dq::target::wall, 5, 5}, "Region too narrow for a plane: 5 rows and 5 columns"},
        {{dq::judge_kind::too_narrow, dq::target::wall, 9, 9, 1.77}, "Region too narrow for a plane: its tilt is uncertain by 1.8\u00b0"},
        {{dq::judge_kind::off_surface, dq::target::wall, 0, 0, NAN, 61.6}, "Not a flat wall: 62 % of returns off the plane"},
        {{dq::judge_kind::off_surface, dq::target::sphere, 0, 0, NAN, 70}, "Not a range sphere: 70 % of returns off the sphere"},
    };
    for (const auto& c : verdicts) {
        why.verdict = c.v;
        EXPECT_EQ(t::verdict(why), c.text);
    }

    QTemporaryDir dir;
    const std::string path = dir.filePath("checks.csv").toStdString();
    t::entry e;
    e.time = "2026-12-08T12:00:00";
    e.roi = {100, 25, 200, 50};
    e.m = measure({dq::target::wall, 2000, 0, 10}, 2);
    e.cfg.threshold_coe[0] = 80.91f;
    e.cfg.lens_coe[0] = 540.5f;
    std::string error;
    ASSERT_TRUE(t::append(path, t::row(e), error)) << error;
    e.has_configuration = true;
    ASSERT_TRUE(t::append(path, t::row(e), error)) << error;
    std::ifstream in(path);
    std::string header, first, second, more;
    std::getline(in, header), std::getline(in, first), std::getline(in, second);
    EXPECT_EQ(header, t::header());
    EXPECT_FALSE(std::getline(in, more)) << "a log of two checks";
    for (const std::string& row : {first, second})
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), std::count(header.begin(), header.end(), ','));
    EXPECT_NE(first.find(",2,wall,Figures hold,100.00,"), std::string::npos) << "the frames measured: " << first;
    EXPECT_EQ(first.substr(first.size() - 8), ",,,,,,,,") << "no record, no configuration: " << first;
    EXPECT_NE(second.find(",0,0,80.91,540.5,"), std::string::npos) << second;

    const std::string foreign = dir.filePath("other.csv").toStdString();
    std::ofstream(foreign) << "a,b\n1,2\n";
    EXPECT_FALSE(t::append(foreign, t::row(e), error));
    std::stringstream kept;
    kept << std::ifstream(foreign).rdbuf();
    EXPECT_EQ(kept.str(), "a,b\n1,2\n") << "another file is left as it was";
    const std::string older = dir.filePath("older.csv").toStdString();
    std::ofstream(older) << "time,roi_x,roi_y,roi_width,roi_height,frames,target,fill_rate_percent,outliers_percent,"
                            "distance_mm,plane_rms_mm,plane_angle_deg,temporal_noise_mm,z_accuracy_mm,"
                            "z_accuracy_percent,channel_spread_mm,row_spread_mm,ground_truth_mm,vcsel_type,"
                            "global_offset,threshold_a0,fx,fy,cx,cy\n";
    EXPECT_FALSE(t::append(older, t::row(e), error));
    EXPECT_NE(error.find("older layout"), std::string::npos) << error;
    EXPECT_FALSE(t::append(dir.filePath("missing/x.csv").toStdString(), t::row(e), error));
}
