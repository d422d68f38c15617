#include "logic/status_history.h"

#include <algorithm>
#include <cmath>

void status_history::add(double x, const TAVRIN::DadodUz::sensing_packet_t& packet) {
    sample s;
    s.x = x;
    for (std::size_t i = 0; i < status_limits::kBands; ++i) s.v[i] = float(status_limits::value(packet, i));
    samples_.push_back(s);
}

void status_history::trim_before(double x) {
    while (!samples_.empty() && samples_.front().x < x) samples_.pop_front();
}

std::vector<status_history::point> status_history::series(std::size_t i, double x0, double x1, std::size_t max_points,
                                                          double origin) const {
    std::vector<point> out;
    const auto begin = std::lower_bound(samples_.begin(), samples_.end(), x0,
                                        [](const sample& s, double x) { return s.x < x; });
    const auto end = std::upper_bound(begin, samples_.end(), x1, [](double x, const sample& s) { return x < s.x; });
    const std::size_t n = std::size_t(end - begin);
    if (n == 0) return out;
    const std::size_t buckets = std::max<std::size_t>(1, max_points / 2);
    if (n <= max_points) {
        out.reserve(n);
        for (auto it = begin; it != end; ++it)
            if (std::isfinite(it->v[i])) out.emplace_back(it->x - origin, double(it->v[i]));
        return out;
    }
    out.reserve(2 * buckets);
    for (std::size_t b = 0; b < buckets; ++b) {
        const auto from = begin + std::ptrdiff_t(n * b / buckets);
        const auto to = begin + std::ptrdiff_t(n * (b + 1) / buckets);
        auto lo = to, hi = to;
        for (auto it = from; it != to; ++it) {
            if (!std::isfinite(it->v[i])) continue;
            if (lo == to || it->v[i] < lo->v[i]) lo = it;
            if (hi == to || it->v[i] > hi->v[i]) hi = it;
        }
        if (lo == to) continue;
        const auto first = lo->x <= hi->x ? lo : hi;
        const auto second = lo->x <= hi->x ? hi : lo;
        out.emplace_back(first->x - origin, double(first->v[i]));
        if (second != first) out.emplace_back(second->x - origin, double(second->v[i]));
    }
    return out;
}

std::pair<std::uint64_t, std::uint64_t> status_history::window_around(std::uint64_t frame, std::uint64_t frames,
                                                                      std::uint64_t width) {
    if (frames <= width) return {0, frames};
    std::uint64_t first = frame > width / 2 ? frame - width / 2 : 0;
    if (first + width > frames) first = frames - width;
    return {first, first + width};
}

bool status_history::holds(std::uint64_t first, std::uint64_t last, std::uint64_t frame, std::uint64_t frames) {
    if (frame < first || frame >= last) return false;
    const std::uint64_t margin = (last - first) / 8;
    if (first > 0 && frame < first + margin) return false;
    if (last < frames && frame + margin >= last) return false;
    return true;
}
