// Point cloud building.
#include "logic/cloud_builder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cloud_builder {

namespace {

using point_t = TAVRIN::DadodUz::point_t;
static_assert(offsetof(point_t, y) == offsetof(point_t, x) + sizeof(double), "x and y are loaded as a pair");
static_assert(alignof(pcl::PointXYZRGB) >= 16 && offsetof(pcl::PointXYZRGB, data) == 0, "x, y, z, w are stored as one vector");

std::uint32_t pack(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return 0xff000000u | static_cast<std::uint32_t>(r) << 16 | static_cast<std::uint32_t>(g) << 8 | b;
}

const cv::Mat* image_for(int mode, const colour_images& images, std::uint32_t rows, std::uint32_t cols) {
    const cv::Mat* img = mode == colour_ambient ? &images.ambient
                       : mode == colour_depth   ? &images.depth
                       : mode == colour_intensity ? &images.intensity
                       : nullptr;
    if (img == nullptr || img->empty() || img->type() != CV_8UC3) return nullptr;
    if (static_cast<std::uint32_t>(img->rows) != rows || static_cast<std::uint32_t>(img->cols) != cols) return nullptr;
    return img;
}

bool fixed_colour(int mode, std::uint32_t& rgba) {
    switch (mode) {
    case colour_white: rgba = pack(255, 255, 255); return true;
    case colour_red: rgba = pack(255, 0, 0); return true;
    case colour_green: rgba = pack(0, 255, 0); return true;
    case colour_blue: rgba = pack(0, 0, 255); return true;
    default: rgba = pack(0, 0, 0); return false;
    }
}

// When lo < distance / 1000 <= hi and the point's coordinates in metres are
// finite, writes them (and w = 1) into `out` and returns true. Every value is
// divided by 1000 in double precision and stored as float; with SSE2 two
// divisions run side by side, with the same results.
inline bool to_metres(const TAVRIN::DadodUz::point_t& in, double lo, double hi, pcl::PointXYZRGB& out) {
#if defined(__SSE2__)
    const __m128d k1000 = _mm_set1_pd(1000.0);
    const __m128d dz = _mm_div_pd(_mm_set_pd(in.z, in.distance), k1000);  // lane 0: distance, 1: z
    const double d = _mm_cvtsd_f64(dz);
    if (!(lo < d && d <= hi)) return false;
    const __m128d xy = _mm_div_pd(_mm_loadu_pd(&in.x), k1000);  // x and y are adjacent members
    const __m128 fxy = _mm_cvtpd_ps(xy);                         // (x, y, 0, 0)
    const __m128 fz = _mm_cvtpd_ps(_mm_unpackhi_pd(dz, dz));    // (z, z, 0, 0)
    const __m128 xyz1 = _mm_movelh_ps(fxy, _mm_unpacklo_ps(fz, _mm_set1_ps(1.0f)));
    // v - v is 0 for finite lanes and NaN for infinite or NaN ones.
    if (_mm_movemask_ps(_mm_cmpeq_ps(_mm_sub_ps(xyz1, xyz1), _mm_setzero_ps())) != 0xf) return false;
    _mm_store_ps(out.data, xyz1);
    return true;
#else
    const double d = in.distance / 1000.0;
    if (!(lo < d && d <= hi)) return false;
    const float x = static_cast<float>(in.x / 1000.0);
    const float y = static_cast<float>(in.y / 1000.0);
    const float z = static_cast<float>(in.z / 1000.0);
    if (!(std::isfinite(x) && std::isfinite(y) && std::isfinite(z))) return false;
    out.x = x;
    out.y = y;
    out.z = z;
    out.data[3] = 1.0f;
    return true;
#endif
}

} // namespace

bool build(const scene_t& scene, const params& p, const colour_images& images, cloud_t& cloud) {
    const std::uint32_t rows = scene.rows;
    const std::uint32_t cols = scene.cols;
    const std::size_t n = static_cast<std::size_t>(rows) * cols;

    if (n > max_pixels)
        throw std::length_error("frame of " + std::to_string(rows) + " x " + std::to_string(cols) +
                                " pixels refused: too large");
    cloud.points.resize(n);
    cloud.width = cols;
    cloud.height = rows;
    cloud.is_dense = true;
    if (scene.depth.empty() || n == 0) return false;

    const std::uint32_t black = pack(0, 0, 0);
    std::uint32_t constant = black;
    const bool is_fixed = fixed_colour(p.colour_mode, constant);
    const cv::Mat* image = is_fixed ? nullptr : image_for(p.colour_mode, images, rows, cols);

    const double lo = p.min_dist;
    const double hi = p.max_dist;
    const std::size_t available = std::min(n, scene.points.size());
    const TAVRIN::DadodUz::point_t* src = scene.points.data();
    pcl::PointXYZRGB* dst = cloud.points.data();

    std::size_t i = 0;
    for (std::uint32_t r = 0; r < rows; ++r) {
        const std::uint8_t* pix = image != nullptr ? image->ptr<std::uint8_t>(static_cast<int>(r)) : nullptr;
        for (std::uint32_t c = 0; c < cols; ++c, ++i) {
            pcl::PointXYZRGB& out = dst[i];
            if (i < available && to_metres(src[i], lo, hi, out)) {
                out.rgba = pix != nullptr ? pack(pix[3 * c], pix[3 * c + 1], pix[3 * c + 2]) : constant;
            } else {
                out.x = out.y = out.z = 0.0f;
                out.data[3] = 1.0f;
                out.rgba = black;
            }
        }
    }
    return true;
}

} // namespace cloud_builder
