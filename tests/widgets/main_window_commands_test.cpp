// Main window device commands against the emulator: firmware upload with its
// progress, completion and watchdog, and boxes whose event loops let the
// timers run while they are open.
#include "app/MainWindow.h"
#include "menus/menu_connection.h"
#include "tests/support/emulator_process.h"
#include "tests/support/qt_fixtures.h"
#include "tools/tool_user.h"

#include <QSignalSpy>
#include <cstdlib>
#include <memory>

namespace {

class MainWindowCommandsTest : public widget_test {
protected:
    std::unique_ptr<MainWindow> connect_to(emulator_process& emu) {
        auto w = std::make_unique<MainWindow>();
        w->user_tool()->connection->set_connection_values("127.0.0.1", emu.port(), "127.0.0.1", 0);
        w->get_main_connect_status(true);
        return w;
    }

    QString firmware(const char* name, bool corrupt) {
        const QString path = temp_path(name);
        EXPECT_TRUE(emulator_process::make_firmware(path.toStdString(), corrupt, 200000));
        return path;
    }

    // Runs message ticks by hand until pred holds (the message timer is stopped).
    bool ticks_until(MainWindow& w, const std::function<bool()>& pred, int max_ticks = 200) {
        for (int i = 0; i < max_ticks && !pred(); ++i) {
            pump(20);
            w.on_message_timer();
        }
        return pred();
    }
};

std::vector<int> progress_values(const QSignalSpy& spy) {
    std::vector<int> v;
    for (const auto& call : spy) v.push_back(call.at(0).toInt());
    return v;
}

} // namespace

TEST_F(MainWindowCommandsTest, FirmwareUploadShowsProgressThenCompletesAndDisconnects) {
    emulator_process emu;
    ASSERT_TRUE(emu.start());
    auto w = connect_to(emu);
    ASSERT_NE(w->device_handle(), nullptr);
    w->message_tick_timer()->stop();
    QSignalSpy progress(w.get(), &MainWindow::send_main_firmware_progress);
    QSignalSpy close_all(w.get(), &MainWindow::send_main_close_all);
    const QString image = firmware("good.bin", false);
    w->get_main_firmware_upload(image);
    ASSERT_FALSE(dialogs.seen.empty());
    EXPECT_EQ(dialogs.seen.front().text, "Do you want to upload firmware?\n" + image);
    EXPECT_TRUE(dialogs.seen.front().title.isEmpty());
    ASSERT_TRUE(ticks_until(*w, [&] { return w->device_handle() == nullptr; }, 600));
    const auto v = progress_values(progress);
    ASSERT_GE(v.size(), 3u);
    EXPECT_EQ(v.front(), -1) << "the upload is acknowledged first";
    EXPECT_EQ(v[v.size() - 2], 100);
    EXPECT_EQ(v.back(), -2);
    EXPECT_EQ(dialogs.boxes_with_text("Update Complete!\r\nDevice will automatically restart now."), 1);
    EXPECT_EQ(close_all.count(), 1);
}

TEST_F(MainWindowCommandsTest, AnInvalidImageFailsAndDisconnects) {
    emulator_process emu;
    ASSERT_TRUE(emu.start());
    auto w = connect_to(emu);
    w->message_tick_timer()->stop();
    QSignalSpy progress(w.get(), &MainWindow::send_main_firmware_progress);
    w->get_main_firmware_upload(firmware("bad.bin", true));
    ASSERT_TRUE(ticks_until(*w, [&] { return w->device_handle() == nullptr; }, 600));
    EXPECT_EQ(dialogs.boxes_with_text("Firmware Update Failed."), 1);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().at(0).toInt(), -2);
}

TEST_F(MainWindowCommandsTest, AStalledUploadTimesOutOnceWhileItsBoxIsOpen) {
    emulator_process emu({"--stall-firmware"});
    ASSERT_TRUE(emu.start());
    auto w = connect_to(emu);
    w->message_tick_timer()->stop();
    QSignalSpy progress(w.get(), &MainWindow::send_main_firmware_progress);
    w->get_main_firmware_upload(firmware("stall.bin", false));
    // Drain the progress that arrives before the sensor goes silent.
    for (int i = 0; i < 40; ++i) {
        pump(20);
        w->on_message_timer();
    }
    // While the time-out box is open its event loop keeps the message timer
    // firing: those ticks must neither stack more boxes nor act twice.
    int nested_ticks = 0;
    dialog_seam::set_responder([&](const dialog_seam::request& req) {
        dialogs.seen.push_back(req);
        for (int i = 0; i < 5 && w->device_handle() != nullptr; ++i, ++nested_ticks) w->on_message_timer();
        return dialog_seam::answer{};
    });
    int ticks = 0;
    while (w->device_handle() != nullptr && ticks < 400) {
        w->on_message_timer();
        ++ticks;
    }
    EXPECT_EQ(w->device_handle(), nullptr) << "the watchdog disconnects";
    // 301 ticks (about 30 s) after the last firmware message, which came
    // during the 40 draining ticks.
    EXPECT_GE(ticks + 40, 301) << "gave up early";
    EXPECT_LE(ticks, 302);
    EXPECT_GT(nested_ticks, 0);
    EXPECT_EQ(dialogs.boxes_with_text("Firmware Update Failed.Timeout."), 1);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().at(0).toInt(), -2);
}

TEST_F(MainWindowCommandsTest, AnUploadAbandonedByADisconnectLeavesTheNextConnectionAlone) {
    emulator_process emu({"--stall-firmware"});
    ASSERT_TRUE(emu.start());
    auto w = connect_to(emu);
    w->message_tick_timer()->stop();
    w->get_main_firmware_upload(firmware("abandoned.bin", false));
    for (int i = 0; i < 40; ++i) {
        pump(20);
        w->on_message_timer();
    }
    // The operator gives up on the stalled upload and connects again.
    w->get_main_connect_status(false);
    w->get_main_connect_status(true);
    ASSERT_NE(w->device_handle(), nullptr);
    w->message_tick_timer()->stop();
    dialogs.seen.clear();
    for (int i = 0; i < 320 && w->device_handle() != nullptr; ++i) w->on_message_timer();
    EXPECT_NE(w->device_handle(), nullptr) << "the old upload's watchdog reset the new connection";
    EXPECT_EQ(dialogs.boxes_with_text("Firmware Update Failed.Timeout."), 0);
}

TEST_F(MainWindowCommandsTest, TheDeviceGoingAwayWhileTheRecordDialogIsOpenIsSafe) {
    emulator_process emu;
    ASSERT_TRUE(emu.start());
    auto w = connect_to(emu);
    ASSERT_NE(w->device_handle(), nullptr);
    const QString path = temp_path("never.bin");
    dialog_seam::set_responder([&](const dialog_seam::request& req) {
        dialogs.seen.push_back(req);
        dialog_seam::answer a;
        if (req.type == dialog_seam::kind::save_file) {
            // Something inside the dialog's event loop disconnected the device.
            w->get_main_connect_status(false);
            a.file = path;
        }
        return a;
    });
    QSignalSpy status(w.get(), &MainWindow::send_main_record_status);
    w->get_main_playmode_record(true);
    ASSERT_EQ(status.count(), 1);
    EXPECT_FALSE(status.at(0).at(0).toBool());
    EXPECT_FALSE(w->is_recording());
    EXPECT_FALSE(QFile::exists(path));
}
