// The point cloud view on Qt's offscreen platform, as main window tests create
// it: construction, frames, the grid, the axis views and capture must work
// without drawing anything.
#include "viewers/viewer_pointcloud.h"

#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"

#include <QFile>
#include <QVTKOpenGLNativeWidget.h>
#include <vtkActorCollection.h>
#include <vtkCamera.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

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

    vtkRenderer* renderer = view->render_window()->GetRenderers()->GetFirstRenderer();
    ASSERT_NE(renderer, nullptr);
    const int actors = renderer->GetActors()->GetNumberOfItems();

    // The grid: 22 lines and 11 labels, drawn and then removed again.
    view->get_main_grid(true);
    EXPECT_TRUE(view->grid_flag());
    ASSERT_EQ(view->grid_ids().size(), 33u);
    EXPECT_EQ(view->grid_ids().front(), "grid_0");
    EXPECT_EQ(view->grid_ids()[1], "grid_11");
    EXPECT_EQ(view->grid_ids().back(), "50m");
    EXPECT_EQ(renderer->GetActors()->GetNumberOfItems(), actors + 33);
    view->get_main_grid(true);
    EXPECT_TRUE(view->grid_ids().empty());
    EXPECT_EQ(renderer->GetActors()->GetNumberOfItems(), actors);

    // The xy axis view keeps the camera's distance (1 from the start position).
    view->get_main_xy_axis(true);
    EXPECT_TRUE(view->xy_axis_pending());
    view->setAxisView();
    EXPECT_FALSE(view->xy_axis_pending());
    double pos[3], up[3];
    renderer->GetActiveCamera()->GetPosition(pos);
    renderer->GetActiveCamera()->GetViewUp(up);
    EXPECT_NEAR(pos[0], 0, 1e-9);
    EXPECT_NEAR(pos[1], 0, 1e-9);
    EXPECT_NEAR(pos[2], 1, 1e-9);
    EXPECT_NEAR(up[0], 1, 1e-9);
    EXPECT_NEAR(up[1], 0, 1e-9);
    EXPECT_NEAR(up[2], 0, 1e-9);

    view->get_viewer_playmode_capture(tmp.filePath("cloud"));
    EXPECT_TRUE(QFile::exists(tmp.filePath("cloud.pcd")));
    view->close();  // deletes itself
    QTest::qWait(10);
}
