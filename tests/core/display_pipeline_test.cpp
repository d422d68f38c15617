// The 8-bit display pipeline: scaling, equalisation, inversion and colour tables.
#include "logic/display_pipeline.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <vector>

using display::colour_map;

namespace {

// Runs the pipeline over one row of 16-bit values.
cv::Mat run(const std::vector<std::uint16_t>& values, const display::pipeline_params& p, cv::Mat* grey_out = nullptr) {
    const cv::Mat raw = display::wrap(values, 1, static_cast<std::uint32_t>(values.size()));
    cv::Mat grey, rgb;
    EXPECT_TRUE(display::render(raw, p, grey, rgb));
    if (grey_out) *grey_out = grey;
    return rgb;
}

cv::Mat run_depth(const std::vector<std::int32_t>& values, const display::pipeline_params& p, cv::Mat* grey_out = nullptr) {
    const cv::Mat raw = display::wrap(values, 1, static_cast<std::uint32_t>(values.size()));
    cv::Mat grey, rgb;
    EXPECT_TRUE(display::render(raw, p, grey, rgb));
    if (grey_out) *grey_out = grey;
    return rgb;
}

display::pipeline_params manual(double lo, double hi, colour_map map = colour_map::grey, bool invert = false) {
    display::pipeline_params p;
    p.min_value = lo;
    p.max_value = hi;
    p.colour = map;
    p.invert = invert;
    return p;
}

cv::Vec3b px(const cv::Mat& rgb, int c) { return rgb.at<cv::Vec3b>(0, c); }

} // namespace

TEST(display_wrap, aliases_the_array_and_refuses_wrong_sizes) {
    std::vector<std::uint16_t> a(12, 7);
    const cv::Mat m = display::wrap(a, 3, 4);
    ASSERT_EQ(m.rows, 3);
    ASSERT_EQ(m.cols, 4);
    EXPECT_EQ(m.type(), CV_16UC1);
    EXPECT_EQ(m.ptr<std::uint16_t>(0), a.data()) << "wrapping must not copy";
    EXPECT_EQ(m.step, 4 * sizeof(std::uint16_t)) << "lines follow each other without a gap";

    std::vector<std::int32_t> d(12, -3);
    EXPECT_EQ(display::wrap(d, 3, 4).type(), CV_32SC1);

    EXPECT_TRUE(display::wrap(a, 4, 4).empty()) << "an array shorter than rows x cols";
    EXPECT_TRUE(display::wrap(a, 2, 4).empty()) << "an array longer than rows x cols";
    EXPECT_TRUE(display::wrap(std::vector<std::uint16_t>{}, 3, 4).empty());
    EXPECT_TRUE(display::wrap(a, 0, 4).empty());
}

TEST(display_scaling, no_offset_is_subtracted) {
    cv::Mat grey;
    run({0, 100, 200, 300}, manual(100, 300), &grey);
    // scale = 255 / 200: 100 -> 127.5 -> 128, not 0.
    EXPECT_EQ(grey.at<std::uint8_t>(0, 0), 0);
    EXPECT_EQ(grey.at<std::uint8_t>(0, 1), 128);
    EXPECT_EQ(grey.at<std::uint8_t>(0, 2), 255);
    EXPECT_EQ(grey.at<std::uint8_t>(0, 3), 255);

    // A manual range of 1000..5000: 1000 -> 64, 5000 saturates.
    run({1000, 5000}, manual(1000, 5000), &grey);
    EXPECT_EQ(grey.at<std::uint8_t>(0, 0), 64);
    EXPECT_EQ(grey.at<std::uint8_t>(0, 1), 255);
}

