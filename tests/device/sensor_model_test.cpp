// The emulated sensor as something to calibrate, seen through the library
// over loopback: its offset tables, global offset, optics and false-return
// threshold act as an administrator expects, and the offset calibration
// arithmetic, applied, removes its channel and row errors. The figures are
// printed as "[figure] ..." lines.
#include "device/gx_protocol.h"
#include "emulator/gx_factory_registers.h"
#include "emulator/gx_sensor_model.h"
#include "emulator/gx_synthetic_scene.h"
#include "tests/device/device_test_util.h"
#include "logic/cloud_rmse.h"
#include "logic/offset_calibration.h"

#include <gtest/gtest.h>

#include <pcl/io/pcd_io.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numeric>

using TAVRIN::DadodUz;
using namespace device_test;
namespace oc = offset_calibration;

namespace {

constexpr double kStep = gx::sensor_model::kStepMm;
constexpr int kRows = 100, kCols = 400;

struct threshold_row {
    float a[4];
};
const threshold_row kFpr0 = {{170.3f, 0.5691f, 0.00000227f, 16.86f}};
const threshold_row kFpr01 = {{93.64f, 0.5031f, 56.1f, 14.02f}};
const threshold_row kFpr10 = {{65.87f, 0.4976f, 61.03f, 8.002f}};

void set_threshold(DadodUz::configurations_t& c, const threshold_row& t) { std::copy(t.a, t.a + 4, c.threshold_coe); }

// A running emulator with a connected, streaming library.
struct sensor {
    emulator_process emu;
    DadodUz dev;
    explicit sensor(std::vector<std::string> args) : emu(with_rate(std::move(args))) {}
    static std::vector<std::string> with_rate(std::vector<std::string> a) {
        a.insert(a.end(), {"--fps", "30", "--max-fps", "30"});
        return a;
    }
    bool open() { return emu.start() && connect(dev, emu) && dev.tcp_device_run(); }

    // The sensor's own running configuration, read as a register file.
    bool read_configuration(DadodUz::configurations_t& cfg) {
        const std::string path = temp_path("regs.txt");
        const bool ok = dev.tcp_register_read(path.c_str());
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::remove(path.c_str());
        if (!ok) return false;
        std::vector<gx::register_record> recs;
        std::string err;
        if (!gx::parse_register_text(text, recs, err, true)) return false;
        gx::register_set regs = gx::default_registers();
        gx::apply_register_records(recs, regs);
        cfg = regs.config;
        return true;
    }
    // Applies cfg at 30 frames/s and passes over the frames the sensor made
    // before it took the change, and the first made after it.
    bool apply(DadodUz::configurations_t cfg) {
        cfg.fps = 30;
        DadodUz::scene_t s;
        return dev.configuration(cfg) && next_scene_with_last_configuration(dev, s, 30000);
    }
    // Calls fn on the next n frames of depth in millimetres.
    bool frames(int n, const std::function<void(const DadodUz::scene_t&)>& fn) {
        DadodUz::scene_t s;
        for (int i = 0; i < n; ++i) {
            if (!next_scene(dev, s)) return false;
            if (int(s.rows) != kRows || int(s.cols) != kCols || s.depth.size() != std::size_t(kRows * kCols)) return false;
            fn(s);
        }
        return true;
    }
};

// Mean depth (mm) per VCSEL channel and per SPAD half-row over n frames.
struct means {
    std::vector<double> channel, half_row;
};
means measure(sensor& s, int n, int channels) {
    means m;
    m.channel.assign(std::size_t(channels), 0.0);
    m.half_row.assign(200, 0.0);
    const int g = kCols / channels;
    EXPECT_TRUE(s.frames(n, [&](const DadodUz::scene_t& f) {
        for (int r = 0; r < kRows; ++r)
            for (int c = 0; c < kCols; ++c) {
                const double d = f.depth[std::size_t(r * kCols + c)];
                if (c / g < channels) m.channel[std::size_t(c / g)] += d / (kRows * g * n);
                m.half_row[std::size_t(r + (c >= kCols / 2 ? 100 : 0))] += d / (kCols / 2 * n);
            }
    }));
    return m;
}
double spread(const std::vector<double>& v, std::size_t from, std::size_t to) {
    const auto mm = std::minmax_element(v.begin() + long(from), v.begin() + long(to));
    return *mm.second - *mm.first;
}
double half_row_spread(const std::vector<double>& v) { return std::max(spread(v, 0, 100), spread(v, 100, 200)); }

// The offset calibration over n frames: the VCSEL and the SPAD results.
struct calibration {
    std::vector<std::int32_t> vcsel, spad;
};
calibration calibrate(sensor& s, int n, int channels) {
    std::vector<std::int32_t> vacc, sacc;
    EXPECT_TRUE(s.frames(n, [&](const DadodUz::scene_t& f) {
        oc::accumulate(vacc, oc::vcsel_step(oc::vcsel_channel_values(f.depth.data(), f.depth.size(), kRows, kCols, channels)));
        oc::accumulate(sacc, oc::spad_half_row_means(f.depth.data(), f.depth.size(), kRows, kCols));
    }));
    return {oc::average(vacc, n), oc::average(sacc, n)};
}

}  // namespace

