// The lens-SPAD calibration dialog on its own (offscreen: the view draws
// nothing): the form, what it sends when shown, the configuration it shows
// and applies, the averaged cloud, the ground truth, the files it saves and
// the cloud error.
#include "menus/menu_lens_cal.h"
#include "logic/filter_list.h"
#include "logic/pcd_file.h"
#include "tests/support/comma_locale.h"
#include "tests/support/patterned_record.h"
#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"
#include "viewers/cloud_view.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QVTKOpenGLNativeWidget.h>
#include <pcl/visualization/pcl_visualizer.h>
#include <vtkGenericOpenGLRenderWindow.h>

#include <cstring>

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;

const char* const kLensBoxes[12] = {"sb_fx", "sb_fy", "sb_cx", "sb_cy", "sb_p1", "sb_p2",
                                    "sb_k1", "sb_k2", "sb_k3", "sb_k4", "sb_k5", "sb_k6"};

// A 20 x 20 frame: pixel (r, c) at (x_mm, 100 c, 100 r) mm.
synthetic::scene_t wall(double x_mm) {
    synthetic::scene_t s;
    synthetic::resize(s, 20, 20);
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 20; ++c) synthetic::set_point(s, std::size_t(r * 20 + c), x_mm, x_mm, 100.0 * c, 100.0 * r);
    return s;
}

class menu_lens_cal_test : public widget_test {
protected:
    void TearDown() override { delete dialog; }
    template <class T>
    T* get(const char* name) {
        return control<T>(dialog, name);
    }
    void feed(synthetic::scene_t s) { dialog->updatePointCloud(s); }
    void click(const char* name) { get<QPushButton>(name)->click(); }
    // The ground truth: the wall at 5 m in metres, in `colour`.
    QString truth_file(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        lens_cloud::cloud_t cloud;
        for (int i = 0; i < 20; ++i)
            for (int j = 0; j < 20; ++j) {
                pcl::PointXYZRGB p;
                p.x = 5.0f;
                p.y = 0.1f * j;
                p.z = 0.1f * i;
                p.r = r, p.g = g, p.b = b;
                cloud.push_back(p);
            }
        const QString path = temp_path("truth.pcd");
        EXPECT_TRUE(pcd_file::write_ascii(path.toStdString(), cloud));
        return path;
    }

    menu_lens_cal* dialog = new menu_lens_cal;
};

} // namespace

