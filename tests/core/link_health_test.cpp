// The status bar's link figures and the watch for a sensor that went silent.
#include "logic/link_health.h"
#include "logic/link_watch.h"
#include "tests/support/comma_locale.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using action = link_watch::action;
using stats_t = TAVRIN::DadodUz::link_statistics_t;

TEST(link_watch, silence_is_judged_once) {
    // (time, activity counter, what the tick must answer)
    struct step {
        std::int64_t t;
        std::uint64_t activity;
        action want;
    };
    const std::vector<std::pair<const char*, std::vector<step>>> cases = {
        {"steady data never ends the link",
         {{0, 5, action::none}, {1000, 9, action::none}, {3900, 40, action::none}, {6800, 80, action::none}}},
        {"three silent seconds end it, once; the first attempt follows on the next tick",
         {{0, 5, action::none}, {500, 6, action::none}, {3400, 6, action::none}, {3500, 6, action::lost},
          {3600, 6, action::retry}}},
        {"the first tick only learns where the counter stands",
         {{2000, 900, action::none}, {2900, 900, action::none}, {3000, 900, action::lost}}},
    };
    for (const auto& [name, steps] : cases) {
        SCOPED_TRACE(name);
        link_watch w;
        EXPECT_EQ(w.tick(0, 0), action::none) << "idle before start";
        w.start(0);
        for (const step& s : steps) EXPECT_EQ(w.tick(s.t, s.activity), s.want) << s.t;
    }
}

TEST(link_watch, attempts_repeat_every_two_seconds_until_one_succeeds_or_the_watch_stops) {
    link_watch w;
    w.start(0);
    w.tick(0, 1);
    ASSERT_EQ(w.tick(3000, 1), action::lost);
    EXPECT_TRUE(w.reconnecting());
    EXPECT_EQ(w.last_heard_ms(), 0);
    EXPECT_EQ(w.tick(3500, 0), action::retry);
    EXPECT_EQ(w.tick(4000, 0), action::none) << "one attempt at a time";
    w.attempt_done(4000, false);
    EXPECT_EQ(w.tick(5000, 0), action::none) << "paced from the start of the last attempt";
    EXPECT_EQ(w.tick(5500, 0), action::retry);
    EXPECT_EQ(w.attempts(), 2);
    w.attempt_done(9000, false); // an attempt that took longer than the pace: the next one follows at once
    EXPECT_EQ(w.tick(9000, 0), action::retry);
    w.attempt_done(9100, true);
    EXPECT_EQ(w.current(), link_watch::state::watching);
    EXPECT_EQ(w.tick(9200, 0), action::none);
    EXPECT_EQ(w.tick(12000, 0), action::none);
    EXPECT_EQ(w.tick(12100, 0), action::lost) << "the new connection is watched from its start";

    w.stop();
    EXPECT_EQ(w.tick(20000, 0), action::none);
    w.attempt_done(20000, true);
    EXPECT_EQ(w.current(), link_watch::state::idle) << "a late attempt does not revive a stopped watch";
}

std::vector<std::string> texts(const std::vector<link_health::field>& fields) {
    std::vector<std::string> out;
    for (const auto& f : fields) out.push_back(f.text);
    return out;
}

TEST(link_health, stream_figures_rate_and_the_dropped_warning) {
    comma_locale comma;
    if (!comma.active()) GTEST_SKIP() << comma_locale::missing();
    link_health::meter m;
    stats_t s;
    s.frames_received = 100;
    s.fragments_lost = 4;
    EXPECT_EQ(texts(m.stream(0, s, false)),
              (std::vector<std::string>{"0.0 fps", "Received 100", "Dropped 0", "Datagrams lost 4"}));
    s.frames_received = 150; // 50 frames in 2 s
    m.stream(1000, s, false);
    auto f = m.stream(2000, s, false);
    EXPECT_EQ(f[0].text, "25.0 fps") << "a point for decimals whatever the locale";
    s.frames_received = 175;
    EXPECT_EQ(m.stream(3000, s, false)[0].text, "12.5 fps") << "over the last two seconds only";

    // Incomplete and overwritten frames both count as dropped; growth warns for three seconds.
    s.frames_dropped = 2;
    s.frames_overwritten = 1;
    f = m.stream(3500, s, false);
    EXPECT_EQ(f[2], (link_health::field{"Dropped 3", true}));
    EXPECT_TRUE(m.stream(6400, s, false)[2].alert);
    EXPECT_FALSE(m.stream(6500, s, false)[2].alert);

    // Recording adds its counts; frames not recorded keep the warning.
    s.frames_recorded = 80;
    f = m.stream(7000, s, true);
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[4], (link_health::field{"Recorded 80", false}));
    EXPECT_EQ(f[5], (link_health::field{"Not recorded 0", false}));
    s.frames_not_recorded = 2;
    EXPECT_EQ(m.stream(20000, s, true)[5], (link_health::field{"Not recorded 2", true}));

    // A counter that went back is a new connection: no rate and no warning from the old one.
    stats_t fresh;
    fresh.frames_received = 3;
    fresh.frames_dropped = 1;
    f = m.stream(20500, fresh, false);
    EXPECT_EQ(f[0].text, "0.0 fps");
    EXPECT_EQ(f[2], (link_health::field{"Dropped 1", false}));
}

TEST(link_health, play_and_reconnecting_texts) {
    EXPECT_EQ(link_health::play("run 1.bin", 1200, 0),
              (std::vector<link_health::field>{{"Play run 1.bin", false}, {"1200 frames", false}, {"Damaged 0", false}}));
    EXPECT_EQ(link_health::play("a.bin", 1, 2)[1].text, "1 frame");
    EXPECT_TRUE(link_health::play("a.bin", 1, 2)[2].alert);
    EXPECT_EQ(link_health::reconnecting(7900, 3),
              (std::vector<link_health::field>{
                  {"No answer from the GX device for 7 s: reconnecting (attempt 3)", true}}));
    EXPECT_EQ(link_health::reconnecting(-5, 0)[0].text, "No answer from the GX device for 0 s: reconnecting (attempt 0)");
}

} // namespace
