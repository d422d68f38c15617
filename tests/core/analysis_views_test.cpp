// The plain logic of the image analysis and board alignment views: frame
// averaging, the picked pixel and its ring, the board alignment geometry and
// the status members shown by name.
#include "logic/board_align_geometry.h"
#include "logic/frame_averager.h"
#include "logic/pixel_pick.h"
#include "logic/status_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

cv::Mat flat(int rows, int cols, int v) { return cv::Mat(rows, cols, CV_8UC1, cv::Scalar(v)); }

} // namespace

TEST(frame_averager, KeepsTheLastNAndMatchesTheDoublePrecisionMeanOfTheList) {
    // Random images with many exact halves: the running sum must round as the
    // double-precision mean of the whole list does.
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    frame_averager avg;
    std::vector<cv::Mat> list;
    const int n = 10;
    for (int frame = 0; frame < 25; ++frame) {
        cv::Mat img(3, 5, CV_8UC1);
        for (int i = 0; i < 15; ++i) img.data[i] = static_cast<std::uint8_t>(frame < 3 ? 5 * (i % 2) : byte(rng));
        if (int(list.size()) >= n) list.erase(list.begin());
        list.push_back(img.clone());
        cv::Mat shown = img.clone();
        avg.push(shown, n);
        ASSERT_EQ(avg.size(), list.size());
        ASSERT_EQ(cv::norm(shown, frame_averager::mean(list), cv::NORM_INF), 0) << "frame " << frame;
        if (frame == 0) {
            EXPECT_EQ(cv::norm(shown, img, cv::NORM_INF), 0) << "the first frame shows itself";
        }
    }
    EXPECT_EQ(avg.size(), 10u) << "the eleventh frame drops the first";

    // A lowered count keeps the list's length: one leaves, one arrives.
    cv::Mat next = flat(3, 5, 1);
    avg.push(next, 3);
    EXPECT_EQ(avg.size(), 10u);

    // Another size starts again; the mean of a one-image list is that image.
    cv::Mat other = flat(2, 2, 200);
    avg.push(other, 10);
    EXPECT_EQ(avg.size(), 1u);
    EXPECT_EQ(other.at<std::uint8_t>(1, 1), 200);
    avg.clear();
    EXPECT_EQ(avg.size(), 0u);

    // 0.5 rounds to even as the double mean does; 255s saturate nothing.
    EXPECT_EQ(frame_averager::mean({flat(1, 1, 1), flat(1, 1, 0)}).at<std::uint8_t>(0, 0), 0);
    EXPECT_EQ(frame_averager::mean({flat(1, 1, 3), flat(1, 1, 0)}).at<std::uint8_t>(0, 0), 2);
    EXPECT_EQ(frame_averager::mean({flat(1, 1, 255), flat(1, 1, 255)}).at<std::uint8_t>(0, 0), 255);
    EXPECT_TRUE(frame_averager::mean({}).empty());
}

TEST(pixel_pick, ClicksKeysAndRing) {
    const struct {
        double click;
        int zoom, size, expected;
    } clicks[] = {
        {0, 3, 400, 0},     {4, 3, 400, 1},     {4.4, 3, 400, 1},  {4.6, 3, 400, 2},
        {1199, 3, 400, 399}, {1200, 3, 400, 399} /* right edge clamped */, {-7, 3, 400, 0},
        {50, 0, 400, 50} /* zoom 0 counts as 1 */, {5, 1, 0, 0} /* no frame yet */,
    };
    for (const auto& c : clicks) EXPECT_EQ(pixel_pick::from_click(c.click, c.zoom, c.size), c.expected) << c.click;

    using pixel_pick::key;
    const struct {
        key k;
        double x, y, ex, ey;
    } moves[] = {
        {key::left, 0, 5, 0, 5}, {key::left, 3, 5, 2, 5}, {key::up, 3, 0, 3, 0},   {key::up, 3, 5, 3, 4},
        {key::right, 398, 5, 399, 5}, {key::right, 399, 5, 399, 5}, {key::down, 3, 98, 3, 99}, {key::down, 3, 99, 3, 99},
    };
    for (const auto& m : moves) {
        double x = m.x, y = m.y;
        pixel_pick::move(m.k, x, y, 400, 100);
        EXPECT_EQ(x, m.ex);
        EXPECT_EQ(y, m.ey);
    }

    const struct {
        int x, y;
        std::size_t points;
    } rings[] = {{5, 5, 8}, {1, 5, 5} /* nothing in column 0 */, {0, 5, 3} /* only column 1 */,
                 {399, 99, 3} /* the far corner: its three inner neighbours */, {0, 0, 1}};
    for (const auto& r : rings) {
        const auto points = pixel_pick::ring(r.x, r.y, 400, 100);
        EXPECT_EQ(points.size(), r.points) << r.x << "," << r.y;
        for (const cv::Point& p : points) {
            EXPECT_TRUE(p.x > 0 && p.y > 0 && p.x < 400 && p.y < 100);
            EXPECT_LE(std::max(std::abs(p.x - r.x), std::abs(p.y - r.y)), 1);
        }
    }
    cv::Mat rgb(100, 400, CV_8UC3, cv::Scalar(1, 2, 3));
    pixel_pick::draw_ring(rgb, 0, 5);
    EXPECT_EQ(cv::countNonZero(rgb.reshape(1) == 255), 9) << "three white pixels";
    EXPECT_EQ(rgb.at<cv::Vec3b>(4, 1), cv::Vec3b(255, 255, 255));
    EXPECT_EQ(rgb.at<cv::Vec3b>(5, 0), cv::Vec3b(1, 2, 3));
}

