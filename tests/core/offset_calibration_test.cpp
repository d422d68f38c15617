// The offset calibration arithmetic on frames with known depths, and the
// cloud error against a known answer.
#include "logic/cloud_rmse.h"
#include "logic/offset_calibration.h"
#include "logic/offset_calibration_run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace oc = offset_calibration;

TEST(offset_calibration, depth_scale_is_the_exact_float) {
    std::uint32_t bits;
    std::memcpy(&bits, &oc::depth_scale, 4);
    EXPECT_EQ(bits, 0x3DAEE237u);
}

TEST(offset_calibration, vcsel_channels_group_columns_and_truncate) {
    // 400 x 2 frame, 60 channels of 6 columns: channel k reads 1000 + 12 k mm,
    // except that channel 0's columns 0..5 and channel 59's 354..359 carry
    // their own values; columns 360..399 belong to no channel.
    const int rows = 2, cols = 400;
    std::vector<std::int32_t> d(rows * cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) d[std::size_t(r * cols + c)] = c >= 360 ? 900000 : 1000 + 12 * (c / 6);
    const auto v = oc::vcsel_channel_values(d.data(), d.size(), rows, cols, 60);
    ASSERT_EQ(v.size(), 60u);
    EXPECT_EQ(v[0], std::int32_t(1000 * double(oc::depth_scale)));      // 85.39 -> 85
    EXPECT_EQ(v[59], std::int32_t((1000 + 12 * 59) * double(oc::depth_scale)));
    const auto step = oc::vcsel_step(v);
    EXPECT_EQ(step[0], 0) << "the smallest channel contributes 0";
    EXPECT_EQ(step[59], v[59] - v[0]);
    // Depth read as unsigned: a negative value counts as a huge one.
    d[0] = -1;
    EXPECT_GT(oc::vcsel_channel_values(d.data(), d.size(), rows, cols, 60)[0], 1000000);
    EXPECT_TRUE(oc::vcsel_channel_values(d.data(), d.size() - 1, rows, cols, 60).empty()) << "frame shorter than claimed";
    EXPECT_TRUE(oc::vcsel_channel_values(d.data(), d.size(), rows, cols, 0).empty());
    EXPECT_TRUE(oc::vcsel_step({}).empty());
}

TEST(offset_calibration, spad_half_rows_accumulate_average_and_store) {
    // Three rows of 5 columns: halves are columns 0..1 and 2..4, both divided by 2.
    const std::vector<std::int32_t> d = {1, 2, 3, 4, 5, 10, 11, 0, 0, 1, 7, 7, 7, 7, 7};
    const auto m = oc::spad_half_row_means(d.data(), d.size(), 3, 5);
    EXPECT_EQ(m, (std::vector<std::int32_t>{1, 10, 7, 6, 0, 10}));
    std::vector<std::int32_t> acc;
    oc::accumulate(acc, {5, -7, 300});
    oc::accumulate(acc, {5, -8, 301});
    oc::accumulate(acc, {5, -8});
    EXPECT_EQ(oc::average(acc, 3), (std::vector<std::int32_t>{5, -7, 200})) << "signed division truncates toward zero";
    TAVRIN::DadodUz::configurations_t cfg{};
    std::vector<std::int32_t> big(300, 0x1FF);
    big[0] = -1;
    oc::store_vcsel_offsets(big, cfg);
    oc::store_spad_offsets(big, cfg);
    EXPECT_EQ(cfg.vcsel_offset[0], 0xFFFF);
    EXPECT_EQ(cfg.vcsel_offset[95], 0x1FF);
    EXPECT_EQ(cfg.spad_offset[0], 0xFF);
    EXPECT_EQ(cfg.spad_offset[199], 0xFF);
    EXPECT_EQ(cfg.fps, 0) << "nothing past the tables is written";
}

TEST(cloud_rmse, nearest_ground_truth_distances) {
    cloud_rmse::cloud_t truth, measured;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j) {
            pcl::PointXYZRGB p;
            p.x = float(i);
            p.y = float(j);
            p.z = 5.0f;
            truth.push_back(p);
            if ((i + j) % 2) continue;
            p.z = (i % 4 == 0) ? 5.3f : 4.6f;  // 0.3 above or 0.4 below the plane
            measured.push_back(p);
        }
    pcl::PointXYZRGB origin;  // a pixel without a return
    origin.x = origin.y = origin.z = 0.0f;
    measured.push_back(origin);
    const auto r = cloud_rmse::compute(measured, truth);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.points, 200u);
    long up = 0;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j) up += (i + j) % 2 == 0 && i % 4 == 0;
    EXPECT_NEAR(r.rmse, std::sqrt((up * 0.09 + (200 - up) * 0.16) / 200.0), 1e-5);
    EXPECT_FALSE(cloud_rmse::compute(measured, cloud_rmse::cloud_t()).ok);
    EXPECT_FALSE(cloud_rmse::compute(cloud_rmse::cloud_t(), truth).ok);
}

