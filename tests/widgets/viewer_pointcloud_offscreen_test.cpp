// The point cloud view on Qt's offscreen platform, as main window tests create
// it: construction, frames and capture must work without drawing anything.
#include "viewer_pointcloud.h"

#include "qt_fixtures.h"
#include "synthetic_frames.h"

#include <QFile>
#include <QVTKOpenGLNativeWidget.h>

TEST(viewer_pointcloud_offscreen, lives_through_frames_without_a_display) {
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    QTemporaryDir tmp;
    auto* view = new viewer_pointcloud;
    EXPECT_TRUE(view->testAttribute(Qt::WA_DeleteOnClose));
    view->resize(800, 600);
    view->show();
    QTest::qWait(50);
    synthetic::scene_t s = synthetic::make_scene(10, 40, 1);
    for (int i = 0; i < 3; ++i) {
        view->updatePointCloud(s);
        QTest::qWait(5);
    }
    EXPECT_EQ(view->cloud().size(), 400u);
    view->get_main_grid(true);
    view->get_main_xy_axis(true);
    view->setAxisView();
    view->get_viewer_playmode_capture(tmp.filePath("cloud"));
    EXPECT_TRUE(QFile::exists(tmp.filePath("cloud.pcd")));
    view->close();  // deletes itself
    QTest::qWait(10);
}
