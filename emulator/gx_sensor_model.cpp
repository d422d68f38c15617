#include "emulator/gx_sensor_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gx {
namespace sensor_model {

namespace {
std::uint64_t splitmix(std::uint64_t& s) {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
double unit(std::uint64_t& s) { return double(splitmix(s) >> 11) * (1.0 / 9007199254740992.0); }
}  // namespace

std::array<float, 12> factory_lens() {
    return {540.0f, 540.0f, 210.5f, 49.5f, 0.0f, 0.0f, -0.8435f, 1.099f, -8.88f, 0.0f, 0.0f, 0.0f};
}

imperfections make_imperfections(std::uint64_t seed) {
    imperfections imp;
    std::uint64_t s = seed * 0x2545F4914F6CDD1Dull + 0x1234567ull;
    for (int k = 0; k < kMaxChannels; ++k) imp.vcsel_error_steps[std::size_t(k)] = k == 0 ? 0 : int(splitmix(s) % 8u);
    // Half-row errors up to about three steps either way, zero mean per half:
    // the halves' levels are the channels' business.
    for (int half = 0; half < 2; ++half) {
        double mean = 0;
        for (int r = 0; r < 100; ++r) {
            const float e = float((unit(s) * 2.0 - 1.0) * 3.0 * kStepMm);
            imp.spad_error_mm[std::size_t(half * 100 + r)] = e;
            mean += e;
        }
        mean /= 100.0;
        for (int r = 0; r < 100; ++r) imp.spad_error_mm[std::size_t(half * 100 + r)] -= float(mean);
    }
    imp.true_global_offset = 133;
    imp.true_lens = factory_lens();
    return imp;
}

void factory_calibrate(const imperfections& imp, configurations_t& cfg) {
    for (int k = 0; k < kMaxChannels; ++k) cfg.vcsel_offset[k] = std::uint16_t(imp.vcsel_error_steps[std::size_t(k)]);
    for (int i = 0; i < kHalfRows; ++i)
        cfg.spad_offset[i] = std::uint8_t(128 + int(std::lround(imp.spad_error_mm[std::size_t(i)])));
    cfg.global_offset = imp.true_global_offset;
    std::copy(imp.true_lens.begin(), imp.true_lens.end(), cfg.lens_coe);
}

int vcsel_channel_count(int vcsel_type) {
    static const int counts[8] = {48, 64, 64, 96, 45, 60, 45, 60};
    return vcsel_type >= 0 && vcsel_type < 8 ? counts[vcsel_type] : 64;
}

int vcsel_channel_of(int col, int cols, int count) {
    if (count <= 0) return 0;
    const int g = cols / count;
    if (g <= 0) return std::min(col, count - 1);
    return std::min(col / g, count - 1);
}

void spad_corrections_mm(const std::uint8_t table[kHalfRows], float out_mm[kHalfRows]) {
    for (int half = 0; half < 2; ++half) {
        const int base = half * 100;
        int dev[100];
        double mean = 0;
        for (int r = 0; r < 100; ++r) {
            const int d = int(table[base + r]) - int(table[base]);
            dev[r] = int(std::int8_t(std::uint8_t(d & 0xFF)));  // signed 8-bit difference
            mean += dev[r];
        }
        mean /= 100.0;
        for (int r = 0; r < 100; ++r) out_mm[base + r] = float(dev[r] - mean);
    }
}

double false_return_share(float a0_in) {
    // The sensor's calibration points: threshold a0 and the share of false returns.
    static const double a0s[5] = {170.3, 93.64, 77.81, 70.51, 65.87};
    static const double shares[5] = {0.0, 0.001, 0.01, 0.05, 0.10};
    constexpr double kMax = 0.5;
    const double a0 = double(a0_in);
    if (!std::isfinite(a0)) return kMax;
    if (a0 >= a0s[0]) return 0.0;
    if (a0 >= a0s[1]) return shares[1] * (a0s[0] - a0) / (a0s[0] - a0s[1]);
    for (int i = 1; i < 4; ++i)
        if (a0 >= a0s[i + 1]) {
            const double f = (a0s[i] - a0) / (a0s[i] - a0s[i + 1]);
            return shares[i] * std::pow(shares[i + 1] / shares[i], f);
        }
    // Below the last point: the last segment's exponential slope, capped.
    const double f = (a0s[3] - a0) / (a0s[3] - a0s[4]);
    return std::min(kMax, shares[3] * std::pow(shares[4] / shares[3], f));
}

int fir_tap(const configurations_t& cfg, int i) {
    if (i < 0 || i > 15) return 0;
    const std::uint32_t word = cfg.fir_coef[i / 8];
    return int((word >> (4 * (i % 8))) & 0xFu);
}

fir_gains fir_gains_of(const configurations_t& cfg) {
    fir_gains g;
    double sum = 0, sq = 0;
    int w[16];
    for (int i = 0; i < 16; ++i) {
        w[i] = fir_tap(cfg, i);
        sum += w[i];
        sq += double(w[i]) * w[i];
    }
    g.sum = sum;
    if (sum <= 0) {
        g.pulse = 0;
        g.noise = 0;
        return g;
    }
    // The return pulse is a Gaussian of 1.6 bins; the best-aligned response.
    double best = 0;
    for (int m2 = 0; m2 <= 30; ++m2) {
        const double m = m2 * 0.5;
        double acc = 0;
        for (int i = 0; i < 16; ++i) {
            const double d = (i - m) / 1.6;
            acc += w[i] * std::exp(-0.5 * d * d);
        }
        best = std::max(best, acc);
    }
    g.pulse = best / sum;
    g.noise = std::sqrt(sq) / sum;
    return g;
}

}  // namespace sensor_model
}  // namespace gx
