// Point cloud files (.pcd): the ASCII files the program writes (PCL's writer)
// and the ground-truth clouds it reads (a reader of its own: PCL's crashes on
// some malformed files). Plain code.
#pragma once

#include <cstddef>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>
#include <string>

namespace pcd_file {

using cloud_t = pcl::PointCloud<pcl::PointXYZRGB>;

// The most points a file may hold; a GT cloud of the sensor has 40000.
constexpr std::size_t max_points = std::size_t(1) << 22;

// Writes PCD 0.7 in ASCII, 8 significant digits, fields x y z rgb, WIDTH and
// HEIGHT as the cloud has them. False when nothing (or not all) was written.
bool write_ascii(const std::string& path, const cloud_t& cloud);

// Reads a PCD file (ASCII, binary or binary_compressed) into `cloud`: the
// fields x, y and z (any numeric type, as floats) and the colour of a 4-byte
// "rgb" or "rgba" field, WIDTH x HEIGHT points. The header is checked before
// anything is allocated: a file claiming more points than max_points, or more
// data than it holds, is refused. False, with the reason in `error`, for a
// file that cannot be opened or read; `cloud` is then left as it was.
bool read(const std::string& path, cloud_t& cloud, std::string& error);

} // namespace pcd_file
