// Frame averaging of 8-bit display images: a list of the last images, oldest
// first, and their mean. The mean is the sum of the images in double
// precision times 1 / count, rounded (halves to even) and saturated to 8
// bits; a running 32-bit sum gives the same result without adding up the
// whole list every frame, however long it is.
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <deque>
#include <vector>

class frame_averager {
public:
    // Drops the oldest image when the list already holds `frames` or more,
    // appends `grey8` and replaces it by the mean of the list. A list that
    // has grown longer than `frames` (the count was lowered) keeps its length:
    // one image leaves and one arrives per call. An image whose size or type
    // differs from the images in the list starts the list again.
    void push(cv::Mat& grey8, int frames);

    void clear();
    std::size_t size() const { return images.size(); }

    // The mean of a list of 8-bit single-channel images of one size: the
    // double-precision sum times 1 / count, rounded and saturated. Images of
    // another size than the first are left out of the sum (but counted).
    static cv::Mat mean(const std::vector<cv::Mat>& list);

private:
    std::deque<cv::Mat> images;  // own copies, oldest first
    cv::Mat sum;                 // CV_32SC1, the sum of `images`
};