TEST(display_scaling, saturates_at_the_top_of_the_range) {
    // Initial ambient range 0..500: 500 and above are white in grey mode.
    const cv::Mat rgb = run({499, 500, 1000, 65535}, manual(0, 500));
    EXPECT_EQ(px(rgb, 0), cv::Vec3b(254, 254, 254));
    for (int c = 1; c < 4; ++c) EXPECT_EQ(px(rgb, c), cv::Vec3b(255, 255, 255)) << c;

    // Depth 20000 or more with 0..20000 maps to 255 and, inverted, to black.
    const cv::Mat d = run_depth({20000, 30000, 2147483647}, manual(0, 20000, colour_map::grey, true));
    for (int c = 0; c < 3; ++c) EXPECT_EQ(px(d, c), cv::Vec3b(0, 0, 0)) << c;
}

TEST(display_scaling, negative_values_and_negative_scale_give_zero) {
    cv::Mat grey;
    run_depth({-5000, -1, 0}, manual(0, 20000), &grey);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(grey.at<std::uint8_t>(0, c), 0) << c;

    // max below min: every pixel 0 before inversion and colouring, even a
    // negative depth that the negative scale would turn positive.
    const cv::Mat d = run_depth({-5000, 0, 100, 20000}, manual(20000, 0, colour_map::grey, true), &grey);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(grey.at<std::uint8_t>(0, c), 0) << c;
        EXPECT_EQ(px(d, c), cv::Vec3b(255, 255, 255)) << "inverted zero is white";
    }
    EXPECT_EQ(display::display_scale({10, 5}), 0.0);
}

TEST(display_scaling, flat_range_gives_an_all_black_image) {
    display::pipeline_params p;
    p.auto_norm = true;
    p.colour = colour_map::grey;
    cv::Mat grey;
    const cv::Mat rgb = run({700, 700, 700}, p, &grey);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(grey.at<std::uint8_t>(0, c), 0);
        EXPECT_EQ(px(rgb, c), cv::Vec3b(0, 0, 0));
    }
    run({0, 700}, manual(300, 300), &grey);
    EXPECT_EQ(cv::countNonZero(grey), 0) << "equal min and max";
    EXPECT_EQ(display::display_scale({3, 3}), 0.0);
}

TEST(display_scaling, auto_normalisation_takes_the_image_range) {
    cv::Mat grey;
    display::pipeline_params p = manual(0, 1);  // manual range ignored
    p.auto_norm = true;
    run({1000, 2000, 3000}, p, &grey);
    // scale = 255 / 2000, no offset: 1000 -> 127.5 -> 128.
    EXPECT_EQ(grey.at<std::uint8_t>(0, 0), 128);
    EXPECT_EQ(grey.at<std::uint8_t>(0, 2), 255);
    const display::value_range r = display::scaling_range(display::wrap(std::vector<std::int32_t>{-4, 9}, 1, 2), true, 0, 0);
    EXPECT_EQ(r.lo, -4);
    EXPECT_EQ(r.hi, 9);
}

TEST(display_colour, depth_zero_is_brightest_after_inversion) {
    const cv::Mat grey = run_depth({0}, manual(0, 20000, colour_map::grey, true));
    EXPECT_EQ(px(grey, 0), cv::Vec3b(255, 255, 255));
    // JET's top is dark red (128, 0, 0) in R, G, B order; the far end dark blue.
    const cv::Mat jet = run_depth({0, 20000}, manual(0, 20000, colour_map::jet, true));
    EXPECT_EQ(px(jet, 0), cv::Vec3b(128, 0, 0));
    EXPECT_EQ(px(jet, 1), cv::Vec3b(0, 0, 128));
}

