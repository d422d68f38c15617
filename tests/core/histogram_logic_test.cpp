#include "logic/histogram_average.h"
#include "logic/histogram_csv.h"
#include "logic/histogram_scale.h"
#include "tests/support/comma_locale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using bins_t = std::vector<std::uint16_t>;

TEST(histogram_average, window_of_n_plus_one_vectors) {
    struct step {
        bins_t bins;
        std::size_t retained;
        std::vector<std::uint64_t> sum;
    };
    struct row {
        const char* name;
        std::size_t frames;
        std::vector<step> steps;
    };
    const row rows[] = {
        {"N = 2 keeps three",
         2,
         {{{1, 10}, 1, {1, 10}},
          {{2, 20}, 2, {3, 30}},
          {{3, 30}, 3, {6, 60}},
          {{4, 40}, 3, {9, 90}},
          {{5, 50}, 3, {12, 120}}}},
        {"N = 0 keeps the latest", 0, {{{7, 8}, 1, {7, 8}}, {{9, 1}, 1, {9, 1}}}},
        {"sums wider than 16 bits",
         5,
         {{{65535}, 1, {65535}}, {{65535}, 2, {131070}}, {{65535}, 3, {196605}}}},
        {"a new length restarts the window",
         10,
         {{{1, 2, 3}, 1, {1, 2, 3}}, {{1, 2, 3}, 2, {2, 4, 6}}, {{5, 6}, 1, {5, 6}}, {{1, 1}, 2, {6, 7}}}},
    };
    for (const row& r : rows) {
        histogram_average avg(r.frames);
        for (std::size_t k = 0; k < r.steps.size(); ++k) {
            const step& s = r.steps[k];
            avg.add(s.bins.data(), s.bins.size());
            EXPECT_EQ(avg.retained(), s.retained) << r.name << " step " << k;
            EXPECT_EQ(avg.sum(), s.sum) << r.name << " step " << k;
            EXPECT_EQ(avg.latest(), s.bins) << r.name << " step " << k;
        }
    }
}

TEST(histogram_average, averages_and_reset) {
    histogram_average avg(100);
    std::vector<float> a;
    bins_t ia;
    avg.average(a);
    EXPECT_TRUE(a.empty());
    EXPECT_TRUE(avg.latest().empty());
    const bins_t x = {1, 2, 65535}, y = {2, 2, 65535}, z = {2, 3, 65534};
    avg.add(x.data(), 3);
    avg.add(y.data(), 3);
    avg.add(z.data(), 3);
    avg.average(a);
    EXPECT_EQ(a, (std::vector<float>{5.f / 3.f, 7.f / 3.f, 196604.f / 3.f}));
    avg.integer_average(ia);
    EXPECT_EQ(ia, (bins_t{1, 2, 65534}));
    // A new N empties the window: the next average is the next record itself.
    avg.set_frames(4);
    EXPECT_EQ(avg.retained(), 0u);
    EXPECT_EQ(avg.length(), 0u);
    avg.add(y.data(), 3);
    avg.average(a);
    EXPECT_EQ(a, (std::vector<float>{2.f, 2.f, 65535.f}));
    EXPECT_EQ(avg.frames(), 4u);
}

TEST(histogram_scale, lengths_ranges_and_boxes) {
    TAVRIN::DadodUz::histogram_t h;
    struct length_row {
        std::uint32_t bin_count;
        std::size_t values;
        std::size_t used;
    };
    for (const length_row& r : {length_row{3, 3, 3}, {5, 3, 3}, {2, 3, 2}, {0, 3, 0}, {4, 0, 0}}) {
        h.bin_count = r.bin_count;
        h.bins.assign(r.values, 1);
        EXPECT_EQ(histogram_scale::record_length(h), r.used) << r.bin_count << " / " << r.values;
    }

    histogram_scale::bounds b{1, 2, 3, 4};
    EXPECT_FALSE(histogram_scale::of_values(static_cast<const std::uint16_t*>(nullptr), 0, b));
    EXPECT_EQ(b.y_max, 4) << "no values: bounds kept";
    const bins_t bins = {7, 3, 20000, 9};
    ASSERT_TRUE(histogram_scale::of_values(bins.data(), bins.size(), b));
    EXPECT_EQ(b.x_min, 0);
    EXPECT_EQ(b.x_max, 4);
    EXPECT_EQ(b.y_min, 3);
    EXPECT_EQ(b.y_max, 20000);
    const std::vector<float> avg = {2.9f, 7.99f, 5.5f};
    ASSERT_TRUE(histogram_scale::of_values(avg.data(), avg.size(), b));
    EXPECT_EQ(b.x_max, 3);
    EXPECT_EQ(b.y_min, 2);
    EXPECT_EQ(b.y_max, 7);

    struct box_row {
        double v;
        int box;
    };
    for (const box_row& r : {box_row{-1, 0}, {0, 0}, {9999.9, 9999}, {10000, 10000}, {65535, 10000}, {std::nan(""), 0}})
        EXPECT_EQ(histogram_scale::box_value(r.v), r.box) << r.v;
}

TEST(histogram_csv, lines_byte_for_byte) {
    struct row {
        std::uint32_t r, c;
        bins_t bins;
        const char* line;
    };
    const row rows[] = {{5, 17, {10, 0, 65535}, "5,17,10,0,65535,\n"},
                        {0, 0, {}, "0,0,\n"},
                        {4294967295u, 399, {1000}, "4294967295,399,1000,\n"}};
    comma_locale comma; // decimal digits never take a locale's grouping
    if (!comma.active()) GTEST_SKIP() << comma_locale::missing();
    std::string all;
    for (const row& r : rows) {
        std::string one;
        histogram_csv::append_line(one, r.r, r.c, r.bins.data(), r.bins.size());
        EXPECT_EQ(one, r.line);
        histogram_csv::append_line(all, r.r, r.c, r.bins.data(), r.bins.size());
    }
    EXPECT_EQ(all, "5,17,10,0,65535,\n0,0,\n4294967295,399,1000,\n") << "lines follow each other in order";
}

} // namespace
