#include "logic/link_health.h"

#include "device/c_numbers.h"

namespace link_health {

void meter::reset() {
    samples_.clear();
    dropped_ = 0;
    seen_ = false;
    alert_until_ = 0;
}

std::vector<field> meter::stream(std::int64_t now_ms, const TAVRIN::DadodUz::link_statistics_t& s, bool recording) {
    // A counter that went back belongs to a new connection.
    if (!samples_.empty() && (s.frames_received < samples_.back().second || now_ms < samples_.back().first)) reset();
    samples_.emplace_back(now_ms, s.frames_received);
    while (samples_.size() > 2 && now_ms - samples_[1].first >= kRateWindowMs) samples_.pop_front();
    const auto& first = samples_.front();
    // Frames per second over the last kRateWindowMs (0 before two samples).
    const double rate =
        now_ms > first.first ? double(s.frames_received - first.second) * 1000.0 / double(now_ms - first.first) : 0.0;

    const std::uint64_t dropped = s.frames_dropped + s.frames_overwritten;
    if (seen_ && dropped > dropped_) alert_until_ = now_ms + kAlertMs;
    dropped_ = dropped;
    seen_ = true;

    std::vector<field> out = {
        {c_numbers::fixed(rate, 1) + " fps", false},
        {"Received " + std::to_string(s.frames_received), false},
        {"Dropped " + std::to_string(dropped), now_ms < alert_until_},
        {"Datagrams lost " + std::to_string(s.fragments_lost), false},
    };
    if (recording) {
        out.push_back({"Recorded " + std::to_string(s.frames_recorded), false});
        out.push_back({"Not recorded " + std::to_string(s.frames_not_recorded), s.frames_not_recorded > 0});
    }
    return out;
}

std::vector<field> play(const std::string& file_name, std::uint64_t frames, std::uint64_t damaged) {
    return {
        {"Play " + file_name, false},
        {std::to_string(frames) + (frames == 1 ? " frame" : " frames"), false},
        {"Damaged " + std::to_string(damaged), damaged > 0},
    };
}

std::vector<field> reconnecting(std::int64_t silent_ms, int attempts) {
    const std::int64_t seconds = silent_ms < 0 ? 0 : silent_ms / 1000;
    return {{"No answer from the GX device for " + std::to_string(seconds) + " s: reconnecting (attempt " +
                 std::to_string(attempts < 0 ? 0 : attempts) + ")",
             true}};
}

} // namespace link_health
