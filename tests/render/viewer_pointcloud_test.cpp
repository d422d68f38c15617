// The point cloud view on an X server: camera, grid, axis views, frames,
// capture, and that the cloud really gets drawn.
#include "viewers/viewer_image.h"
#include "viewers/viewer_pointcloud.h"

#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"

#include <QFile>
#include <QLayout>
#include <QVTKOpenGLNativeWidget.h>
#include <QTextStream>
#include <pcl/io/pcd_io.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkGenericOpenGLRenderWindow.h>

#include <cmath>

namespace {

class viewer_pointcloud_test : public render_test {
protected:
    void SetUp() override {
        render_test::SetUp();
        view = new viewer_pointcloud;
        view->setAttribute(Qt::WA_DeleteOnClose, false);  // the fixture deletes it
    }
    void TearDown() override { delete view; }

    void show() {
        view->resize(800, 600);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
        pump(50);
    }

    pcl::visualization::Camera camera() const {
        std::vector<pcl::visualization::Camera> cams;
        view->visualizer()->getCameras(cams);
        return cams.at(0);
    }

    static void expect_vec(const double* v, double x, double y, double z, const char* what) {
        EXPECT_NEAR(v[0], x, 1e-9) << what;
        EXPECT_NEAR(v[1], y, 1e-9) << what;
        EXPECT_NEAR(v[2], z, 1e-9) << what;
    }

    // Pixels of the drawn picture that differ from the background colour.
    int drawn_pixels() {
        const QImage img = view->vtk_widget()->grabFramebuffer();
        if (img.isNull()) return -1;
        const QRgb bg = img.pixel(0, 0);
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != bg) ++n;
        return n;
    }

    viewer_pointcloud* view = nullptr;
};

} // namespace

TEST_F(viewer_pointcloud_test, constructs_with_the_sensor_camera) {
    EXPECT_EQ(view->objectName(), "viewer_pointcloud");
    EXPECT_EQ(view->windowTitle(), "Form");
    QVTKOpenGLNativeWidget* w = view->vtk_widget();
    EXPECT_EQ(w->objectName(), "qvtkWidget");
    EXPECT_EQ(w->minimumSize(), QSize(640, 480));
    EXPECT_EQ(view->layout()->contentsMargins(), QMargins(0, 5, 0, 5));
    EXPECT_EQ(w->renderWindow(), view->render_window()) << "the widget hosts the visualizer's window";
    EXPECT_EQ(view->render_window()->GetMultiSamples(), 0);

    const pcl::visualization::Camera cam = camera();
    expect_vec(cam.pos, -1, 0, 0, "position");
    expect_vec(cam.focal, 0, 0, 0, "focal point");
    expect_vec(cam.view, 0, 0, 1, "view-up");

    EXPECT_EQ(view->point_colour_mode(), 4);
    EXPECT_EQ(view->point_size(), 2.0);
    EXPECT_EQ(view->min_distance(), 0.0);
    EXPECT_EQ(view->max_distance(), 200.0);
    EXPECT_TRUE(view->cloud().empty());
}

TEST_F(viewer_pointcloud_test, settings_apply_with_the_next_frame) {
    view->get_main_pointcloud_point_color(1);
    view->get_main_pointcloud_point_size(4.5);
    view->get_main_pointcloud_min_dist(2.0);
    view->get_main_pointcloud_max_dist(3.0);
    EXPECT_FALSE(view->visualizer()->contains("cloud"));
    synthetic::scene_t s = synthetic::uniform(2, 3, 1, 1, 1, 2500);
    s.points[0].distance = 2000;  // exactly the minimum: dropped
    s.depth.assign(6, 0);
    view->updatePointCloud(s);

    ASSERT_TRUE(view->visualizer()->contains("cloud"));
    double size = 0;
    view->visualizer()->getPointCloudRenderingProperties(pcl::visualization::PCL_VISUALIZER_POINT_SIZE, size, "cloud");
    EXPECT_EQ(size, 4.5);
    EXPECT_EQ(view->cloud()[0].r, 0);
    EXPECT_EQ(view->cloud()[1].r, 255);
    EXPECT_EQ(view->cloud()[1].g, 0);

    // The actor is updated in place on the next frame; the cloud is reused.
    const auto* points = view->cloud().points.data();
    view->updatePointCloud(s);
    EXPECT_EQ(view->cloud().points.data(), points);
    EXPECT_TRUE(view->visualizer()->contains("cloud"));

    // The same actor takes every frame; a cloud removed from the visualizer
    // comes back with the next frame, in its size.
    const auto actor = view->visualizer()->getCloudActorMap()->at("cloud").actor;
    view->updatePointCloud(s);
    EXPECT_EQ(view->visualizer()->getCloudActorMap()->at("cloud").actor, actor);
    view->visualizer()->removeAllPointClouds();
    view->updatePointCloud(s);
    ASSERT_TRUE(view->visualizer()->getPointCloudRenderingProperties(pcl::visualization::PCL_VISUALIZER_POINT_SIZE, size, "cloud"));
    EXPECT_EQ(size, 4.5);
}

