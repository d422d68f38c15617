#include "logic/pixel_maps.h"

#include <algorithm>
#include <cmath>

namespace pixel_maps {

namespace dq = depth_quality;

namespace {

constexpr double kGateSigmas = 6.0;
constexpr double kMinGateMm = 5.0;

// The temporal σ of one pixel's ranges (see the header); reorders them.
double pixel_sigma(std::vector<float>& ranges, std::size_t frames) {
    if (ranges.size() < 2 || 2 * ranges.size() < frames) return dq::none;
    const double middle = dq::median(ranges);
    std::vector<float> off(ranges.size());
    for (std::size_t k = 0; k < ranges.size(); ++k) off[k] = float(std::fabs(ranges[k] - middle));
    const double gate = std::max(kGateSigmas * 1.4826 * dq::median(off), kMinGateMm);
    double sum = 0, sq = 0, n = 0;
    for (float r : ranges) {
        const double v = r - middle;
        if (std::fabs(v) > gate) continue;
        sum += v, sq += v * v, n += 1;
    }
    if (n < 2 || 2 * n < double(frames)) return dq::none;
    return std::sqrt(std::max(sq - sum * sum / n, 0.0) / (n - 1));
}

} // namespace

maps compute(const dq::window& w, const dq::metrics& m) {
    maps out;
    out.roi = w.roi();
    out.frames = w.size();
    const std::size_t pixels = std::size_t(std::max(out.roi.w, 0)) * std::size_t(std::max(out.roi.h, 0));
    out.valid_rate.assign(pixels, dq::none);
    out.mean_error.assign(pixels, dq::none);
    out.sigma.assign(pixels, dq::none);
    if (w.size() == 0 || pixels == 0) return out;

    // The window's surface, when the figures hold.
    const bool holds = m.verdict.holds();
    const bool wall = w.kind() == dq::target::wall;
    const bool surface = holds && (wall ? m.wall.ok : std::isfinite(m.distance));
    const double frames = double(w.size());

    std::vector<float> ranges;
    ranges.reserve(w.size());
    std::vector<float> sigmas;
    sigmas.reserve(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        ranges.clear();
        double error = 0;
        std::size_t inliers = 0;
        for (const dq::roi_frame& f : w.list()) {
            if (f.pixels != pixels) continue;
            const float r = f.range()[i];
            if (std::isnan(r)) continue;
            ranges.push_back(r);
            if (!surface || !f.inlier[i]) continue;
            error += wall ? m.wall.nx * f.x()[i] + m.wall.ny * f.y()[i] + m.wall.nz * f.z()[i] - m.wall.d
                          : double(r) - m.distance;
            ++inliers;
        }
        out.valid_rate[i] = 100.0 * double(ranges.size()) / frames;
        if (inliers > 0) out.mean_error[i] = error / double(inliers);
        out.sigma[i] = pixel_sigma(ranges, w.size());
        if (std::isfinite(out.sigma[i])) sigmas.push_back(float(out.sigma[i]));
    }
    out.median_sigma = dq::median(sigmas);

    for (std::size_t i = 0; i < pixels; ++i) {
        const int row = out.roi.y + int(i / std::size_t(out.roi.w));
        const int col = out.roi.x + int(i % std::size_t(out.roi.w));
        if (out.valid_rate[i] <= 0.0) out.dead.push_back({row, col});
        if (std::isfinite(out.sigma[i]) && out.sigma[i] > kNoisyFactor * out.median_sigma)
            out.noisy.push_back({row, col, out.sigma[i]});
    }
    return out;
}

} // namespace pixel_maps
