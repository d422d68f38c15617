// Timing of a small piece of work repeated many times: warm-up, then the
// median, 90th percentile and fastest run, printed one line per piece.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

struct bench_stats {
    double median_us, p90_us, min_us;
};

inline bench_stats measure(int iterations, const std::function<void()>& work) {
    using clock_type = std::chrono::steady_clock;
    for (int i = 0; i < std::max(10, iterations / 20); ++i) work();
    std::vector<double> us(static_cast<std::size_t>(iterations));
    for (auto& t : us) {
        const auto a = clock_type::now();
        work();
        t = std::chrono::duration<double, std::micro>(clock_type::now() - a).count();
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 9 / 10], us.front()};
}

// The q-quantile of a sample (0.5 the median); 0 for an empty one.
inline double quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(q * double(v.size())))];
}

inline double median(const std::vector<double>& v) { return quantile(v, 0.5); }

inline void report(const char* name, const bench_stats& s) {
    std::printf("%-58s median %8.1f us   p90 %8.1f us   min %8.1f us\n", name, s.median_us, s.p90_us, s.min_us);
}
