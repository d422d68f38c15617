// The two calibration tools in the administrator's window against the
// emulator, the way an administrator uses them: an offset calibration on the
// flat target measures the unit's own channel and half-row errors, and the
// lens tool's cloud error falls from a wrong lens to the unit's true one.
#include "logic/user_settings.h"
#include "menus/menu_lens_cal.h"
#include "menus/menu_offset_cal.h"
#include "tests/support/admin_window_test.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>

#include <array>
#include <cstdio>
#include <memory>

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;

class calibration_flow_test : public admin_window_test {
protected:
    void start(std::vector<std::string> scene) {
        emu = std::make_unique<emulator_process>(std::move(scene));
        ASSERT_TRUE(emu->start());
        connect_window(*emu);
    }
    // What the measurements need besides the tool's own settings: rows
    // measured one by one, no false returns, and a quick frame rate.
    static cfg_t measuring(cfg_t c) {
        c.dual_channel = 0;
        const auto& none = user_settings::kFalsePositiveRates[0];
        std::copy(none.begin(), none.end(), c.threshold_coe);
        c.fps = 25;
        return c;
    }

    std::unique_ptr<emulator_process> emu;
};

} // namespace

TEST_F(calibration_flow_test, OffsetCalibrationOnTheTargetMeasuresTheUnitsOwnErrors) {
    start({"--scene", "target", "--target-range", "3"});
    menu_offset_cal* tool = admin->offset_cal;
    control<QPushButton>(admin, "btn_offset_cal")->click();
    ASSERT_TRUE(wait_until([&] { return admin->has_record() && !admin->setting_requested; }, 10000));
    // The factory tables hold the unit's errors; the tool measures without them.
    const cfg_t factory = admin->tool_record();
    cfg_t zeroed = measuring(tool->current_configuration());
    ASSERT_EQ(zeroed.vcsel_offset[1] | zeroed.spad_offset[1], 0);
    w->get_main_apply_device(zeroed);
    pump(300);

    control<QComboBox>(tool, "comboBox")->setCurrentIndex(3); // the unit's 64 channels
    control<QSpinBox>(tool, "sb_number_frame")->setValue(16);
    for (int mode : {0, 1}) {
        control<QComboBox>(tool, "tg_calibration_mode")->setCurrentIndex(mode);
        control<QPushButton>(tool, "btn_start_offset_cal")->click();
        ASSERT_TRUE(wait_until([&] { return !tool->run().running(); }, 15000)) << "mode " << mode;
    }
    ASSERT_TRUE(tool->run().vcsel_ready() && tool->run().spad_ready());
    // Each channel's offset is its error in steps (channel 0, the reference, has none).
    const auto& vcsel = tool->run().vcsel();
    ASSERT_EQ(vcsel.size(), 64u);
    int off = 0;
    for (int k = 0; k < 64; ++k) off += std::abs(vcsel[std::size_t(k)] - std::int16_t(factory.vcsel_offset[k])) > 1;
    EXPECT_EQ(off, 0) << "channels more than a step away from the unit's error";
    // Half-rows: only differences within a half count, modulo 256. The unit's
    // errors reach three steps (35 mm); the noise of 16 frames stays within 4 mm.
    const auto& spad = tool->run().spad();
    ASSERT_EQ(spad.size(), 200u);
    int spad_off = 0;
    for (int h = 0; h < 200; ++h) {
        const int first = h < 100 ? 0 : 100;
        const int measured = spad[std::size_t(h)] - spad[std::size_t(first)];
        const int truth = int(factory.spad_offset[h]) - int(factory.spad_offset[first]);
        spad_off += std::abs(std::int8_t(std::uint8_t(measured - truth))) > 4;
    }
    EXPECT_EQ(spad_off, 0) << "half-rows more than 4 mm away from the unit's error";
    tool->close();
}

TEST_F(calibration_flow_test, LensErrorFallsFromAWrongLensToTheTrueOne) {
    const QString truth = temp_path("static.pcd");
    ASSERT_EQ(QProcess::execute(GX_EMULATOR_PATH, {"--scene", "static", "--ground-truth", truth}), 0);
    start({"--scene", "static"});
    QSignalSpy log(admin, &tool_admin::send_tool_log);

    control<QPushButton>(admin, "btn_lens_cal")->click();
    menu_lens_cal* tool = admin->lens_cal;
    ASSERT_NE(tool, nullptr);
    ASSERT_TRUE(wait_until([&] { return admin->lens_cal_mode; }, 10000)) << "frames now reach the lens tool alone";
    int view_frames = 0;
    QObject::connect(w.get(), &MainWindow::send_main_data, [&](TAVRIN::DadodUz::scene_t&) { ++view_frames; });
    // The measuring settings, read back into the tool as it reads them on opening.
    cfg_t c = measuring(tool->current_configuration());
    w->get_main_apply_device(c);
    admin->get_tool_current_setting_trigger();
    ASSERT_TRUE(wait_until([&] { return tool->current_configuration().dual_channel == 0; }, 10000));

    dialogs.answer_file(truth);
    control<QPushButton>(tool, "btn_load_gt_pcd")->click();
    ASSERT_GT(tool->ground_truth().size(), 20000u);
    control<QSpinBox>(tool, "sb_avg_frame")->setValue(10);
    auto* average = control<QCheckBox>(tool, "cb_avg_mode");
    const char* boxes[12] = {"sb_fx", "sb_fy", "sb_cx", "sb_cy", "sb_p1", "sb_p2", "sb_k1", "sb_k2", "sb_k3", "sb_k4", "sb_k5", "sb_k6"};
    // Applies a lens, averages ten frames taken with it and returns the error in mm.
    const auto error_with = [&](const std::array<double, 12>& lens) {
        for (int i = 0; i < 12; ++i) control<QDoubleSpinBox>(tool, boxes[i])->setValue(lens[std::size_t(i)]);
        control<QPushButton>(tool, "btn_apply_setting")->click();
        average->setChecked(false);
        pump(200); // frames already on their way were taken with the old lens
        average->setChecked(true);
        EXPECT_TRUE(wait_until([&] { return tool->averaged_frames() == 10; }, 10000));
        control<QPushButton>(tool, "btn_compute_rmse")->click();
        const QString text = control<QLineEdit>(tool, "le_rmse")->text();
        EXPECT_TRUE(text.endsWith(" mm")) << text.toStdString();
        return text.chopped(3).toDouble();
    };
    const double wrong = error_with({558.6528, 558.6528, 199.5, 49.5, 0, 0, -0.8435, 1.099, -8.88, 0, 0, 0});
    const double right = error_with({540, 540, 210.5, 49.5, 0, 0, -0.8435, 1.099, -8.88, 0, 0, 0});
    std::printf("[figure] lens tool RMSE over 10 averaged frames (100 channels, 0%% false returns): "
                "initial lens %.1f mm, true lens %.1f mm\n", wrong, right);
    EXPECT_GT(wrong, 200.0);
    EXPECT_LE(right, 21.0) << "the noise alone (docs/sensor-model.md)";
    EXPECT_EQ(view_frames, 0) << "the views stand still while the lens tool is open";
    const QStringList lines = spied_texts(log);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().startsWith("[Lens Calibration] RMSE ")) << lines.last().toStdString();
    tool->close();
    pump(20);
    EXPECT_FALSE(admin->lens_cal_mode);
}
