#include "emulator/gx_factory_registers.h"

#include <cstring>

namespace gx {

register_set default_registers() {
    register_set r;
    configurations_t& c = r.config;
    std::memset(&c, 0, sizeof c);
    c.vdp_voltage = 1.0f;
    c.vdn_voltage = 3.3f;
    c.hv_bias = 27.5f;
    c.vcsel_manual_cs = 0;
    c.vcselp = 0;
    c.prf_period = 408;  // 490 kHz
    c.intf_reject = 1;
    c.target_samples = 250;
    c.start_column_index = 104;
    c.end_column_index = 295;
    c.start_row_index = 0;
    c.end_row_index = 99;
    c.pulse_inhibit = 0;
    c.pulse_edge = 1;
    c.pulse_delay = 400;  // 2000 ns
    c.pulse_duty = 2;     // 10 ns
    c.stream_mode = 0;    // factory setting: single echo, depth in mm
    c.vcsel_timing = 60u | (6u << 9) | (320u << 18);  // 300 ns, 30 ns, 1600 ns
    c.image_mode = 0;
    c.peak_separation_width = 16;
    c.fir_offset = 7;
    c.fir_coef[0] = 0x87654321u;
    c.fir_coef[1] = 0x01234567u;
    c.cog_tap_num = 7;
    c.jitter_en = 1;
    const float thr[4] = {80.91f, 0.4295f, 54.35f, 15.0f};
    std::memcpy(c.threshold_coe, thr, sizeof thr);
    const float lens[12] = {540.0f, 540.0f, 210.5f, 49.5f, 0.0f, 0.0f, -0.8435f, 1.099f, -8.88f, 0.0f, 0.0f, 0.0f};
    std::memcpy(c.lens_coe, lens, sizeof lens);
    c.vcsel_type = 2;
    c.dual_channel = 1;
    c.global_offset = 133;
    c.filli = 0;
    c.emitter_dwidth = 6.0f;
    const float walk[6] = {-10531.0f, 34330.0f, -193.9f, 645.8f, 309.8f, 156.9f};
    std::memcpy(c.walkerror, walk, sizeof walk);
    c.h_cl_delay = 0;
    c.cls_duty = 0;
    const float fir[11] = {2.04353859762912f, 2.04353859762912f, 1.70032689164806f, 2.26710252219741f,
                           0.566775630549352f, 1.17983755944056f, 2.35967511888113f, 1.17983755944056f,
                           0.566775630549352f, 2.26710252219741f, 1.70032689164806f};
    std::memcpy(c.intensity_fir_coe, fir, sizeof fir);
    c.sync_output_polarity = 0;
    c.rx_hv_ctrl_en = 0;
    c.sync_input_polarity = 0;
    c.sync_mode = 0;
    c.fps = 10;
    return r;
}

}  // namespace gx
