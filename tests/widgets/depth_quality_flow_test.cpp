// GX Depth Quality: the dialog on synthetic frames (region, frames, metrics,
// log), and against the emulator in the administrator's window: the figures
// of a wall, and the whole calibration loop on an uncalibrated unit, from
// the spread it shows to the spread that is left once the offset table the
// offset calibration saved is loaded and applied.
#include "menus/menu_depth_quality.h"
#include "menus/menu_device_admin.h"
#include "menus/menu_offset_cal.h"
#include "tests/support/admin_window_test.h"
#include "tests/support/synthetic_frames.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

using scene_t = TAVRIN::DadodUz::scene_t;
using configurations_t = TAVRIN::DadodUz::configurations_t;

class depth_quality_test : public admin_window_test {
protected:
    // Opens the tool from the tool bar for one target and waits for a full window of frames.
    menu_depth_quality* measure(int target, int frames, int ground_truth = 0) {
        menu_depth_quality* tool = admin->depth_quality;
        control<QComboBox>(tool, "tg_target")->setCurrentIndex(target);
        control<QSpinBox>(tool, "sb_frames")->setValue(frames);
        control<QSpinBox>(tool, "sb_gt_distance")->setValue(ground_truth);
        control<QPushButton>(admin, "btn_depth_quality")->click();
        EXPECT_TRUE(wait_until([&] { return tool->current_metrics().frames == std::size_t(frames); }, 20000));
        return tool;
    }
    // Waits until `n` frames have reached the window since now.
    void frames_after(int n) {
        const auto from = w->frames_emitted();
        ASSERT_TRUE(wait_until([&] { return w->frames_emitted() >= from + std::uint64_t(n); }, 10000));
    }
    static double field(menu_depth_quality* tool, const char* name) {
        return control<QLineEdit>(tool, name)->text().section(' ', 0, 0).toDouble();
    }
};

// A 400 x 100 frame of points 2 m ahead, `hole` pixels without a return.
scene_t frame(std::size_t hole = 0) {
    scene_t s = synthetic::uniform(100, 400, 100, 2000, 300, 2000.0);
    for (std::size_t i = 0; i < s.points.size(); ++i) s.points[i].valid = i >= hole;
    return s;
}

// A 400 x 100 frame of a flat wall 2 m ahead, seen through a pinhole (f = 540 px).
scene_t wall() {
    scene_t s = frame();
    for (int r = 0; r < 100; ++r)
        for (int c = 0; c < 400; ++c) {
            const double y = -(c - 199.5) * 2000 / 540, z = -(r - 49.5) * 2000 / 540;
            synthetic::set_point(s, std::size_t(r) * 400 + std::size_t(c), std::sqrt(4e6 + y * y + z * z), 2000, y, z);
        }
    return s;
}

// The last line of a file.
std::string last_line(const QString& path) {
    std::ifstream in(path.toStdString());
    std::string line, last;
    while (std::getline(in, line)) last = line;
    return last;
}

