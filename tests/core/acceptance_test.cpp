// The acceptance check's plain code: per-pixel maps with known dead pixels
// and one noisy channel, the limits file, and results that could not be
// measured never passing.
#include "device/gx_status_fields.h"
#include "logic/acceptance_report.h"
#include "logic/pixel_maps.h"
#include "tests/support/comma_locale.h"
#include "tests/support/synthetic_frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

namespace dq = depth_quality;
namespace al = acceptance_limits;

namespace {

// A 400 x 100 frame of a wall at 2 m seen through a pinhole (f = 540 px), 10
// mm of noise, 60 mm in the columns of one channel (150 .. 155), no return
// at the dead pixels.
synthetic::scene_t wall_frame(std::mt19937& rng, const std::set<std::pair<int, int>>& dead) {
    synthetic::scene_t f;
    synthetic::resize(f, 100, 400);
    std::normal_distribution<double> noise(0.0, 1.0);
    for (int r = 0; r < 100; ++r)
        for (int c = 0; c < 400; ++c) {
            if (dead.count({r, c})) continue;
            double dx = 1, dy = -(c - 199.5) / 540.0, dz = -(r - 49.5) / 540.0;
            const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
            dx /= len, dy /= len, dz /= len;
            const double range = 2000 / dx + noise(rng) * (c >= 150 && c < 156 ? 60.0 : 10.0);
            const std::size_t i = std::size_t(r) * 400 + std::size_t(c);
            synthetic::set_point(f, i, range, range * dx, range * dy, range * dz);
            f.points[i].valid = 1;
        }
    return f;
}

void fill_window(dq::window& w, const std::set<std::pair<int, int>>& dead, dq::region roi = dq::default_region(400, 100)) {
    std::mt19937 rng(11);
    w.set_region(roi);
    w.set_frames(30);
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(w.push(wall_frame(rng, dead)));
}

// A status record in the middle of every band of the limits.
acceptance::status_span nominal_status(const al::limits& l) {
    TAVRIN::DadodUz::sensing_packet_t p{};
    for (std::size_t i = 0; i < status_limits::kBands; ++i)
        p.*gx::kStatusValues[i].member = float(0.5 * (l.status[i].low + l.status[i].high));
    acceptance::status_span s;
    s.add(p);
    return s;
}

std::string shipped_text() {
    std::ifstream in(VEZOVAD_SOURCE_DIR "/resources/limits/acceptance_limits.csv");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(acceptance, maps_find_the_dead_pixels_and_the_noisy_channel) {
    const std::set<std::pair<int, int>> dead = {{30, 120}, {30, 121}, {60, 250}, {74, 299}, {10, 10}}; // the last outside the region
    dq::window w;
    fill_window(w, dead);
    const dq::metrics m = dq::measure(w, 64, 2000);
    ASSERT_TRUE(m.verdict.holds());
    const pixel_maps::maps maps = pixel_maps::compute(w, m);
    ASSERT_EQ(maps.valid_rate.size(), 200u * 50u);

    std::vector<std::pair<int, int>> found;
    for (const auto& p : maps.dead) found.push_back({p.row, p.col});
    EXPECT_EQ(found, (std::vector<std::pair<int, int>>{{30, 120}, {30, 121}, {60, 250}, {74, 299}})) << "row by row, frame coordinates";
    ASSERT_EQ(maps.noisy.size(), 50u * 6u) << "every pixel of the noisy channel, and no other";
    for (const auto& p : maps.noisy) {
        EXPECT_GE(p.col, 150);
        EXPECT_LT(p.col, 156);
        EXPECT_NEAR(p.sigma, 60, 25);
    }
    EXPECT_NEAR(maps.median_sigma, 10, 0.5);
    EXPECT_NEAR(maps.median_sigma, m.temporal_noise, 0.5) << "the map's median and the tool's temporal noise agree";

    double valid = 0;
    for (double v : maps.valid_rate) valid += v;
    EXPECT_NEAR(valid / double(maps.valid_rate.size()), m.fill_rate, 1e-9) << "the valid rate's mean is the fill rate";
    const std::size_t at_dead = std::size_t(30 - 25) * 200 + std::size_t(120 - 100);
    EXPECT_EQ(maps.valid_rate[at_dead], 0.0);
    EXPECT_TRUE(std::isnan(maps.mean_error[at_dead]));
    EXPECT_TRUE(std::isnan(maps.sigma[at_dead]));
    for (std::size_t i = 0; i < maps.mean_error.size(); ++i) {
        if (std::isnan(maps.mean_error[i])) continue;
        const bool noisy_column = (i % 200) + 100 >= 150 && (i % 200) + 100 < 156;
        EXPECT_LT(std::fabs(maps.mean_error[i]), noisy_column ? 40.0 : 8.0) << i;
    }
}

TEST(acceptance, limits_are_taken_whole_or_refused_with_the_line) {
    const std::string good = shipped_text();
    const auto parsed = al::parse_csv(good);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.values.bound[std::size_t(al::metric::fill_rate)], al::built_in().bound[0]) << "the compiled-in text is the file";
    EXPECT_EQ(al::built_in_text(), good);
    const std::string line = "plane_rms_mm,,25";
    ASSERT_NE(good.find(line), std::string::npos);
    const auto with = [&](const std::string& replacement) {
        std::string t = good;
        return t.replace(t.find(line), line.size(), replacement);
    };
    const struct {
        std::string text, error;
    } cases[] = {
        {with("plane_rms_mm,25,"), "an upper bound only"},
        {with("plane_rms_mm,,-1"), "must not be negative"},
        {with("plane_rms_mm,,wide"), "must be a number"},
        {with("plane_rms_mm,,25,1"), "expected name,low,high"},
        {with("plane_rms_mm,,25\nplane_rms_mm,,20"), "given twice"},
        {with("plane_rmsmm,,25"), "unknown name \"plane_rmsmm\""},
        {with("# none"), "no bound for plane_rms_mm"},
        {with("plane_rms_mm,,25\nfill_rate_percent,,99"), "given twice"},
        {with("plane_rms_mm,,25\nxadc_vccint,1.05,0.95"), "low must be below high"},
        {"plane_rms_mm,,25\n", "header"},
    };
    for (const auto& c : cases) {
        const auto r = al::parse_csv(c.text);
        EXPECT_FALSE(r.ok) << c.error;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
        if (c.error != "header" && c.error.rfind("no bound", 0) != 0) {
            EXPECT_EQ(r.error.rfind("line ", 0), 0u) << r.error;
        }
    }
    const auto fill = al::parse_csv(with("plane_rms_mm,,25.5"));
    ASSERT_TRUE(fill.ok);
    EXPECT_EQ(fill.values.bound[std::size_t(al::metric::plane_rms)], 25.5);
    EXPECT_TRUE(al::keeps(al::metric::z_accuracy, -19.9, 20));
    EXPECT_FALSE(al::keeps(al::metric::z_accuracy, -20.1, 20));
    EXPECT_FALSE(al::keeps(al::metric::fill_rate, NAN, 0));
}

TEST(acceptance, could_not_measure_never_passes) {
    al::limits open = al::built_in(); // bounds no figure can miss
    for (std::size_t k = 0; k < al::kMetrics; ++k) open.bound[k] = al::info(k).at_least ? 0 : 1e9;
    const acceptance::status_span status = nominal_status(open);
    acceptance::setup set;
    set.range_mm = 2000;
    set.channels = 64;
    set.roi = dq::default_region(400, 100);
    acceptance::identity id;

    dq::window good;
    fill_window(good, {});
    const auto pass = acceptance::evaluate(good, set, id, status, open, "test");
    EXPECT_EQ(pass.result, acceptance::outcome::pass) << pass.reason;
    {
        acceptance::report fixed = pass;
        fixed.created = "2025-01-01T00:00:00+00:00";
        const std::string json = acceptance::to_json(fixed), html = acceptance::to_html(fixed);
        const comma_locale german;
        if (german.active()) {
            EXPECT_EQ(acceptance::to_json(fixed), json) << "numbers whatever the locale";
            EXPECT_EQ(acceptance::to_html(fixed), html);
        }
    }

    al::limits tight = open;
    tight.bound[std::size_t(al::metric::noisy_pixels)] = 10;
    const auto fail = acceptance::evaluate(good, set, id, status, tight, "test");
    EXPECT_EQ(fail.result, acceptance::outcome::fail);
    EXPECT_EQ(acceptance::summary_line(fail).rfind("FAIL: Noisy pixels 300 above 10", 0), 0u) << acceptance::summary_line(fail);

    dq::window narrow; // 4 rows: too narrow for a plane
    fill_window(narrow, {}, {100, 40, 200, 4});
    acceptance::setup far = set;
    far.range_mm = 9000; // the wall is at 2 m: something else than the target
    acceptance::setup no_channels = set;
    no_channels.channels = 0;
    const struct {
        const char* what;
        const dq::window& w;
        acceptance::setup set;
        acceptance::status_span status;
        std::string problem, reason;
    } cases[] = {
        {"too narrow", narrow, set, status, "", "Region too narrow for a plane"},
        {"not the target", good, far, status, "", "not near the 9000 mm"},
        {"no channels", good, no_channels, status, "", "Channel spread could not be measured"},
        {"no status", good, set, {}, "", "no status record"},
        {"a problem", good, set, status, "cannot connect to 127.0.0.1:9", "cannot connect"},
    };
    for (const auto& c : cases) {
        const auto r = acceptance::evaluate(c.w, c.set, id, c.status, open, "test", c.problem);
        EXPECT_EQ(r.result, acceptance::outcome::not_measured) << c.what;
        EXPECT_NE(r.reason.find(c.reason), std::string::npos) << c.what << ": " << r.reason;
        EXPECT_EQ(acceptance::exit_status(r.result), 2);
        EXPECT_EQ(acceptance::summary_line(r).rfind("COULD NOT MEASURE: ", 0), 0u);
        EXPECT_NE(acceptance::to_json(r).find("\"result\": \"could not measure\""), std::string::npos) << c.what;
        EXPECT_EQ(acceptance::to_html(r).find("badge pass"), std::string::npos) << c.what;
    }
}
