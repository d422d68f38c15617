// The image analysis and board alignment dialogs on their own, fed with
// synthetic frames of known values: the forms, the pictures and readouts,
// averaging and its order, the picked pixel, the region and its table, the
// saved pictures, the status fields and what Apply sends.
#include "logic/display_pipeline.h"
#include "logic/frame_averager.h"
#include "menus/menu_board_align.h"
#include "menus/menu_image_analysis.h"
#include "menus/region_table_model.h"
#include "tests/support/patterned_record.h"
#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"
#include "viewers/label_picture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QWheelEvent>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;
using scene_t = TAVRIN::DadodUz::scene_t;

// A rows x cols frame whose pixel i has ambient a(i), depth d(i), intensity t(i).
template <class A, class D, class T>
scene_t frame(std::uint32_t rows, std::uint32_t cols, A a, D d, T t) {
    scene_t s;
    synthetic::resize(s, rows, cols);
    for (std::size_t i = 0; i < s.depth.size(); ++i) {
        s.ambient[i] = static_cast<std::uint16_t>(a(i));
        s.depth[i] = static_cast<std::int32_t>(d(i));
        s.intensity[i] = static_cast<std::uint16_t>(t(i));
    }
    return s;
}

scene_t ramp(std::uint32_t rows = 100, std::uint32_t cols = 400) {
    return frame(rows, cols, [](std::size_t i) { return i % 5000; }, [](std::size_t i) { return (i * 7) % 9000; },
                 [](std::size_t i) { return i % 500; });
}

void wheel(QWidget* w, int delta) {
    QWheelEvent e(QPointF(5, 5), w->mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
}

cv::Vec3b at(const cv::Mat& rgb, int x, int y) { return rgb.at<cv::Vec3b>(y, x); }
const cv::Vec3b white(255, 255, 255);

} // namespace

TEST(label_picture, ScalesAsQtsFastTransformationDoes) {
    cv::Mat rgb(7, 11, CV_8UC3);
    cv::randu(rgb, 0, 256);
    const QImage source(rgb.data, rgb.cols, rgb.rows, int(rgb.step), QImage::Format_RGB888);
    const struct {
        QSize box;
        Qt::AspectRatioMode mode;
    } cases[] = {{{33, 21}, Qt::KeepAspectRatioByExpanding}, {{44, 100}, Qt::KeepAspectRatio},
                 {{11, 7}, Qt::KeepAspectRatio},             {{50, 50}, Qt::KeepAspectRatio} /* not a whole multiple */,
                 {{22, 70}, Qt::IgnoreAspectRatio},          {{30, 9}, Qt::KeepAspectRatioByExpanding}};
    for (const auto& c : cases) {
        const QImage expected = source.scaled(c.box, c.mode, Qt::FastTransformation).convertToFormat(QImage::Format_RGB32);
        const QImage got = label_picture::scaled(rgb, c.box, c.mode).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(got.size(), expected.size()) << c.box.width() << "x" << c.box.height();
        EXPECT_TRUE(got == expected) << c.box.width() << "x" << c.box.height();
    }
    EXPECT_TRUE(label_picture::scaled(cv::Mat(), QSize(10, 10), Qt::KeepAspectRatio).isNull());
}

class image_analysis_test : public widget_test {
protected:
    template <class T>
    T* get(const char* name) { return control<T>(&dialog, name); }
    void feed(scene_t s) { dialog.updateScene(s); }
    void check(const char* name, bool on) { get<QCheckBox>(name)->setChecked(on); }
    using kind = menu_image_analysis::kind;
    int grey_at(kind k, int x, int y) { return at(dialog.picture(k), x, y)[0]; }

    menu_image_analysis dialog;
};

