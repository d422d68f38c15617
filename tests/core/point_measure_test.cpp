// The ruler's arithmetic: pixels of picked points, readouts, distances and
// the log line, whatever the locale.
#include "logic/point_measure.h"
#include "tests/support/comma_locale.h"
#include "tests/support/synthetic_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace pm = point_measure;

TEST(point_measure, pixels_readouts_and_distances) {
    synthetic::scene_t f = synthetic::uniform(100, 400, 120, 2006, 310, 2006.0);
    for (std::size_t i = 0; i < f.points.size(); ++i) f.points[i].valid = 1;
    synthetic::set_point(f, 39999, 5000.0, 3000.0, -4000.0, 0.0); // the far corner
    f.points[100].valid = 0;                                       // no return
    f.points[200].x = std::numeric_limits<double>::infinity();     // a coordinate that is not finite
    pm::frame_values v;
    v.keep(f);
    const struct {
        std::size_t index;
        int row, col;
        bool has_return;
        double range;
    } cases[] = {
        {0, 0, 0, true, 2.006}, {39999, 99, 399, true, 5.0}, {100, 0, 100, false, 0}, {200, 0, 200, false, 0},
    };
    for (const auto& c : cases) {
        int row = -1, col = -1;
        ASSERT_TRUE(pm::pixel_of(c.index, 100, 400, row, col));
        EXPECT_EQ(row, c.row);
        EXPECT_EQ(col, c.col);
        const pm::pick p = pm::read(v, row, col);
        EXPECT_EQ(p.has_return, c.has_return) << c.index;
        EXPECT_NEAR(p.range, c.range, 1e-9);
        EXPECT_EQ(p.depth, 2006);
    }
    int row, col;
    EXPECT_FALSE(pm::pixel_of(40000, 100, 400, row, col));
    EXPECT_FALSE(pm::read(v, 100, 0).has_return) << "outside the frame";

    const comma_locale german;
    if (!german.active()) GTEST_SKIP() << comma_locale::missing();
    const pm::pick a = pm::read(v, 0, 0), b = pm::read(v, 99, 399);
    EXPECT_EQ(pm::readout("A", a), "A  row 0, column 0: (2.006, 0.000, 0.000) m, range 2.006 m, ambient 120, depth "
                                   "2006, intensity 310");
    EXPECT_EQ(pm::readout("B", pm::read(v, 0, 100)), "B  row 0, column 100: no return");
    EXPECT_NEAR(pm::distance(a, b), std::sqrt(0.994 * 0.994 + 16.0), 1e-9);
    EXPECT_EQ(pm::log_line(a, b), "[Measure] A (2.006, 0.000, 0.000) m, B (3.000, -4.000, 0.000) m: distance 4.122 m "
                                  "(0.994, -4.000, 0.000)");

    pm::measurement m;
    EXPECT_FALSE(m.add(pm::read(v, 0, 100))) << "a pick without a return is not taken";
    EXPECT_EQ(m.count(), 0);
    EXPECT_FALSE(m.add(a));
    EXPECT_TRUE(m.add(b));
    EXPECT_FALSE(m.add(b));
    EXPECT_EQ(m.count(), 1) << "the third pick starts anew";
}

TEST(point_measure, pick_of_the_point_drawn_at_a_click) {
    // Clip coordinates = world coordinates on a 200 x 200 window: a point is
    // given by its window position in pixels and its depth (smaller is nearer).
    struct drawn {
        double x, y, depth;
    };
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const struct {
        const char* what;
        std::vector<drawn> points;
        double size, reach;
        long expected; // for a click on pixel (100, 100), centre (100.5, 100.5)
    } cases[] = {
        {"a nearer square over the click beats a farther point nearer to it",
         {{102.5, 100.5, 0.1}, {99, 100.5, 0.5}}, 6, 8, 0},
        {"a square that covers the click beats one that does not", {{102.5, 100.5, 0.1}, {100, 100.5, 0.5}}, 2, 8, 1},
        {"none covers: the nearest within reach", {{105.5, 100.5, 0.1}, {100.5, 96.5, 0.5}}, 2, 8, 1},
        {"none within reach", {{105.5, 100.5, 0.1}, {100.5, 96.5, 0.5}}, 2, 3, -1},
        {"three squares over the click", {{100.5, 100.5, 0.5}, {101.45, 100.5, 0.3}, {101.84, 100.5, 0.1}}, 6, 8, 2},
        {"parked at the origin, not finite, beyond the far plane",
         {{100, 100, 0}, {NAN, 100, 0}, {100.5, 100.5, 1.5}}, 6, 8, -1},
    };
    for (const auto& c : cases) {
        std::vector<std::size_t> order(c.points.size());
        std::iota(order.begin(), order.end(), 0);
        do { // every order of the points gives the same pick
            std::vector<float> xyz;
            for (std::size_t i : order) {
                const drawn& p = c.points[i];
                xyz.insert(xyz.end(), {float(p.x / 100 - 1), float(p.y / 100 - 1), float(p.depth)});
            }
            const long got =
                pm::nearest_on_screen(xyz.data(), order.size(), 3, identity, 200, 200, 100, 100, c.size, c.reach);
            EXPECT_EQ(got < 0 ? -1 : long(order[std::size_t(got)]), c.expected) << c.what;
        } while (std::next_permutation(order.begin(), order.end()));
    }
}
