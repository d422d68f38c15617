// The error of a measured point cloud against a ground-truth cloud: for every
// valid measured point the distance to the nearest ground-truth point (a k-d
// tree), and the root of the mean of the squared distances. Plain code: no
// visualizer, no widgets.
#pragma once

#include <cstddef>
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

result compute(const cloud_t& measured, const cloud_t& ground_truth);

} // namespace cloud_rmse