TEST_F(image_analysis_test, Form) {
    EXPECT_EQ(dialog.windowTitle(), "GX Image Analysis");
    const struct {
        const char* name;
        int lo, hi, value;
    } spins[] = {{"sb_vcsel_channel", 0, 99, 0},        {"sb_ambient_aveg_frame", 1, 2000, 10},
                 {"sb_depth_aveg_frame", 1, 2000, 10},  {"sb_intensity_aveg_frame", 1, 2000, 10},
                 {"sb_ambient_min_val", 0, 50000, 0},   {"sb_ambient_max_val", 0, 50000, 5000},
                 {"sb_depth_min_val", 0, 5000000, 0},   {"sb_depth_max_val", 0, 5000000, 10000},
                 {"sb_intensity_min_val", 0, 50000, 0}, {"sb_intensity_max_val", 0, 50000, 500}};
    for (const auto& s : spins) {
        QSpinBox* b = get<QSpinBox>(s.name);
        EXPECT_EQ(b->minimum(), s.lo) << s.name;
        EXPECT_EQ(b->maximum(), s.hi) << s.name;
        EXPECT_EQ(b->value(), s.value) << s.name;
    }
    const struct {
        const char* name;
        const char* text;
    } labels[] = {{"lel_vcsel_channel", "VCSEL Channel (Auto : 0)"}, {"lel_pixel", "Selected Pixel"},
                  {"lel_ambient_val", "Ambient"}, {"lel_depth_val", "Depth"}, {"lel_intensity_val", "Intensity"},
                  {"lel_ambient", "Ambient Image"}, {"label", "Depth Image"}, {"label_2", "Intensity Image"}};
    for (const auto& l : labels) EXPECT_EQ(get<QLabel>(l.name)->text(), l.text);
    for (const char* k : {"ambient", "depth", "intensity"}) {
        const QString p = QString("cb_%1_").arg(k);
        EXPECT_EQ(dialog.findChild<QCheckBox*>(p + "auto_normal")->text(), "Auto Normalization");
        EXPECT_EQ(dialog.findChild<QCheckBox*>(p + "aveg_mode")->text(), "Average Mode");
        EXPECT_EQ(dialog.findChild<QCheckBox*>(p + "hist_equal")->text(), "Histogram Equalization");
        EXPECT_EQ(dialog.findChild<QCheckBox*>(p + "grey")->text(), "Grey");
    }
    for (const char* a : {"scrollArea", "scrollArea_2", "scrollArea_3"}) EXPECT_TRUE(get<QScrollArea>(a)->widgetResizable());
    EXPECT_EQ(get<QPushButton>("pushButton")->text(), "Apply");
    QComboBox* mode = get<QComboBox>("tg_spad_channel_mode");
    ASSERT_EQ(mode->count(), 2);
    EXPECT_EQ(mode->itemText(0), "50 Channels");
    EXPECT_EQ(mode->itemText(1), "100 Channels");
    EXPECT_TRUE(get<QLineEdit>("le_ambient_val")->isReadOnly());
}

TEST_F(image_analysis_test, ScalesEachImageWithoutOffsetAndInvertsDepth) {
    for (const char* c : {"cb_ambient_grey", "cb_depth_grey", "cb_intensity_grey"}) check(c, true);
    // Pixels: ambient 5000, 1000, 0, 2500; depth 0, -1, 10000, 5000; intensity 500, 250, 0, 1000.
    const std::uint16_t amb[] = {5000, 1000, 0, 2500};
    const std::int32_t dep[] = {0, -1, 10000, 5000};
    const std::uint16_t inten[] = {500, 250, 0, 1000};
    auto f = [&] { return frame(2, 2, [&](std::size_t i) { return amb[i]; }, [&](std::size_t i) { return dep[i]; },
                                [&](std::size_t i) { return inten[i]; }); };
    feed(f());
    const struct {
        kind k;
        int x, y, grey;
    } pixels[] = {
        {kind::ambient, 0, 0, 255}, {kind::ambient, 1, 0, 51}, {kind::ambient, 0, 1, 0}, {kind::ambient, 1, 1, 128},
        {kind::depth, 0, 0, 255} /* 0 shows brightest */, {kind::depth, 1, 0, 255} /* -1 saturates at 0 */,
        {kind::depth, 0, 1, 0}, {kind::depth, 1, 1, 127},
        {kind::intensity, 0, 0, 255}, {kind::intensity, 1, 0, 128}, {kind::intensity, 1, 1, 255} /* saturated */,
    };
    for (const auto& p : pixels) EXPECT_EQ(grey_at(p.k, p.x, p.y), p.grey) << p.k << " (" << p.x << "," << p.y << ")";

    // The minimum only narrows the divisor: 5000 * 255 / 4000 saturates, 1000 becomes 64.
    get<QSpinBox>("sb_ambient_min_val")->setValue(1000);
    feed(f());
    EXPECT_EQ(grey_at(kind::ambient, 0, 0), 255);
    EXPECT_EQ(grey_at(kind::ambient, 1, 0), 64);

    // A flat image under auto normalisation, and equal manual limits, give a defined picture.
    check("cb_ambient_auto_normal", true);
    get<QSpinBox>("sb_depth_min_val")->setValue(10000);
    feed(frame(2, 2, [](std::size_t) { return 7; }, [](std::size_t) { return 3; }, [](std::size_t) { return 1; }));
    EXPECT_EQ(grey_at(kind::ambient, 0, 0), 0);
    EXPECT_EQ(grey_at(kind::depth, 0, 0), 255);

    // Without colour the JET map is used, in R, G, B order: 0 is dark blue.
    check("cb_ambient_grey", false);
    feed(f());
    EXPECT_EQ(at(dialog.picture(kind::ambient), 0, 1), cv::Vec3b(0, 0, 128));

    // A frame without intensity keeps the last intensity picture.
    const cv::Mat before = dialog.picture(kind::intensity);
    scene_t no_intensity = f();
    no_intensity.intensity.clear();
    feed(no_intensity);
    EXPECT_EQ(dialog.picture(kind::intensity).data, before.data);
}

