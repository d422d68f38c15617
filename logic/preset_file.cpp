#include "logic/preset_file.h"

#include "device/ConfigManager.h"
#include "logic/configuration_codec.h"

#include <cmath>
#include <sys/stat.h>
#include <vector>

namespace preset_file {

namespace cc = configuration_codec;

namespace {

const char* const kConnection = "Connection-0";
const char* const kDevice = "Device_settings-0";
const char* const kThresholds[] = {"threshold_coe0", "threshold_coe1", "threshold_coe2", "threshold_coe3"};
const char* const kLens[] = {"lens_coe_fx", "lens_coe_fy", "lens_coe_cx", "lens_coe_cy", "lens_coe_p1", "lens_coe_p2",
                             "lens_coe_k1", "lens_coe_k2", "lens_coe_k3", "lens_coe_k4", "lens_coe_k5", "lens_coe_k6"};
const char* const kWalk[] = {"walkerror_p1", "walkerror_p2", "walkerror_q1", "walkerror_q2", "walkerror_a", "walkerror_b"};

int port_number(const std::string& text) {
    const long long v = cc::parse_int_cell(text);
    return v < 0 || v > 0x7FFFFFFF ? 0 : static_cast<int>(v);
}

// Reads one key of a loaded store into a control; a failed read leaves it.
class reader {
public:
    explicit reader(const TAVRIN::ConfigManager& store) : store_(store) {}

