// Turns the points of one frame into the coloured, organised point cloud of
// the point cloud view. Plain code: no visualizer, no widgets.
#pragma once

#include "device/DadodUz.h"

#include <opencv2/core.hpp>
#include <cstddef>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

namespace cloud_builder {

using scene_t = TAVRIN::DadodUz::scene_t;
using cloud_t = pcl::PointCloud<pcl::PointXYZRGB>;

// Point colour modes, in the order of the settings dialog's colour list.
enum point_colour : int {
    colour_white = 0,
    colour_red = 1,
    colour_green = 2,
    colour_blue = 3,
    colour_ambient = 4,
    colour_depth = 5,
    colour_intensity = 6,
};

struct params {
    int colour_mode = colour_ambient;
    double min_dist = 0.0;    // metres, exclusive
    double max_dist = 200.0;  // metres, inclusive
};

// The colour images (8-bit, 3 channels, R, G, B) made from the same frame by
// the image view. An image that is empty or not rows x cols of that type
// colours its points black.
struct colour_images {
    cv::Mat ambient;
    cv::Mat depth;
    cv::Mat intensity;
};

// The largest frame accepted, in pixels (a GX frame has 40000): a record that
// claims more is malformed and is refused before anything is allocated.
constexpr std::size_t max_pixels = std::size_t(1) << 24;

// Refills `cloud` in place from `scene`:
//  - the point array is resized to rows x cols (new points: origin, black,
//    alpha 255) and the cloud becomes organised: width = cols, height = rows;
//  - when the frame carries depth values every pixel i is rewritten: inside
//    the window min_dist < distance <= max_dist (metres) it is the pixel's
//    point in metres in the mode's colour, otherwise the origin in black
//    (also for a point with a non-finite coordinate or no point in the frame);
//  - without depth values the previous points stay as they are.
// Returns true when the points were rewritten. Throws std::length_error, and
// leaves the cloud as it was, for a frame of more than max_pixels pixels.
bool build(const scene_t& scene, const params& p, const colour_images& images, cloud_t& cloud);

} // namespace cloud_builder