TEST_F(image_analysis_test, AveragesInEachImagesOrderAndEmptiesTheListWhenOffOrResized) {
    for (const char* c : {"cb_ambient_grey", "cb_depth_grey", "cb_ambient_aveg_mode", "cb_depth_aveg_mode",
                          "cb_ambient_hist_equal", "cb_depth_hist_equal"})
        check(c, true);
    get<QSpinBox>("sb_ambient_aveg_frame")->setValue(2);
    get<QSpinBox>("sb_depth_aveg_frame")->setValue(2);
    // Three frames whose equalised mean differs from the mean of the equalised images.
    const std::vector<std::vector<int>> values = {{0, 1000, 2000, 9000}, {4000, 4000, 5000, 6000}, {100, 200, 300, 400}};
    std::vector<cv::Mat> scaled;
    for (const auto& v : values) {
        feed(frame(1, 4, [&](std::size_t i) { return v[i]; }, [&](std::size_t i) { return v[i]; }, [](std::size_t) { return 0; }));
        cv::Mat a(1, 4, CV_8UC1);
        for (int i = 0; i < 4; ++i) a.at<std::uint8_t>(0, i) = cv::saturate_cast<std::uint8_t>(v[i] * (255.0 / 5000.0));
        scaled.push_back(a);
    }
    // Ambient averages the last two scaled images, then equalises.
    cv::Mat ambient = frame_averager::mean({scaled[1], scaled[2]});
    display::equalise(ambient);
    // Depth (range 0..10000) equalises each image, averages, then inverts.
    std::vector<cv::Mat> depth_eq;
    for (int f = 1; f < 3; ++f) {
        cv::Mat d(1, 4, CV_8UC1);
        for (int i = 0; i < 4; ++i) d.at<std::uint8_t>(0, i) = cv::saturate_cast<std::uint8_t>(values[f][i] * (255.0 / 10000.0));
        display::equalise(d);
        depth_eq.push_back(d);
    }
    const cv::Mat depth = frame_averager::mean(depth_eq);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(grey_at(kind::ambient, i, 0), ambient.at<std::uint8_t>(0, i)) << i;
        EXPECT_EQ(grey_at(kind::depth, i, 0), 255 - depth.at<std::uint8_t>(0, i)) << i;
    }
    EXPECT_EQ(dialog.averaged_frames(kind::ambient), 2u);

    feed(ramp(2, 3));  // another size starts the list again
    EXPECT_EQ(dialog.averaged_frames(kind::ambient), 1u);
    check("cb_ambient_aveg_mode", false);
    feed(ramp(2, 3));
    EXPECT_EQ(dialog.averaged_frames(kind::ambient), 0u);
    EXPECT_EQ(dialog.averaged_frames(kind::depth), 2u);
}

