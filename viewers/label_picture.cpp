#include "viewers/label_picture.h"

#include <QLabel>
#include <QPixmap>

#include <cstdint>
#include <cstring>

namespace label_picture {

namespace {

QImage wrap(const cv::Mat& rgb) {
    return QImage(rgb.data, rgb.cols, rgb.rows, static_cast<int>(rgb.step), QImage::Format_RGB888);
}

// Each pixel becomes a zx x zy block of 0xffRRGGBB words.
QImage replicate(const cv::Mat& rgb, int zx, int zy) {
    QImage out(rgb.cols * zx, rgb.rows * zy, QImage::Format_RGB32);
    if (out.isNull()) return out;
    const int line_bytes = out.width() * 4;
    for (int r = 0; r < rgb.rows; ++r) {
        const std::uint8_t* s = rgb.ptr<std::uint8_t>(r);
        auto* first = reinterpret_cast<std::uint32_t*>(out.scanLine(r * zy));
        std::uint32_t* d = first;
        for (int c = 0; c < rgb.cols; ++c, s += 3) {
            const std::uint32_t word = 0xff000000u | std::uint32_t(s[0]) << 16 | std::uint32_t(s[1]) << 8 | s[2];
            for (int k = 0; k < zx; ++k) *d++ = word;
        }
        for (int k = 1; k < zy; ++k) std::memcpy(out.scanLine(r * zy + k), first, std::size_t(line_bytes));
    }
    return out;
}

} // namespace

QImage scaled(const cv::Mat& rgb, const QSize& box, Qt::AspectRatioMode mode) {
    if (rgb.empty() || rgb.type() != CV_8UC3) return QImage();
    const QSize size = QSize(rgb.cols, rgb.rows).scaled(box, mode);
    if (size.isEmpty()) return QImage();
    if (size.width() % rgb.cols == 0 && size.height() % rgb.rows == 0)
        return replicate(rgb, size.width() / rgb.cols, size.height() / rgb.rows);
    // Qt scales 32-bit images on its fast path; 24-bit ones pixel by pixel.
    return wrap(rgb).convertToFormat(QImage::Format_RGB32).scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

void show(QLabel* label, const cv::Mat& rgb, Qt::AspectRatioMode mode) {
    QImage picture = scaled(rgb, label->size(), mode);
    if (picture.isNull()) {
        label->clear();
        return;
    }
    label->setPixmap(QPixmap::fromImage(std::move(picture)));
}

} // namespace label_picture
