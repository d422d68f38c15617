// Frame averaging of 8-bit display images.
#include "logic/frame_averager.h"

#include <cstdint>

namespace {

// out = saturate(round(sum * (1 / count))), rounding halves to even, element
// by element. OpenCV's own conversion rounds some halves up and some to even
// depending on where an element falls in its vector loop, so the two ways to
// the mean below round here, alike.
template <typename T>
void divide(const cv::Mat& sum, std::size_t count, cv::Mat& out) {
    const double k = 1.0 / static_cast<double>(count);
    out.create(sum.size(), CV_8UC1);
    const cv::Mat src = sum.isContinuous() ? sum : sum.clone();
    const T* s = src.ptr<T>(0);
    std::uint8_t* o = out.ptr<std::uint8_t>(0);
    const std::size_t n = src.total();
    for (std::size_t i = 0; i < n; ++i) o[i] = cv::saturate_cast<std::uint8_t>(static_cast<double>(s[i]) * k);
}

} // namespace

void frame_averager::clear() {
    images.clear();
    sum.release();
}

void frame_averager::push(cv::Mat& grey8, int frames) {
    if (grey8.empty() || grey8.type() != CV_8UC1) return;
    if (!images.empty() && images.front().size() != grey8.size()) clear();
    if (images.empty()) sum = cv::Mat::zeros(grey8.size(), CV_32SC1);

    if (!images.empty() && images.size() >= static_cast<std::size_t>(frames < 1 ? 1 : frames)) {
        cv::subtract(sum, images.front(), sum, cv::noArray(), CV_32S);
        images.pop_front();
    }
    images.push_back(grey8.clone());
    cv::add(sum, grey8, sum, cv::noArray(), CV_32S);

    cv::Mat mean_image;  // a fresh image: the caller may still share the old one
    divide<std::int32_t>(sum, images.size(), mean_image);
    grey8 = mean_image;
}

cv::Mat frame_averager::mean(const std::vector<cv::Mat>& list) {
    if (list.empty() || list.front().empty()) return cv::Mat();
    cv::Mat total = cv::Mat::zeros(list.front().size(), CV_64FC1);
    for (const cv::Mat& m : list) {
        if (m.size() != total.size() || m.channels() != 1) continue;
        cv::Mat d;
        m.convertTo(d, CV_64F);
        total += d;
    }
    cv::Mat out;
    divide<double>(total, list.size(), out);
    return out;
}