    bool integer(const char* section, const char* key, int& out) const {
        std::vector<int> v;
        if (!store_.get<int>(v, section, key) || v.empty()) return false;
        out = v[0];
        return true;
    }
    bool integer(const char* key, int& out) const { return integer(kDevice, key, out); }
    void flag(const char* key, bool& out) const {
        int v = 0;
        if (integer(key, v)) out = v != 0;
    }
    void real(const char* key, double& out) const {
        std::vector<double> v;
        if (store_.get<double>(v, kDevice, key) && !v.empty() && std::isfinite(v[0])) out = v[0];
    }
    bool text(const char* section, const char* key, std::string& out) const {
        std::vector<std::string> v;
        if (!store_.get<std::string>(v, section, key) || v.empty()) return false;
        out = v[0];
        return true;
    }
    bool texts(const char* key, std::vector<std::string>& out) const {
        return store_.get<std::string>(out, kDevice, key);
    }

private:
    const TAVRIN::ConfigManager& store_;
};

} // namespace

bool write(const std::string& path, const configurations_t& cfg, const admin_settings::controls& c) {
    TAVRIN::ConfigManager store(4);
    auto integer = [&](const char* key, long long v) { store.set<int>({static_cast<int>(v)}, kDevice, key); };
    auto real = [&](const char* key, double v) { store.set<double>({v}, kDevice, key); };

    store.set<std::string>({c.gx_ip}, kConnection, "device_ip_address");
    store.set<int>({port_number(c.gx_port)}, kConnection, "device_port");
    store.set<std::string>({c.pc_ip}, kConnection, "local_ip_address");
    store.set<int>({port_number(c.pc_port)}, kConnection, "local_port");

    real("vdp_voltage", cfg.vdp_voltage);
    real("vdn_voltage", cfg.vdn_voltage);
    real("hv_bias", cfg.hv_bias);
    integer("vcsel_manual_cs", cfg.vcsel_manual_cs);
    real("prf", c.prf_khz);
    integer("intf_reject", cfg.intf_reject);
    integer("jitter_en", cfg.jitter_en);
    integer("target_samples", cfg.target_samples);
    integer("start_column_index", cfg.start_column_index);
    integer("end_column_index", cfg.end_column_index);
    integer("start_row_index", cfg.start_row_index);
    integer("end_row_index", cfg.end_row_index);
    integer("pulse_inhibit", cfg.pulse_inhibit);
    integer("pulse_edge", cfg.pulse_edge);
    integer("pulse_delay", c.common_delay_ns);
    integer("pulse_duty", c.common_duty_ns);
    integer("stream_mode", cfg.stream_mode);
    for (int i = 0; i < 4; ++i) real(kThresholds[i], cfg.threshold_coe[i]);
    real("emitter_dwidth", cfg.emitter_dwidth);
    integer("grey_img", cc::ambient_mode_index(cfg.image_mode));
    integer("intensity_img", cc::intensity_mode_index(cfg.image_mode));
    integer("peak_separation_width", cfg.peak_separation_width);
    integer("fir_offset", cfg.fir_offset);
    integer("cog_tap_num", cfg.cog_tap_num);
    integer("vcsel_type", cfg.vcsel_type);
    integer("dual_channel", cfg.dual_channel);
    integer("global_offset", cfg.global_offset);
    integer("ls_duty", c.ls_duty_ns);
    integer("l_h_delay", c.low_high_delay_ns);
    integer("hs_duty", c.hs_duty_ns);
    integer("h_cl_delay", c.cl_delay_ns);
    integer("cls_duty", c.cl_duty_ns);
    for (int i = 0; i < 12; ++i) real(kLens[i], cfg.lens_coe[i]);
    store.set<std::string>(cc::fir_coef_to_cells(cfg.fir_coef), kDevice, "fir_coef");
    std::vector<std::string> intensity_fir;
    for (float v : cfg.intensity_fir_coe) intensity_fir.push_back(cc::format_fir_real(v));
    store.set<std::string>(intensity_fir, kDevice, "intensity_fir_coe");
    for (int i = 0; i < 6; ++i) real(kWalk[i], cfg.walkerror[i]);
    store.set<std::string>({c.calibration_path}, kDevice, "calibration_path");
    integer("rx_hv_ctrl_en", cfg.rx_hv_ctrl_en);
    integer("sync_output_polarity", cfg.sync_output_polarity);
    integer("sync_input_polarity", cfg.sync_input_polarity);
    integer("sync_mode", cfg.sync_mode);
    integer("fps", cfg.fps);
    return store.save(path);
}

read_result read(const std::string& path, admin_settings::controls& c) {
    read_result r;
    TAVRIN::ConfigManager store(4);
    if (!store.load(path)) return r;
    const reader in(store);

    // Both FIR tables are checked before any control changes.
    std::vector<std::string> fir, intensity_fir;
    const bool has_fir = in.texts("fir_coef", fir);
    const bool has_intensity_fir = in.texts("intensity_fir_coe", intensity_fir);
    auto too_short = [&r](const char* key, bool present, const std::vector<std::string>& values, std::size_t needed) {
        if (!present || values.size() >= needed) return false;
        r.result = status::refused;
        r.problem = "\"" + std::string(key) + "\" holds " + std::to_string(values.size()) + " values, " +
                    std::to_string(needed) + " are needed";
        return true;
    };
    if (too_short("fir_coef", has_fir, fir, 16) || too_short("intensity_fir_coe", has_intensity_fir, intensity_fir, 11))
        return r;

    admin_settings::controls n = c;
    in.text(kConnection, "device_ip_address", n.gx_ip);
    int port = 0;
    if (in.integer(kConnection, "device_port", port)) n.gx_port = std::to_string(port);
    in.text(kConnection, "local_ip_address", n.pc_ip);
    if (in.integer(kConnection, "local_port", port)) n.pc_port = std::to_string(port);

    in.real("vdp_voltage", n.vdp);
    in.real("vdn_voltage", n.vdn);
    in.real("hv_bias", n.hv);
    in.integer("vcsel_manual_cs", n.vcsel_channel);
    in.real("prf", n.prf_khz);
    in.flag("intf_reject", n.interference_rejection);
    in.flag("jitter_en", n.intentional_jitter);
    in.integer("target_samples", n.samples);
    in.integer("start_column_index", n.start_col);
    in.integer("end_column_index", n.end_col);
    in.integer("start_row_index", n.start_row);
    in.integer("end_row_index", n.end_row);
    in.flag("pulse_inhibit", n.inhibit);
    in.integer("pulse_edge", n.edge);
    in.integer("pulse_delay", n.common_delay_ns);
    in.integer("pulse_duty", n.common_duty_ns);
    in.integer("stream_mode", n.stream_mode);
    for (int i = 0; i < 4; ++i) in.real(kThresholds[i], n.adaptive[i]);
    in.integer("grey_img", n.ambient_mode);
    in.integer("intensity_img", n.intensity_mode);
    in.integer("peak_separation_width", n.peak_separation_width);
    in.integer("fir_offset", n.fir_offset);
    in.integer("cog_tap_num", n.cog);
    in.integer("vcsel_type", n.vcsel_driver);
    int dual = 0;
    if (in.integer("dual_channel", dual)) n.spad_channel_mode = dual == 1 ? 0 : 1;
    in.integer("ls_duty", n.ls_duty_ns);
    in.integer("l_h_delay", n.low_high_delay_ns);
    in.integer("hs_duty", n.hs_duty_ns);
    in.integer("h_cl_delay", n.cl_delay_ns);
    in.integer("cls_duty", n.cl_duty_ns);
    if (has_fir)
        for (int i = 0; i < 16; ++i) n.fir_cells[i] = fir[i];
    if (has_intensity_fir)
        for (int k = 0; k < 11; ++k) {
            const auto& rc = cc::kIntensityFirCells[static_cast<std::size_t>(k)];
            n.intensity_fir_cells[rc.first * 4 + rc.second] = intensity_fir[k];
        }
    for (int i = 0; i < 6; ++i) in.real(kWalk[i], n.walk_error[i]);
    in.text(kDevice, "calibration_path", n.calibration_path);
    in.flag("rx_hv_ctrl_en", n.hv_ctrl_enable);
    in.integer("sync_output_polarity", n.output_sync);
    in.integer("sync_input_polarity", n.input_sync);
    in.integer("sync_mode", n.sync_mode);
    in.integer("fps", n.fps);

    c = n;
    r.result = status::loaded;
    return r;
}

std::string free_name(const std::string& base, const std::string& extension) {
    auto exists = [](const std::string& p) {
        struct stat st;
        return ::stat(p.c_str(), &st) == 0;
    };
    std::string name = base + extension;
    for (long counter = 0; exists(name); ++counter) name = base + "_" + std::to_string(counter) + extension;
    return name;
}

} // namespace preset_file