TEST(sensor_model, channel_map_half_row_table_and_false_return_curve) {
    namespace sm = gx::sensor_model;
    struct map_case {
        int channels, col, channel;
    } maps[] = {{64, 0, 0}, {64, 6, 1}, {64, 383, 63}, {64, 399, 63}, {45, 359, 44}, {45, 399, 44}, {96, 4, 1}, {48, 391, 47}};
    for (const auto& m : maps) EXPECT_EQ(sm::vcsel_channel_of(m.col, kCols, m.channels), m.channel) << m.channels << " " << m.col;
    EXPECT_EQ(sm::vcsel_channel_count(2), 64);
    EXPECT_EQ(sm::vcsel_channel_count(200), 64);

    // Left half: errors -5 .. +10 mm around 254 (wrapping past 255); right
    // half: all equal. Adding a constant to a half changes nothing.
    std::uint8_t table[200];
    float corr[200], corr2[200];
    double mean = 0;
    for (int r = 0; r < 100; ++r) mean += r % 16 - 5;
    mean /= 100;
    for (int r = 0; r < 100; ++r) table[r] = std::uint8_t((254 + r % 16 - 5) & 0xFF);
    for (int r = 100; r < 200; ++r) table[r] = 77;
    sm::spad_corrections_mm(table, corr);
    for (int r = 0; r < 100; ++r) EXPECT_NEAR(corr[r], (r % 16 - 5) - mean, 1e-4) << r;
    for (int r = 100; r < 200; ++r) EXPECT_EQ(corr[r], 0.0f) << r;
    for (auto& v : table) v = std::uint8_t(v + 100);
    sm::spad_corrections_mm(table, corr2);
    EXPECT_TRUE(std::equal(corr, corr + 200, corr2));

    struct share_case {
        float a0;
        double lo, hi;
    } shares[] = {{170.3f, 0, 0},          {1000.0f, 0, 0},       {93.64f, 0.00099, 0.00101}, {77.81f, 0.0099, 0.0101},
                  {70.51f, 0.0499, 0.0501}, {65.87f, 0.0999, 0.1001}, {80.91f, 0.006, 0.007}, {132.0f, 0.0004, 0.0006},
                  {0.0f, 0.5, 0.5},         {std::nanf(""), 0.5, 0.5}};
    for (const auto& c : shares) {
        const double p = sm::false_return_share(c.a0);
        EXPECT_GE(p, c.lo) << c.a0;
        EXPECT_LE(p, c.hi) << c.a0;
    }
}

