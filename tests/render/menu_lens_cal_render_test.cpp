// The lens calibration tool's own view on an X server: the measured cloud is
// drawn in white and the ground truth in red, side by side in one picture.
#include "logic/pcd_file.h"
#include "menus/menu_lens_cal.h"
#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"

#include <QPushButton>
#include <QVTKOpenGLNativeWidget.h>

TEST_F(render_test, lens_tool_draws_the_measured_cloud_white_and_the_ground_truth_red) {
    menu_lens_cal dialog;
    dialog.resize(1100, 600);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* widget = dialog.findChild<QVTKOpenGLNativeWidget*>("qvtkWidget");
    ASSERT_NE(widget, nullptr);
    // Pixels of the picture that are white, and that are red.
    const auto count = [&](int& white, int& red) {
        const QImage img = widget->grabFramebuffer();
        white = red = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c(img.pixel(x, y));
                white += c.red() > 200 && c.green() > 200 && c.blue() > 200;
                red += c.red() > 200 && c.green() < 60 && c.blue() < 60;
            }
    };

    // The measured wall 8 m ahead, 4 m wide: seen from the origin it fills the middle.
    synthetic::scene_t s;
    synthetic::resize(s, 40, 40);
    for (int r = 0; r < 40; ++r)
        for (int c = 0; c < 40; ++c) synthetic::set_point(s, std::size_t(r * 40 + c), 8000, 8000, 100.0 * (c - 20), 50.0 * (r - 20));
    dialog.updatePointCloud(s);
    pump(50);
    int white = 0, red = 0;
    count(white, red);
    EXPECT_GT(white, 500);
    EXPECT_EQ(red, 0);

    // The ground truth: the same wall shifted 1.5 m to the side, in green in its file.
    lens_cloud::cloud_t truth;
    for (const pcl::PointXYZRGB& p : dialog.measured_cloud().points) {
        pcl::PointXYZRGB q = p;
        q.y += 1.5f;
        q.r = 0, q.g = 255, q.b = 0;
        truth.push_back(q);
    }
    ASSERT_TRUE(pcd_file::write_ascii(temp_path("truth.pcd").toStdString(), truth));
    dialogs.answer_file(temp_path("truth.pcd"));
    dialog.findChild<QPushButton*>("btn_load_gt_pcd")->click();
    pump(50);
    count(white, red);
    EXPECT_GT(white, 100);
    EXPECT_GT(red, 100) << "the ground truth is drawn red";
    dialog.close();
}
