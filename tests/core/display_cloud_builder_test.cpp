// Building the point cloud of a frame: distance window, colour modes, reuse.
#include "logic/cloud_builder.h"
#include "tests/support/synthetic_frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using cloud_builder::cloud_t;

struct rgb {
    int r, g, b;
    bool operator==(const rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const rgb& c) { return os << "(" << c.r << "," << c.g << "," << c.b << ")"; }
rgb colour(const pcl::PointXYZRGB& p) { return {p.r, p.g, p.b}; }

bool at_origin_black(const pcl::PointXYZRGB& p) {
    return p.x == 0 && p.y == 0 && p.z == 0 && p.r == 0 && p.g == 0 && p.b == 0 && p.a == 255;
}

// A 1 x n frame whose pixel i lies at distances[i] mm along +x, y = 10 * i mm, z = -5 mm.
synthetic::scene_t row_frame(const std::vector<double>& distances) {
    synthetic::scene_t s;
    synthetic::resize(s, 1, static_cast<std::uint32_t>(distances.size()));
    for (std::size_t i = 0; i < distances.size(); ++i)
        synthetic::set_point(s, i, distances[i], distances[i], 10.0 * i, -5.0);
    return s;
}

cv::Mat image_of(std::uint32_t rows, std::uint32_t cols, int seed) {
    cv::Mat m(static_cast<int>(rows), static_cast<int>(cols), CV_8UC3);
    for (int r = 0; r < m.rows; ++r)
        for (int c = 0; c < m.cols; ++c)
            m.at<cv::Vec3b>(r, c) = cv::Vec3b(static_cast<uchar>(seed + r), static_cast<uchar>(c), static_cast<uchar>(seed * 2 + r + c));
    return m;
}

} // namespace

TEST(cloud_builder_window, min_is_exclusive_and_max_inclusive) {
    cloud_builder::params p;
    p.colour_mode = cloud_builder::colour_white;
    p.min_dist = 1.0;
    p.max_dist = 10.0;
    const synthetic::scene_t s = row_frame({999, 1000, 1001, 5000, 10000, 10001});
    cloud_t cloud;
    ASSERT_TRUE(cloud_builder::build(s, p, {}, cloud));
    ASSERT_EQ(cloud.size(), 6u);
    EXPECT_TRUE(at_origin_black(cloud[0]));
    EXPECT_TRUE(at_origin_black(cloud[1])) << "exactly the minimum is dropped";
    EXPECT_FALSE(at_origin_black(cloud[2]));
    EXPECT_FLOAT_EQ(cloud[3].x, 5.0f);
    EXPECT_FLOAT_EQ(cloud[3].y, 0.03f);
    EXPECT_FLOAT_EQ(cloud[3].z, -0.005f);
    EXPECT_EQ(colour(cloud[3]), (rgb{255, 255, 255}));
    EXPECT_EQ(cloud[3].a, 255);
    EXPECT_FLOAT_EQ(cloud[4].x, 10.0f) << "exactly the maximum is kept";
    EXPECT_TRUE(at_origin_black(cloud[5]));
}

TEST(cloud_builder_window, initial_window_drops_distance_zero) {
    const synthetic::scene_t s = row_frame({0, 0.001, 200000, 200000.5});
    cloud_builder::params p;  // (0 m, 200 m], ambient colours
    EXPECT_EQ(p.min_dist, 0.0);
    EXPECT_EQ(p.max_dist, 200.0);
    EXPECT_EQ(p.colour_mode, cloud_builder::colour_ambient);
    p.colour_mode = cloud_builder::colour_red;
    cloud_t cloud;
    cloud_builder::build(s, p, {}, cloud);
    EXPECT_TRUE(at_origin_black(cloud[0]));
    EXPECT_EQ(colour(cloud[1]), (rgb{255, 0, 0}));
    EXPECT_EQ(colour(cloud[2]), (rgb{255, 0, 0}));
    EXPECT_TRUE(at_origin_black(cloud[3]));
}

