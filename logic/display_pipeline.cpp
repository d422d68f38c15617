// The 8-bit display pipeline.
#include "logic/display_pipeline.h"

#include <opencv2/imgproc.hpp>

#include <climits>
#include <cmath>
#include <cstring>

namespace display {

namespace {

template <typename T>
cv::Mat wrap_array(const std::vector<T>& data, std::uint32_t rows, std::uint32_t cols, int type) {
    if (data.empty() || rows == 0 || cols == 0) return cv::Mat();
    if (rows > static_cast<std::uint32_t>(INT_MAX) || cols > static_cast<std::uint32_t>(INT_MAX)) return cv::Mat();
    if (data.size() != static_cast<std::size_t>(rows) * cols) return cv::Mat();
    // OpenCV takes a non-const pointer; the pipeline only ever reads the image.
    return cv::Mat(static_cast<int>(rows), static_cast<int>(cols), type, const_cast<T*>(data.data()));
}

// A buffer another holder still references must not be written again.
void release_if_shared(cv::Mat& m) {
    if (m.u != nullptr && m.u->refcount > 1) m.release();
}

} // namespace

cv::Mat wrap(const std::vector<std::uint16_t>& data, std::uint32_t rows, std::uint32_t cols) {
    return wrap_array(data, rows, cols, CV_16UC1);
}

cv::Mat wrap(const std::vector<std::int32_t>& data, std::uint32_t rows, std::uint32_t cols) {
    return wrap_array(data, rows, cols, CV_32SC1);
}

value_range scaling_range(const cv::Mat& raw, bool auto_norm, double min_value, double max_value) {
    value_range r;
    if (auto_norm) {
        if (!raw.empty()) cv::minMaxLoc(raw, &r.lo, &r.hi);
    } else {
        r.lo = min_value;
        r.hi = max_value;
    }
    return r;
}

double display_scale(const value_range& range) {
    const double scale = 255.0 / (range.hi - range.lo);
    return std::isfinite(scale) && scale > 0.0 ? scale : 0.0;
}

void scale_to_8bit(const cv::Mat& raw, double scale, cv::Mat& grey8) {
    release_if_shared(grey8);
    if (!(scale > 0.0)) {
        grey8.create(raw.size(), CV_8UC1);
        grey8.setTo(cv::Scalar::all(0));
        return;
    }
    raw.convertTo(grey8, CV_8U, scale);
}

void equalise(cv::Mat& grey8) {
    // The standard 256-bin equalisation, computed exactly as cv::equalizeHist
    // does, but on this thread: for a frame this small, waking OpenCV's worker
    // threads costs more than the work.
    if (grey8.empty()) return;
    CV_Assert(grey8.type() == CV_8UC1);
    int rows = grey8.rows, cols = grey8.cols;
    if (grey8.isContinuous()) {
        cols *= rows;
        rows = 1;
    }
    int hist[256] = {};
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* p = grey8.ptr<std::uint8_t>(r);
        for (int c = 0; c < cols; ++c) ++hist[p[c]];
    }
    int i = 0;
    while (hist[i] == 0) ++i;
    const int total = static_cast<int>(grey8.total());
    if (hist[i] == total) {
        grey8.setTo(cv::Scalar::all(i));
        return;
    }
    const float scale = (256 - 1.f) / (total - hist[i]);
    std::uint8_t lut[256] = {};
    int sum = 0;
    for (lut[i++] = 0; i < 256; ++i) {
        sum += hist[i];
        lut[i] = cv::saturate_cast<std::uint8_t>(sum * scale);
    }
    for (int r = 0; r < rows; ++r) {
        std::uint8_t* p = grey8.ptr<std::uint8_t>(r);
        for (int c = 0; c < cols; ++c) p[c] = lut[p[c]];
    }
}

void colourise(const cv::Mat& grey8, colour_map map, bool inverted, cv::Mat& rgb) {
    CV_Assert(grey8.type() == CV_8UC1);
    release_if_shared(rgb);
    rgb.create(grey8.size(), CV_8UC3);
    const std::uint32_t* lut = lookup_table(map, inverted).entry.data();

    int rows = grey8.rows;
    int cols = grey8.cols;
    if (grey8.isContinuous() && rgb.isContinuous()) {
        cols *= rows;
        rows = 1;
    }
    if (cols == 0) return;
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* s = grey8.ptr<std::uint8_t>(r);
        std::uint8_t* d = rgb.ptr<std::uint8_t>(r);
        // Each pixel is stored as a 4-byte word whose fourth byte is overwritten
        // by the next pixel; the last pixel of a line takes its 3 bytes alone.
        const int last = cols - 1;
        for (int c = 0; c < last; ++c) {
            const std::uint32_t v = lut[s[c]];
            std::memcpy(d + 3 * c, &v, 4);
        }
        const std::uint32_t v = lut[s[last]];
        std::memcpy(d + 3 * last, &v, 3);
    }
}

bool render(const cv::Mat& raw, const pipeline_params& params, cv::Mat& grey8, cv::Mat& rgb) {
    if (raw.empty()) return false;
    const double scale =
        display_scale(scaling_range(raw, params.auto_norm, params.min_value, params.max_value));
    scale_to_8bit(raw, scale, grey8);
    if (params.average && !params.average_after_equalise) params.average(grey8);
    if (params.equalise) equalise(grey8);
    if (params.average && params.average_after_equalise) params.average(grey8);
    colourise(grey8, params.colour, params.invert, rgb);
    return true;
}

pipeline_params image_view_params(int kind, const view_settings::image_kind_settings& s) {
    pipeline_params p;
    p.auto_norm = s.auto_norm;
    p.min_value = s.min_val;
    p.max_value = s.max_val;
    p.equalise = s.hist_mode;
    // Depth is inverted so that near is bright; it is coloured with JET, the
    // other two with the palette.
    const bool depth = kind == view_settings::kind_depth;
    p.invert = depth;
    p.colour = s.grey_mode ? colour_map::grey : depth ? colour_map::jet : colour_map::palette;
    return p;
}

} // namespace display
