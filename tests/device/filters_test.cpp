// The four host-side filters on small frames with known answers, and on a
// synthetic sensor frame.
#include "device/gx_filters.h"
#include "emulator/gx_synthetic_scene.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace gx;

TEST(filters, zigzag_fills_holes_from_agreeing_neighbours) {
    // 3 x 3, centre missing; horizontal pair agrees.
    std::vector<std::int32_t> d = {0, 0, 0, 1000, 0, 1100, 0, 0, 0};
    std::vector<std::uint16_t> in = {0, 0, 0, 100, 0, 200, 0, 0, 0};
    zigzag_fill(d, in, 3, 3, 500, 0);
    EXPECT_EQ(d[4], 1050);
    EXPECT_EQ(in[4], 150);
    // Horizontal pair disagrees, vertical pair agrees.
    d = {0, 1500, 0, 1000, 0, 2000, 0, 1520, 0};
    in = {0, 10, 0, 0, 0, 0, 0, 30, 0};
    zigzag_fill(d, in, 3, 3, 500, 0);
    EXPECT_EQ(d[4], 1510);
    EXPECT_EQ(in[4], 20);
    // Neither agrees: the hole stays.
    d = {0, 1000, 0, 1000, 0, 3000, 0, 3000, 0};
    zigzag_fill(d, in, 3, 3, 500, 0);
    EXPECT_EQ(d[4], 0);
}

TEST(filters, zigzag_smoothing_pulls_spikes_toward_their_neighbours) {
    std::vector<std::int32_t> d = {1000, 1100, 1000, 1000, 1050, 1100, 1000, 3000, 1000};
    std::vector<std::uint16_t> in(9, 50);
    zigzag_fill(d, in, 3, 3, 500, 500);
    EXPECT_EQ(d[1], 1050) << "spike halved toward the mean";
    EXPECT_EQ(d[4], 1050) << "a slope is no zigzag";
    EXPECT_EQ(d[7], 3000) << "beyond the depth difference: a real edge";
    d = {1000, 1100, 1000};
    zigzag_fill(d, in = std::vector<std::uint16_t>(3, 1), 1, 3, 500, 1000);
    EXPECT_EQ(d[1], 1000);
}

TEST(filters, deflaring_clears_the_halo_around_retro_reflectors) {
    std::vector<std::int32_t> d(11, 10000);
    std::vector<std::uint16_t> in(11, 100);
    in[5] = 3000;       // retro-reflector
    d[2] = 20000;       // farther than the depth difference: a real surface
    d[0] = 10000;       // 5 pixels away: outside the radius
    zigzag_fill(d, in, 1, 11, 1, 0);  // no-op on a full row
    deflare(d, in, 1, 11, 450, 1400);
    EXPECT_EQ(d[5], 10000) << "the reflector itself stays";
    for (int c : {1, 3, 4, 6, 7, 8, 9}) {
        EXPECT_EQ(d[std::size_t(c)], 0) << c;
        EXPECT_EQ(in[std::size_t(c)], 0) << c;
    }
    EXPECT_EQ(d[2], 20000);
    EXPECT_EQ(d[0], 10000);
    EXPECT_EQ(d[10], 10000);
    // Nothing at or above the threshold: nothing changes.
    std::vector<std::int32_t> d2(11, 10000);
    std::vector<std::uint16_t> in2(11, 449);
    deflare(d2, in2, 1, 11, 450, 1400);
    EXPECT_EQ(std::count(d2.begin(), d2.end(), 0), 0);
}

TEST(filters, real_ambient_removes_column_pattern_and_dark_level) {
    const int rows = 5, cols = 20;
    std::vector<std::uint16_t> a(rows * cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) a[std::size_t(r * cols + c)] = std::uint16_t(100 + r + (c == 5 || c == 12 ? 30 : 0));
    real_ambient(a, rows, cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) EXPECT_EQ(a[std::size_t(r * cols + c)], r) << r << "," << c;
}

TEST(filters, line_filling_bridges_short_gaps_within_the_offsets) {
    std::vector<std::int32_t> d = {1000, 0, 0, 0, 1040, 0, 0, 0, 0, 0, 1040, 0, 2000};
    std::vector<std::uint16_t> in = {100, 0, 0, 0, 140, 0, 0, 0, 0, 0, 140, 0, 200};
    line_fill(d, in, 1, 13, 0, 0);
    EXPECT_EQ((std::vector<std::int32_t>{d[1], d[2], d[3]}), (std::vector<std::int32_t>{1010, 1020, 1030}));
    EXPECT_EQ(in[2], 120);
    EXPECT_EQ(d[7], 0) << "a gap of 5 is too long";
    EXPECT_EQ(d[11], 0) << "ends disagree by more than 5 %";
    // Offsets limit the span.
    d = {1000, 0, 1000, 0, 1000, 0, 1000};
    in.assign(7, 1);
    line_fill(d, in, 1, 7, 2, 2);
    EXPECT_EQ(d[1], 0) << "left of the span";
    EXPECT_EQ(d[3], 1000);
    EXPECT_EQ(d[5], 0) << "right of the span";
    line_fill(d, in, 1, 7, -5, -1000);  // out-of-range offsets are clamped
    EXPECT_EQ(d[1], 1000);
    EXPECT_EQ(d[5], 1000);
}