TEST(cloud_builder_window, bad_coordinates_are_dropped) {
    synthetic::scene_t s = row_frame({5000, 5000, 5000});
    s.points[1].y = std::numeric_limits<double>::quiet_NaN();
    s.points[2].distance = std::numeric_limits<double>::quiet_NaN();
    cloud_builder::params p;
    p.colour_mode = cloud_builder::colour_white;
    cloud_t cloud;
    cloud_builder::build(s, p, {}, cloud);
    EXPECT_FALSE(at_origin_black(cloud[0]));
    EXPECT_TRUE(at_origin_black(cloud[1]));
    EXPECT_TRUE(at_origin_black(cloud[2]));
    EXPECT_TRUE(cloud.is_dense);
}

TEST(cloud_builder_colour, fixed_image_and_unknown_modes) {
    const std::uint32_t rows = 3, cols = 4;
    synthetic::scene_t s = synthetic::uniform(rows, cols, 1, 2, 3, 7000);
    cloud_builder::colour_images images{image_of(rows, cols, 10), image_of(rows, cols, 50), image_of(rows, cols, 90)};
    const struct {
        int mode;
        rgb fixed;
    } fixed[] = {{0, {255, 255, 255}}, {1, {255, 0, 0}}, {2, {0, 255, 0}}, {3, {0, 0, 255}},
                 {7, {0, 0, 0}},       {-1, {0, 0, 0}},  {1000, {0, 0, 0}}};
    cloud_t cloud;
    for (const auto& f : fixed) {
        cloud_builder::params p;
        p.colour_mode = f.mode;
        cloud_builder::build(s, p, images, cloud);
        for (const auto& pt : cloud.points) {
            EXPECT_EQ(colour(pt), f.fixed) << "mode " << f.mode;
            EXPECT_EQ(pt.a, 255);
            EXPECT_FLOAT_EQ(pt.x, 7.0f) << "the point stays where it is in every mode";
        }
    }
    const cv::Mat* by_mode[] = {&images.ambient, &images.depth, &images.intensity};
    for (int mode = 4; mode <= 6; ++mode) {
        cloud_builder::params p;
        p.colour_mode = mode;
        cloud_builder::build(s, p, images, cloud);
        for (std::uint32_t r = 0; r < rows; ++r)
            for (std::uint32_t c = 0; c < cols; ++c) {
                const cv::Vec3b v = by_mode[mode - 4]->at<cv::Vec3b>(r, c);
                EXPECT_EQ(colour(cloud[r * cols + c]), (rgb{v[0], v[1], v[2]})) << "mode " << mode << " pixel " << r << "," << c;
            }
    }
}

TEST(cloud_builder_colour, missing_or_wrongly_sized_image_is_black) {
    synthetic::scene_t s = synthetic::uniform(3, 4, 1, 2, 3, 7000);
    cloud_builder::params p;
    p.colour_mode = cloud_builder::colour_depth;
    cloud_t cloud;
    cloud_builder::colour_images images;  // none yet
    cloud_builder::build(s, p, images, cloud);
    for (const auto& pt : cloud.points) EXPECT_EQ(colour(pt), (rgb{0, 0, 0}));

    images.depth = image_of(4, 3, 9);  // transposed size
    cloud_builder::build(s, p, images, cloud);
    for (const auto& pt : cloud.points) EXPECT_EQ(colour(pt), (rgb{0, 0, 0}));

    images.depth = cv::Mat(3, 4, CV_8UC1, cv::Scalar(200));  // wrong type
    cloud_builder::build(s, p, images, cloud);
    for (const auto& pt : cloud.points) EXPECT_EQ(colour(pt), (rgb{0, 0, 0}));
    EXPECT_FLOAT_EQ(cloud[0].x, 7.0f);
}

