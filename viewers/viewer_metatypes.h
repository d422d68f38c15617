// Meta-type declarations for the frame record and the colour images that
// travel in the views' signals. Include this header rather than declaring
// these types again (a second Q_DECLARE_METATYPE of a type does not compile).
#pragma once

#include "device/DadodUz.h"

#include <QMetaType>
#include <opencv2/core.hpp>

Q_DECLARE_METATYPE(cv::Mat)
Q_DECLARE_METATYPE(TAVRIN::DadodUz::scene_t)

namespace viewer_metatypes {
// Registers the types above with Qt's meta-type system (idempotent).
inline void register_all() {
    qRegisterMetaType<cv::Mat>("cv::Mat");
    qRegisterMetaType<TAVRIN::DadodUz::scene_t>("scene_t");
}
} // namespace viewer_metatypes
