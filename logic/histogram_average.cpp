#include "logic/histogram_average.h"

void histogram_average::set_frames(std::size_t frames) {
    frames_ = frames;
    clear();
}

void histogram_average::clear() {
    kept_.clear();
    sum_.clear();
}

const std::vector<std::uint16_t>& histogram_average::latest() const {
    static const std::vector<std::uint16_t> none;
    return kept_.empty() ? none : kept_.back();
}

void histogram_average::add(const std::uint16_t* bins, std::size_t length) {
    if (!kept_.empty() && length != sum_.size()) clear();
    const std::size_t held = kept_.size();
    if (held > frames_) {
        spare_.swap(kept_.front());
        kept_.pop_front();
        for (std::size_t i = 0; i < length; ++i) sum_[i] -= spare_[i];
    }
    spare_.assign(bins, bins + length);
    kept_.push_back(std::move(spare_));
    spare_ = std::vector<std::uint16_t>();
    if (held == 0) {
        sum_.assign(bins, bins + length);
    } else {
        for (std::size_t i = 0; i < length; ++i) sum_[i] += bins[i];
    }
}

void histogram_average::average(std::vector<float>& out) const {
    out.resize(sum_.size());
    const float n = float(kept_.size());
    for (std::size_t i = 0; i < sum_.size(); ++i) out[i] = float(sum_[i]) / n;
}

void histogram_average::integer_average(std::vector<std::uint16_t>& out) const {
    out.resize(sum_.size());
    const std::uint64_t n = kept_.size();
    for (std::size_t i = 0; i < sum_.size(); ++i) out[i] = std::uint16_t(sum_[i] / n);
}