namespace {

using depth_fn = std::function<std::int32_t(int frame, int row, int col)>;

std::vector<std::int32_t> depth_frame(int rows, int cols, int f, const depth_fn& depth) {
    std::vector<std::int32_t> d(std::size_t(rows * cols));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) d[std::size_t(r * cols + c)] = depth(f, r, c);
    return d;
}

} // namespace

TEST(offset_calibration_run, runs_average_known_depths_into_the_tables) {
    // VCSEL: 60 channels of 6 columns on a 400-wide frame. Channel 0 is
    // columns 0..5, channel 59 columns 354..359; the others read 1100 mm
    // (93.9 steps) and columns 360..399 belong to no channel at all.
    const depth_fn vcsel = [](int f, int, int c) -> std::int32_t {
        if (c >= 360) return 900000;
        const int k = c / 6;
        const std::int32_t first[3] = {1000, 1000, 1300}; // 85.4, 85.4, 111.0 steps
        const std::int32_t last[3] = {1200, 1212, 1100};  // 102.5, 103.5, 93.9 steps
        return k == 0 ? first[f] : k == 59 ? last[f] : 1100;
    };
    // SPAD: the left half reads 1000 + row + frame, the right half 2000 + 2 row
    // with every odd column 1 mm longer (a half mean of x.5, truncated).
    const depth_fn spad = [](int f, int r, int c) -> std::int32_t { return c < 200 ? 1000 + r + f : 2000 + 2 * r + c % 2; };
    struct expect_entry {
        std::size_t index;
        std::int32_t value;
    };
    const struct {
        const char* name;
        oc::mode mode;
        int rows, frames;
        depth_fn depth;
        std::size_t size;
        std::vector<expect_entry> entries;
    } cases[] = {
        // Per frame (channel 0, 59, others) less the smallest: (0, 17, 8), (0, 18, 8), (18, 0, 0);
        // the sums 18, 35 and 16 over three frames truncate to 6, 11 and 5.
        {"vcsel", oc::mode::vcsel, 100, 3, vcsel, 60, {{0, 6}, {1, 5}, {58, 5}, {59, 11}}},
        {"spad", oc::mode::spad, 100, 2, spad, 200, {{0, 1000}, {99, 1099}, {100, 2000}, {199, 2198}}},
        {"spad of 50 rows", oc::mode::spad, 50, 3, spad, 100, {{0, 1001}, {49, 1050}, {50, 2000}, {99, 2098}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int cols = 400;
        offset_calibration_run run;
        run.set_frames(c.frames);
        run.start(c.mode);
        EXPECT_EQ(run.step({}, nullptr, 0, c.rows, cols), offset_calibration_run::outcome::skipped)
            << "a frame without values (no chart, no depth) does not count";
        EXPECT_EQ(run.counter(), 0);
        for (int f = 0; f < c.frames; ++f) {
            const auto d = depth_frame(c.rows, cols, f, c.depth);
            const auto channels = oc::vcsel_channel_values(d.data(), d.size(), c.rows, cols, 60);
            EXPECT_EQ(run.step(channels, d.data(), d.size(), c.rows, cols),
                      f + 1 < c.frames ? offset_calibration_run::outcome::counted : offset_calibration_run::outcome::finished);
        }
        EXPECT_FALSE(run.running());
        EXPECT_EQ(run.counter(), 0);
        const bool vcsel_mode = c.mode == oc::mode::vcsel;
        EXPECT_EQ(vcsel_mode ? run.vcsel_ready() : run.spad_ready(), true);
        const auto& result = vcsel_mode ? run.vcsel() : run.spad();
        ASSERT_EQ(result.size(), c.size);
        for (const auto& e : c.entries) EXPECT_EQ(result[e.index], e.value) << "entry " << e.index;

        TAVRIN::DadodUz::configurations_t cfg{};
        run.store_ready(cfg);
        for (const auto& e : c.entries)
            EXPECT_EQ(vcsel_mode ? std::int32_t(cfg.vcsel_offset[e.index]) : std::int32_t(cfg.spad_offset[e.index]),
                      vcsel_mode ? e.value : (e.value & 0xFF));
        EXPECT_FALSE(run.vcsel_ready() || run.spad_ready()) << "copied once";
        run.store_ready(cfg);  // a second save copies nothing new
        EXPECT_EQ(run.step({}, nullptr, 0, c.rows, cols), offset_calibration_run::outcome::idle);
    }
}

TEST(offset_calibration_run, restarts_cancels_and_refuses_mixed_frames) {
    const std::vector<std::int32_t> a(400 * 100, 1000), b(400 * 50, 1000);
    offset_calibration_run run;
    run.set_frames(2);
    run.start(oc::mode::spad);
    EXPECT_EQ(run.step({}, a.data(), a.size(), 100, 400), offset_calibration_run::outcome::counted);
    EXPECT_EQ(run.step({}, b.data(), b.size(), 50, 400), offset_calibration_run::outcome::skipped)
        << "half-row means of another frame size cannot be added";
    EXPECT_EQ(run.step({}, a.data(), a.size(), 100, 400), offset_calibration_run::outcome::finished);
    EXPECT_TRUE(run.spad_ready());
    // A new start in the same mode takes the result back: a save during the
    // run must not copy half-made sums.
    run.start(oc::mode::spad);
    EXPECT_FALSE(run.spad_ready());
    run.step({}, a.data(), a.size(), 100, 400);
    run.cancel();
    EXPECT_FALSE(run.running());
    EXPECT_FALSE(run.spad_ready());
    TAVRIN::DadodUz::configurations_t cfg{};
    run.store_ready(cfg);
    EXPECT_EQ(cfg.spad_offset[0], 0);
    // A run of 0 frames ends with its first frame.
    run.set_frames(0);
    run.start(oc::mode::vcsel);
    EXPECT_EQ(run.step({5, 3, 9}, nullptr, 0, 0, 0), offset_calibration_run::outcome::finished);
    EXPECT_EQ(run.vcsel(), (std::vector<std::int32_t>{2, 0, 6}));
}

TEST(offset_calibration, centre_columns_and_the_chart_values) {
    const auto lists = oc::centre_column_lists(100, 400);
    ASSERT_EQ(lists.left.size(), 100u);
    ASSERT_EQ(lists.right.size(), 100u);
    EXPECT_EQ(lists.left[0], 199u);
    EXPECT_EQ(lists.right[0], 200u);
    EXPECT_EQ(lists.left[99], 99u * 400 + 199);
    EXPECT_EQ(oc::centre_column_lists(3, 5).right[1], 5u + 2) << "5 / 2 drops the remainder";
    EXPECT_TRUE(oc::centre_column_lists(100, 1).left.empty());

    std::vector<std::int32_t> d(400 * 100, 0);
    for (int r = 0; r < 100; ++r) {
        d[std::size_t(r * 400 + 199)] = 1000 + r;  // 85.39 .. 93.85 steps
        d[std::size_t(r * 400 + 200)] = 2000;
    }
    auto chart = oc::spad_chart(d.data(), d.size(), lists);
    ASSERT_EQ(chart.size(), 200u);
    EXPECT_EQ(chart[0].x, 0.0);
    EXPECT_EQ(chart[0].y, double(1000.0f * oc::depth_scale)) << "product in single precision";
    EXPECT_EQ(chart[100].x, 100.0);
    EXPECT_EQ(chart[199].x, 199.0);
    const auto range = oc::y_range(chart, true);
    EXPECT_EQ(range.lo, 85.0);
    EXPECT_EQ(range.hi, 170.0);
    EXPECT_EQ(oc::spad_chart(d.data(), 400 * 50, lists).size(), 100u) << "rows past a smaller frame are left out";

    const struct {
        std::vector<double> ys;
        bool truncate;
        double lo, hi;
    } ranges[] = {
        {{0.4, 0.2}, true, 0, 1},     // a largest value of 0 becomes 1
        {{-3.7, 2.9}, true, -3, 2},   // truncated toward zero
        {{-3.7, 2.9}, false, -3.7, 2.9},
        {{7, 7}, false, 7, 8},        // one value: widened for the axis
        {{}, false, 0, 1},
    };
    for (const auto& r : ranges) {
        std::vector<oc::chart_point> pts;
        for (double y : r.ys) pts.push_back({0, y});
        const auto got = oc::y_range(pts, r.truncate);
        EXPECT_EQ(got.lo, r.lo);
        EXPECT_EQ(got.hi, r.hi);
    }
    const auto vc = oc::vcsel_chart({4, -2});
    ASSERT_EQ(vc.size(), 2u);
    EXPECT_EQ(vc[1].x, 1.0);
    EXPECT_EQ(vc[1].y, -2.0);
}

TEST(offset_calibration, what_spoils_a_run) {
    EXPECT_EQ(offset_calibration::driver_channels(0), 48);
    EXPECT_EQ(offset_calibration::driver_channels(5), 60);
    EXPECT_EQ(offset_calibration::driver_channels(200), 64);
    // 4 rows x 10 columns; 3 channels of 3 columns leave column 9 to none.
    const struct {
        std::vector<int> holes; // pixel indices without a return
        std::size_t in_channels, uneven;
    } cases[] = {
        {{}, 0, 0},
        {{9, 19, 29, 39}, 0, 0},  // a dead column outside the channels, in every half-row alike
        {{0}, 1, 1},              // one pixel of channel 0, in the left half of row 0
        {{5, 15, 25, 35, 16}, 5, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::int32_t> depth(40, 2000);
        for (int i : c.holes) depth[std::size_t(i)] = 0;
        EXPECT_EQ(offset_calibration::missing_in_channels(depth.data(), depth.size(), 4, 10, 3), c.in_channels);
        EXPECT_EQ(offset_calibration::uneven_half_rows(depth.data(), depth.size(), 4, 10), c.uneven);
    }
    EXPECT_EQ(offset_calibration::missing_in_channels(nullptr, 0, 4, 10, 3), 0u) << "a frame smaller than it claims";
}