TEST(sensor_model, offset_calibration_removes_channel_and_half_row_errors) {
    // At 2.038 m the half-rows read about 2048 mm: their low 8 bits wrap
    // around 0, which the sensor's use of the table has to survive.
    sensor s({"--scene", "target", "--target-range", "2.038"});
    ASSERT_TRUE(s.open());
    DadodUz::configurations_t cfg;
    ASSERT_TRUE(s.read_configuration(cfg));
    const int channels = gx::sensor_model::vcsel_channel_count(cfg.vcsel_type);
    ASSERT_EQ(channels, 64) << "factory driver id 2";

    // Factory state: the flash tables cancel the unit's errors.
    cfg.dual_channel = 0;
    set_threshold(cfg, kFpr0);
    ASSERT_TRUE(s.apply(cfg));
    const means factory = measure(s, 10, channels);

    // The administrator's starting point: tables zeroed.
    std::fill(std::begin(cfg.vcsel_offset), std::end(cfg.vcsel_offset), 0);
    std::fill(std::begin(cfg.spad_offset), std::end(cfg.spad_offset), 0);
    ASSERT_TRUE(s.apply(cfg));
    const means raw = measure(s, 20, channels);
    const calibration cal = calibrate(s, 20, channels);
    ASSERT_EQ(cal.vcsel.size(), std::size_t(channels));
    ASSERT_EQ(cal.spad.size(), 200u);

    oc::store_vcsel_offsets(cal.vcsel, cfg);
    oc::store_spad_offsets(cal.spad, cfg);
    ASSERT_TRUE(s.apply(cfg));
    const means after = measure(s, 20, channels);
    const calibration residual = calibrate(s, 20, channels);

    const double ch_factory = spread(factory.channel, 0, factory.channel.size()) / kStep;
    const double ch_raw = spread(raw.channel, 0, raw.channel.size()) / kStep;
    const double ch_after = spread(after.channel, 0, after.channel.size()) / kStep;
    const double hr_factory = half_row_spread(factory.half_row) / kStep;
    const double hr_raw = half_row_spread(raw.half_row) / kStep;
    const double hr_after = half_row_spread(after.half_row) / kStep;
    const int residual_max = *std::max_element(residual.vcsel.begin(), residual.vcsel.end());
    std::printf("[figure] VCSEL channel mean spread (steps): factory %.2f, tables zeroed %.2f, calibrated %.2f; "
                "re-run table max %d\n", ch_factory, ch_raw, ch_after, residual_max);
    std::printf("[figure] SPAD half-row mean spread within a half (steps): factory %.2f, tables zeroed %.2f, calibrated %.2f\n",
                hr_factory, hr_raw, hr_after);
    const double mean_factory = std::accumulate(factory.channel.begin(), factory.channel.end(), 0.0) / channels;
    const double mean_after = std::accumulate(after.channel.begin(), after.channel.end(), 0.0) / channels;
    std::printf("[figure] target mean depth (mm): factory %.1f, after calibration %.1f\n", mean_factory, mean_after);

    EXPECT_GE(ch_raw, 3.0) << "the raw channels disagree by several steps";
    EXPECT_LE(ch_after, 1.0);
    EXPECT_LE(residual_max, 1) << "a second calibration finds at most one step to correct";
    EXPECT_GE(hr_raw, 3.0) << "the raw half-rows disagree by several steps";
    EXPECT_LE(hr_after, 1.0);
    EXPECT_LE(ch_factory, 1.0) << "the factory state is calibrated";
    EXPECT_LE(hr_factory, 1.0);
    EXPECT_NEAR(mean_after, mean_factory, kStep) << "channel 0 is the timing reference: calibrating does not move the cloud";
}

