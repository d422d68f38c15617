// The error of a measured point cloud against a ground-truth cloud: for every
// valid measured point the distance to the nearest ground-truth point, and the
// root of the mean of the squared distances. The ground truth is indexed once
// (a k-d tree) and kept for as many measured clouds as come; the searches run
// on the machine's cores. Plain code: no visualizer, no widgets.
#pragma once

#include <cstddef>
#include <memory>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

namespace cloud_rmse {

using cloud_t = pcl::PointCloud<pcl::PointXYZRGB>;

struct result {
    bool ok = false;          // false: no valid measured point or no valid ground-truth point
    double rmse = 0.0;        // in the clouds' length unit
    std::size_t points = 0;   // measured points used
};

// A point counts as valid when its coordinates are finite and it is not the
// origin (the point cloud view parks pixels without a return at the origin).
bool valid(const pcl::PointXYZRGB& p);

// The valid points of a ground truth with their search tree.
class ground_truth {
public:
    ground_truth();
    explicit ground_truth(const cloud_t& truth);
    ~ground_truth();
    ground_truth(ground_truth&&) noexcept;
    ground_truth& operator=(ground_truth&&) noexcept;

    // Valid points indexed.
    std::size_t size() const;
    result compute(const cloud_t& measured) const;

private:
    struct tree;
    std::unique_ptr<tree> tree_;
};

// One measurement without keeping the index.
result compute(const cloud_t& measured, const cloud_t& truth);

} // namespace cloud_rmse
