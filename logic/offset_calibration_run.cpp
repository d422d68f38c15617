#include "logic/offset_calibration_run.h"

void offset_calibration_run::start(mode m) {
    mode_ = m;
    if (m == mode::vcsel) {
        vcsel_.clear();
        vcsel_ready_ = false;
    } else {
        spad_.clear();
        spad_ready_ = false;
    }
    counter_ = 0;
    running_ = true;
}

void offset_calibration_run::cancel() {
    running_ = false;
    counter_ = 0;
}

offset_calibration_run::outcome offset_calibration_run::step(const std::vector<std::int32_t>& channel_values,
                                                            const std::int32_t* depth, std::size_t size, int rows,
                                                            int cols) {
    if (!running_) return outcome::idle;
    const bool vcsel_mode = mode_ == mode::vcsel;
    const std::vector<std::int32_t> values = vcsel_mode ? offset_calibration::vcsel_step(channel_values)
                                                        : offset_calibration::spad_half_row_means(depth, size, rows, cols);
    std::vector<std::int32_t>& acc = vcsel_mode ? vcsel_ : spad_;
    if (values.empty() || (!acc.empty() && acc.size() != values.size())) return outcome::skipped;
    offset_calibration::accumulate(acc, values);
    ++counter_;
    if (counter_ < frames_) return outcome::counted;
    acc = offset_calibration::average(acc, counter_);
    (vcsel_mode ? vcsel_ready_ : spad_ready_) = true;
    counter_ = 0;
    running_ = false;
    return outcome::finished;
}

void offset_calibration_run::store_ready(configurations_t& cfg) {
    if (vcsel_ready_) {
        offset_calibration::store_vcsel_offsets(vcsel_, cfg);
        vcsel_ready_ = false;
    }
    if (spad_ready_) {
        offset_calibration::store_spad_offsets(spad_, cfg);
        spad_ready_ = false;
    }
}