TEST(display_colour, equalisation_comes_before_colouring) {
    const std::vector<std::uint16_t> values = {10, 10, 10, 20, 30, 40, 200, 201};
    display::pipeline_params p = manual(0, 255, colour_map::palette);
    p.equalise = true;
    cv::Mat grey;
    const cv::Mat rgb = run(values, p, &grey);

    cv::Mat expected_grey;
    display::wrap(values, 1, 8).convertTo(expected_grey, CV_8U, 1.0);
    cv::equalizeHist(expected_grey, expected_grey);
    EXPECT_EQ(cv::norm(grey, expected_grey, cv::NORM_INF), 0);
    for (int c = 0; c < 8; ++c) {
        const int v = expected_grey.at<std::uint8_t>(0, c);
        const auto& t = display::lookup_table(colour_map::palette);
        EXPECT_EQ(px(rgb, c), cv::Vec3b(t.r(v), t.g(v), t.b(v))) << c;
    }
    EXPECT_EQ(px(rgb, 7), cv::Vec3b(0xfe, 0xff, 0x01)) << "the largest value is equalised to 255";
}

TEST(display_colour, palette_end_points_and_entries) {
    const auto& t = display::lookup_table(colour_map::palette);
    auto rgb = [&](int v) { return cv::Vec3b(t.r(v), t.g(v), t.b(v)); };
    EXPECT_EQ(rgb(0), cv::Vec3b(0x03, 0x12, 0x6b));
    EXPECT_EQ(rgb(255), cv::Vec3b(0xfe, 0xff, 0x01));
    EXPECT_EQ(rgb(64), cv::Vec3b(0x29, 0x75, 0xa2));
    EXPECT_EQ(rgb(127), cv::Vec3b(0x44, 0xba, 0xb6));
    EXPECT_EQ(rgb(128), cv::Vec3b(0x46, 0xbb, 0xb5));
    EXPECT_EQ(rgb(192), cv::Vec3b(0xb8, 0xff, 0x6f));
    EXPECT_EQ(rgb(254), cv::Vec3b(0xfe, 0xff, 0x01));

    const auto& inv = display::lookup_table(colour_map::palette, true);
    EXPECT_EQ(inv.entry[0], t.entry[255]);
    EXPECT_EQ(inv.entry[200], t.entry[55]);

    // Through the pipeline: grey 0 and 255 of the ambient range.
    const cv::Mat img = run({0, 500}, manual(0, 500, colour_map::palette));
    EXPECT_EQ(px(img, 0), cv::Vec3b(0x03, 0x12, 0x6b));
    EXPECT_EQ(px(img, 1), cv::Vec3b(0xfe, 0xff, 0x01));
}

TEST(display_colour, jet_table_matches_opencv) {
    cv::Mat grey(97, 401, CV_8UC1);  // odd sizes, and a view with a gap between lines
    cv::randu(grey, 0, 256);
    for (int v = 0; v < 256; ++v) grey.at<std::uint8_t>(v % 97, v) = static_cast<std::uint8_t>(v);
    const cv::Mat view = grey(cv::Rect(1, 2, 399, 90));

    for (const cv::Mat& src : {grey, view}) {
        cv::Mat expected_bgr, expected_rgb, rgb;
        cv::applyColorMap(src, expected_bgr, cv::COLORMAP_JET);
        cv::cvtColor(expected_bgr, expected_rgb, cv::COLOR_BGR2RGB);
        display::colourise(src, colour_map::jet, false, rgb);
        ASSERT_EQ(rgb.size(), src.size());
        EXPECT_EQ(cv::norm(rgb, expected_rgb, cv::NORM_INF), 0);

        cv::Mat inverted = 255 - src, expected_inv;
        cv::applyColorMap(inverted, expected_bgr, cv::COLORMAP_JET);
        cv::cvtColor(expected_bgr, expected_inv, cv::COLOR_BGR2RGB);
        display::colourise(src, colour_map::jet, true, rgb);
        EXPECT_EQ(cv::norm(rgb, expected_inv, cv::NORM_INF), 0);

        cv::Mat grey3;
        cv::cvtColor(src, grey3, cv::COLOR_GRAY2RGB);
        display::colourise(src, colour_map::grey, false, rgb);
        EXPECT_EQ(cv::norm(rgb, grey3, cv::NORM_INF), 0);
    }
}

