#include "logic/preset_file.h"

#include "device/ConfigManager.h"
#include "logic/configuration_codec.h"

#include <vector>

namespace preset_file {

namespace cc = configuration_codec;

control_values controls_from_record(const configurations_t& cfg) {
    control_values c;
    c.prf_khz = cc::prf_period_to_khz(cfg.prf_period);
    c.pulse_delay_ns = cc::steps_to_ns(cfg.pulse_delay);
    c.pulse_duty_ns = cc::steps_to_ns(cfg.pulse_duty);
    c.ls_duty_ns = cc::ls_duty_ns(cfg.vcsel_timing);
    c.low_high_delay_ns = cc::low_high_delay_ns(cfg.vcsel_timing);
    c.hs_duty_ns = cc::hs_duty_ns(cfg.vcsel_timing);
    c.h_cl_delay_ns = cc::steps_to_ns(cfg.h_cl_delay);
    c.cls_duty_ns = cc::steps_to_ns(cfg.cls_duty);
    return c;
}

bool write(const std::string& path, const configurations_t& cfg, const control_values& controls) {
    TAVRIN::ConfigManager store(4);
    const char* connection = "Connection-0";
    const char* device = "Device_settings-0";
    auto text = [&](const char* section, const char* key, const std::string& v) {
        store.set<std::string>({v}, section, key);
    };
    auto integer = [&](const char* key, long long v) { store.set<int>({static_cast<int>(v)}, device, key); };
    auto real = [&](const char* key, double v) { store.set<double>({v}, device, key); };

    text(connection, "device_ip_address", controls.device_ip);
    store.set<int>({controls.device_port}, connection, "device_port");
    text(connection, "local_ip_address", controls.local_ip);
    store.set<int>({controls.local_port}, connection, "local_port");

    real("vdp_voltage", cfg.vdp_voltage);
    real("vdn_voltage", cfg.vdn_voltage);
    real("hv_bias", cfg.hv_bias);
    integer("vcsel_manual_cs", cfg.vcsel_manual_cs);
    real("prf", controls.prf_khz);
    integer("intf_reject", cfg.intf_reject);
    integer("jitter_en", cfg.jitter_en);
    integer("target_samples", cfg.target_samples);
    integer("start_column_index", cfg.start_column_index);
    integer("end_column_index", cfg.end_column_index);
    integer("start_row_index", cfg.start_row_index);
    integer("end_row_index", cfg.end_row_index);
    integer("pulse_inhibit", cfg.pulse_inhibit);
    integer("pulse_edge", cfg.pulse_edge);
    integer("pulse_delay", controls.pulse_delay_ns);
    integer("pulse_duty", controls.pulse_duty_ns);
    integer("stream_mode", cfg.stream_mode);
    const char* thresholds[] = {"threshold_coe0", "threshold_coe1", "threshold_coe2", "threshold_coe3"};
    for (int i = 0; i < 4; ++i) real(thresholds[i], cfg.threshold_coe[i]);
    real("emitter_dwidth", cfg.emitter_dwidth);
    integer("grey_img", cc::ambient_mode_index(cfg.image_mode));
    integer("intensity_img", cc::intensity_mode_index(cfg.image_mode));
    integer("peak_separation_width", cfg.peak_separation_width);
    integer("fir_offset", cfg.fir_offset);
    integer("cog_tap_num", cfg.cog_tap_num);
    integer("vcsel_type", cfg.vcsel_type);
    integer("dual_channel", cfg.dual_channel);
    integer("global_offset", cfg.global_offset);
    integer("ls_duty", controls.ls_duty_ns);
    integer("l_h_delay", controls.low_high_delay_ns);
    integer("hs_duty", controls.hs_duty_ns);
    integer("h_cl_delay", controls.h_cl_delay_ns);
    integer("cls_duty", controls.cls_duty_ns);
    const char* lens[] = {"lens_coe_fx", "lens_coe_fy", "lens_coe_cx", "lens_coe_cy", "lens_coe_p1", "lens_coe_p2",
                          "lens_coe_k1", "lens_coe_k2", "lens_coe_k3", "lens_coe_k4", "lens_coe_k5", "lens_coe_k6"};
    for (int i = 0; i < 12; ++i) real(lens[i], cfg.lens_coe[i]);
    store.set<std::string>(cc::fir_coef_to_cells(cfg.fir_coef), device, "fir_coef");
    std::vector<std::string> intensity_fir;
    for (float v : cfg.intensity_fir_coe) intensity_fir.push_back(cc::format_fir_real(v));
    store.set<std::string>(intensity_fir, device, "intensity_fir_coe");
    const char* walk[] = {"walkerror_p1", "walkerror_p2", "walkerror_q1", "walkerror_q2", "walkerror_a", "walkerror_b"};
    for (int i = 0; i < 6; ++i) real(walk[i], cfg.walkerror[i]);
    text(device, "calibration_path", controls.calibration_path);
    integer("rx_hv_ctrl_en", cfg.rx_hv_ctrl_en);
    integer("sync_output_polarity", cfg.sync_output_polarity);
    integer("sync_input_polarity", cfg.sync_input_polarity);
    integer("sync_mode", cfg.sync_mode);
    integer("fps", cfg.fps);
    return store.save(path);
}

} // namespace preset_file