TEST_F(image_analysis_test, PickedPixelRingReadoutsKeysAndZoom) {
    scene_t f = ramp();
    f.depth[5 * 400 + 10] = -1;
    feed(f);
    QLabel* depth_label = get<QLabel>("im_depth_image");
    EXPECT_EQ(depth_label->size(), QSize(1200, 300));

    // A left click rounds the position over the zoom; a click on the far edge stays inside.
    QTest::mouseClick(depth_label, Qt::LeftButton, Qt::NoModifier, QPoint(31, 14));
    EXPECT_TRUE(dialog.pixel_selected());
    feed(f);
    EXPECT_EQ(get<QLineEdit>("le_pixel")->text(), "(10, 5)");
    EXPECT_EQ(get<QLineEdit>("le_ambient_val")->text(), QString::number((5 * 400 + 10) % 5000));
    EXPECT_EQ(get<QLineEdit>("le_depth_val")->text(), "4294967295") << "depth reads out unsigned";
    EXPECT_EQ(get<QLineEdit>("le_intensity_val")->text(), QString::number((5 * 400 + 10) % 500));
    for (kind k : {kind::ambient, kind::depth, kind::intensity}) {
        for (const auto& p : {cv::Point(9, 4), cv::Point(11, 6), cv::Point(10, 4), cv::Point(9, 5)})
            EXPECT_EQ(at(dialog.picture(k), p.x, p.y), white) << k;
        EXPECT_NE(at(dialog.picture(k), 10, 5), white);
    }

    QTest::mouseClick(get<QLabel>("im_ambient_image"), Qt::LeftButton, Qt::NoModifier, QPoint(1199, 299));
    feed(f);
    EXPECT_EQ(get<QLineEdit>("le_pixel")->text(), "(399, 99)");

    // Keys move the pixel inside the image.
    const struct {
        Qt::Key key;
        const char* text;
    } keys[] = {{Qt::Key_D, "(399, 99)"}, {Qt::Key_S, "(399, 99)"}, {Qt::Key_A, "(398, 99)"}, {Qt::Key_W, "(398, 98)"}};
    for (const auto& k : keys) {
        QTest::keyClick(&dialog, k.key);
        feed(f);
        EXPECT_EQ(get<QLineEdit>("le_pixel")->text(), k.text);
    }

    // A right click clears the pick; the keys then do nothing.
    QTest::mouseClick(depth_label, Qt::RightButton);
    EXPECT_FALSE(dialog.pixel_selected());
    EXPECT_EQ(get<QLineEdit>("le_pixel")->text(), "(0, 0)");
    QTest::keyClick(&dialog, Qt::Key_D);
    EXPECT_EQ(dialog.selected_x(), 0);

    // The wheel zooms each image on its own, 1 to 10; the size follows with the next frame.
    for (int i = 0; i < 4; ++i) wheel(depth_label, -120);
    EXPECT_EQ(dialog.zoom(kind::depth), 1);
    for (int i = 0; i < 12; ++i) wheel(depth_label, 120);
    EXPECT_EQ(dialog.zoom(kind::depth), 10);
    EXPECT_EQ(dialog.zoom(kind::ambient), 3);
    feed(ramp(2, 3));
    EXPECT_EQ(depth_label->size(), QSize(30, 20));
}

TEST_F(image_analysis_test, ShowsAndAppliesTheChannelSettings) {
    cfg_t cfg = patterned_record();
    cfg.vcsel_manual_cs = 7;
    cfg.dual_channel = 1;
    dialog.get_menu_current_setting(cfg);
    EXPECT_EQ(get<QSpinBox>("sb_vcsel_channel")->value(), 7);
    EXPECT_EQ(get<QComboBox>("tg_spad_channel_mode")->currentIndex(), 0);

    QSignalSpy applied(&dialog, &menu_image_analysis::send_menu_apply_setting);
    get<QSpinBox>("sb_vcsel_channel")->setValue(42);
    get<QComboBox>("tg_spad_channel_mode")->setCurrentIndex(1);
    get<QPushButton>("pushButton")->click();
    ASSERT_EQ(applied.count(), 1);
    cfg_t expected = cfg;
    expected.vcsel_manual_cs = 42;
    expected.dual_channel = 0;
    EXPECT_EQ(std::memcmp(&dialog.current_configuration(), &expected, sizeof expected), 0);
}

