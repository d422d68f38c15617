// The point cloud view's ruler on an X server: shift-clicks at the screen
// positions of known points pick their pixels and measure between them, a
// click on the background picks nothing, a click on the image view's depth
// picture marks its pixel (one without a return only adds a line to the
// readout), picks read the frame of the cloud on screen, and clearing
// removes the markers.
#include "viewers/viewer_image.h"
#include "viewers/viewer_pointcloud.h"

#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"

#include <QLabel>
#include <QMouseEvent>
#include <QVTKOpenGLNativeWidget.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkCommand.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

#include <cmath>

namespace {

constexpr int kRows = 10, kCols = 20;

// A wall 3 m ahead: pixel (r, c) at y = (10 - c) * 5 cm, z = (5 - r) * 5 cm.
// Pixel (0, 0) has no return.
synthetic::scene_t wall() {
    synthetic::scene_t s = synthetic::uniform(kRows, kCols, 100, 3000, 300, 3000.0);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) {
            const std::size_t i = std::size_t(r * kCols + c);
            synthetic::set_point(s, i, 3000.0, 3000.0, (10 - c) * 50.0, (5 - r) * 50.0);
            s.points[i].valid = i != 0;
            s.depth[i] = 3000 + int(i);
        }
    return s;
}

class point_measure_test : public render_test {
protected:
    void SetUp() override {
        render_test::SetUp();
        view.setAttribute(Qt::WA_DeleteOnClose, false);
        view.get_main_pointcloud_point_color(0);
        view.get_main_pointcloud_point_size(6);
        view.resize(800, 600);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.updatePointCloud(frame);
        pump(50);
    }
    // A shift + left click of the view's interactor where point (r, c) is drawn.
    void shift_click_at(double x, double y, double z) {
        vtkRenderer* ren = view.visualizer()->getRendererCollection()->GetFirstRenderer();
        ren->SetWorldPoint(x, y, z, 1.0);
        ren->WorldToDisplay();
        const double* d = ren->GetDisplayPoint();
        click(int(std::lround(d[0])), int(std::lround(d[1])));
    }
    void click(int x, int y) {
        vtkRenderWindowInteractor* iren = view.vtk_widget()->interactor();
        iren->SetEventInformation(x, y, 0, 1);
        iren->InvokeEvent(vtkCommand::LeftButtonPressEvent);
        iren->InvokeEvent(vtkCommand::LeftButtonReleaseEvent);
        iren->SetEventInformation(x, y, 0, 0);
    }
    void shift_click_pixel(int r, int c) { shift_click_at(3.0, (10 - c) * 0.05, (5 - r) * 0.05); }
    bool shown(const char* id) { return view.visualizer()->contains(id); }

    synthetic::scene_t frame = wall();
    viewer_pointcloud view;
};

} // namespace

TEST_F(point_measure_test, ShiftClicksPickPixelsAndMeasureBetweenThem) {
    QSignalSpy log(&view, &viewer_pointcloud::send_viewer_log);
    click(3, 3);
    EXPECT_EQ(view.measurement().count(), 0) << "the background holds nothing to pick";
    shift_click_pixel(2, 5);
    ASSERT_EQ(view.measurement().count(), 1);
    EXPECT_EQ(view.measurement().a().row, 2);
    EXPECT_EQ(view.measurement().a().col, 5);
    EXPECT_EQ(view.measurement().a().depth, 3045);
    EXPECT_TRUE(shown("measure_a") && !shown("measure_line"));
    EXPECT_TRUE(log.isEmpty()) << "half a measurement is not logged";

    shift_click_pixel(7, 15);
    ASSERT_EQ(view.measurement().count(), 2);
    EXPECT_EQ(view.measurement().b().col, 15);
    EXPECT_TRUE(shown("measure_b") && shown("measure_line") && shown("measure_distance"));
    ASSERT_EQ(log.count(), 1);
    const QString line = log.at(0).at(0).toString();
    // 10 columns and 5 rows of 5 cm apart: sqrt(0.5² + 0.25²) m.
    EXPECT_TRUE(line.startsWith("[Measure] A (3.000, 0.250, 0.150) m, B (3.000, -0.250, -0.100) m: distance "))
        << line.toStdString();
    const double d = line.section("distance ", 1).section(' ', 0, 0).toDouble();
    EXPECT_NEAR(d, std::hypot(0.5, 0.25), 0.001);

    // The image view's depth picture selects a pixel of the same measurement.
    viewer_image images;
    QObject::connect(&images, &viewer_image::send_viewer_pixel_picked, &view, &viewer_pointcloud::select_pixel);
    images.resize(800, 300);
    images.show();
    images.updateScene(frame);
    QLabel* depth = images.image_label(viewer_image::depth);
    const auto press = [&](int r, int c) {
        const QPointF at((c + 0.5) * depth->width() / kCols, (r + 0.5) * depth->height() / kRows);
        QMouseEvent e(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(depth, &e);
    };
    press(0, 0);
    EXPECT_EQ(view.measurement().count(), 2) << "a pixel without a return is shown, not taken";
    EXPECT_NE(view.readout_text().find(", intensity 300\nA-B 0.559 m\nPixel  row 0, column 0: no return"),
              std::string::npos)
        << "the measurement's readout stays, with the pixel's line below: " << view.readout_text();
    EXPECT_TRUE(shown("measure_b") && shown("measure_line"));

    // A frame without depth values leaves the cloud on screen; picks read
    // the frame it was built from, not the record refilled in place.
    frame.depth.clear();
    for (auto& p : frame.points) p.x = 9000.0;
    view.updatePointCloud(frame);
    EXPECT_TRUE(shown("measure_a")) << "markers stay with new frames";
    press(4, 9);
    EXPECT_EQ(view.measurement().count(), 1) << "a third pick starts a new measurement";
    EXPECT_EQ(view.measurement().a().row, 4);
    EXPECT_EQ(view.measurement().a().col, 9);
    EXPECT_EQ(view.measurement().a().depth, 3089);
    EXPECT_NEAR(view.measurement().a().x, 3.0, 1e-6);
    EXPECT_TRUE(shown("measure_a") && !shown("measure_b"));

    // Shift + right click and Escape clear.
    for (bool key : {false, true}) {
        shift_click_pixel(2, 5);
        ASSERT_TRUE(shown("measure_a"));
        QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), Qt::RightButton, Qt::RightButton, Qt::ShiftModifier);
        if (key)
            QTest::keyClick(view.vtk_widget(), Qt::Key_Escape);
        else
            QCoreApplication::sendEvent(view.vtk_widget(), &right);
        EXPECT_EQ(view.measurement().count(), 0);
        EXPECT_EQ(view.readout_text(), "");
        for (const char* id : viewer_pointcloud::measure_ids) EXPECT_FALSE(shown(id)) << id;
    }
}
