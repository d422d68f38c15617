#include "logic/cloud_rmse.h"

#include <cmath>
#include <pcl/kdtree/kdtree_flann.h>
#include <vector>

namespace cloud_rmse {

bool valid(const pcl::PointXYZRGB& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && !(p.x == 0.0f && p.y == 0.0f && p.z == 0.0f);
}

result compute(const cloud_t& measured, const cloud_t& ground_truth) {
    result out;
    cloud_t::Ptr truth(new cloud_t);
    truth->reserve(ground_truth.size());
    for (const auto& p : ground_truth.points)
        if (valid(p)) truth->push_back(p);
    if (truth->empty()) return out;
    pcl::KdTreeFLANN<pcl::PointXYZRGB> tree;
    tree.setInputCloud(truth);
    std::vector<int> index(1);
    std::vector<float> sq(1);
    double sum = 0.0;
    for (const auto& p : measured.points) {
        if (!valid(p)) continue;
        if (tree.nearestKSearch(p, 1, index, sq) < 1) continue;
        sum += double(sq[0]);
        ++out.points;
    }
    if (out.points == 0) return out;
    out.ok = true;
    out.rmse = std::sqrt(sum / double(out.points));
    return out;
}

} // namespace cloud_rmse