TEST(analysis_dialogs, AskForTheRecordWhenShownAndGiveBackWhenClosedOrEscaped) {
    menu_image_analysis analysis;
    menu_board_align align;
    const auto check = [](auto& d, auto current, auto close) {
        QSignalSpy asked(&d, current);
        QSignalSpy closed(&d, close);
        d.show();
        EXPECT_EQ(asked.count(), 1);
        QTest::keyClick(&d, Qt::Key_Escape);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(closed.count(), 1);
    };
    check(analysis, &menu_image_analysis::send_menu_current_setting, &menu_image_analysis::send_close_ui);
    check(align, &menu_board_align::send_menu_current_setting, &menu_board_align::send_close_ui);
}

class board_align_test : public widget_test {
protected:
    template <class T>
    T* get(const char* name) { return control<T>(&dialog, name); }
    void feed(scene_t s) { dialog.updateScene(s); }
    const region_table_model* model() { return dialog.table_model(); }
    QString cell(int r, int c) { return model()->data(model()->index(r, c)).toString(); }
    QString header(int s, Qt::Orientation o) { return model()->headerData(s, o).toString(); }
    // The picture the dialog should draw of a frame's depth (defaults: 0..5000, JET, no inversion).
    cv::Mat expected_depth(const scene_t& s) {
        display::pipeline_params p;
        p.max_value = 5000;
        p.colour = display::colour_map::jet;
        cv::Mat grey, rgb;
        display::render(display::wrap(s.depth, s.rows, s.cols), p, grey, rgb);
        return rgb;
    }
    static bool same(const cv::Mat& a, const cv::Mat& b) {
        return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
    }

    menu_board_align dialog;
};

TEST_F(board_align_test, FirstFrameSetsRangesRegionAndTable) {
    EXPECT_EQ(dialog.windowTitle(), "GX Board Align");
    EXPECT_EQ(get<QComboBox>("tg_image_type")->currentIndex(), 1);
    EXPECT_EQ(get<QSpinBox>("sb_max_val")->value(), 5000);
    EXPECT_EQ(get<QSpinBox>("sb_zoom_img_size")->value(), 3);
    EXPECT_EQ(get<QLabel>("lel_zoom_scale")->text(), "Zoom Scale :");

    cfg_t cfg = patterned_record();
    cfg.dual_channel = 1;
    dialog.get_menu_current_setting(cfg);
    EXPECT_EQ(get<QComboBox>("tg_spad_channel_mode")->currentIndex(), 0);
    const scene_t f = ramp();
    feed(f);
    EXPECT_EQ(dialog.region(), cv::Rect(150, 0, 99, 99));
    EXPECT_EQ(dialog.largest_region(), 99);
    const struct {
        const char* name;
        int lo, hi, value;
    } spins[] = {{"sb_row", 5, 95, 5}, {"sb_col", 5, 395, 5}, {"sb_zoom_img_size", 1, 99, 99}};
    for (const auto& s : spins) {
        QSpinBox* b = get<QSpinBox>(s.name);
        EXPECT_EQ(b->minimum(), s.lo) << s.name;
        EXPECT_EQ(b->maximum(), s.hi) << s.name;
        EXPECT_EQ(b->value(), s.value) << s.name;
    }
    EXPECT_EQ(get<QLabel>("im_zoom_image")->size(), QSize(606, 606));
    const int z = dialog.main_zoom();
    EXPECT_EQ(get<QLabel>("im_main_image")->size(), QSize(z * 400, z * 100));
    EXPECT_EQ(get<QLabel>("im_horizontal_image")->size(), QSize(z * 400, 100));
    EXPECT_EQ(get<QLabel>("im_vertical_image")->size(), QSize(400, z * 100));

    // The table: 99 x 99 cells of the depth values, headed 150..248 and 0..98.
    QTableView* view = get<QTableView>("table_image_val");
    EXPECT_EQ(view->model(), model());
    ASSERT_EQ(model()->rowCount(), 99);
    ASSERT_EQ(model()->columnCount(), 99);
    EXPECT_EQ(header(0, Qt::Horizontal), "150");
    EXPECT_EQ(header(98, Qt::Horizontal), "248");
    EXPECT_EQ(header(0, Qt::Vertical), "0");
    EXPECT_EQ(header(98, Qt::Vertical), "98");
    for (const auto& rc : {std::make_pair(0, 0), std::make_pair(98, 98), std::make_pair(17, 60)})
        EXPECT_EQ(cell(rc.first, rc.second), QString::number(f.depth[std::size_t(rc.first) * 400 + 150 + rc.second]));

    // Ambient values reach the table widened; the manual range is kept per image type.
    get<QComboBox>("tg_image_type")->setCurrentIndex(0);
    get<QSpinBox>("sb_max_val")->setValue(100);
    feed(f);
    EXPECT_EQ(cell(3, 4), QString::number(f.ambient[3 * 400 + 154]));
    get<QComboBox>("tg_image_type")->setCurrentIndex(1);
    feed(f);
    EXPECT_TRUE(same(dialog.stored_picture(menu_board_align::full), expected_depth(f))) << "depth keeps 0..5000";
}

