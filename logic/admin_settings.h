// The administrator settings dialog's values, free of widgets: every control
// as a plain field, the copies between those values and the configuration
// record in both directions, the data-processing list, the zero-setting
// groups and the default set. The dialog only moves these values in and out
// of its form.
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <string>
#include <vector>

namespace admin_settings {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// One field per control, in the units the control shows. A combo index of -1
// stands for a combo that shows no item (its field had a value no item
// stands for): the copy into the record then leaves that field as it is.
struct controls {
    // Top row
    int stream_mode = 0;
    int start_row = 0, end_row = 0, start_col = 0, end_col = 0;
    // VCSEL
    int samples = 0;
    double prf_khz = 0;
    bool inhibit = false;
    int edge = 0;
    int common_delay_ns = 0, common_duty_ns = 0;
    int vcsel_channel = 0;
    int vcsel_driver = 0;
    int ls_duty_ns = 0, low_high_delay_ns = 0, hs_duty_ns = 0;
    int cl_delay_ns = 0, cl_duty_ns = 0;
    // SPAD
    double vdp = 0, vdn = 0, hv = 0;
    bool hv_ctrl_enable = false;
    int spad_channel_mode = 0;
    // Calibration
    std::string calibration_path;
    int global_offset = 0;
    double emitter_width = 0;
    std::array<double, 12> lens{}; // fx, fy, cx, cy, p1, p2, k1..k6
    // DSP
    int peak_separation_width = 0;
    int fir_offset = 0;
    int cog = 0;
    std::array<std::string, 16> fir_cells;          // table_fir_coefficient, row 0
    std::array<double, 4> adaptive{};               // a0..a3
    int ambient_mode = 0, intensity_mode = 0;
    std::array<std::string, 12> intensity_fir_cells; // table_intensity_fir, cell (r, c) at r * 4 + c
    std::array<double, 6> walk_error{};             // p1, p2, q1, q2, a, b
    // Functions
    bool zigzag_filling = false, deflaring = false, real_ambient = false, line_filling = false;
    bool interference_rejection = false, intentional_jitter = false;
    std::array<double, 6> processing{}; // left, right offset, retro, depth diff deflaring, zigzag, smoothing
    int sync_mode = 0, input_sync = 0, output_sync = 0;
    int fps = 0;
    // Connection settings (hidden group)
    std::string gx_ip, gx_port, pc_ip, pc_port, gateway, netmask;
};

// Controls to record, field by field in the dialog's order, with the
// record's conversions. Fields no control shows (the offset tables, vcselp,
// filli, the reserved bytes, the other bits of the packed fields) keep their
// values. The calibration file named in the controls is not read here.
void to_record(const controls& c, configurations_t& cfg);

// Record to controls: `c` takes every value the record shows. The sync guard
// may reset the three sync fields in `cfg`; fps above 40 shows 10. Controls
// the record does not show (calibration path, the functions' filters, the
// connection settings, intensity FIR cell (0, 0)) keep their values.
void from_record(configurations_t& cfg, controls& c);

// The FPS box holds 10, 15, 20 or 25 only: the one of these nearest to `fps`
// (values outside 10 ... 25 are clamped first).
int fps_box_value(int fps);

// The ten-entry data-processing list: the four filters as 0/1, then the six
// values truncated toward zero.
std::vector<int> data_processing(const controls& c);

// The six zero-setting groups.
enum class zero_group { fir_offset, cog, fir_coefficient, adaptive, intensity_fir, walk_error };
// Checked: the group's controls take their neutral values. Unchecked: they
// take the record's values again.
void zero_setting(zero_group group, bool checked, const configurations_t& cfg, controls& c);

// The default set loaded by the preset chooser's default item, over `c`
// (controls the set does not name keep their values).
void load_defaults(controls& c);

} // namespace admin_settings
