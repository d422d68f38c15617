#include "device/gx_lens.h"

#include "device/gx_protocol.h"

#include <cmath>

namespace gx {

std::array<float, 12> lens_rays::fallback(std::uint32_t rows, std::uint32_t cols) {
    std::array<float, 12> l{};
    l[0] = l[1] = 540.0f;
    l[2] = (float(cols) - 1.0f) * 0.5f;
    l[3] = (float(rows) - 1.0f) * 0.5f;
    return l;
}

void lens_rays::update(const std::array<float, 12>& lens_in, std::uint32_t rows, std::uint32_t cols) {
    if (valid() && lens_in == lens_ && rows == rows_ && cols == cols_) return;
    lens_ = lens_in;
    rows_ = rows;
    cols_ = cols;
    std::array<float, 12> lens = lens_in;
    bool usable = true;
    for (float v : lens)
        if (!std::isfinite(v)) usable = false;
    if (std::fabs(lens[0]) < 1e-3f || std::fabs(lens[1]) < 1e-3f) usable = false;
    if (!usable) lens = fallback(rows, cols);
    const double fx = lens[0], fy = lens[1], cx = lens[2], cy = lens[3], p1 = lens[4], p2 = lens[5];
    const double k1 = lens[6], k2 = lens[7], k3 = lens[8], k4 = lens[9], k5 = lens[10], k6 = lens[11];
    dir_.resize(std::size_t(rows) * cols);
    // The largest radius the radial model reaches (its turning point along the
    // x axis) depends on the lens only: found once, when a pixel first needs it.
    bool have_turn = false;
    double top = 0, best = 0;
    for (std::uint32_t r = 0; r < rows; ++r) {
        for (std::uint32_t c = 0; c < cols; ++c) {
            const double xd = (double(c) - cx) / fx, yd = (double(r) - cy) / fy;
            // Invert the forward model by Newton's method (the plain fixed-point
            // iteration does not converge at the corners of strong lenses).
            const auto forward = [&](double x, double y, double& fx_out, double& fy_out) {
                const double r2 = x * x + y * y, r4 = r2 * r2, r6 = r4 * r2;
                const double den = 1 + k4 * r2 + k5 * r4 + k6 * r6;
                const double radial = (1 + k1 * r2 + k2 * r4 + k3 * r6) / (std::fabs(den) < 1e-12 ? 1e-12 : den);
                fx_out = x * radial + 2 * p1 * x * y + p2 * (r2 + 2 * x * x);
                fy_out = y * radial + p1 * (r2 + 2 * y * y) + 2 * p2 * x * y;
            };
            double x = xd, y = yd;
            for (int it = 0; it < 50; ++it) {
                double u, v;
                forward(x, y, u, v);
                const double ex = u - xd, ey = v - yd;
                if (std::fabs(ex) + std::fabs(ey) < 1e-13) break;
                const double h = 1e-7;
                double ux, vx_, uy, vy;
                forward(x + h, y, ux, vx_);
                forward(x, y + h, uy, vy);
                const double a = (ux - u) / h, b = (uy - u) / h, c = (vx_ - v) / h, dd = (vy - v) / h;
                const double det = a * dd - b * c;
                if (!std::isfinite(det) || std::fabs(det) < 1e-12) break;
                double sx = (dd * ex - b * ey) / det, sy = (-c * ex + a * ey) / det;
                const double step = std::fabs(sx) + std::fabs(sy);
                if (!std::isfinite(step)) break;
                if (step > 0.5) {
                    sx *= 0.5 / step;
                    sy *= 0.5 / step;
                }
                x -= sx;
                y -= sy;
                if (std::fabs(x) > 10 || std::fabs(y) > 10) {
                    x = xd;
                    y = yd;
                    break;
                }
            }
            {
                double u, v;
                forward(x, y, u, v);
                if (!(std::fabs(u - xd) + std::fabs(v - yd) < 1e-7)) {
                    // No inverse (the pixel lies beyond the turning point of the
                    // radial model): take the ray along the pixel's direction at
                    // the largest radius the model reaches, or the radius that
                    // reproduces the pixel's distance from the centre.
                    const double rd = std::sqrt(xd * xd + yd * yd);
                    const auto g = [&](double r) {
                        double gu, gv;
                        forward(r, 0, gu, gv);
                        return std::fabs(gu);
                    };
                    if (!have_turn) {
                        for (double r = 0.001; r < 3.0; r += 0.001) {
                            const double gr = g(r);
                            if (gr < best) break;
                            best = gr;
                            top = r;
                        }
                        have_turn = true;
                    }
                    double lo = 0, hi = top;
                    if (rd < best)
                        for (int k = 0; k < 60; ++k) {
                            const double mid = 0.5 * (lo + hi);
                            (g(mid) < rd ? lo : hi) = mid;
                        }
                    const double r = rd < best ? 0.5 * (lo + hi) : top;
                    x = rd > 0 ? xd / rd * r : 0;
                    y = rd > 0 ? yd / rd * r : 0;
                }
            }
            const double vx = 1.0, vy = -x, vz = -y;
            const double n = std::sqrt(vx * vx + vy * vy + vz * vz);
            ray& ry = dir_[std::size_t(r) * cols + c];
            ry.dx = float(vx / n);
            ry.dy = float(vy / n);
            ry.dz = float(vz / n);
            ry.azimuth = float(std::atan2(vy, vx));
            ry.elevation = float(std::asin(vz / n));
        }
    }
}

namespace {
void fill(const std::vector<lens_rays::ray>& rays, const std::vector<std::int32_t>& depth, std::vector<TAVRIN::DadodUz::point_t>& pts,
          double scale, double echo) {
    const std::size_t n = std::min(rays.size(), depth.size());
    pts.resize(depth.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto& p = pts[i];
        const auto& ry = rays[i];
        p.echo = echo;
        p.azimuth = ry.azimuth;
        p.elevation = ry.elevation;
        const std::int32_t d = depth[i];
        if (d > 0) {
            const double dist = double(d) * scale;
            p.distance = dist;
            p.x = dist * ry.dx;
            p.y = dist * ry.dy;
            p.z = dist * ry.dz;
            p.valid = 1;
        } else {
            p.distance = p.x = p.y = p.z = 0;
            p.valid = 0;
        }
    }
    for (std::size_t i = n; i < pts.size(); ++i) pts[i] = TAVRIN::DadodUz::point_t{};
}
}  // namespace

void lens_rays::make_points(TAVRIN::DadodUz::scene_t& s, int stream_mode) const {
    const double scale = stream_mode_is_bins(stream_mode) ? double(kDepthBinMm) : 1.0;
    fill(dir_, s.depth, s.points, scale, 0);
    if (!s.depth2.empty())
        fill(dir_, s.depth2, s.points2, scale, 1);
    else
        s.points2.clear();
}

}  // namespace gx