TEST(board_align_geometry, ZoomRegionBandsAndWheel) {
    const struct {
        int height, zoom;
    } zooms[] = {{1200, 4}, {1199, 2}, {600, 2}, {599, 1} /* a low dialog still shows the picture */, {0, 1}};
    for (const auto& z : zooms) EXPECT_EQ(board_align::main_zoom(z.height), z.zoom) << z.height;
    EXPECT_EQ(board_align::zoom_image_factor(true), 6);
    EXPECT_EQ(board_align::zoom_image_factor(false), 4);
    EXPECT_EQ(board_align::zoom_label_side(100, 400, 6), 606);

    const struct {
        int rows, cols;
        cv::Rect region;
        int largest;
    } firsts[] = {{100, 400, {150, 0, 99, 99}, 99}, {100, 401, {150, 0, 98, 98}, 98},
                  {100, 100, {0, 0, 1, 1}, 0}, {400, 100, {0, 0, 1, 1}, 0}, {0, 0, {0, 0, 1, 1}, 0}, {1, 3, {0, 0, 1, 1}, 0}};
    for (const auto& f : firsts) {
        const auto r = board_align::initial_region(f.rows, f.cols);
        EXPECT_EQ(r.region, f.region) << f.rows << "x" << f.cols;
        EXPECT_EQ(r.largest, f.largest);
    }

    EXPECT_EQ(board_align::horizontal_band(100, 400, 5), cv::Rect(0, 0, 400, 10));
    EXPECT_EQ(board_align::horizontal_band(100, 400, 0), cv::Rect(0, 0, 400, 5));
    EXPECT_EQ(board_align::horizontal_band(100, 400, 97), cv::Rect(0, 92, 400, 8));
    EXPECT_EQ(board_align::vertical_band(100, 400, 395), cv::Rect(390, 0, 10, 100));

    const cv::Rect start(150, 0, 99, 99);
    const struct {
        cv::Rect region;
        int delta;
        cv::Rect expected;
    } wheels[] = {
        {start, 120, {151, 1, 97, 97}},                  // shrink on every side
        {{151, 1, 97, 97}, -120, start},                 // and grow back
        {start, -120, start},                            // at the largest size
        {{10, 10, 2, 2}, 120, {10, 10, 2, 2}},           // side 2 cannot shrink
        {{10, 10, 1, 1}, 120, {10, 10, 1, 1}},
        {{0, 0, 3, 3}, -120, {0, 0, 5, 5}},              // grows inside the image
        {{395, 97, 3, 3}, -120, {394, 95, 5, 5}},        // at the far corner too
    };
    for (const auto& w : wheels)
        EXPECT_EQ(board_align::wheel_step(w.region, w.delta, 99, 100, 400), w.expected) << w.region << " " << w.delta;

    EXPECT_EQ(board_align::resized({350, 50, 3, 3}, 99, 100, 400), cv::Rect(301, 1, 99, 99)) << "moved only as needed";
    EXPECT_EQ(board_align::resized({10, 10, 3, 3}, 500, 100, 400), cv::Rect(10, 0, 100, 100)) << "cut to the image";
}

TEST(status_text, MembersByNameAsTheStatusMonitorNamesThem) {
    TAVRIN::DadodUz::sensing_packet_t p{};
    p.xadc_scan_count = 4294967295u;
    p.xadc_tx_hv = 27.25f;
    p.xadc_tx_temp = 41.5f;
    p.rx_temp = 38.125f;
    EXPECT_EQ(status_text::value(p, "xadc_tx_hv"), "27.25");
    EXPECT_EQ(status_text::value(p, "xadc_tx_temp"), "41.5");
    EXPECT_EQ(status_text::value(p, "rx_temp"), "38.125");
    EXPECT_EQ(status_text::value(p, "xadc_scan_count"), "4294967295");
    EXPECT_EQ(status_text::value(p, "tx_temp"), "");
    const auto all = status_text::values(p);
    for (std::size_t i = 0; i < status_text::kValues; ++i) EXPECT_EQ(status_text::value(p, status_text::names()[i]), all[i]);
}