TEST(display_colour, equalisation_matches_opencv) {
    cv::Mat skewed(100, 400, CV_8UC1);
    cv::randn(skewed, 60, 25);
    cv::Mat uniform(37, 53, CV_8UC1);
    cv::randu(uniform, 0, 256);
    const cv::Mat view = uniform(cv::Rect(3, 4, 40, 30));
    const cv::Mat two_values = (cv::Mat_<std::uint8_t>(1, 5) << 9, 9, 9, 200, 9);
    const cv::Mat flat(3, 3, CV_8UC1, cv::Scalar(77));
    for (const cv::Mat& src : {skewed, uniform, view, two_values, flat}) {
        cv::Mat expected, mine = src.clone();
        cv::equalizeHist(src, expected);
        display::equalise(mine);
        EXPECT_EQ(cv::norm(mine, expected, cv::NORM_INF), 0) << src.size();
    }
}

TEST(display_buffers, a_shared_image_is_never_overwritten) {
    const std::vector<std::uint16_t> first(8, 500), second(8, 0);
    display::pipeline_params p = manual(0, 500);
    cv::Mat grey, rgb;
    display::render(display::wrap(first, 2, 4), p, grey, rgb);
    const cv::Mat held_rgb = rgb;    // e.g. the point cloud view keeps it
    const cv::Mat held_grey = grey;  // e.g. an averaging list keeps it
    const std::uint8_t* grey_data = grey.data;
    display::render(display::wrap(second, 2, 4), p, grey, rgb);
    EXPECT_NE(rgb.data, held_rgb.data);
    EXPECT_EQ(held_rgb.at<cv::Vec3b>(1, 3), cv::Vec3b(255, 255, 255));
    EXPECT_EQ(held_grey.at<std::uint8_t>(1, 3), 255);
    EXPECT_EQ(rgb.at<cv::Vec3b>(1, 3), cv::Vec3b(0, 0, 0));
    EXPECT_NE(grey.data, grey_data);

    // An unshared working buffer is reused.
    const std::uint8_t* reused = grey.data;
    display::render(display::wrap(first, 2, 4), p, grey, rgb);
    EXPECT_EQ(grey.data, reused);
}

TEST(display_buffers, averaging_hook_runs_before_or_after_equalisation) {
    const std::vector<std::uint16_t> values = {0, 10, 20, 250};
    for (bool after : {false, true}) {
        display::pipeline_params p = manual(0, 255);
        p.equalise = true;
        p.average_after_equalise = after;
        cv::Mat seen;
        p.average = [&](cv::Mat& g) {
            seen = g.clone();
            g.setTo(cv::Scalar::all(100));  // the hook may change the image
            g.at<std::uint8_t>(0, 0) = 0;
        };
        cv::Mat grey;
        const cv::Mat rgb = run(values, p, &grey);
        cv::Mat scaled;
        display::wrap(values, 1, 4).convertTo(scaled, CV_8U);
        cv::Mat equalised;
        cv::equalizeHist(scaled, equalised);
        EXPECT_EQ(cv::norm(seen, after ? equalised : scaled, cv::NORM_INF), 0) << after;
        // Equalising the hook's 0, 100, 100, 100 turns the 100s into 255.
        EXPECT_EQ(px(rgb, 1)[0], after ? 100 : 255) << after;
    }
}

TEST(display_buffers, empty_input_leaves_the_outputs_alone) {
    cv::Mat grey(1, 1, CV_8UC1, cv::Scalar(9)), rgb(1, 1, CV_8UC3, cv::Scalar(1, 2, 3));
    EXPECT_FALSE(display::render(cv::Mat(), display::pipeline_params{}, grey, rgb));
    EXPECT_EQ(grey.at<std::uint8_t>(0, 0), 9);
    EXPECT_EQ(rgb.at<cv::Vec3b>(0, 0), cv::Vec3b(1, 2, 3));
}