TEST_F(menu_lens_cal_test, FormAndWhatShowingSends) {
    EXPECT_EQ(dialog->windowTitle(), "GX Lens-SPAD Calibration");
    EXPECT_FALSE(dialog->windowIcon().isNull());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    auto* splitter = get<QSplitter>("splitter");
    ASSERT_NE(splitter, nullptr);
    EXPECT_EQ(splitter->widget(0), get<QVTKOpenGLNativeWidget>("qvtkWidget")) << "the view beside the controls";
    EXPECT_EQ(get<QVTKOpenGLNativeWidget>("qvtkWidget")->renderWindow(), dialog->view()->window());
    std::vector<pcl::visualization::Camera> cams;
    dialog->view()->visualizer()->getCameras(cams);
    ASSERT_FALSE(cams.empty());
    EXPECT_EQ(cams[0].pos[0], -1.0);
    EXPECT_EQ(cams[0].view[2], 1.0);

    const struct {
        const char* name;
        const char* text;
    } labels[] = {{"lel_save_load_pcd", "Save & Load Point Cloud"}, {"lel_save_pcd", "Save GX Point Cloud"},
                  {"lel_load_gt_pcd", "Load Ground Truth Point Cloud"}, {"lel_lens_cal_param", "Lens-SPAD Calibration Parameters"},
                  {"lel_global_offset", "Global Offset"}, {"lel_vcsel_emitter_width", "VCSEL Emitter Width"},
                  {"lel_avg_frame", "Average Frame"}, {"label_7", "Lens Coefficient"},
                  {"lel_calibration_eval", "Calibration Evaluation"}, {"lel_rmse", "RMSE"}, {"lel_fx", "fx"}, {"lel_k6", "k6"}};
    for (const auto& l : labels) EXPECT_EQ(get<QLabel>(l.name)->text(), l.text) << l.name;
    const struct {
        const char* name;
        const char* text;
    } buttons[] = {{"btn_save_pcd", "..."}, {"btn_load_gt_pcd", "..."}, {"btn_apply_setting", "Apply Setting"},
                   {"btn_write_setting", "Write Setting"}, {"btn_save_cal_file", "Save Calibration File (.csv)"},
                   {"btn_compute_rmse", "Compute RMSE"}};
    for (const auto& b : buttons) EXPECT_EQ(get<QPushButton>(b.name)->text(), b.text) << b.name;
    const struct {
        const char* name;
        int lo, hi, value;
    } spins[] = {{"sb_global_offset", 0, 1000, 170}, {"sb_vcsel_emitter_width", 0, 1000, 10}, {"sb_avg_frame", 1, 1000, 1}};
    for (const auto& s : spins) {
        EXPECT_EQ(get<QSpinBox>(s.name)->minimum(), s.lo) << s.name;
        EXPECT_EQ(get<QSpinBox>(s.name)->maximum(), s.hi) << s.name;
        EXPECT_EQ(get<QSpinBox>(s.name)->value(), s.value) << s.name;
    }
    const double defaults[12] = {558.6528, 558.6528, 199.5, 49.5, 0, 0, -0.8435, 1.099, -8.88, 0, 0, 0};
    for (int i = 0; i < 12; ++i) {
        auto* box = get<QDoubleSpinBox>(kLensBoxes[i]);
        EXPECT_EQ(box->decimals(), 4);
        EXPECT_EQ(box->minimum(), -50000.0);
        EXPECT_EQ(box->maximum(), 50000.0);
        EXPECT_DOUBLE_EQ(box->value(), defaults[i]) << kLensBoxes[i];
    }
    EXPECT_EQ(get<QCheckBox>("cb_avg_mode")->text(), "Average Mode");
    EXPECT_FALSE(get<QCheckBox>("cb_avg_mode")->isChecked());
    EXPECT_TRUE(get<QLineEdit>("le_rmse")->isReadOnly());
    EXPECT_TRUE(get<QLineEdit>("le_rmse")->text().isEmpty());

    // Shown: first the fixed data-processing values, then the record request;
    // each show again. Closed: the tool bar hears of it.
    QStringList order;
    std::vector<int> params;
    QObject::connect(dialog, &menu_lens_cal::send_menu_apply_data_procssing, [&](std::vector<int>& p) {
        params = p;
        order << "data processing";
    });
    QObject::connect(dialog, &menu_lens_cal::send_menu_current_setting, [&] { order << "current setting"; });
    QSignalSpy closed(dialog, &menu_lens_cal::send_menu_close_window);
    dialog->show();
    dialog->hide();
    dialog->show();
    EXPECT_EQ(order, (QStringList{"data processing", "current setting", "data processing", "current setting"}));
    const auto filters = filter_list::read(params);
    ASSERT_TRUE(filters.has_value());
    EXPECT_FALSE(filters->any()) << "measured with every filter off";
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(menu_lens_cal_test, ConfigurationShownAppliedWrittenAndSaved) {
    cfg_t c = patterned_record();
    const float lens[12] = {540, 541, 210.5f, 49.5f, 0.001f, -0.002f, -0.8435f, 1.099f, -8.88f, 0.5f, 0, 0};
    std::copy(lens, lens + 12, c.lens_coe);
    c.emitter_dwidth = 12.7f;
    c.global_offset = 133;
    dialog->get_menu_current_setting(c);
    EXPECT_EQ(get<QSpinBox>("sb_vcsel_emitter_width")->value(), 12) << "truncated";
    EXPECT_EQ(get<QSpinBox>("sb_global_offset")->value(), 133);
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(get<QDoubleSpinBox>(kLensBoxes[i])->value(), lens[i], 5e-5) << kLensBoxes[i];

    std::vector<cfg_t> applied;
    QObject::connect(dialog, &menu_lens_cal::send_menu_apply_setting, [&](cfg_t& r) { applied.push_back(r); });
    QSignalSpy written(dialog, &menu_lens_cal::send_menu_write_setting);
    get<QDoubleSpinBox>("sb_cx")->setValue(199.25);
    get<QSpinBox>("sb_global_offset")->setValue(140);
    click("btn_apply_setting");
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].emitter_dwidth, 12.0f) << "sent back as 12";
    EXPECT_EQ(applied[0].global_offset, 140);
    EXPECT_EQ(applied[0].lens_coe[2], 199.25f);
    EXPECT_EQ(applied[0].lens_coe[4], 0.001f) << "narrowed to single precision from the box";
    cfg_t expected = c;
    std::memcpy(expected.lens_coe, applied[0].lens_coe, sizeof expected.lens_coe);
    expected.emitter_dwidth = 12.0f;
    expected.global_offset = 140;
    EXPECT_EQ(std::memcmp(&applied[0], &expected, sizeof expected), 0) << "every other byte as received";
    click("btn_write_setting");
    EXPECT_EQ(written.count(), 1);

    // The calibration file: the controls, the tables as received; an existing file is replaced.
    const QString path = temp_path("lens.csv");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old\n");
    old.close();
    click("btn_save_cal_file"); // cancelled
    dialogs.answer_file(path);
    get<QSpinBox>("sb_vcsel_emitter_width")->setValue(6);
    click("btn_save_cal_file");
    ASSERT_EQ(dialogs.seen.size(), 2u);
    EXPECT_EQ(dialogs.seen[0].title, "Save lens calibration file");
    EXPECT_EQ(dialogs.seen[0].filter, "Lens Calibration File (*.csv)");
    EXPECT_EQ(dialogs.seen[0].dir, QDir::homePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> l = f.readAll().split('\n');
    ASSERT_EQ(l.size(), 201) << "200 lines, each ended";
    EXPECT_EQ(l[0], QByteArray::number(c.vcsel_offset[0]) + "," + QByteArray::number(c.spad_offset[0]) + ",540,6,140");
    EXPECT_EQ(l[2], QByteArray::number(c.vcsel_offset[2]) + "," + QByteArray::number(c.spad_offset[2]) + ",199.25,,,");
    EXPECT_EQ(l[199], "," + QByteArray::number(c.spad_offset[199]) + ",,,,");

    dialogs.answer_file(temp_path("missing/lens.csv"));
    click("btn_save_cal_file");
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_EQ(dialogs.last_box()->title, "Warning");
}