TEST_F(board_align_test, BandsZoomRegionAndWheel) {
    scene_t f = ramp();
    feed(f);
    const cv::Mat rgb = expected_depth(f);
    EXPECT_TRUE(same(dialog.stored_picture(menu_board_align::full), rgb));
    EXPECT_TRUE(same(dialog.stored_picture(menu_board_align::horizontal), rgb(cv::Rect(0, 0, 400, 10))));
    EXPECT_TRUE(same(dialog.stored_picture(menu_board_align::vertical), rgb(cv::Rect(0, 0, 10, 100))));
    EXPECT_TRUE(same(dialog.stored_picture(menu_board_align::zoom), rgb(cv::Rect(150, 0, 99, 99))));
    get<QSpinBox>("sb_row")->setValue(50);
    get<QSpinBox>("sb_col")->setValue(395);
    feed(f);
    EXPECT_TRUE(same(dialog.stored_picture(menu_board_align::horizontal), rgb(cv::Rect(0, 45, 400, 10))));
    EXPECT_TRUE(same(dialog.stored_picture(menu_board_align::vertical), rgb(cv::Rect(390, 0, 10, 100))));

    QLabel* zoom = get<QLabel>("im_zoom_image");
    wheel(zoom, 120);
    EXPECT_EQ(dialog.region(), cv::Rect(151, 1, 97, 97));
    EXPECT_EQ(get<QSpinBox>("sb_zoom_img_size")->value(), 97);
    wheel(zoom, -120);
    wheel(zoom, -120);  // at the largest size: nothing
    EXPECT_EQ(dialog.region(), cv::Rect(150, 0, 99, 99));

    // A small region grown by the wheel at the image's edge stays inside, and so does the table.
    get<QSpinBox>("sb_zoom_img_size")->setValue(3);
    EXPECT_EQ(dialog.region(), cv::Rect(150, 0, 3, 3));
    wheel(zoom, -120);
    EXPECT_EQ(dialog.region(), cv::Rect(149, 0, 5, 5));
    feed(f);
    ASSERT_EQ(model()->rowCount(), 5);
    EXPECT_EQ(header(0, Qt::Vertical), "0");
    EXPECT_EQ(cell(4, 4), QString::number(f.depth[4 * 400 + 153]));
    EXPECT_TRUE(same(dialog.stored_picture(menu_board_align::zoom), rgb(cv::Rect(149, 0, 5, 5))));

    // A frame without depth only sizes the labels; a frame not wider than high
    // after Apply leaves a 1 x 1 region at the corner.
    scene_t no_depth = ramp(50, 200);
    no_depth.depth.clear();
    const cv::Mat kept = dialog.stored_picture(menu_board_align::full);
    feed(no_depth);
    EXPECT_EQ(dialog.stored_picture(menu_board_align::full).data, kept.data);
    EXPECT_EQ(get<QLabel>("im_vertical_image")->size(), QSize(200, dialog.main_zoom() * 50));
    get<QPushButton>("btn_apply")->click();
    feed(ramp(20, 20));
    EXPECT_EQ(dialog.region(), cv::Rect(0, 0, 1, 1));
    EXPECT_EQ(model()->rowCount(), 1);
    EXPECT_EQ(get<QSpinBox>("sb_zoom_img_size")->maximum(), 1);
}

