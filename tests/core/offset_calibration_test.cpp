// The offset calibration arithmetic on frames with known depths, and the
// cloud error against a known answer.
#include "logic/cloud_rmse.h"
#include "logic/offset_calibration.h"

#include <gtest/gtest.h>

#include <cstring>

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