TEST(sensor_model, global_offset_and_threshold_act_as_documented) {
    sensor s({"--scene", "target", "--target-range", "2.5"});
    ASSERT_TRUE(s.open());
    DadodUz::configurations_t cfg;
    ASSERT_TRUE(s.read_configuration(cfg));
    EXPECT_EQ(cfg.global_offset, 133);

    // Global offset: mean depth of the target (false returns excluded).
    const auto target_mean = [&](int n) {
        double sum = 0;
        long count = 0;
        EXPECT_TRUE(s.frames(n, [&](const DadodUz::scene_t& f) {
            for (auto d : f.depth)
                if (d > 1500 && d < 3500) {
                    sum += d;
                    ++count;
                }
        }));
        return count ? sum / double(count) : 0.0;
    };
    ASSERT_TRUE(s.apply(cfg));
    const double at133 = target_mean(10);
    cfg.global_offset = 143;
    ASSERT_TRUE(s.apply(cfg));
    const double at143 = target_mean(10);
    const double moved = (at143 - at133) / kStep;
    std::printf("[figure] global offset 133 -> 143: target mean %.1f mm -> %.1f mm, moved %.3f steps\n", at133, at143, moved);
    EXPECT_NEAR(at133, 2500.0 + 10.0, 3.0) << "true range plus the odd columns' half of 20 mm";
    EXPECT_NEAR(moved, -10.0, 0.2);
    cfg.global_offset = 133;

    // False returns: pixels far from the target, per frame, at each threshold row.
    const auto false_share = [&](const threshold_row* row) {
        DadodUz::configurations_t c = cfg;
        if (row) set_threshold(c, *row);
        EXPECT_TRUE(s.apply(c));
        long n = 0, px = 0;
        EXPECT_TRUE(s.frames(10, [&](const DadodUz::scene_t& f) {
            for (auto d : f.depth) {
                n += d > 0 && std::abs(d - 2510) > 300;
                ++px;
            }
        }));
        return double(n) / double(px);
    };
    const double f0 = false_share(&kFpr0), f01 = false_share(&kFpr01), f10 = false_share(&kFpr10), ffac = false_share(nullptr);
    std::printf("[figure] false returns: \"0%%\" %.4f%%, \"0.1%%\" %.4f%%, \"10%%\" %.3f%%, factory %.3f%% (ratio 10%%/0.1%% = %.0f)\n",
                100 * f0, 100 * f01, 100 * f10, 100 * ffac, f01 > 0 ? f10 / f01 : 0.0);
    EXPECT_EQ(f0, 0.0);
    EXPECT_GT(f10, 5 * f01);
    EXPECT_GT(f01, 0.0);
    EXPECT_LT(ffac, 0.01) << "the factory threshold gives well under 1 %";
}