TEST_F(viewer_pointcloud_test, grid_toggles_with_its_ids) {
    std::vector<std::string> expected;
    for (int i = 0; i <= 10; ++i) {
        expected.push_back("grid_" + std::to_string(i));
        expected.push_back("grid_" + std::to_string(11 + i));
        expected.push_back(std::to_string(i * 5) + "m");
    }
    view->get_main_grid(true);
    EXPECT_TRUE(view->grid_flag());
    EXPECT_EQ(view->grid_ids(), expected);
    EXPECT_EQ(view->grid_ids().front(), "grid_0");
    EXPECT_EQ(view->grid_ids()[view->grid_ids().size() - 2], "grid_21");
    EXPECT_EQ(view->grid_ids().back(), "50m");
    for (const auto& id : expected) EXPECT_TRUE(view->visualizer()->contains(id)) << id;

    // The toggle flips, whatever the flag says.
    view->get_main_grid(true);
    EXPECT_TRUE(view->grid_ids().empty());
    for (const auto& id : expected) EXPECT_FALSE(view->visualizer()->contains(id)) << id;
    view->get_main_grid(false);
    EXPECT_FALSE(view->grid_flag());
    EXPECT_EQ(view->grid_ids().size(), 33u);
    view->get_main_grid(false);
    EXPECT_TRUE(view->grid_ids().empty());

    view->setGrid(view->visualizer(), -1, 5);
    EXPECT_TRUE(view->grid_ids().empty()) << "a negative count draws nothing";
    view->setGrid(nullptr, 10, 5);
    EXPECT_TRUE(view->grid_ids().empty());
}

TEST_F(viewer_pointcloud_test, axis_views_apply_one_per_frame_in_order) {
    view->visualizer()->setCameraPosition(-30, 0, 0, 0, 0, 4, 0, 0, 1, 0);
    synthetic::scene_t s = synthetic::make_scene(10, 40);

    view->get_main_zx_axis(true);
    view->get_main_yz_axis(true);
    view->get_main_xy_axis(true);
    view->updatePointCloud(s);
    pcl::visualization::Camera cam = camera();
    const double r = 30.0;
    expect_vec(cam.pos, 0, 0, r, "xy position");
    expect_vec(cam.view, 1, 0, 0, "xy view-up");
    expect_vec(cam.focal, 0, 0, 4, "focal z stays");
    EXPECT_FALSE(view->xy_axis_pending());
    EXPECT_TRUE(view->yz_axis_pending());
    EXPECT_TRUE(view->zx_axis_pending());

    view->updatePointCloud(s);
    cam = camera();
    expect_vec(cam.pos, -r, 0, 0, "yz position");
    expect_vec(cam.view, 0, 0, 1, "yz view-up");
    EXPECT_FALSE(view->yz_axis_pending());

    view->setAxisView();
    cam = camera();
    expect_vec(cam.pos, 0, -r, 0, "zx position");
    EXPECT_FALSE(view->zx_axis_pending());

    // No flag: the camera is written back unchanged, and a repeated frame
    // gives the same camera.
    view->updatePointCloud(s);
    view->updatePointCloud(s);
    expect_vec(camera().pos, 0, -r, 0, "unchanged");

    view->get_main_yz_axis(true);
    view->get_main_yz_axis(false);
    view->updatePointCloud(s);
    expect_vec(camera().pos, 0, -r, 0, "a flag set back to false does nothing");
}

TEST_F(viewer_pointcloud_test, bad_frame_is_caught_and_the_next_one_works) {
    synthetic::scene_t ok = synthetic::uniform(2, 2, 1, 1, 1, 5000);
    view->updatePointCloud(ok);
    synthetic::scene_t huge;
    huge.rows = 1u << 16;
    huge.cols = 1u << 16;
    testing::internal::CaptureStdout();
    view->updatePointCloud(huge);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("too large"), std::string::npos) << out;
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(view->cloud().size(), 4u);
    synthetic::scene_t next = synthetic::uniform(1, 3, 1, 1, 1, 5000);
    view->updatePointCloud(next);
    EXPECT_EQ(view->cloud().size(), 3u);
}

