#include "logic/link_watch.h"

void link_watch::start(std::int64_t now_ms) {
    state_ = state::watching;
    seen_activity_ = false;
    last_heard_ = now_ms;
    attempt_running_ = false;
    attempts_ = 0;
}

void link_watch::stop() {
    state_ = state::idle;
    attempt_running_ = false;
}

link_watch::action link_watch::tick(std::int64_t now_ms, std::uint64_t activity) {
    switch (state_) {
    case state::idle: return action::none;
    case state::watching:
        if (!seen_activity_ || activity != activity_) {
            // The first tick only learns where the counter stands.
            if (seen_activity_) last_heard_ = now_ms;
            activity_ = activity;
            seen_activity_ = true;
            return action::none;
        }
        if (now_ms - last_heard_ < kSilenceMs) return action::none;
        state_ = state::reconnecting;
        next_attempt_ = now_ms + 1;
        attempts_ = 0;
        attempt_running_ = false;
        return action::lost;
    case state::reconnecting:
        if (attempt_running_ || now_ms < next_attempt_) return action::none;
        attempt_running_ = true;
        ++attempts_;
        next_attempt_ = now_ms + kRetryMs;
        return action::retry;
    }
    return action::none;
}

void link_watch::attempt_done(std::int64_t now_ms, bool ok) {
    if (state_ != state::reconnecting) return;
    attempt_running_ = false;
    if (ok) start(now_ms);
}
