#include "logic/link_keeper.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

bool ended(const std::future<link_keeper::handle>& f) {
    return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

} // namespace

link_keeper::link_keeper(launcher launch) : launch_(std::move(launch)) {
    if (!launch_) launch_ = [](attempt a) { return std::async(std::launch::async, std::move(a)); };
}

link_keeper::~link_keeper() = default;

void link_keeper::start(std::int64_t now_ms) { watch_.start(now_ms); }

void link_keeper::stop() {
    watch_.stop();
    if (running_.valid()) abandoned_.push_back(std::move(running_));
}

bool link_keeper::streaming_tick(std::int64_t now_ms, std::uint64_t activity) {
    return watch_.tick(now_ms, activity) == link_watch::action::lost;
}

link_keeper::handle link_keeper::search_tick(std::int64_t now_ms, const attempt& connect) {
    if (!watch_.reconnecting()) return nullptr;
    if (running_.valid() && ended(running_)) {
        handle h = running_.get();
        watch_.attempt_done(now_ms, h != nullptr);
        if (h) return h;
    }
    if (watch_.tick(now_ms, 0) == link_watch::action::retry) running_ = launch_(connect);
    return nullptr;
}

void link_keeper::drop_finished() {
    abandoned_.erase(std::remove_if(abandoned_.begin(), abandoned_.end(), ended), abandoned_.end());
}
