// The configuration preset (.conf): the Connection-0 and Device_settings-0
// sections that the administrator settings dialog writes through the core
// library's key/value store. Plain code, no widgets.
#pragma once

#include "device/DadodUz.h"

#include <string>

namespace preset_file {

using configurations_t = TAVRIN::DadodUz::configurations_t;

// The values a preset takes from the dialog's controls rather than from the
// configuration record, in the units the controls show.
struct control_values {
    std::string device_ip;
    int device_port = 0;
    std::string local_ip;
    int local_port = 0;
    double prf_khz = 0;       // sb_prf
    int pulse_delay_ns = 0;   // sb_common_delay
    int pulse_duty_ns = 0;    // sb_common_duty
    int ls_duty_ns = 0;       // sb_ls_duty
    int low_high_delay_ns = 0; // sb_delay_low_high
    int hs_duty_ns = 0;       // sb_hs_duty
    int h_cl_delay_ns = 0;    // sb_cl_delay
    int cls_duty_ns = 0;      // sb_cl_duty
    std::string calibration_path; // le_calibration_file
};

// The control values as the record itself gives them (for a dialog whose
// controls show the record unchanged).
control_values controls_from_record(const configurations_t& cfg);

// Writes both sections, every key in its order, to path. False when the
// file could not be written.
bool write(const std::string& path, const configurations_t& cfg, const control_values& controls);

} // namespace preset_file
