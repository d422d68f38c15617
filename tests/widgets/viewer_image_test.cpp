// The image view: settings, the update order, kept and emitted images, capture.
#include "viewers/viewer_image.h"

#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

class viewer_image_test : public widget_test {
protected:
    void SetUp() override {
        widget_test::SetUp();
        view.resize(800, 124);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    static QByteArray file_bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    viewer_image view;
};

cv::Vec3b first_pixel(const cv::Mat& m) { return m.at<cv::Vec3b>(0, 0); }

} // namespace

TEST_F(viewer_image_test, initial_settings_and_setters) {
    const view_settings::image_kind_settings& a = view.settings(viewer_image::ambient);
    const view_settings::image_kind_settings& d = view.settings(viewer_image::depth);
    const view_settings::image_kind_settings& i = view.settings(viewer_image::intensity);
    EXPECT_EQ(a.max_val, 500.0);
    EXPECT_EQ(d.max_val, 20000.0);
    EXPECT_EQ(i.max_val, 400.0);
    for (const auto* s : {&a, &d, &i}) {
        EXPECT_FALSE(s->auto_norm);
        EXPECT_EQ(s->min_val, 0.0);
        EXPECT_FALSE(s->hist_mode);
        EXPECT_FALSE(s->grey_mode);
    }

    view.get_main_image_auto_norm_depth(true);
    view.get_main_image_min_val_intensity(7);
    view.get_main_image_max_val_ambient(900);
    view.get_main_image_hist_mode_intensity(true);
    view.get_main_image_grey_mode_ambient(true);
    EXPECT_TRUE(d.auto_norm);
    EXPECT_FALSE(a.auto_norm);
    EXPECT_EQ(i.min_val, 7.0);
    EXPECT_EQ(a.max_val, 900.0);
    EXPECT_TRUE(i.hist_mode);
    EXPECT_TRUE(a.grey_mode);
    EXPECT_FALSE(d.grey_mode);
}

TEST_F(viewer_image_test, form_matches_the_layout) {
    EXPECT_EQ(view.objectName(), "viewer_image");
    EXPECT_EQ(view.windowTitle(), "Form");
    EXPECT_EQ(view.minimumHeight(), 100);
    EXPECT_EQ(view.sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    for (auto k : {viewer_image::ambient, viewer_image::depth, viewer_image::intensity}) {
        QLabel* l = view.image_label(k);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->sizePolicy().horizontalPolicy(), QSizePolicy::Ignored);
        EXPECT_EQ(l->sizePolicy().verticalPolicy(), QSizePolicy::Ignored);
        EXPECT_EQ(l->cursor().shape(), Qt::CrossCursor);
        EXPECT_TRUE(l->autoFillBackground());
        EXPECT_FALSE(l->hasScaledContents());
        EXPECT_EQ(l->alignment(), Qt::AlignCenter);
        EXPECT_EQ(l->frameShape(), QFrame::NoFrame);
        EXPECT_TRUE(l->text().isEmpty());
    }
    EXPECT_EQ(view.image_label(viewer_image::ambient)->objectName(), "im_ambient_image");
    EXPECT_EQ(view.image_label(viewer_image::depth)->objectName(), "im_depth_image");
    EXPECT_EQ(view.image_label(viewer_image::intensity)->objectName(), "im_intensity_image");
    // Left to right: ambient, depth, intensity.
    EXPECT_LT(view.image_label(viewer_image::ambient)->x(), view.image_label(viewer_image::depth)->x());
    EXPECT_LT(view.image_label(viewer_image::depth)->x(), view.image_label(viewer_image::intensity)->x());
}

