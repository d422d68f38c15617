// The lens calibration tool's measured cloud (averaging over frames) and the
// point cloud files it writes and reads.
#include "logic/lens_cloud.h"
#include "logic/pcd_file.h"
#include "tests/support/synthetic_frames.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <limits>

namespace {

// A rows x cols frame whose every point is (v, 2 v, -v) mm.
synthetic::scene_t frame_of(double v, std::uint32_t rows = 2, std::uint32_t cols = 3) {
    synthetic::scene_t s;
    synthetic::resize(s, rows, cols);
    for (std::size_t i = 0; i < s.points.size(); ++i) synthetic::set_point(s, i, v, v, 2 * v, -v);
    return s;
}


} // namespace

TEST(lens_cloud, averages_the_last_n_frames) {
    lens_cloud lc;
    lens_cloud::cloud_t cloud;
    // Without averaging: the frame in metres, white.
    ASSERT_TRUE(lc.update(frame_of(1500), cloud));
    ASSERT_EQ(cloud.size(), 6u);
    EXPECT_EQ(cloud.width, 3u);
    EXPECT_EQ(cloud.height, 2u);
    EXPECT_FLOAT_EQ(cloud[5].x, 1.5f);
    EXPECT_FLOAT_EQ(cloud[5].y, 3.0f);
    EXPECT_FLOAT_EQ(cloud[5].z, -1.5f);
    EXPECT_EQ(cloud[5].r + cloud[5].g + cloud[5].b, 3 * 255);

    // Each step: the frame fed (mm), the mean x expected (m), frames listed.
    lc.set_average(true);
    lc.set_frames(3);
    const struct {
        const char* what;
        double mm;
        float mean;
        std::size_t listed;
    } steps[] = {
        {"first frame alone", 1000, 1.0f, 1},
        {"two", 2000, 1.5f, 2},
        {"three", 3000, 2.0f, 3},
        {"the fourth drops the first", 7000, 4.0f, 3},
        {"and the fifth the second", 8000, 6.0f, 3},
    };
    for (const auto& s : steps) {
        ASSERT_TRUE(lc.update(frame_of(s.mm), cloud)) << s.what;
        EXPECT_FLOAT_EQ(cloud[0].x, s.mean) << s.what;
        EXPECT_FLOAT_EQ(cloud[4].y, 2 * s.mean) << s.what;
        EXPECT_EQ(lc.listed(), s.listed) << s.what;
    }
    // Unchecking and checking again starts from the next frame alone.
    lc.set_average(false);
    lc.set_average(true);
    lc.update(frame_of(500), cloud);
    EXPECT_FLOAT_EQ(cloud[0].x, 0.5f);
    // So does a new N, and a frame of another size.
    lc.update(frame_of(1500), cloud);
    lc.set_frames(2);
    EXPECT_EQ(lc.listed(), 0u);
    lc.update(frame_of(2500), cloud);
    EXPECT_FLOAT_EQ(cloud[0].x, 2.5f);
    ASSERT_TRUE(lc.update(frame_of(4000, 1, 4), cloud));
    EXPECT_EQ(lc.listed(), 1u) << "the list of 2 x 3 frames was emptied";
    EXPECT_EQ(cloud.size(), 4u);
    EXPECT_FLOAT_EQ(cloud[3].x, 4.0f);

    // A frame without depth values resizes the cloud and leaves its points.
    synthetic::scene_t empty = frame_of(9000, 1, 2);
    empty.depth.clear();
    EXPECT_FALSE(lc.update(empty, cloud));
    EXPECT_EQ(cloud.size(), 2u);
    EXPECT_EQ(cloud.width * cloud.height, 2u) << "organised and consistent";
    EXPECT_FLOAT_EQ(cloud[1].x, 4.0f);
    // A pixel without a return (at the origin) is left out of its mean
    // rather than pulling it toward the sensor; one that never saw a return
    // stays at the origin.
    lc.set_frames(3);
    for (double mm : {3000.0, 0.0, 6000.0}) {
        synthetic::scene_t s = frame_of(mm, 1, 4);
        synthetic::set_point(s, 3, 0, 0, 0, 0);
        ASSERT_TRUE(lc.update(s, cloud));
    }
    EXPECT_FLOAT_EQ(cloud[0].x, 4.5f) << "frames 1 and 3 only";
    EXPECT_FLOAT_EQ(cloud[0].z, -4.5f);
    EXPECT_EQ(cloud[3].x + cloud[3].y + cloud[3].z, 0.0f);
    ASSERT_TRUE(lc.update(frame_of(0, 1, 4), cloud));
    ASSERT_TRUE(lc.update(frame_of(0, 1, 4), cloud));
    EXPECT_FLOAT_EQ(cloud[0].x, 6.0f) << "the 3 m frame has left";
    ASSERT_TRUE(lc.update(frame_of(0, 1, 4), cloud));
    EXPECT_EQ(cloud[0].x, 0.0f) << "no return left in the list: exactly the origin";
    // A coordinate that is no number does not poison the sums.
    synthetic::scene_t bad = frame_of(1000, 1, 4);
    bad.points[2].y = std::numeric_limits<double>::quiet_NaN();
    ASSERT_TRUE(lc.update(bad, cloud));
    ASSERT_TRUE(lc.update(frame_of(1000, 1, 4), cloud));
    EXPECT_TRUE(std::isfinite(cloud[2].y));
}