TEST_F(board_align_test, PickStatusApplyAndSave) {
    scene_t f = ramp();
    feed(f);
    const int z = dialog.main_zoom();
    QLabel* main = get<QLabel>("im_main_image");
    QTest::mouseClick(main, Qt::LeftButton, Qt::NoModifier, QPoint(z * 10, z * 20));
    EXPECT_EQ(get<QLineEdit>("le_roi_x")->text(), "10");
    EXPECT_EQ(get<QLineEdit>("le_roi_y")->text(), "20");
    feed(f);
    EXPECT_EQ(at(dialog.shown_main_picture(), 11, 21), white);
    EXPECT_NE(at(dialog.stored_picture(menu_board_align::full), 11, 21), white) << "the stored picture has no ring";
    QTest::mouseClick(main, Qt::RightButton);
    EXPECT_FALSE(dialog.pixel_picked());
    EXPECT_EQ(get<QLineEdit>("le_roi_x")->text(), "0");

    // The temperatures under the names the status monitor gives them.
    TAVRIN::DadodUz::sensing_packet_t p{};
    p.xadc_tx_hv = 27.5f;
    p.xadc_tx_temp = 41.25f;
    p.rx_temp = 38.125f;
    dialog.update_status(p);
    EXPECT_EQ(get<QLineEdit>("le_tx_hv")->text(), "27.5");
    EXPECT_EQ(get<QLineEdit>("le_tx_temp")->text(), "41.25");
    EXPECT_EQ(get<QLineEdit>("le_rx_temp")->text(), "38.125");

    // Apply sends the channel mode and sets the region again with the next frame.
    cfg_t cfg = patterned_record();
    dialog.get_menu_current_setting(cfg);
    get<QSpinBox>("sb_zoom_img_size")->setValue(9);
    QSignalSpy applied(&dialog, &menu_board_align::send_menu_apply_setting);
    get<QComboBox>("tg_spad_channel_mode")->setCurrentIndex(0);
    get<QPushButton>("btn_apply")->click();
    ASSERT_EQ(applied.count(), 1);
    cfg_t expected = cfg;
    expected.dual_channel = 1;
    EXPECT_EQ(std::memcmp(&dialog.current_configuration(), &expected, sizeof expected), 0);
    feed(f);
    EXPECT_EQ(dialog.region(), cv::Rect(150, 0, 99, 99));

    // Save Image: four PNG files in blue-green-red order, twice the same.
    const QString base = temp_path("board");
    const char* suffixes[] = {".png", "_vertical.png", "_horizontal.png", "_zoom.png"};
    const menu_board_align::picture pictures[] = {menu_board_align::full, menu_board_align::vertical,
                                                  menu_board_align::horizontal, menu_board_align::zoom};
    QTest::mouseClick(main, Qt::LeftButton, Qt::NoModifier, QPoint(z * 10, z * 20));
    feed(f);
    std::vector<QByteArray> first;
    for (int round = 0; round < 2; ++round) {
        dialogs.answer_file(base + ".png");
        get<QPushButton>("btn_save_image")->click();
        for (int i = 0; i < 4; ++i) {
            const QString path = base + suffixes[i];
            const cv::Mat bgr = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_COLOR);
            ASSERT_FALSE(bgr.empty()) << path.toStdString();
            cv::Mat rgb;
            cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
            EXPECT_TRUE(same(rgb, dialog.stored_picture(pictures[i]))) << path.toStdString();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            if (round == 0) first.push_back(file.readAll());
            else EXPECT_EQ(file.readAll(), first[i]) << path.toStdString();
        }
    }
    EXPECT_EQ(dialogs.boxes_with_text(QString()), 0);

    // A name typed without the extension is used whole, not cut by four characters.
    for (const QString& typed : {temp_path("plate"), temp_path("side.PNG")}) {
        dialogs.answer_file(typed);
        get<QPushButton>("btn_save_image")->click();
    }
    for (const char* f : {"plate.png", "plate_zoom.png", "side.png", "side_vertical.png"})
        EXPECT_TRUE(QFile::exists(temp_path(f))) << f;
    EXPECT_FALSE(QFile::exists(temp_path("p.png")));

    // A cancelled dialog writes nothing; a file that cannot be written is named in a warning.
    get<QPushButton>("btn_save_image")->click();
    EXPECT_EQ(dialogs.last_box(), nullptr);
    dialogs.answer_file(temp_path("missing/dir/board.png"));
    get<QPushButton>("btn_save_image")->click();
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_EQ(dialogs.last_box()->title, "Warning");
    EXPECT_TRUE(dialogs.last_box()->text.contains(temp_path("missing/dir/board_zoom.png")));
}