TEST_F(viewer_image_test, frame_shows_keeps_and_emits_three_images) {
    QSignalSpy sa(&view, &viewer_image::send_viewer_image_ambient_img);
    QSignalSpy sd(&view, &viewer_image::send_viewer_image_depth_img);
    QSignalSpy si(&view, &viewer_image::send_viewer_image_intensity_img);
    std::vector<int> order;
    QObject::connect(&view, &viewer_image::send_viewer_image_ambient_img, [&](cv::Mat) { order.push_back(0); });
    QObject::connect(&view, &viewer_image::send_viewer_image_depth_img, [&](cv::Mat) { order.push_back(1); });
    QObject::connect(&view, &viewer_image::send_viewer_image_intensity_img, [&](cv::Mat) { order.push_back(2); });

    synthetic::scene_t s = synthetic::uniform(10, 40, 500, 0, 0, 1000);
    view.updateScene(s);
    ASSERT_EQ(sa.count(), 1);
    ASSERT_EQ(sd.count(), 1);
    ASSERT_EQ(si.count(), 1);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));

    const cv::Mat a = sa.at(0).at(0).value<cv::Mat>();
    const cv::Mat d = sd.at(0).at(0).value<cv::Mat>();
    const cv::Mat i = si.at(0).at(0).value<cv::Mat>();
    ASSERT_EQ(a.type(), CV_8UC3);
    EXPECT_EQ(a.rows, 10);
    EXPECT_EQ(a.cols, 40);
    EXPECT_EQ(first_pixel(a), cv::Vec3b(0xfe, 0xff, 0x01)) << "ambient 500: top of the palette";
    EXPECT_EQ(first_pixel(d), cv::Vec3b(128, 0, 0)) << "depth 0: inverted, dark red";
    EXPECT_EQ(first_pixel(i), cv::Vec3b(0x03, 0x12, 0x6b)) << "intensity 0: bottom of the palette";
    EXPECT_EQ(view.kept_image(viewer_image::ambient).data, a.data);

    for (auto k : {viewer_image::ambient, viewer_image::depth, viewer_image::intensity}) {
        const QLabel* l = view.image_label(k);
        const QPixmap pm = l->pixmap(Qt::ReturnByValue);
        EXPECT_FALSE(pm.isNull());
        EXPECT_EQ(pm.size(), l->size()) << "scaled to the label, aspect ignored";
    }
}

TEST_F(viewer_image_test, grey_modes_and_ranges) {
    view.get_main_image_grey_mode_ambient(true);
    view.get_main_image_grey_mode_depth(true);
    view.get_main_image_grey_mode_intensity(true);
    QSignalSpy sa(&view, &viewer_image::send_viewer_image_ambient_img);
    QSignalSpy sd(&view, &viewer_image::send_viewer_image_depth_img);
    QSignalSpy si(&view, &viewer_image::send_viewer_image_intensity_img);

    synthetic::scene_t s = synthetic::uniform(2, 2, 500, 20000, 400, 1000);
    s.ambient[1] = 250;
    s.depth[1] = 0;
    s.intensity[1] = 1000;
    view.updateScene(s);
    const cv::Mat a = sa.at(0).at(0).value<cv::Mat>();
    const cv::Mat d = sd.at(0).at(0).value<cv::Mat>();
    const cv::Mat i = si.at(0).at(0).value<cv::Mat>();
    EXPECT_EQ(a.at<cv::Vec3b>(0, 0), cv::Vec3b(255, 255, 255));
    EXPECT_EQ(a.at<cv::Vec3b>(0, 1), cv::Vec3b(128, 128, 128));
    EXPECT_EQ(d.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 0)) << "far depth is black";
    EXPECT_EQ(d.at<cv::Vec3b>(0, 1), cv::Vec3b(255, 255, 255)) << "depth 0 is white";
    EXPECT_EQ(i.at<cv::Vec3b>(0, 0), cv::Vec3b(255, 255, 255));
    EXPECT_EQ(i.at<cv::Vec3b>(0, 1), cv::Vec3b(255, 255, 255));

    // min 100, max 300: a pixel of 100 is about half grey, not black.
    view.get_main_image_min_val_ambient(100);
    view.get_main_image_max_val_ambient(300);
    s.ambient[0] = 100;
    view.updateScene(s);
    EXPECT_EQ(sa.at(1).at(0).value<cv::Mat>().at<cv::Vec3b>(0, 0), cv::Vec3b(128, 128, 128));
}