TEST(pcd_file, writes_ascii_with_eight_digits_and_reads_it_back) {
    QTemporaryDir dir;
    lens_cloud::cloud_t cloud;
    cloud.width = 2;
    cloud.height = 1;
    cloud.points.resize(2);
    cloud[0].x = 1.23456789f;
    cloud[0].y = -0.5f;
    cloud[0].z = 2.0f;
    cloud[0].r = 255;
    cloud[1].x = 3.0f;
    const std::string path = dir.filePath("c.pcd").toStdString();
    ASSERT_TRUE(pcd_file::write_ascii(path, cloud));
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string text = file.readAll().toStdString();
    EXPECT_NE(text.find("VERSION 0.7\nFIELDS x y z rgb\n"), std::string::npos) << text;
    EXPECT_NE(text.find("WIDTH 2\nHEIGHT 1\n"), std::string::npos);
    EXPECT_NE(text.find("DATA ascii\n1.2345679 -0.5 2 "), std::string::npos) << "8 significant digits";
    lens_cloud::cloud_t back;
    std::string error;
    ASSERT_TRUE(pcd_file::read(path, back, error)) << error;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_FLOAT_EQ(back[0].x, 1.2345679f);
    EXPECT_EQ(back[0].r, 255);
    EXPECT_FALSE(pcd_file::write_ascii(dir.filePath("no/such/dir/c.pcd").toStdString(), cloud));
}

TEST(pcd_file, refuses_malformed_files_without_allocating_what_they_claim) {
    QTemporaryDir dir;
    const std::string head = "# .PCD v0.7\nVERSION 0.7\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\n";
    const struct {
        const char* name;
        std::string text;
        bool readable;
    } files[] = {
        {"empty", "", false},
        {"no header", "hello\nworld\n", false},
        {"binary noise", std::string("\x01\x02\x00\xff\x7f", 5), false},
        {"two billion points", head + "COUNT 1 1 1\nWIDTH 2000000000\nHEIGHT 1\nPOINTS 2000000000\nDATA ascii\n1 2 3\n", false},
        {"a huge field", head + "COUNT 1 1 900000000\nWIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n1 2 3\n", false},
        {"more points than data", head + "COUNT 1 1 1\nWIDTH 1000\nHEIGHT 1\nPOINTS 1000\nDATA ascii\n1 2 3\n", false},
        {"binary too short", head + "COUNT 1 1 1\nWIDTH 100\nHEIGHT 1\nPOINTS 100\nDATA binary\n0123456789", false},
        {"fields without sizes", "VERSION 0.7\nFIELDS x y z\nWIDTH 1\nHEIGHT 1\nPOINTS 1\nDATA ascii\n1 2 3\n", false},
        {"a lone F line (PCL's reader crashed on it)", "VERSION .7\nF\nFIELDS x y z\nSIZE 4 4 4\nTYPE F F F\nWIDTH 1\nDATA ascii\n1 2 3\n", false},
        {"POINTS is not WIDTH x HEIGHT", head + "WIDTH 2\nHEIGHT 1\nPOINTS 3\nDATA ascii\n1 2 3\n4 5 6\n7 8 9\n", false},
        {"a point short of a value", head + "WIDTH 2\nDATA ascii\n1 2 3\n4 5\n", false},
        {"no z", "FIELDS x y q\nSIZE 4 4 4\nTYPE F F F\nWIDTH 1\nDATA ascii\n1 2 3\n", false},
        {"compressed data that runs back before its start", head + "WIDTH 1\nDATA binary_compressed\n" +
             std::string("\x03\0\0\0\x0c\0\0\0\x20\x05\0", 11), false},
        {"a good one with a NaN", head + "COUNT 1 1 1\nWIDTH 2\nHEIGHT 1\nPOINTS 2\nDATA ascii\n1 2 3\nnan 4 5\n", true},
        {"a good compressed one", head + "WIDTH 1\nDATA binary_compressed\n" +
             std::string("\x0d\0\0\0\x0c\0\0\0\x0b\0\0\x80\x3f\0\0\0\x40\0\0\x40\x40", 21), true},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.filePath("f.pcd").toStdString();
        std::ofstream(path, std::ios::binary) << f.text;
        lens_cloud::cloud_t cloud;
        cloud.resize(7);
        std::string error;
        EXPECT_EQ(pcd_file::read(path, cloud, error), f.readable);
        if (!f.readable) {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(cloud.size(), 7u) << "the cloud is left as it was";
        }
    }
    std::string error;
    lens_cloud::cloud_t cloud;
    EXPECT_FALSE(pcd_file::read(dir.filePath("missing.pcd").toStdString(), cloud, error));
}
