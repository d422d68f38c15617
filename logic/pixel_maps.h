// Per-pixel maps of a depth quality window (depth_quality.h) over the frames
// it holds, for the acceptance report: which pixels return, how far each
// lies from the fitted surface, and how much each one's range wanders from
// frame to frame; the dead and the noisy pixels among them. Plain code over
// the window's own frames and the surface `measure` fitted to them.
//
// For each pixel of the region, over the window's frames:
//  - valid rate: % of the frames in which it carries a return (outliers
//    included, as for the fill rate; the region's mean is the fill rate);
//  - mean error: the mean signed distance (mm) of its inlier returns from
//    the window's surface (the plane of a wall, positive beyond it; the
//    median range of a sphere), over the frames in which the window judged
//    it an inlier; NaN where it never was, or when the figures do not hold
//    (no surface);
//  - temporal σ: the sample standard deviation (mm) of its range over the
//    frames in which it returned, leaving out its own outliers (ranges more
//    than 6 robust standard deviations, 1.4826 × the median absolute
//    deviation, and at least 5 mm, from its median range: the window's band
//    rule, applied to the pixel alone, so that a false return does not count
//    and a noisy pixel is not cut down to the region's band); NaN for a
//    pixel with fewer than 2 such returns or returns in under half of the
//    frames.
// A pixel is dead when it returns in no frame, and noisy when its temporal
// σ is above kNoisyFactor × the median σ of the region's pixels.
// Rows and columns in the lists are the frame's (not the region's).
#pragma once

#include "logic/depth_quality.h"

#include <cstddef>
#include <vector>

namespace pixel_maps {

// Noisy: σ above three times the region's median. The sample σ of a pixel
// over 30 frames scatters by about 13 % (1 / √(2 × 29)), over 5 frames by
// about 35 %: three times the median is never reached by a sound pixel and
// is reached by one whose noise is three times the others'.
constexpr double kNoisyFactor = 3.0;

struct pixel {
    int row = 0, col = 0;
    double sigma = depth_quality::none; // noisy pixels: their temporal σ (mm)
};

struct maps {
    depth_quality::region roi;   // the region the maps cover
    std::size_t frames = 0;      // frames they were taken over
    // Row-major over the region (roi.w × roi.h).
    std::vector<double> valid_rate; // %
    std::vector<double> mean_error; // mm
    std::vector<double> sigma;      // mm
    double median_sigma = depth_quality::none;
    std::vector<pixel> dead, noisy;  // row by row
};

// The maps of the window's frames; `m` is what `measure` gave for the same
// window (its surface, when the figures hold).
maps compute(const depth_quality::window& w, const depth_quality::metrics& m);

} // namespace pixel_maps
