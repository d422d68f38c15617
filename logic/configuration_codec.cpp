#include "logic/configuration_codec.h"

#include "device/c_numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace configuration_codec {

float to_f32(double control) {
    // Beyond the float range the narrowing would be undefined: saturate.
    constexpr double largest = std::numeric_limits<float>::max();
    if (control > largest) return std::numeric_limits<float>::max();
    if (control < -largest) return -std::numeric_limits<float>::max();
    return static_cast<float>(control);
}
double from_f32(float field) { return static_cast<double>(field); }

long long round_half_away(double v) { return static_cast<long long>(std::round(v)); }

std::uint16_t prf_khz_to_period(double khz) {
    if (!(khz > 0)) return 0xFFFF;
    const double period = 200000.0 / khz;
    if (!(period < 65535.5)) return 0xFFFF;
    return static_cast<std::uint16_t>(round_half_away(period));
}

int prf_period_to_khz(std::uint16_t period) {
    if (period == 0) return 0;
    return static_cast<int>(round_half_away(200000.0 / period));
}

std::uint32_t ns_to_steps(int ns) { return ns <= 0 ? 0u : static_cast<std::uint32_t>(ns / 5); }
int steps_to_ns(std::uint32_t steps) { return static_cast<int>(steps * 5u); }

namespace {
std::uint32_t put(std::uint32_t word, std::uint32_t value, int shift, std::uint32_t mask) {
    return (word & ~mask) | ((value << shift) & mask);
}
int take(std::uint32_t word, int shift, std::uint32_t mask) { return steps_to_ns((word & mask) >> shift); }
} // namespace

std::uint32_t set_ls_duty(std::uint32_t t, int ns) { return put(t, ns_to_steps(ns), 0, kLsDutyMask); }
std::uint32_t set_low_high_delay(std::uint32_t t, int ns) { return put(t, ns_to_steps(ns), 9, kLowHighDelayMask); }
std::uint32_t set_hs_duty(std::uint32_t t, int ns) { return put(t, ns_to_steps(ns), 18, kHsDutyMask); }
int ls_duty_ns(std::uint32_t t) { return take(t, 0, kLsDutyMask); }
int low_high_delay_ns(std::uint32_t t) { return take(t, 9, kLowHighDelayMask); }
int hs_duty_ns(std::uint32_t t) { return take(t, 18, kHsDutyMask); }

std::uint32_t set_image_mode(std::uint32_t mode, int intensity_index, int ambient_index) {
    mode = (mode & ~0x3u) | (static_cast<std::uint32_t>(intensity_index) & 0x3u);
    mode = (mode & ~0xCu) | ((static_cast<std::uint32_t>(ambient_index) & 0x3u) << 2);
    return mode;
}
int intensity_mode_index(std::uint32_t mode) { return static_cast<int>(mode & 0x3u); }
int ambient_mode_index(std::uint32_t mode) { return static_cast<int>((mode >> 2) & 0x3u); }

long long parse_int_cell(const std::string& text) {
    const char* s = text.c_str();
    while (*s == ' ' || *s == '\t') ++s;
    if (*s == '\0') return 0;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(s, &end, 10);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (errno != 0 || end == s || *end != '\0') return 0;
    return v;
}

float parse_real_cell(const std::string& text) {
    double v = 0.0;
    // A number a float cannot hold counts as unparsable.
    if (!c_numbers::parse_finite(text, v) || std::fabs(v) > std::numeric_limits<float>::max()) return 0.0f;
    return static_cast<float>(v);
}

std::string format_fir_real(float v) {
    return c_numbers::fixed(static_cast<double>(v));
}

void fir_cells_to_coef(const std::vector<std::string>& cells, std::uint32_t coef[2]) {
    coef[0] = coef[1] = 0;
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t tap =
            i < static_cast<int>(cells.size()) ? static_cast<std::uint32_t>(parse_int_cell(cells[i])) & 0xFu : 0u;
        coef[i / 8] |= tap << (4 * (i % 8));
    }
}

int fir_tap(const std::uint32_t coef[2], int i) {
    return static_cast<int>((coef[i / 8] >> (4 * (i % 8))) & 0xFu);
}

std::vector<std::string> fir_coef_to_cells(const std::uint32_t coef[2]) {
    std::vector<std::string> cells(16);
    for (int i = 0; i < 16; ++i) cells[i] = std::to_string(fir_tap(coef, i));
    return cells;
}

std::uint8_t pulse_edge_from_index(int index) { return index == 0 ? 0 : 1; }
int pulse_edge_to_index(std::uint8_t field) { return field == 0 ? 0 : 1; }
std::uint8_t dual_channel_from_index(int index) { return index == 0 ? 1 : 0; }
int dual_channel_to_index(std::uint8_t field) { return field == 1 ? 0 : 1; }

int checkbox_to_field(bool checked) { return checked ? 1 : 0; }
bool field_to_checkbox(long long field) { return field != 0; }

bool apply_sync_guard(configurations_t& cfg) {
    if (cfg.sync_output_polarity >= 4 && cfg.sync_input_polarity >= 4 && cfg.sync_mode >= 4) {
        cfg.sync_output_polarity = 0;
        cfg.sync_input_polarity = 0;
        cfg.sync_mode = 0;
        return true;
    }
    return false;
}

int fps_to_control(std::int32_t fps) { return fps > 40 ? 10 : fps; }

} // namespace configuration_codec
