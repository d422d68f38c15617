// Entry point of every test program. VEZOVAD_TEST_PLATFORM says whether a
// QApplication is needed and on which platform it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>
#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string platform = VEZOVAD_TEST_PLATFORM;
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) listing = true;
    std::unique_ptr<QApplication> app;
    if (platform != "none" && !listing) {
        if (platform == "offscreen") {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        } else {
            if (std::getenv("DISPLAY") == nullptr) {
                std::fprintf(stderr, "these tests render: run them under an X server (xvfb-run -a)\n");
                return 1;
            }
            qputenv("QT_QPA_PLATFORM", "xcb");
            QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
        }
        app = std::make_unique<QApplication>(argc, argv);
    }
    return RUN_ALL_TESTS();
}