TEST(cloud_builder_reuse, empty_depth_resizes_but_keeps_previous_points) {
    cloud_builder::params p;
    p.colour_mode = cloud_builder::colour_green;
    cloud_t cloud;
    synthetic::scene_t a = synthetic::uniform(2, 3, 1, 2, 3, 4000);
    ASSERT_TRUE(cloud_builder::build(a, p, {}, cloud));
    const pcl::PointXYZRGB* storage = cloud.points.data();

    // Same size again: the point array is reused.
    ASSERT_TRUE(cloud_builder::build(a, p, {}, cloud));
    EXPECT_EQ(cloud.points.data(), storage);

    synthetic::scene_t b = synthetic::uniform(3, 3, 1, 2, 3, 9000);
    b.depth.clear();
    EXPECT_FALSE(cloud_builder::build(b, p, {}, cloud));
    ASSERT_EQ(cloud.size(), 9u);
    EXPECT_EQ(cloud.width, 3u);
    EXPECT_EQ(cloud.height, 3u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(cloud[i].x, 4.0f) << i;
        EXPECT_EQ(colour(cloud[i]), (rgb{0, 255, 0}));
    }
    for (int i = 6; i < 9; ++i) EXPECT_TRUE(at_origin_black(cloud[i])) << i;
}

TEST(cloud_builder_reuse, organised_shape_and_malformed_frames) {
    cloud_builder::params p;
    cloud_t cloud;
    synthetic::scene_t s = synthetic::make_scene(10, 40);
    cloud_builder::build(s, p, {}, cloud);
    EXPECT_EQ(cloud.width, 40u);
    EXPECT_EQ(cloud.height, 10u);
    EXPECT_TRUE(cloud.isOrganized());

    synthetic::scene_t empty;
    empty.rows = 0;
    empty.cols = 0;
    cloud_builder::build(empty, p, {}, cloud);
    EXPECT_TRUE(cloud.empty());

    // Fewer points than pixels: the pixels without a point stay at the origin.
    p.colour_mode = cloud_builder::colour_white;
    synthetic::scene_t short_frame = synthetic::uniform(2, 2, 1, 1, 1, 3000);
    short_frame.points.resize(3);
    ASSERT_TRUE(cloud_builder::build(short_frame, p, {}, cloud));
    ASSERT_EQ(cloud.size(), 4u);
    EXPECT_FLOAT_EQ(cloud[2].x, 3.0f);
    EXPECT_TRUE(at_origin_black(cloud[3]));
}

TEST(cloud_builder_reuse, absurd_frame_size_is_refused) {
    cloud_builder::params p;
    cloud_t cloud;
    synthetic::scene_t s = synthetic::uniform(2, 2, 1, 1, 1, 3000);
    cloud_builder::build(s, p, {}, cloud);
    synthetic::scene_t huge;
    huge.rows = 1u << 16;
    huge.cols = 1u << 16;
    EXPECT_THROW(cloud_builder::build(huge, p, {}, cloud), std::length_error);
    EXPECT_EQ(cloud.size(), 4u);
    EXPECT_EQ(cloud.width, 2u);
}

TEST(cloud_builder_window, coordinates_are_divided_in_double_and_stored_as_float) {
    synthetic::scene_t s;
    synthetic::resize(s, 50, 40);
    std::uint64_t seed = 12345;
    auto next = [&] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(seed >> 11) / 9007199254740992.0;  // [0, 1)
    };
    for (std::size_t i = 0; i < s.points.size(); ++i)
        synthetic::set_point(s, i, next() * 220000.0, (next() - 0.5) * 4e5, (next() - 0.5) * 4e5, (next() - 0.5) * 4e4);
    cloud_builder::params p;
    p.colour_mode = cloud_builder::colour_white;
    cloud_t cloud;
    cloud_builder::build(s, p, {}, cloud);
    int inside = 0;
    for (std::size_t i = 0; i < s.points.size(); ++i) {
        const auto& in = s.points[i];
        const double d = in.distance / 1000.0;
        if (0.0 < d && d <= 200.0) {
            ++inside;
            ASSERT_EQ(cloud[i].x, static_cast<float>(in.x / 1000.0)) << i;
            ASSERT_EQ(cloud[i].y, static_cast<float>(in.y / 1000.0)) << i;
            ASSERT_EQ(cloud[i].z, static_cast<float>(in.z / 1000.0)) << i;
            ASSERT_EQ(cloud[i].data[3], 1.0f);
        } else {
            ASSERT_TRUE(at_origin_black(cloud[i])) << i;
        }
    }
    EXPECT_GT(inside, 1500);
    EXPECT_LT(inside, 2000);
}
