#include "logic/admin_settings.h"

#include "logic/configuration_codec.h"

#include <algorithm>
#include <cmath>

namespace admin_settings {

namespace cc = configuration_codec;

namespace {

// The fields of the 3 x 4 intensity FIR table in record order.
int intensity_cell(int k) {
    const auto& rc = cc::kIntensityFirCells[static_cast<std::size_t>(k)];
    return rc.first * 4 + rc.second;
}

std::vector<std::string> fir_vector(const controls& c) { return {c.fir_cells.begin(), c.fir_cells.end()}; }

void fir_from_record(const configurations_t& cfg, controls& c) {
    const std::vector<std::string> cells = cc::fir_coef_to_cells(cfg.fir_coef);
    std::copy(cells.begin(), cells.end(), c.fir_cells.begin());
}

void intensity_from_record(const configurations_t& cfg, controls& c) {
    for (int k = 0; k < 11; ++k) c.intensity_fir_cells[intensity_cell(k)] = cc::format_fir_real(cfg.intensity_fir_coe[k]);
}

// A combo index into a field, unless the combo shows no item.
template <typename Field>
void index_into(int index, Field& field) {
    if (index >= 0) field = static_cast<Field>(index);
}

} // namespace

void to_record(const controls& c, configurations_t& cfg) {
    cfg.vdp_voltage = cc::to_f32(c.vdp);
    cfg.vdn_voltage = cc::to_f32(c.vdn);
    cfg.hv_bias = cc::to_f32(c.hv);
    cfg.vcsel_manual_cs = static_cast<std::uint8_t>(c.vcsel_channel);
    cfg.prf_period = cc::prf_khz_to_period(c.prf_khz);
    cfg.intf_reject = static_cast<std::uint8_t>(cc::checkbox_to_field(c.interference_rejection));
    cfg.jitter_en = static_cast<std::uint8_t>(cc::checkbox_to_field(c.intentional_jitter));
    cfg.target_samples = static_cast<std::uint16_t>(c.samples);
    cfg.start_column_index = static_cast<std::uint16_t>(c.start_col);
    cfg.end_column_index = static_cast<std::uint16_t>(c.end_col);
    cfg.start_row_index = static_cast<std::uint8_t>(c.start_row);
    cfg.end_row_index = static_cast<std::uint8_t>(c.end_row);
    cfg.pulse_inhibit = static_cast<std::uint8_t>(cc::checkbox_to_field(c.inhibit));
    if (c.edge >= 0) cfg.pulse_edge = cc::pulse_edge_from_index(c.edge);
    cfg.pulse_delay = static_cast<std::uint16_t>(cc::ns_to_steps(c.common_delay_ns));
    cfg.pulse_duty = static_cast<std::uint8_t>(cc::ns_to_steps(c.common_duty_ns));
    index_into(c.stream_mode, cfg.stream_mode);
    for (int i = 0; i < 4; ++i) cfg.threshold_coe[i] = cc::to_f32(c.adaptive[i]);
    cfg.image_mode = cc::set_image_mode(cfg.image_mode,
                                        c.intensity_mode >= 0 ? c.intensity_mode : cc::intensity_mode_index(cfg.image_mode),
                                        c.ambient_mode >= 0 ? c.ambient_mode : cc::ambient_mode_index(cfg.image_mode));
    cfg.peak_separation_width = static_cast<std::uint32_t>(c.peak_separation_width) & 0xFFu;
    cfg.fir_offset = static_cast<std::uint8_t>(c.fir_offset);
    cfg.cog_tap_num = static_cast<std::uint8_t>(c.cog);
    index_into(c.vcsel_driver, cfg.vcsel_type);
    if (c.spad_channel_mode >= 0) cfg.dual_channel = cc::dual_channel_from_index(c.spad_channel_mode);
    cfg.vcsel_timing = cc::set_ls_duty(cfg.vcsel_timing, c.ls_duty_ns);
    cfg.vcsel_timing = cc::set_low_high_delay(cfg.vcsel_timing, c.low_high_delay_ns);
    cfg.vcsel_timing = cc::set_hs_duty(cfg.vcsel_timing, c.hs_duty_ns);
    cfg.h_cl_delay = cc::ns_to_steps(c.cl_delay_ns);
    cfg.cls_duty = cc::ns_to_steps(c.cl_duty_ns);
    for (int i = 0; i < 12; ++i) cfg.lens_coe[i] = cc::to_f32(c.lens[i]);
    cfg.emitter_dwidth = cc::to_f32(c.emitter_width);
    cfg.global_offset = static_cast<std::uint16_t>(c.global_offset);
    cc::fir_cells_to_coef(fir_vector(c), cfg.fir_coef);
    for (int k = 0; k < 11; ++k) cfg.intensity_fir_coe[k] = cc::parse_real_cell(c.intensity_fir_cells[intensity_cell(k)]);
    for (int i = 0; i < 6; ++i) cfg.walkerror[i] = cc::to_f32(c.walk_error[i]);
    cfg.rx_hv_ctrl_en = cc::checkbox_to_field(c.hv_ctrl_enable);
    index_into(c.output_sync, cfg.sync_output_polarity);
    index_into(c.input_sync, cfg.sync_input_polarity);
    index_into(c.sync_mode, cfg.sync_mode);
    cfg.fps = c.fps;
}

void from_record(configurations_t& cfg, controls& c) {
    c.vdp = cc::from_f32(cfg.vdp_voltage);
    c.vdn = cc::from_f32(cfg.vdn_voltage);
    c.hv = cc::from_f32(cfg.hv_bias);
    c.vcsel_channel = cfg.vcsel_manual_cs;
    c.prf_khz = cc::prf_period_to_khz(cfg.prf_period);
    c.interference_rejection = cc::field_to_checkbox(cfg.intf_reject);
    c.intentional_jitter = cc::field_to_checkbox(cfg.jitter_en);
    c.samples = cfg.target_samples;
    c.start_col = cfg.start_column_index;
    c.end_col = cfg.end_column_index;
    c.start_row = cfg.start_row_index;
    c.end_row = cfg.end_row_index;
    c.inhibit = cc::field_to_checkbox(cfg.pulse_inhibit);
    c.edge = cc::pulse_edge_to_index(cfg.pulse_edge);
    c.common_delay_ns = cc::steps_to_ns(cfg.pulse_delay);
    c.common_duty_ns = cc::steps_to_ns(cfg.pulse_duty);
    c.stream_mode = cfg.stream_mode;
    for (int i = 0; i < 4; ++i) c.adaptive[i] = cc::from_f32(cfg.threshold_coe[i]);
    c.intensity_mode = cc::intensity_mode_index(cfg.image_mode);
    c.ambient_mode = cc::ambient_mode_index(cfg.image_mode);
    c.peak_separation_width = static_cast<int>(std::min<std::uint32_t>(cfg.peak_separation_width, 0x7FFFFFFF));
    c.fir_offset = cfg.fir_offset;
    c.cog = cfg.cog_tap_num;
    c.vcsel_driver = cfg.vcsel_type;
    c.spad_channel_mode = cc::dual_channel_to_index(cfg.dual_channel);
    c.ls_duty_ns = cc::ls_duty_ns(cfg.vcsel_timing);
    c.low_high_delay_ns = cc::low_high_delay_ns(cfg.vcsel_timing);
    c.hs_duty_ns = cc::hs_duty_ns(cfg.vcsel_timing);
    c.cl_delay_ns = cc::steps_to_ns(std::min<std::uint32_t>(cfg.h_cl_delay, 0x7FFFFFFF / 5));
    c.cl_duty_ns = cc::steps_to_ns(std::min<std::uint32_t>(cfg.cls_duty, 0x7FFFFFFF / 5));
    for (int i = 0; i < 12; ++i) c.lens[i] = cc::from_f32(cfg.lens_coe[i]);
    c.emitter_width = cc::from_f32(cfg.emitter_dwidth);
    c.global_offset = cfg.global_offset;
    fir_from_record(cfg, c);
    intensity_from_record(cfg, c);
    for (int i = 0; i < 6; ++i) c.walk_error[i] = cc::from_f32(cfg.walkerror[i]);
    c.hv_ctrl_enable = cc::field_to_checkbox(cfg.rx_hv_ctrl_en);
    cc::apply_sync_guard(cfg);
    c.output_sync = cfg.sync_output_polarity;
    c.input_sync = cfg.sync_input_polarity;
    c.sync_mode = cfg.sync_mode;
    c.fps = cc::fps_to_control(cfg.fps);
}

int fps_box_value(int fps) {
    constexpr int kLowest = 10, kHighest = 25, kStep = 5;
    const int clamped = std::clamp(fps, kLowest, kHighest);
    return kLowest + (clamped - kLowest + kStep / 2) / kStep * kStep;
}

std::vector<int> data_processing(const controls& c) {
    std::vector<int> list = {c.zigzag_filling, c.deflaring, c.real_ambient, c.line_filling};
    for (double v : c.processing) list.push_back(static_cast<int>(std::trunc(v)));
    return list;
}

void zero_setting(zero_group group, bool checked, const configurations_t& cfg, controls& c) {
    switch (group) {
    case zero_group::fir_offset: c.fir_offset = checked ? 0 : cfg.fir_offset; break;
    case zero_group::cog: c.cog = checked ? 0 : cfg.cog_tap_num; break;
    case zero_group::fir_coefficient:
        if (checked) {
            c.fir_cells.fill("0");
            c.fir_cells[0] = "1";
        } else {
            fir_from_record(cfg, c);
        }
        break;
    case zero_group::adaptive:
        for (int i = 0; i < 4; ++i) c.adaptive[i] = checked ? 0.0 : cc::from_f32(cfg.threshold_coe[i]);
        break;
    case zero_group::intensity_fir:
        if (checked)
            for (int k = 0; k < 11; ++k) c.intensity_fir_cells[intensity_cell(k)] = "0";
        else
            intensity_from_record(cfg, c);
        break;
    case zero_group::walk_error:
        for (int i = 0; i < 6; ++i) c.walk_error[i] = checked ? 0.0 : cc::from_f32(cfg.walkerror[i]);
        break;
    }
}

void load_defaults(controls& c) {
    c.gx_ip = "192.168.1.10";
    c.gx_port = "2000";
    c.pc_ip = "192.168.1.15";
    c.pc_port = "2000";
    c.vdp = 1;
    c.vdn = 3.3;
    c.hv = 27.5;
    c.vcsel_channel = 0;
    c.prf_khz = 490;
    c.interference_rejection = true;
    c.intentional_jitter = true;
    c.samples = 250;
    c.start_col = 104;
    c.end_col = 295;
    c.start_row = 0;
    c.end_row = 99;
    c.inhibit = false;
    c.edge = 1;
    c.common_delay_ns = 2000;
    c.common_duty_ns = 10;
    c.stream_mode = 1;
    c.adaptive = {80.91, 0.4295, 54.35, 15};
    c.ambient_mode = 0;
    c.intensity_mode = 0;
    c.peak_separation_width = 16;
    c.fir_offset = 7;
    c.cog = 7;
    c.vcsel_driver = 2;
    c.spad_channel_mode = 0;
    c.ls_duty_ns = 300;
    c.low_high_delay_ns = 30;
    c.hs_duty_ns = 1600;
    c.cl_delay_ns = 0;
    c.cl_duty_ns = 0;
    c.fir_cells = {"1", "2", "3", "4", "5", "6", "7", "8", "7", "6", "5", "4", "3", "2", "1", "0"};
    c.calibration_path.clear();
    c.walk_error = {-10531, 34330, -193.9, 645.8, 309.8, 156.9};
    c.hv_ctrl_enable = false;
    c.output_sync = c.input_sync = c.sync_mode = 0;
    c.lens = {540, 540, 210.5, 49.5, 0, 0, -0.8435, 1.099, -8.88, 0, 0, 0};
    c.global_offset = 133;
    c.emitter_width = 6;
    c.fps = 10;
    static const char* const intensity[11] = {"2.04353859762912",  "2.04353859762912", "1.70032689164806",
                                              "2.26710252219741",  "0.566775630549352", "1.17983755944056",
                                              "2.35967511888113",  "1.17983755944056", "0.566775630549352",
                                              "2.26710252219741",  "1.70032689164806"};
    for (int k = 0; k < 11; ++k) c.intensity_fir_cells[intensity_cell(k)] = intensity[k];
}

} // namespace admin_settings
