#include "logic/colour_legend.h"
#include "logic/status_history.h"
#include "logic/status_limits.h"
#include "tests/support/comma_locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string shipped_limits() {
    std::ifstream in(VEZOVAD_SOURCE_DIR "/resources/limits/status_limits.csv");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string with_line(const std::string& text, const std::string& name, const std::string& replacement) {
    const std::size_t at = text.find("\n" + name + ",");
    const std::size_t end = text.find('\n', at + 1);
    return text.substr(0, at + 1) + replacement + text.substr(end);
}

TEST(status_limits, a_file_is_taken_whole_or_refused) {
    comma_locale comma;
    if (!comma.active()) GTEST_SKIP() << comma_locale::missing();
    const std::string good = shipped_limits();
    struct row {
        std::string text;
        bool ok;
        const char* error_part;
    };
    const row rows[] = {
        {good, true, ""},
        {with_line(good, "xadc_vccint", "xadc_vccint , 0.9 , 1.1\r"), true, ""},
        {with_line(good, "xadc_vccint", "# no vccint"), false, "no band for xadc_vccint"},
        {with_line(good, "xadc_vccint", "xadc_vccint,1.05,0.95"), false, "low must be below high"},
        {with_line(good, "xadc_vccint", "xadc_vccint,1.0,1.0"), false, "low must be below high"},
        {with_line(good, "xadc_vccint", "xadc_vccint,low,1.05"), false, "must be numbers"},
        {with_line(good, "xadc_vccint", "xadc_vccint,0,95,1,05"), false, "expected name,low,high"},
        {with_line(good, "xadc_vccint", "xadc_vccint,0.95,nan"), false, "must be numbers"},
        {with_line(good, "xadc_vccint", "xadc_vccint,0.95,1.05\nxadc_vccint,0.95,1.05"), false, "given twice"},
        {with_line(good, "xadc_vccint", "xadc_vccint,0.95,1.05\nxadc_vcc\xC3\xA9,1,2"), false, "other than ASCII"},
        {with_line(good, "xadc_vccint", "vccint,0.95,1.05"), false, "unknown value"},
        {"xadc_vccint,0.95,1.05\n", false, "header"},
        {"", false, "header"},
        {"\xEF\xBB\xBF" + good, true, ""},
    };
    for (const row& r : rows) {
        const auto parsed = status_limits::parse_csv(r.text);
        EXPECT_EQ(parsed.ok, r.ok) << r.text;
        EXPECT_NE(parsed.error.find(r.error_part), std::string::npos) << parsed.error;
    }
    const auto parsed = status_limits::parse_csv(with_line(good, "xadc_vccint", "xadc_vccint,0.9,1.1"));
    EXPECT_DOUBLE_EQ(parsed.values[1].low, 0.9);
    EXPECT_EQ(status_limits::band_text(parsed.values[1]), "band 0.9 .. 1.1");
}

TEST(status_limits, a_value_is_amber_within_a_quarter_width_outside_red_further) {
    using L = status_limits::level;
    const status_limits::band b{0.95, 1.05};  // width 0.1: amber out to 0.925 and 1.075
    const struct {
        double v;
        L level;
    } rows[] = {{1.0, L::in_band}, {0.95, L::in_band}, {1.05, L::in_band}, {1.06, L::amber}, {0.93, L::amber},
                {1.074, L::amber}, {1.08, L::red},     {0.9, L::red},      {std::nan(""), L::red}};
    for (const auto& r : rows) EXPECT_EQ(status_limits::classify(r.v, b), r.level) << r.v;

    TAVRIN::DadodUz::sensing_packet_t p{};
    const auto bands = status_limits::parse_csv(shipped_limits()).values;
    for (std::size_t i = 0; i < status_limits::kBands; ++i) {
        // Every value at its band's middle, then two out.
        const float mid = float((bands[i].low + bands[i].high) / 2);
        std::memcpy(reinterpret_cast<char*>(&p.xadc_onchip_temp) + 4 * i, &mid, 4);
    }
    EXPECT_EQ(status_limits::check(p, bands).out_of_band, 0);
    p.xadc_vccint = 1.06f;
    p.rx_temp = 200.f;
    const auto v = status_limits::check(p, bands);
    EXPECT_EQ(v.out_of_band, 2);
    EXPECT_EQ(v.worst, L::red);
    EXPECT_EQ(status_limits::summary_text(2), "Status: 2 values out of band");
    EXPECT_EQ(status_limits::summary_text(1), "Status: 1 value out of band");
}

