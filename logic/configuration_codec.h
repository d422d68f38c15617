// Conversions between the fields of the sensor configuration record and the
// values the settings dialogs show. Plain functions, no widgets.
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace configuration_codec {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// Voltages and coefficient sets travel as f32; controls hold doubles.
// Values beyond the float range saturate.
float to_f32(double control);
double from_f32(float field);

// Rounds half away from zero.
long long round_half_away(double v);

// PRF (kHz) <-> prf_period (5 ns steps): period = 200000 / PRF.
// A PRF of zero or less, or one so small that the period would not fit in
// 16 bits, gives the largest period (65535); a period of 0 shows 0 kHz.
std::uint16_t prf_khz_to_period(double khz);
int prf_period_to_khz(std::uint16_t period);

// 5 ns fields: control in ns, field in 5 ns steps, remainder dropped.
std::uint32_t ns_to_steps(int ns);
int steps_to_ns(std::uint32_t steps);

// The three 9-bit parts of vcsel_timing, in ns; other bits are kept.
std::uint32_t set_ls_duty(std::uint32_t timing, int ns);
std::uint32_t set_low_high_delay(std::uint32_t timing, int ns);
std::uint32_t set_hs_duty(std::uint32_t timing, int ns);
int ls_duty_ns(std::uint32_t timing);
int low_high_delay_ns(std::uint32_t timing);
int hs_duty_ns(std::uint32_t timing);
constexpr std::uint32_t kLsDutyMask = 0x1FF;
constexpr std::uint32_t kLowHighDelayMask = 0x3FE00;
constexpr std::uint32_t kHsDutyMask = 0x7FC0000;

// image_mode: bits 0-1 intensity image mode, bits 2-3 ambient image mode.
std::uint32_t set_image_mode(std::uint32_t mode, int intensity_index, int ambient_index);
int intensity_mode_index(std::uint32_t mode);
int ambient_mode_index(std::uint32_t mode);

// fir_coef: sixteen 4-bit taps, tap i (0-7) in bits 4i..4i+3 of word 0,
// tap 8+i in the same bits of word 1. Cells are decimal text; a missing,
// empty or unparsable cell counts 0 and only the low 4 bits are kept.
void fir_cells_to_coef(const std::vector<std::string>& cells, std::uint32_t coef[2]);
std::vector<std::string> fir_coef_to_cells(const std::uint32_t coef[2]);
int fir_tap(const std::uint32_t coef[2], int i);

// intensity_fir_coe: element k is the table cell kIntensityFirCells[k]
// (row, column) of the 3 x 4 table; cell (0, 0) is not used.
constexpr std::array<std::pair<int, int>, 11> kIntensityFirCells = {{
    {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}, {2, 2}, {0, 3}, {1, 3}, {2, 3}}};
// Parses a cell's text as a real number; a missing or unparsable cell, or
// one beyond the float range, gives 0.
float parse_real_cell(const std::string& text);
// "%f" formatting (six decimals) of a coefficient for its cell.
std::string format_fir_real(float v);

// Parses a cell's text as a decimal integer; empty or unparsable gives 0.
long long parse_int_cell(const std::string& text);

// pulse_edge: index 0 -> 0, any other -> 1; back, 0 -> 0, other -> 1.
std::uint8_t pulse_edge_from_index(int index);
int pulse_edge_to_index(std::uint8_t field);
// dual_channel: index 0 ("50 Channels") -> 1, other -> 0; back, 1 -> 0, other -> 1.
std::uint8_t dual_channel_from_index(int index);
int dual_channel_to_index(std::uint8_t field);

// Check boxes: 0/1; back, any non-zero value checks.
int checkbox_to_field(bool checked);
bool field_to_checkbox(long long field);

// Sync guard on the way to the controls: when all three sync fields are 4 or
// more, all three are reset to 0 in the record. Returns true if it reset them.
bool apply_sync_guard(configurations_t& cfg);

// fps on the way to the control: above 40 shows 10.
int fps_to_control(std::int32_t fps);

} // namespace configuration_codec