TEST(filters, bad_sizes_are_ignored) {
    std::vector<std::int32_t> d(5, 0);
    std::vector<std::uint16_t> in(4, 0), a(3, 7);
    zigzag_fill(d, in, 1, 5, 10, 10);
    deflare(d, in, 1, 5, 1, 10);
    line_fill(d, in, 1, 5, 0, 0);
    real_ambient(a, 2, 2);
    EXPECT_EQ(a, std::vector<std::uint16_t>(3, 7));
}

TEST(filters, on_a_sensor_frame_each_filter_does_its_job) {
    synthetic_scene scene;
    std::vector<std::uint16_t> a, in, in2;
    std::vector<std::int32_t> d, d2;
    scene.render(1.0, 0, a, d, in, d2, in2);
    const int rows = 100, cols = 400;
    auto dead_valid = [&](const std::vector<std::int32_t>& depth) {
        int n = 0;
        for (int r = 0; r < rows; ++r) n += depth[std::size_t(r * cols) + synthetic_scene::kDeadColumn] > 0;
        return n;
    };
    EXPECT_EQ(dead_valid(d), 0);
    auto d_line = d;
    auto in_line = in;
    line_fill(d_line, in_line, rows, cols, 0, 0);
    int bridgeable = 0, bridged = 0;
    for (int r = 0; r < rows; ++r) {
        const std::size_t dead = std::size_t(r * cols) + synthetic_scene::kDeadColumn;
        const auto l = d[dead - 1];
        const auto rr = d[dead + 1];
        if (l > 0 && rr > 0 && std::abs(l - rr) * 100 <= std::max(l, rr) * 5) {
            ++bridgeable;
            bridged += d_line[dead] > 0;
        }
    }
    EXPECT_GT(bridgeable, 30);
    EXPECT_EQ(bridged, bridgeable) << "the dead column is bridged wherever its neighbours agree";
    EXPECT_LE(dead_valid(d_line), bridgeable + rows / 10) << "and hardly anywhere else";

    auto count_weak_near_retro = [&](const std::vector<std::int32_t>& depth, const std::vector<std::uint16_t>& inten) {
        int n = 0;
        for (std::size_t i = 0; i < depth.size(); ++i)
            if (depth[i] > 0 && inten[i] > 50 && inten[i] < 450 && std::abs(depth[i] - 18000) < 1000) ++n;
        return n;
    };
    auto d_fl = d;
    auto in_fl = in;
    const int halo = count_weak_near_retro(d_fl, in_fl);
    EXPECT_GT(halo, 10) << "the scene has a flare halo";
    deflare(d_fl, in_fl, rows, cols, 450, 1400);
    EXPECT_LT(count_weak_near_retro(d_fl, in_fl), halo / 4);

    // Column pattern: neighbouring column medians differ much less afterwards.
    auto roughness = [&](const std::vector<std::uint16_t>& amb) {
        std::vector<int> med(cols);
        std::vector<std::uint16_t> col(rows);
        for (int c = 0; c < cols; ++c) {
            for (int r = 0; r < rows; ++r) col[std::size_t(r)] = amb[std::size_t(r * cols + c)];
            std::nth_element(col.begin(), col.begin() + rows / 2, col.end());
            med[std::size_t(c)] = col[std::size_t(rows / 2)];
        }
        long s = 0;
        for (int c = 1; c < cols; ++c) s += std::abs(med[std::size_t(c)] - med[std::size_t(c - 1)]);
        return s;
    };
    auto a_ra = a;
    real_ambient(a_ra, rows, cols);
    EXPECT_LT(roughness(a_ra), roughness(a) / 2);
}

TEST(filters, thresholds_follow_the_depth_unit) {
    EXPECT_EQ(mm_to_depth_units(1400, 1), 1400);
    EXPECT_EQ(mm_to_depth_units(1400, 50), 28);
    EXPECT_EQ(mm_to_depth_units(10, 50), 1);
    filter_params p;
    p.deflaring = true;
    std::vector<std::int32_t> d = {200, 200, 229};  // bins
    std::vector<std::uint16_t> in = {3000, 100, 100};
    std::vector<std::uint16_t> a(3, 0);
    apply_filters(p, 50, 1, 3, a, d, in);
    EXPECT_EQ(d[1], 0);
    EXPECT_EQ(d[2], 229) << "29 bins = 1450 mm > 1400 mm";
}
