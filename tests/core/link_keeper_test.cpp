// The search for a silent sensor: attempts launched through a stand-in whose
// results the test decides.
#include "logic/link_keeper.h"

#include <gtest/gtest.h>

#include <deque>
#include <future>

namespace {

struct lost_link {
    std::deque<std::promise<link_keeper::handle>> attempts;
    link_keeper keeper{[this](link_keeper::attempt) {
        attempts.emplace_back();
        return attempts.back().get_future();
    }};
    const link_keeper::attempt connect = [] { return link_keeper::handle(); };
    lost_link() {
        keeper.start(0);
        keeper.streaming_tick(0, 7);
    }
};

} // namespace

TEST(LinkKeeper, SeeksOneAttemptAtATimeAndHandsBackTheConnectionThatAnswers) {
    lost_link l;
    ASSERT_TRUE(l.keeper.streaming_tick(link_watch::kSilenceMs, 7));
    EXPECT_EQ(l.keeper.search_tick(3500, l.connect), nullptr);
    EXPECT_EQ(l.keeper.search_tick(9000, l.connect), nullptr);
    ASSERT_EQ(l.attempts.size(), 1u) << "no second attempt while the first runs";
    l.attempts[0].set_value(nullptr);
    EXPECT_EQ(l.keeper.search_tick(9500, l.connect), nullptr);
    ASSERT_EQ(l.attempts.size(), 2u) << "a failed attempt is followed by the next one due";
    l.attempts[1].set_value(std::make_unique<TAVRIN::DadodUz>());
    EXPECT_NE(l.keeper.search_tick(10000, l.connect), nullptr);
    EXPECT_FALSE(l.keeper.reconnecting());
}

TEST(LinkKeeper, StoppingLetsTheRunningAttemptGoAndSeeksNoMore) {
    lost_link l;
    ASSERT_TRUE(l.keeper.streaming_tick(link_watch::kSilenceMs, 7));
    l.keeper.search_tick(3500, l.connect);
    ASSERT_EQ(l.attempts.size(), 1u);
    l.keeper.stop();
    l.attempts[0].set_value(std::make_unique<TAVRIN::DadodUz>());
    EXPECT_EQ(l.keeper.search_tick(20000, l.connect), nullptr) << "an answer after the stop is not taken";
    EXPECT_EQ(l.attempts.size(), 1u);
    l.keeper.drop_finished();
}