void mouse(QWidget* w, QEvent::Type type, QPoint at) {
    QMouseEvent e(type, at, Qt::LeftButton, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

} // namespace

TEST_F(depth_quality_test, DialogMeasuresItsRegionAndLogsEachSave) {
    menu_depth_quality tool;
    QSignalSpy closed(&tool, &menu_depth_quality::send_close_ui);
    tool.show();
    const auto text = [&](const char* name) { return control<QLineEdit>(&tool, name)->text(); };
    const auto label = [&](const char* name) { return control<QLabel>(&tool, name)->text(); };
    EXPECT_TRUE(control<QLabel>(&tool, "lel_configuration")->isVisible()) << "no record has come";
    EXPECT_EQ(label("lel_configuration"), "No sensor configuration");
    EXPECT_EQ(tool.channels(), 0);
    control<QComboBox>(&tool, "tg_target")->setCurrentIndex(1); // every point at one range
    EXPECT_EQ(tool.region(), (depth_quality::region{100, 25, 200, 50}));
    scene_t f = frame(40 * 400); // rows 0-39 without a return
    for (int i = 0; i < 3; ++i) tool.updateScene(f);
    EXPECT_EQ(tool.frames_held(), 3u);
    EXPECT_EQ(text("le_fill_rate"), "70.0 %") << "rows 25-39 of 25-74 are empty";
    EXPECT_EQ(text("le_distance"), "2000.0 mm");
    EXPECT_EQ(text("le_z_accuracy"), "\u2014") << "no ground truth";
    EXPECT_EQ(text("le_channel_spread"), "\u2014") << "no channel count";
    EXPECT_EQ(label("lel_verdict"), "Figures hold");
    EXPECT_EQ(label("lel_frames_held"), "3 of 30 frames");

    // Drags over the depth picture (shown twice the frame's size inside the
    // label's 1-pixel frame) set the region, from the pixel under the pointer.
    auto* picture = control<QLabel>(&tool, "im_depth");
    ASSERT_EQ(picture->contentsRect(), QRect(1, 1, 800, 200));
    EXPECT_EQ(picture->pixmap(Qt::ReturnByValue).size(), QSize(800, 200));
    mouse(picture, QEvent::MouseButtonPress, {701, 191});
    mouse(picture, QEvent::MouseMove, {600, 120});
    mouse(picture, QEvent::MouseButtonRelease, {501, 101});
    EXPECT_EQ(tool.region(), (depth_quality::region{250, 50, 101, 46}));
    EXPECT_EQ(tool.frames_held(), 0u) << "a new region starts a new window";
    EXPECT_EQ(text("le_distance"), "\u2014") << "and clears the figures";
    mouse(picture, QEvent::MouseButtonPress, {2, 2});
    mouse(picture, QEvent::MouseButtonRelease, {2, 2});
    EXPECT_EQ(tool.region(), (depth_quality::region{0, 0, 1, 1})) << "the frame's first pixel";
    control<QSpinBox>(&tool, "sb_roi_w")->setValue(101);
    control<QSpinBox>(&tool, "sb_roi_x")->setValue(390);
    EXPECT_EQ(tool.region().x, 299) << "kept inside the frame";
    control<QSpinBox>(&tool, "sb_roi_h")->setValue(46);
    control<QSpinBox>(&tool, "sb_roi_y")->setValue(50);

    // Each save logs the figures with the settings they were measured under.
    const QString log = temp_path("checks.csv");
    const auto save = [&](const QString& path) {
        dialogs.answer_file(path);
        control<QPushButton>(&tool, "btn_save_metrics")->click();
    };
    control<QSpinBox>(&tool, "sb_frames")->setValue(1000);
    for (int i = 0; i < 3; ++i) tool.updateScene(f);
    EXPECT_EQ(label("lel_frames_held"), "3 of 1000 frames");
    save(log);
    EXPECT_NE(last_line(log).find(",299,50,101,46,3,sphere,Figures hold,100.00,"), std::string::npos) << last_line(log);
    control<QComboBox>(&tool, "tg_target")->setCurrentIndex(0);
    EXPECT_EQ(label("lel_verdict"), "No frame measured yet");
    scene_t flat = wall();
    tool.updateScene(flat);
    control<QComboBox>(&tool, "tg_channels")->setCurrentIndex(1);
    EXPECT_EQ(tool.channels(), 48);
    EXPECT_EQ(text("le_distance"), "\u2014") << "another channel count clears the figures";
    tool.updateScene(flat);
    save(log);
    EXPECT_NE(last_line(log).find(",2,wall,Figures hold,100.00,0.00,2000.00,"), std::string::npos) << last_line(log);
    EXPECT_EQ(last_line(log).substr(last_line(log).size() - 7), ",,,,,,,") << "no record";

    configurations_t record{};
    record.vcsel_type = 0;
    control<QComboBox>(&tool, "tg_channels")->setCurrentIndex(0);
    tool.get_menu_current_setting(record);
    EXPECT_EQ(tool.channels(), 48) << "vcsel_type 0 drives 48 channels";
    EXPECT_FALSE(control<QLabel>(&tool, "lel_configuration")->isVisible());
    tool.updateScene(flat);
    save(log);
    EXPECT_NE(last_line(log).find(",0,0,0,0,0,0,0"), std::string::npos) << "the record's cells: " << last_line(log);

    std::ifstream in(log.toStdString());
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    EXPECT_EQ(lines, 4) << "a header and one row per press";
    const dialog_seam::request& asked = dialogs.seen.front();
    EXPECT_EQ(asked.filter, "Metrics (*.csv)");
    EXPECT_EQ(asked.dir, QDir::homePath());
    save(temp_path("no/such/folder/x.csv"));
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_EQ(dialogs.last_box()->title, "Warning");

    QTest::keyClick(&tool, Qt::Key_Escape);
    EXPECT_FALSE(tool.isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(tool.window().spares(), 0u) << "a closed tool keeps no frames";
    tool.show();
    EXPECT_EQ(text("le_fill_rate"), "\u2014") << "a re-opened tool starts empty";
    EXPECT_FALSE(tool.has_configuration());
}

TEST_F(depth_quality_test, WallShowsTheFiguresTheSensorModelStates) {
    emulator_process emu({"--scene", "wall", "--target-range", "2", "--fps", "25"});
    ASSERT_TRUE(emu.start());
    connect_window(emu);
    menu_depth_quality* tool = measure(0, 30, 2000);
    const depth_quality::metrics m = tool->current_metrics();
    std::printf("[figure] wall at 2 m, 30 frames: fill %.1f %%, outliers %.2f %%, distance %.1f mm, RMS %.1f mm, "
                "angle %.2f deg, temporal noise %.1f mm, channel spread %.1f mm, row spread %.1f mm\n",
                m.fill_rate, m.outliers, m.distance, m.rms, m.angle, m.temporal_noise, m.channel_spread, m.row_spread);
    // docs/sensor-model.md: 100 %, 15.6 mm, 12.0 mm at 2 m in the factory settings.
    EXPECT_NEAR(field(tool, "le_fill_rate"), 100.0, 20.0);
    EXPECT_NEAR(field(tool, "le_plane_rms"), 15.6, 0.2 * 15.6);
    EXPECT_NEAR(field(tool, "le_temporal_noise"), 12.0, 0.2 * 12.0);
    EXPECT_LT(m.angle, 0.5);

    // The Report button: the acceptance report and its JSON, with the unit's
    // name from the hello and the register dump.
    dialogs.answer_file(temp_path("check"));
    control<QPushButton>(tool, "btn_report")->click();
    EXPECT_EQ(dialogs.seen.back().filter, "Report (*.html)");
    EXPECT_EQ(dialogs.seen.back().dir, QDir::homePath());
    std::ifstream json(temp_path("check.json").toStdString()), html(temp_path("check.html").toStdString());
    ASSERT_TRUE(json && html);
    std::stringstream data;
    data << json.rdbuf();
    EXPECT_NE(data.str().find("\"serial_number\": \"GX0-EMU-0001\""), std::string::npos);
    EXPECT_NE(data.str().find("\"firmware_version\": \"1.4.2\""), std::string::npos);
    EXPECT_NE(data.str().find("\"result\": \"pass\""), std::string::npos) << data.str().substr(0, 400);
    EXPECT_TRUE(control<QLabel>(tool, "lel_report")->text().startsWith("PASS: "));
}

TEST_F(depth_quality_test, CalibrationLoopOnAnUncalibratedUnit) {
    emulator_process emu({"--scene", "target", "--target-range", "2", "--fps", "25", "--uncalibrated"});
    ASSERT_TRUE(emu.start());
    connect_window(emu);
    QSignalSpy log(admin, &tool_admin::send_tool_log);

    // Before: the unit's channel errors, up to seven steps.
    menu_depth_quality* quality = measure(1, 20, 2000);
    const depth_quality::metrics before = quality->current_metrics();
    EXPECT_GT(before.channel_spread, 3 * 11.7) << "several steps";
    quality->close();

    // The offset calibration, as an administrator runs it: 64 channels, VCSEL then SPAD.
    menu_offset_cal* offset = admin->offset_cal;
    control<QPushButton>(admin, "btn_offset_cal")->click();
    ASSERT_TRUE(wait_until([&] { return offset->current_configuration().threshold_coe[0] > 170; }, 10000))
        << "the tool measures without false returns";
    frames_after(3);
    control<QSpinBox>(offset, "sb_number_frame")->setValue(20);
    control<QPushButton>(offset, "btn_start_offset_cal")->click(); // the 60 channels of the default
    ASSERT_TRUE(wait_until([&] { return !spied_texts(log).filter("drives 64").isEmpty(); }));
    control<QComboBox>(offset, "comboBox")->setCurrentIndex(3); // cancels the run
    const int lines = log.count();
    for (int mode : {0, 1}) {
        control<QComboBox>(offset, "tg_calibration_mode")->setCurrentIndex(mode);
        control<QPushButton>(offset, "btn_start_offset_cal")->click();
        ASSERT_TRUE(wait_until([&] { return !offset->run().running(); }, 20000)) << "mode " << mode;
    }
    EXPECT_EQ(log.count(), lines) << "64 channels on a full target: nothing spoils the runs";
    const QString table = temp_path("offsets.csv");
    dialogs.answer_file(table);
    control<QPushButton>(offset, "btn_save_offset_cal")->click();
    offset->close(); // the sensor gets its settings back: no tables, the factory threshold

    // The administrator settings load the table and apply it.
    menu_device_admin* settings = admin->device_admin;
    settings->load_preset(menu_device_admin::current_row);
    ASSERT_TRUE(wait_until([&] { return settings->isVisible() && !settings->waiting_for_current_setting(); }, 10000));
    dialogs.answer_file(table);
    control<QPushButton>(settings, "btn_calibration_file")->click();
    control<QPushButton>(settings, "btn_apply_setting")->click();
    settings->hide();
    frames_after(3);

    // After: the channels and half-rows agree, the range is right (the odd
    // columns' half of 20 mm included, docs/sensor-model.md).
    measure(1, 20, 2000);
    const depth_quality::metrics after = quality->current_metrics();
    std::printf("[figure] target at 2 m, uncalibrated unit: channel spread %.1f mm, row spread %.1f mm before; "
                "%.1f mm and %.1f mm after the table; Z accuracy %.1f mm\n",
                before.channel_spread, before.row_spread, after.channel_spread, after.row_spread, after.z_error);
    EXPECT_LE(after.channel_spread, 5.0);
    EXPECT_LE(after.row_spread, 5.0);
    EXPECT_NEAR(after.z_error, 10.0, 5.0);
    quality->close();
}