TEST(sensor_model, the_true_lens_matches_the_ground_truth_and_a_wrong_one_does_not) {
    // The administrator's ground truth, as the emulator writes it.
    const std::string gt_path = temp_path("truth.pcd");
    ASSERT_EQ(std::system((std::string(GX_EMULATOR_PATH) + " --scene static --ground-truth " + gt_path).c_str()), 0);
    cloud_rmse::cloud_t truth;
    ASSERT_EQ(pcl::PCDReader().read(gt_path, truth), 0);
    std::remove(gt_path.c_str());
    ASSERT_GT(truth.size(), 20000u);

    sensor s({"--scene", "static"});
    ASSERT_TRUE(s.open());
    DadodUz::configurations_t cfg;
    ASSERT_TRUE(s.read_configuration(cfg));
    // The measured cloud averaged over n frames, in metres.
    const auto rmse = [&](const DadodUz::configurations_t& c, int n) {
        EXPECT_TRUE(s.apply(c));
        std::vector<double> sum(std::size_t(kRows * kCols) * 3, 0.0);
        std::vector<int> cnt(std::size_t(kRows * kCols), 0);
        EXPECT_TRUE(s.frames(n, [&](const DadodUz::scene_t& f) {
            for (std::size_t i = 0; i < f.points.size() && i < cnt.size(); ++i) {
                const auto& p = f.points[i];
                if (!p.valid) continue;
                sum[3 * i] += p.x / 1000.0;
                sum[3 * i + 1] += p.y / 1000.0;
                sum[3 * i + 2] += p.z / 1000.0;
                ++cnt[i];
            }
        }));
        cloud_rmse::cloud_t measured;
        for (std::size_t i = 0; i < cnt.size(); ++i) {
            if (!cnt[i]) continue;
            pcl::PointXYZRGB p;
            p.x = float(sum[3 * i] / cnt[i]);
            p.y = float(sum[3 * i + 1] / cnt[i]);
            p.z = float(sum[3 * i + 2] / cnt[i]);
            measured.push_back(p);
        }
        return cloud_rmse::compute(measured, truth);
    };
    DadodUz::configurations_t c = cfg;
    c.dual_channel = 0;
    set_threshold(c, kFpr0);
    const auto good = rmse(c, 10);
    const float initial[12] = {558.6528f, 558.6528f, 199.5f, 49.5f, 0, 0, -0.8435f, 1.099f, -8.88f, 0, 0, 0};
    std::copy(initial, initial + 12, c.lens_coe);
    const auto wrong = rmse(c, 10);
    // For the record: 50 channels, and the factory threshold as well.
    c = cfg;
    set_threshold(c, kFpr0);
    const auto paired = rmse(c, 10);
    const auto shipped = rmse(cfg, 10);
    std::printf("[figure] lens RMSE over 10 frames (100 channels, 0%% false returns): true lens %.1f mm (%zu points), "
                "initial lens %.1f mm; true lens with 50 channels %.1f mm, and with the factory threshold too %.1f mm\n",
                1000 * good.rmse, good.points, 1000 * wrong.rmse, 1000 * paired.rmse, 1000 * shipped.rmse);
    ASSERT_TRUE(good.ok);
    ASSERT_TRUE(wrong.ok);
    EXPECT_GT(good.points, 20000u);
    EXPECT_LE(good.rmse, 0.5 * wrong.rmse);
}