TEST_F(viewer_image_test, empty_array_skips_its_image) {
    synthetic::scene_t first = synthetic::uniform(4, 8, 100, 100, 100, 1000);
    view.updateScene(first);
    const cv::Mat old_intensity = view.kept_image(viewer_image::intensity);
    const qint64 old_pixmap = view.image_label(viewer_image::intensity)->pixmap(Qt::ReturnByValue).cacheKey();
    const qint64 old_ambient_pixmap = view.image_label(viewer_image::ambient)->pixmap(Qt::ReturnByValue).cacheKey();

    QSignalSpy sa(&view, &viewer_image::send_viewer_image_ambient_img);
    QSignalSpy sd(&view, &viewer_image::send_viewer_image_depth_img);
    QSignalSpy si(&view, &viewer_image::send_viewer_image_intensity_img);
    synthetic::scene_t s = synthetic::uniform(4, 8, 200, 200, 200, 1000);
    s.intensity.clear();
    view.updateScene(s);
    EXPECT_EQ(sa.count(), 1);
    EXPECT_EQ(sd.count(), 1);
    EXPECT_EQ(si.count(), 0);
    EXPECT_EQ(view.kept_image(viewer_image::intensity).data, old_intensity.data);
    EXPECT_EQ(view.image_label(viewer_image::intensity)->pixmap(Qt::ReturnByValue).cacheKey(), old_pixmap);
    EXPECT_NE(view.image_label(viewer_image::ambient)->pixmap(Qt::ReturnByValue).cacheKey(), old_ambient_pixmap);

    // A malformed array (not rows x cols values) is skipped the same way.
    s.ambient.resize(5);
    view.updateScene(s);
    EXPECT_EQ(sa.count(), 1);
    EXPECT_EQ(sd.count(), 2);

    synthetic::scene_t nothing;
    view.updateScene(nothing);
    EXPECT_EQ(sd.count(), 2);
}

TEST_F(viewer_image_test, every_frame_emits_fresh_images) {
    QSignalSpy sa(&view, &viewer_image::send_viewer_image_ambient_img);
    synthetic::scene_t s = synthetic::uniform(4, 8, 500, 100, 100, 1000);
    view.updateScene(s);
    const cv::Mat first = sa.at(0).at(0).value<cv::Mat>();
    std::fill(s.ambient.begin(), s.ambient.end(), 0);
    view.updateScene(s);
    const cv::Mat second = sa.at(1).at(0).value<cv::Mat>();
    EXPECT_NE(first.data, second.data);
    EXPECT_EQ(first_pixel(first), cv::Vec3b(0xfe, 0xff, 0x01)) << "a received image never changes afterwards";
    EXPECT_EQ(first_pixel(second), cv::Vec3b(0x03, 0x12, 0x6b));
}

TEST_F(viewer_image_test, capture_writes_three_pngs_in_screen_colours) {
    synthetic::scene_t s = synthetic::make_scene(20, 80, 3);
    view.updateScene(s);
    const QString prefix = temp_path("frame");
    view.get_viewer_playmode_capture(prefix);

    const char* suffixes[] = {"_ambient.png", "_depth.png", "_intensity.png"};
    const viewer_image::kind kinds[] = {viewer_image::ambient, viewer_image::depth, viewer_image::intensity};
    QByteArray first[3];
    for (int k = 0; k < 3; ++k) {
        const QString path = prefix + suffixes[k];
        ASSERT_TRUE(QFile::exists(path)) << path.toStdString();
        first[k] = file_bytes(path);
        const cv::Mat bgr = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
        cv::Mat rgb;
        cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
        EXPECT_EQ(cv::norm(rgb, view.kept_image(kinds[k]), cv::NORM_INF), 0) << suffixes[k];
    }
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files).size(), 3);

    // The kept images stay in R, G, B; a second capture writes the same files.
    view.get_viewer_playmode_capture(prefix);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(file_bytes(prefix + suffixes[k]), first[k]) << suffixes[k];
}

TEST_F(viewer_image_test, capture_skips_images_never_made) {
    view.get_viewer_playmode_capture(temp_path("none"));
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::Files).isEmpty());

    synthetic::scene_t s = synthetic::uniform(4, 8, 100, 100, 100, 1000);
    s.depth.clear();
    s.intensity.clear();
    view.updateScene(s);
    view.get_viewer_playmode_capture(temp_path("only"));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files), QStringList{"only_ambient.png"});

    view.get_viewer_playmode_capture(QString());
    view.get_viewer_playmode_capture(temp_path("missing/dir/x"));  // unwritable: nothing, no crash
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files).size(), 1);
}