TEST_F(viewer_pointcloud_test, capture_writes_an_ascii_pcd_of_every_pixel) {
    // Coloured by the image view's ambient image, as the main window wires it.
    viewer_image images;
    QObject::connect(&images, &viewer_image::send_viewer_image_ambient_img, view, &viewer_pointcloud::get_viewer_image_ambient_img);
    QObject::connect(&images, &viewer_image::send_viewer_image_depth_img, view, &viewer_pointcloud::get_viewer_image_depth_img);
    QObject::connect(&images, &viewer_image::send_viewer_image_intensity_img, view, &viewer_pointcloud::get_viewer_image_intensity_img);
    synthetic::scene_t s = synthetic::make_scene(10, 40, 2);
    images.updateScene(s);
    view->updatePointCloud(s);

    const QString prefix = temp_path("capture");
    view->get_viewer_playmode_capture(prefix);
    const QString path = prefix + ".pcd";
    ASSERT_TRUE(QFile::exists(path));

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.contains("VERSION 0.7\n"));
    EXPECT_TRUE(text.contains("FIELDS x y z rgb\n"));
    EXPECT_TRUE(text.contains("WIDTH 40\n"));
    EXPECT_TRUE(text.contains("HEIGHT 10\n"));
    EXPECT_TRUE(text.contains("POINTS 400\n"));
    EXPECT_TRUE(text.contains("DATA ascii\n"));

    pcl::PointCloud<pcl::PointXYZRGB> back;
    ASSERT_EQ(pcl::PCDReader().read(path.toStdString(), back), 0);
    ASSERT_EQ(back.size(), 400u);
    EXPECT_EQ(back.width, 40u);
    EXPECT_EQ(back.height, 10u);
    const cv::Mat& ambient = images.kept_image(viewer_image::ambient);
    int coloured = 0;
    for (std::size_t i = 0; i < back.size(); ++i) {
        const auto& p = back[i];
        const auto& q = view->cloud()[i];
        EXPECT_NEAR(p.x, q.x, 1e-6);
        EXPECT_NEAR(p.y, q.y, 1e-6);
        EXPECT_NEAR(p.z, q.z, 1e-6);
        ASSERT_EQ(p.rgba, q.rgba) << i;
        if (q.x != 0 || q.y != 0 || q.z != 0) {
            const cv::Vec3b v = ambient.at<cv::Vec3b>(static_cast<int>(i / 40), static_cast<int>(i % 40));
            EXPECT_EQ(p.r, v[0]);
            EXPECT_EQ(p.g, v[1]);
            EXPECT_EQ(p.b, v[2]);
            ++coloured;
        }
    }
    EXPECT_GT(coloured, 300);
}

TEST_F(viewer_pointcloud_test, capture_without_points_or_prefix_writes_nothing) {
    view->get_viewer_playmode_capture(temp_path("empty"));
    synthetic::scene_t s = synthetic::uniform(2, 2, 1, 1, 1, 5000);
    view->updatePointCloud(s);
    view->get_viewer_playmode_capture(QString());
    view->get_viewer_playmode_capture(temp_path("no/such/dir/x"));
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
}

TEST_F(viewer_pointcloud_test, frames_get_drawn) {
    show();
    // The first paint warms the renderer up on a point of its own, gone again.
    EXPECT_TRUE(view->visualizer()->getCloudActorMap()->empty());
    view->get_main_pointcloud_point_color(0);
    const int before = drawn_pixels();
    ASSERT_GE(before, 0) << "no framebuffer to grab";
    synthetic::scene_t s = synthetic::make_scene(100, 400, 0);
    for (int i = 0; i < 3; ++i) {
        view->updatePointCloud(s);
        pump(20);
    }
    const int after = drawn_pixels();
    EXPECT_EQ(before, 0) << "nothing drawn before the first frame";
    EXPECT_GT(after, 5000) << "the cloud covers part of the view";

    // The grid is drawn too.
    view->get_main_pointcloud_max_dist(0.5);  // hide every point
    view->updatePointCloud(s);
    pump(20);
    const int no_points = drawn_pixels();
    view->get_main_grid(true);
    view->updatePointCloud(s);
    pump(20);
    EXPECT_GT(drawn_pixels(), no_points + 100);
}