TEST_F(menu_lens_cal_test, AveragedCloudGroundTruthAndPointCloudFile) {
    get<QCheckBox>("cb_avg_mode")->setChecked(true);
    get<QSpinBox>("sb_avg_frame")->setValue(3);
    for (double x : {1000.0, 2000.0, 3000.0, 7000.0}) feed(wall(x));
    ASSERT_EQ(dialog->measured_cloud().size(), 400u);
    EXPECT_FLOAT_EQ(dialog->measured_cloud()[21].x, 4.0f) << "the mean of frames 2, 3 and 4";
    EXPECT_FLOAT_EQ(dialog->measured_cloud()[21].y, 0.1f);
    EXPECT_EQ(dialog->measured_cloud()[21].r, 255);
    get<QCheckBox>("cb_avg_mode")->setChecked(false);
    get<QCheckBox>("cb_avg_mode")->setChecked(true);
    feed(wall(500));
    EXPECT_FLOAT_EQ(dialog->measured_cloud()[0].x, 0.5f) << "the average starts again";
    EXPECT_EQ(dialog->averaged_frames(), 1u);

    // A coloured ground truth is shown all red; an unreadable file is refused and keeps it.
    dialogs.answer_file(truth_file(0, 200, 0));
    click("btn_load_gt_pcd");
    EXPECT_EQ(dialogs.seen.back().title, "Load point cloud");
    EXPECT_EQ(dialogs.seen.back().filter, "Point cloud (*.pcd)");
    ASSERT_EQ(dialog->ground_truth().size(), 400u);
    for (const auto& p : dialog->ground_truth().points) ASSERT_TRUE(p.r == 255 && p.g == 0 && p.b == 0);
    QFile junk(temp_path("junk.pcd"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("VERSION 0.7\nWIDTH 99999999\nPOINTS 99999999\n");
    junk.close();
    for (const QString& bad : {temp_path("junk.pcd"), temp_path("absent.pcd")}) {
        dialogs.answer_file(bad);
        click("btn_load_gt_pcd");
        ASSERT_NE(dialogs.last_box(), nullptr);
        EXPECT_EQ(dialogs.last_box()->type, dialog_seam::kind::critical);
        EXPECT_EQ(dialogs.last_box()->title, "Warning");
        EXPECT_EQ(dialogs.last_box()->text, "Can't open pcd file.");
        EXPECT_EQ(dialog->ground_truth().size(), 400u);
    }

    // The measured cloud as an ASCII file of every pixel; nothing without a name.
    const QString pcd = temp_path("measured.pcd");
    click("btn_save_pcd");
    dialogs.answer_file(pcd);
    click("btn_save_pcd");
    EXPECT_EQ(dialogs.seen.back().title, "Save point cloud");
    lens_cloud::cloud_t back;
    std::string error;
    ASSERT_TRUE(pcd_file::read(pcd.toStdString(), back, error)) << error;
    EXPECT_EQ(back.size(), 400u);
    EXPECT_EQ(back.width, 20u);
    EXPECT_FLOAT_EQ(back[399].z, 1.9f);
}

TEST_F(menu_lens_cal_test, RmseAgainstTheGroundTruth) {
    comma_locale comma;
    QSignalSpy log(dialog, &menu_lens_cal::send_menu_log);
    auto* rmse = get<QLineEdit>("le_rmse");
    // Each step: what is there, the field and the log line expected.
    click("btn_compute_rmse");
    EXPECT_TRUE(rmse->text().isEmpty());
    dialogs.answer_file(truth_file(255, 255, 255));
    click("btn_load_gt_pcd");
    click("btn_compute_rmse");
    EXPECT_TRUE(rmse->text().isEmpty());
    // The wall 12.3 mm behind the ground truth, every point.
    feed(wall(5012.3));
    click("btn_compute_rmse");
    EXPECT_EQ(rmse->text(), "12.3 mm");
    // Half the wall without returns (parked at the origin) counts no points.
    synthetic::scene_t half = wall(5040.0);
    for (std::size_t i = 0; i < 200; ++i) synthetic::set_point(half, i, 0, 0, 0, 0);
    feed(half);
    click("btn_compute_rmse");
    EXPECT_EQ(rmse->text(), "40.0 mm");
    EXPECT_EQ(spied_texts(log), (QStringList{"[Lens Calibration] RMSE: load a ground truth point cloud first.",
                                             "[Lens Calibration] RMSE: no measured point cloud yet.",
                                             "[Lens Calibration] RMSE 12.3 mm over 400 measured points",
                                             "[Lens Calibration] RMSE 40.0 mm over 200 measured points"}));
}
