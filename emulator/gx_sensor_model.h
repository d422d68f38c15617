// What a GX sensor does with its configuration when it turns photon arrival
// times into ranges: the fixed imperfections of one unit (VCSEL channel
// delays, SPAD half-row delays, the true global delay, the true receiver
// optics) and the settings that correct or shape them. The synthetic scene
// renders through it; docs/sensor-model.md describes the model for users.
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <cstdint>

namespace gx {

namespace sensor_model {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// One offset step in millimetres: the range of one count of the sensor's
// time-to-digital converter (1 / 0.0853924 mm).
constexpr float kDepthStepPerMm = 0x1.5DC46Ep-4f;  // 0.0853924 (bit pattern 0x3DAEE237)
constexpr double kStepMm = 1.0 / double(kDepthStepPerMm);

constexpr int kMaxChannels = 96;
constexpr int kHalfRows = 200;  // left and right half of each of 100 rows

// The fixed imperfections of one sensor unit, drawn from a seed.
struct imperfections {
    std::array<int, kMaxChannels> vcsel_error_steps{};  // 0..7, channel 0 (timing reference) is 0
    std::array<float, kHalfRows> spad_error_mm{};       // zero mean within each half
    std::uint16_t true_global_offset = 133;
    std::array<float, 12> true_lens{};                  // fx fy cx cy p1 p2 k1..k6
};

constexpr std::uint64_t kDefaultSeed = 1;
imperfections make_imperfections(std::uint64_t seed = kDefaultSeed);

// The factory optics of every unit.
std::array<float, 12> factory_lens();

// Writes the factory calibration into cfg: the VCSEL and SPAD tables that
// cancel the unit's errors, the true global offset and the true optics.
void factory_calibrate(const imperfections& imp, configurations_t& cfg);

// Number of VCSEL channels driven for a driver id (0..7); other ids drive 64.
int vcsel_channel_count(int vcsel_type);
// The channel lighting column `col` of a frame `cols` wide: column / g with
// g = cols / count (remainder dropped); the columns right of the last full
// group are lit by the last channel.
int vcsel_channel_of(int col, int cols, int count);

// Range correction in millimetres that the sensor subtracts from half-row i
// (0..99 left halves, 100..199 right halves) for the given table: each entry's
// signed 8-bit difference from the first entry of its half, less the mean of
// those differences over the half. An all-equal table corrects nothing.
void spad_corrections_mm(const std::uint8_t table[kHalfRows], float out_mm[kHalfRows]);

// Share (0..0.5) of pixels that report a false return for the adaptive
// threshold coefficient a0, interpolated between the sensor's calibration
// points (exponentially between neighbours, linearly towards 0 %).
double false_return_share(float a0);

// Pulse gain and noise gain of the 16-tap FIR in fir_coef (taps normalised to
// their sum): 1 and 1 for the single tap 1; a zero FIR has gain 0.
struct fir_gains {
    double pulse = 1.0;
    double noise = 1.0;
    double sum = 0.0;
};
fir_gains fir_gains_of(const configurations_t& cfg);
int fir_tap(const configurations_t& cfg, int i);  // 0..15

}  // namespace sensor_model

}  // namespace gx
