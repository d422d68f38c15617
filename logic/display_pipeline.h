// The 8-bit display pipeline shared by the image view and the analysis
// dialogs: wrap a raw frame array, scale it to 8 bits, optionally equalise
// (and, for the dialogs, average) it, and colour it into an R, G, B image.
//
// Scaling: scale = 255 / (hi - lo), with lo and hi either the image's own
// smallest and largest value (auto normalisation) or a fixed range. Every
// pixel becomes v * scale rounded and saturated to 0..255; no offset is
// subtracted, so lo only narrows the divisor. A range with hi <= lo (a flat
// image, equal or swapped limits) gives an all-zero 8-bit image.
#pragma once

#include "logic/colour_tables.h"
#include "logic/view_settings.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <functional>
#include <vector>

namespace display {

// Wraps a row-major frame array as a rows x cols single-channel image without
// copying (CV_16UC1 or CV_32SC1). The image aliases `data`: it stays valid as
// long as the vector is neither resized nor destroyed. Returns an empty image
// when the array is empty or does not hold exactly rows x cols values.
cv::Mat wrap(const std::vector<std::uint16_t>& data, std::uint32_t rows, std::uint32_t cols);
cv::Mat wrap(const std::vector<std::int32_t>& data, std::uint32_t rows, std::uint32_t cols);

// The range used for scaling.
struct value_range {
    double lo = 0.0;
    double hi = 0.0;
};

// The image's smallest and largest value when `auto_norm`, else (min_value, max_value).
value_range scaling_range(const cv::Mat& raw, bool auto_norm, double min_value, double max_value);

// 255 / (hi - lo); 0 when that is not a finite positive number (hi <= lo).
double display_scale(const value_range& range);

// grey8 = saturate(round(raw * scale)); all zero for a scale of 0 or less.
// `grey8` is reused when it already has raw's size and is not shared.
void scale_to_8bit(const cv::Mat& raw, double scale, cv::Mat& grey8);

// Standard 256-bin histogram equalisation, in place.
void equalise(cv::Mat& grey8);

// rgb(r, c) = table(grey8(r, c)), 3 bytes R, G, B per pixel; `inverted`
// colours 255 - v instead of v. `rgb` is (re)allocated only when its size or
// type differ or it is shared; pass an empty Mat to get a fresh image.
void colourise(const cv::Mat& grey8, colour_map map, bool inverted, cv::Mat& rgb);

// What one image kind goes through.
struct pipeline_params {
    bool auto_norm = false;     // range from the image itself
    double min_value = 0.0;     // fixed range, used when !auto_norm
    double max_value = 255.0;
    bool equalise = false;      // histogram equalisation of the 8-bit image
    bool invert = false;        // v -> 255 - v after equalisation and averaging (depth)
    colour_map colour = colour_map::grey;
    // Optional step on the 8-bit image, e.g. frame averaging. Called with the
    // scaled image, which it may replace. Runs before equalisation, or after it
    // when `average_after_equalise` is set.
    std::function<void(cv::Mat& grey8)> average;
    bool average_after_equalise = false;
};

// How the program's displays set it up:
//  - image view: ambient / intensity palette (grey when grey mode), depth
//    inverted JET (inverted grey when grey mode);
//  - image analysis: JET or grey for all three, depth inverted; frame
//    averaging through `average`, after equalisation for depth only;
//  - offset calibration: depth inverted JET, intensity JET, no equalisation;
//  - board alignment: JET or grey, optional equalisation, no inversion.
//
// Scale, (average,) equalise, (average,) invert and colour one raw image.
// `grey8` is a working buffer reused from call to call; `rgb` receives the
// finished R, G, B image (pass an empty Mat for a fresh one). An empty `raw`
// leaves both untouched and returns false.
bool render(const cv::Mat& raw, const pipeline_params& params, cv::Mat& grey8, cv::Mat& rgb);

// The image view's parameters for one image kind (view_settings::kind_ambient,
// kind_depth, kind_intensity) under its settings: range and equalisation as
// set; depth inverted and coloured with JET, ambient and intensity with the
// palette; grey for every kind in grey mode.
pipeline_params image_view_params(int kind, const view_settings::image_kind_settings& settings);

} // namespace display