TEST(sensor_model, ground_truth_of_the_target_is_a_sphere_in_metres) {
    const std::string path = temp_path("target.pcd");
    ASSERT_EQ(std::system((std::string(GX_EMULATOR_PATH) + " --scene target --target-range 2.5 --ground-truth " + path).c_str()), 0);
    cloud_rmse::cloud_t truth;
    ASSERT_EQ(pcl::PCDReader().read(path, truth), 0);
    std::remove(path.c_str());
    EXPECT_EQ(truth.size(), std::size_t(kRows * kCols)) << "every pixel sees the target";
    ASSERT_FALSE(truth.empty());
    EXPECT_EQ(truth[0].r + truth[0].g + truth[0].b, 3 * 255) << "white, like a captured cloud";
    double lo = 1e9, hi = 0;
    for (const auto& p : truth.points) {
        const double r = std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z);
        lo = std::min(lo, r);
        hi = std::max(hi, r);
        ASSERT_GT(p.x, 0.0f) << "x looks forward";
    }
    EXPECT_NEAR(lo, 2.5, 1e-5);
    EXPECT_NEAR(hi, 2.5, 1e-5);
    // Refusals: unknown scene, bad range, unwritable file.
    EXPECT_NE(std::system((std::string(GX_EMULATOR_PATH) + " --scene nowhere --ground-truth " + path + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((std::string(GX_EMULATOR_PATH) + " --target-range -1 --ground-truth " + path + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((std::string(GX_EMULATOR_PATH) + " --ground-truth /nonexistent/dir/x.pcd 2>/dev/null").c_str()), 0);
}

TEST(sensor_model, ground_truth_of_the_wall_lies_on_its_plane_and_recedes_off_axis) {
    for (const float R : {2.0f, 5.0f}) {
        const auto pts = gx::synthetic_scene({gx::scene_kind::wall, R}).ground_truth();
        ASSERT_EQ(pts.size(), std::size_t(kRows * kCols)) << R << " m: every pixel sees the wall";
        for (const auto& p : pts) ASSERT_NEAR(p[0], R, 1e-5 * R);
        const auto at = [&](int r, int c) { const auto& p = pts[std::size_t(r * kCols + c)]; return std::hypot(p[0], p[1], p[2]); };
        // From the axis (cx 210.5, cy 49.5) outward the range never shrinks; past the lens's
        // largest radius (the left corners) it stays put.
        for (int c = 0; c + 1 < kCols; ++c) EXPECT_GE(c < 210 ? at(49, c) - at(49, c + 1) : at(49, c + 1) - at(49, c), -1e-6 * R) << c;
        EXPECT_GT(std::min(at(49, 0), at(49, 399)), 1.05 * R);
        EXPECT_GT(at(0, 210), 1.002 * R);
    }
}

TEST(sensor_model, an_uncalibrated_unit_sends_zeroed_offset_tables_and_the_factory_rest) {
    sensor s({"--scene", "wall", "--uncalibrated"});
    DadodUz::configurations_t cfg;
    ASSERT_TRUE(s.open() && s.read_configuration(cfg));
    const auto zero = [](auto v) { return v == 0; };
    EXPECT_TRUE(std::all_of(std::begin(cfg.vcsel_offset), std::end(cfg.vcsel_offset), zero) &&
                std::all_of(std::begin(cfg.spad_offset), std::end(cfg.spad_offset), zero));
    EXPECT_TRUE(cfg.global_offset == 133 && cfg.lens_coe[0] == 540.0f) << "the rest as the factory left it";
}

TEST(sensor_model, channel_selection_row_pairing_image_modes_and_supplies_act) {
    sensor s({"--scene", "target"});
    ASSERT_TRUE(s.open());
    DadodUz::configurations_t base;
    ASSERT_TRUE(s.read_configuration(base));
    set_threshold(base, kFpr0);

    // One VCSEL channel alone: only its columns return (channel 5 = columns 24..29 of 64 x 6).
    DadodUz::configurations_t c = base;
    c.vcsel_manual_cs = 5;
    ASSERT_TRUE(s.apply(c));
    ASSERT_TRUE(s.frames(1, [&](const DadodUz::scene_t& f) {
        for (int col = 0; col < kCols; ++col) {
            int valid = 0;
            for (int r = 0; r < kRows; ++r) valid += f.depth[std::size_t(r * kCols + col)] > 0;
            if (col >= 24 && col <= 29) EXPECT_EQ(valid, kRows) << col;
            else EXPECT_EQ(valid, 0) << col;
        }
    }));

    // 50 channels: rows read in pairs carry one measurement; 100 channels: independent rows.
    const auto paired_share = [&](std::uint8_t dual) {
        DadodUz::configurations_t d = base;
        d.dual_channel = dual;
        EXPECT_TRUE(s.apply(d));
        int same = 0, total = 0;
        EXPECT_TRUE(s.frames(1, [&](const DadodUz::scene_t& f) {
            for (int r = 0; r < kRows; r += 2)
                for (int col = 0; col < kCols; ++col) {
                    same += f.depth[std::size_t(r * kCols + col)] == f.depth[std::size_t((r + 1) * kCols + col)];
                    ++total;
                }
        }));
        return double(same) / total;
    };
    EXPECT_EQ(paired_share(1), 1.0);
    EXPECT_LT(paired_share(0), 0.1);

    // Image modes and the FIR: mean intensity and ambient of the target, and histogram roughness.
    struct look {
        double intensity = 0, ambient = 0, intensity_sd = 0;
    };
    const auto looks = [&](std::uint32_t image_mode, std::uint32_t fir0, std::uint32_t fir1) {
        DadodUz::configurations_t d = base;
        d.image_mode = image_mode;
        d.fir_coef[0] = fir0;
        d.fir_coef[1] = fir1;
        EXPECT_TRUE(s.apply(d));
        look l;
        double sq = 0;
        long n = 0, px = 0;
        EXPECT_TRUE(s.frames(2, [&](const DadodUz::scene_t& f) {
            for (std::size_t i = 0; i < f.intensity.size(); ++i) {
                l.ambient += f.ambient[i];
                ++px;
                if (!f.intensity[i]) continue;  // the dead column
                l.intensity += f.intensity[i];
                sq += double(f.intensity[i]) * f.intensity[i];
                ++n;
            }
        }));
        l.intensity /= std::max(n, 1L);
        l.ambient /= std::max(px, 1L);
        l.intensity_sd = std::sqrt(std::max(0.0, sq / std::max(n, 1L) - l.intensity * l.intensity));
        return l;
    };
    const std::uint32_t tri0 = 0x87654321u, tri1 = 0x01234567u;
    const look raw = looks(0, tri0, tri1), fir = looks(1, tri0, tri1), fir_one = looks(1, 1, 0), peak = looks(2, tri0, tri1);
    const look average = looks(1u << 2, tri0, tri1), threshold = looks(2u << 2, tri0, tri1);
    std::printf("[figure] target intensity mean/sd: raw %.0f/%.1f, FIR triangle %.0f/%.1f, FIR = 1 %.0f/%.1f, FIR peak %.0f; "
                "ambient: all photons %.0f, average %.0f, threshold %.0f\n",
                raw.intensity, raw.intensity_sd, fir.intensity, fir.intensity_sd, fir_one.intensity, fir_one.intensity_sd,
                peak.intensity, raw.ambient, average.ambient, threshold.ambient);
    EXPECT_NEAR(fir_one.intensity, raw.intensity, 0.05 * raw.intensity) << "a single tap passes the pulse unchanged";
    EXPECT_LT(fir.intensity, 0.8 * raw.intensity) << "the triangle spreads the pulse";
    EXPECT_LT(fir.intensity_sd / fir.intensity, 0.5 * raw.intensity_sd / raw.intensity) << "and averages its noise";
    EXPECT_GT(peak.intensity, fir.intensity + 10) << "the peak stands on the background";
    EXPECT_LT(average.ambient, raw.ambient - 30) << "no dark level or column pattern";
    EXPECT_GT(threshold.ambient, raw.ambient + 30) << "a0 + a1 x background";

    const auto roughness = [&](std::uint32_t fir0, std::uint32_t fir1) {
        DadodUz::configurations_t d = base;
        d.stream_mode = 4;
        d.fir_coef[0] = fir0;
        d.fir_coef[1] = fir1;
        EXPECT_TRUE(s.apply(d));
        DadodUz::histogram_t h;
        while (s.dev.get_histogram(h)) {
        }
        double rough = 0;
        for (int k = 0; k < 8; ++k) {
            EXPECT_TRUE(wait_for([&] { return s.dev.get_histogram(h); }));
            for (std::size_t b = 1; b < h.bins.size(); ++b) rough += std::abs(int(h.bins[b]) - int(h.bins[b - 1]));
        }
        return rough;
    };
    EXPECT_LT(roughness(tri0, tri1), 0.5 * roughness(1, 0)) << "the 15-tap triangle smooths the histograms";

    // Supplies and bias show in the status packets.
    c = base;
    c.stream_mode = 0;
    c.hv_bias = 31.0f;
    c.vdp_voltage = 1.5f;
    c.vdn_voltage = 2.5f;
    ASSERT_TRUE(s.apply(c));
    DadodUz::sensing_packet_t st;
    ASSERT_TRUE(wait_for([&] { return s.dev.get_sensing_packet(st) && std::fabs(st.xadc_rx_bias - 31.0f) < 0.5f; }));
    EXPECT_NEAR(st.xadc_rx_vdp, 1.5, 0.05);
    EXPECT_NEAR(st.xadc_rx_vdn, 2.5, 0.05);
}