TEST(colour_legend, ticks_follow_the_display_scaling) {
    comma_locale comma;
    if (!comma.active()) GTEST_SKIP() << comma_locale::missing();
    using display::colour_map;
    struct row {
        const char* what;
        display::pipeline_params params;
        display::value_range range;
        const char* unit;
        double divisor;
        std::vector<std::string> texts;
        double last_position;
        std::string note;
    };
    display::pipeline_params depth;  // the image view's depth: inverted JET
    depth.invert = true;
    depth.colour = colour_map::jet;
    display::pipeline_params ambient;
    ambient.colour = colour_map::palette;
    display::pipeline_params grey = ambient;
    grey.colour = colour_map::grey;
    display::pipeline_params equalised = ambient;
    equalised.equalise = true;
    const row rows[] = {
        // Fixed 0 .. 20000 mm: colours run to 20000 mm.
        {"fixed depth", depth, {0, 20000}, "mm", 1, {"0", "5000", "10000", "15000", "20000"}, 1.0, ""},
        // Auto normalisation over 1500 .. 4000 mm: no offset, colours run to 2500 mm.
        {"auto depth", depth, {1500, 4000}, "mm", 1, {"0", "500", "1000", "1500", "2000", "2500"}, 1.0, ""},
        {"cloud depth", depth, {1500, 4000}, "m", 1000, {"0.0", "0.5", "1.0", "1.5", "2.0", "2.5"}, 1.0, ""},
        // Fixed 100 .. 300: colours run to 200 counts.
        {"fixed ambient", ambient, {100, 300}, "counts", 1, {"0", "50", "100", "150", "200"}, 1.0, ""},
        {"grey intensity", grey, {0, 400}, "counts", 1, {"0", "100", "200", "300", "400"}, 1.0, ""},
        {"auto 0 .. 333", ambient, {0, 333}, "counts", 1, {"0", "100", "200", "300"}, 300.0 / 333.0, ""},
        {"equalised", equalised, {0, 500}, "counts", 1, {}, 0, "equalised"},
        {"flat", ambient, {7, 7}, "counts", 1, {}, 0, "\xE2\x80\x94 no range (max <= min)"},
    };
    for (const row& r : rows) {
        const auto l = colour_legend::for_picture(r.params, r.range, r.unit, r.divisor);
        std::vector<std::string> texts;
        for (const auto& t : l.ticks) texts.push_back(t.text);
        EXPECT_TRUE(l.shown) << r.what;
        EXPECT_EQ(l.map, r.params.colour) << r.what;
        EXPECT_EQ(l.inverted, r.params.invert) << r.what;
        EXPECT_EQ(texts, r.texts) << r.what;
        EXPECT_EQ(l.note, r.note) << r.what;
        if (!l.ticks.empty()) {
            EXPECT_DOUBLE_EQ(l.ticks.front().position, 0.0) << r.what;
            EXPECT_NEAR(l.ticks.back().position, r.last_position, 1e-12) << r.what;
        }
    }
}

TEST(status_history, thinning_keeps_spikes_and_windows_stay_inside_the_recording) {
    status_history h;
    TAVRIN::DadodUz::sensing_packet_t p{};
    for (int i = 0; i < 10000; ++i) {
        p.xadc_onchip_temp = i == 4321 ? 99.f : 40.f;
        h.add(i, p);
    }
    const auto points = h.series(0, 1000, 8999, 200, 1000);
    EXPECT_LE(points.size(), 200u);
    EXPECT_EQ(points.front().first, 0.0);
    EXPECT_TRUE(std::any_of(points.begin(), points.end(), [](const auto& q) { return q.second == 99.0; }));
    h.trim_before(9990);
    EXPECT_EQ(h.size(), 10u);

    using W = std::pair<std::uint64_t, std::uint64_t>;
    EXPECT_EQ(status_history::window_around(0, 5000, 1500), W(0, 1500));
    EXPECT_EQ(status_history::window_around(2500, 5000, 1500), W(1750, 3250));
    EXPECT_EQ(status_history::window_around(4990, 5000, 1500), W(3500, 5000));
    EXPECT_EQ(status_history::window_around(10, 300, 1500), W(0, 300));
    EXPECT_TRUE(status_history::holds(1750, 3250, 2500, 5000));
    EXPECT_FALSE(status_history::holds(1750, 3250, 1800, 5000));
    EXPECT_TRUE(status_history::holds(0, 1500, 3, 5000));
    EXPECT_FALSE(status_history::holds(0, 1500, 1600, 5000));
}

} // namespace
