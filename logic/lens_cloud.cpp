#include "logic/lens_cloud.h"

#include "logic/cloud_builder.h"

#include <cmath>

namespace {
float metres(double mm) {
    const float v = static_cast<float>(mm / 1000.0);
    return std::isfinite(v) ? v : 0.0f;
}
} // namespace

// A pixel without a return is the point at the origin.
bool lens_cloud::has_return(const frame& f, std::size_t i) { return !(f.x[i] == 0.0f && f.y[i] == 0.0f && f.z[i] == 0.0f); }

void lens_cloud::set_average(bool on) {
    average_ = on;
    if (!on) list_.clear();
}

void lens_cloud::set_frames(std::size_t n) {
    frames_ = n < 1 ? 1 : n;
    list_.clear();
}

void lens_cloud::take(const scene_t& scene, std::size_t n, frame& f) const {
    f.x.resize(n);
    f.y.resize(n);
    f.z.resize(n);
    const std::size_t available = std::min(n, scene.points.size());
    for (std::size_t i = 0; i < available; ++i) {
        const auto& p = scene.points[i];
        f.x[i] = metres(p.x);
        f.y[i] = metres(p.y);
        f.z[i] = metres(p.z);
    }
    for (std::size_t i = available; i < n; ++i) f.x[i] = f.y[i] = f.z[i] = 0.0f;
}

bool lens_cloud::update(const scene_t& scene, cloud_t& cloud) {
    const std::size_t n = std::size_t(scene.rows) * scene.cols;
    if (n > cloud_builder::max_pixels) return false;
    cloud.points.resize(n);
    // Kept consistent with the point count even when no points are written.
    cloud.width = scene.cols;
    cloud.height = scene.rows;
    cloud.is_dense = true;
    if (scene.depth.empty()) return false;

    pcl::PointXYZRGB white;
    white.r = white.g = white.b = 255;
    white.a = 255;

    if (!average_) {
        const std::size_t available = std::min(n, scene.points.size());
        for (std::size_t i = 0; i < n; ++i) {
            pcl::PointXYZRGB p = white;
            if (i < available) {
                p.x = metres(scene.points[i].x);
                p.y = metres(scene.points[i].y);
                p.z = metres(scene.points[i].z);
            } else {
                p.x = p.y = p.z = 0.0f;
            }
            cloud.points[i] = p;
        }
        return true;
    }

    if (!list_.empty() && list_.front().x.size() != n) list_.clear();
    if (list_.empty()) {
        sums_.x.assign(n, 0.0f);
        sums_.y.assign(n, 0.0f);
        sums_.z.assign(n, 0.0f);
        returns_.assign(n, 0);
    }
    if (list_.size() >= frames_) {
        const frame& old = list_.front();
        for (std::size_t i = 0; i < n; ++i) {
            if (!has_return(old, i)) continue;
            // The last return leaving a pixel leaves exact zeros, not rounding residue.
            if (--returns_[i] == 0) {
                sums_.x[i] = sums_.y[i] = sums_.z[i] = 0.0f;
                continue;
            }
            sums_.x[i] -= old.x[i];
            sums_.y[i] -= old.y[i];
            sums_.z[i] -= old.z[i];
        }
        spare_ = std::move(list_.front());
        list_.pop_front();
    }
    frame f = std::move(spare_);
    take(scene, n, f);
    for (std::size_t i = 0; i < n; ++i) {
        if (!has_return(f, i)) continue;
        ++returns_[i];
        sums_.x[i] += f.x[i];
        sums_.y[i] += f.y[i];
        sums_.z[i] += f.z[i];
    }
    list_.push_back(std::move(f));
    for (std::size_t i = 0; i < n; ++i) {
        pcl::PointXYZRGB p = white;
        const float count = returns_[i] == 0 ? 1.0f : static_cast<float>(returns_[i]);
        p.x = sums_.x[i] / count;
        p.y = sums_.y[i] / count;
        p.z = sums_.z[i] / count;
        cloud.points[i] = p;
    }
    return true;
}
