#include "logic/link_watch.h"

#include <algorithm>
#include <cmath>

void link_watch::start(std::int64_t now_ms) {
    state_ = state::watching;
    seen_activity_ = false;
    paused_ = false;
    last_data_ = now_ms;
    attempt_running_ = false;
    attempts_ = 0;
}

void link_watch::stop() {
    state_ = state::idle;
    attempt_running_ = false;
}

link_watch::action link_watch::tick(std::int64_t now_ms, std::uint64_t activity, bool link_up, bool expect_data,
                                    double frame_period_ms) {
    switch (state_) {
    case state::idle: return action::none;
    case state::watching: {
        if (!seen_activity_ || activity != activity_) {
            // The first tick only learns where the counter stands.
            if (seen_activity_) last_data_ = now_ms;
            activity_ = activity;
            seen_activity_ = true;
            return action::none;
        }
        if (!expect_data && link_up) {
            paused_ = true;
            return action::none;
        }
        if (paused_) {
            // Running again: the silence is measured from now.
            paused_ = false;
            last_data_ = now_ms;
            return action::none;
        }
        std::int64_t limit = kSilenceMs;
        if (std::isfinite(frame_period_ms) && frame_period_ms > 0)
            limit = std::max<std::int64_t>(limit, std::int64_t(std::min(3.0 * frame_period_ms, 3.6e6)));
        if (now_ms - last_data_ < limit) return action::none;
        state_ = state::reconnecting;
        next_attempt_ = now_ms + 1;
        attempts_ = 0;
        attempt_running_ = false;
        return action::lost;
    }
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
