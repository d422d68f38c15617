// Shows an 8-bit R, G, B picture in an image label, scaled to the label's
// size with nearest-pixel sampling (Qt::FastTransformation). The common case,
// a whole-number enlargement, replicates pixels straight into a 32-bit image
// the label can take without a further conversion; other sizes go through
// QImage::scaled.
#pragma once

#include <QImage>
#include <QSize>
#include <opencv2/core.hpp>

class QLabel;

namespace label_picture {

// The picture (CV_8UC3, R, G, B) scaled into `box` with `mode`, as
// QImage::scaled with Qt::FastTransformation scales it.
QImage scaled(const cv::Mat& rgb, const QSize& box, Qt::AspectRatioMode mode);

// Sets the scaled picture on the label; an empty picture clears the label.
void show(QLabel* label, const cv::Mat& rgb, Qt::AspectRatioMode mode);

} // namespace label_picture
