// The ruler's arithmetic: pixels of picked points, readouts, distances and
// the log line, whatever the locale.
#include "logic/point_measure.h"
#include "tests/support/comma_locale.h"
#include "tests/support/synthetic_frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace pm = point_measure;

TEST(point_measure, pixels_readouts_and_distances) {
    synthetic::scene_t f = synthetic::uniform(100, 400, 120, 2006, 310, 2006.0);
    for (std::size_t i = 0; i < f.points.size(); ++i) f.points[i].valid = 1;
    synthetic::set_point(f, 39999, 5000.0, 3000.0, -4000.0, 0.0); // the far corner
    f.points[100].valid = 0;                                       // no return
    f.points[200].x = std::numeric_limits<double>::infinity();     // a coordinate that is not finite
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
        const pm::pick p = pm::read(f, row, col);
        EXPECT_EQ(p.has_return, c.has_return) << c.index;
        EXPECT_NEAR(p.range, c.range, 1e-9);
        EXPECT_EQ(p.depth, 2006);
    }
    int row, col;
    EXPECT_FALSE(pm::pixel_of(40000, 100, 400, row, col));
    EXPECT_FALSE(pm::read(f, 100, 0).has_return) << "outside the frame";

    const comma_locale german;
    const pm::pick a = pm::read(f, 0, 0), b = pm::read(f, 99, 399);
    EXPECT_EQ(pm::readout("A", a), "A  row 0, column 0: (2.006, 0.000, 0.000) m, range 2.006 m, ambient 120, depth "
                                   "2006, intensity 310");
    EXPECT_EQ(pm::readout("B", pm::read(f, 0, 100)), "B  row 0, column 100: no return");
    EXPECT_NEAR(pm::distance(a, b), std::sqrt(0.994 * 0.994 + 16.0), 1e-9);
    EXPECT_EQ(pm::log_line(a, b), "[Measure] A (2.006, 0.000, 0.000) m, B (3.000, -4.000, 0.000) m: distance 4.122 m "
                                  "(0.994, -4.000, 0.000)");

    pm::measurement m;
    EXPECT_FALSE(m.add(pm::read(f, 0, 100))) << "a pick without a return is not taken";
    EXPECT_EQ(m.count(), 0);
    EXPECT_FALSE(m.add(a));
    EXPECT_TRUE(m.add(b));
    EXPECT_FALSE(m.add(b));
    EXPECT_EQ(m.count(), 1) << "the third pick starts anew";
}

TEST(point_measure, nearest_drawn_point_to_a_click) {
    // Clip coordinates = world coordinates: (x, y) in -1..1 spans a 200 x 200 window.
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float points[][3] = {{0, 0, 0}, {0.5f, 0.5f, 0.2f}, {0.5f, 0.5f, 0.1f}, {-0.5f, 0, 0}, {NAN, 0, 0}};
    const struct {
        double x, y;
        long expected;
    } cases[] = {
        {100, 100, -1}, // only the origin, which holds the parked pixels
        {152, 149, 2},  // of two at one spot, the nearer to the camera
        {50, 100, 3},
        {60, 100, -1},  // ten pixels away: out of reach
    };
    for (const auto& c : cases)
        EXPECT_EQ(pm::nearest_on_screen(&points[0][0], 5, 3, identity, 200, 200, c.x, c.y, 8.0), c.expected)
            << c.x << ", " << c.y;
}
