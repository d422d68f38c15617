// The link health in the status bar and the automatic reconnection to a
// sensor that vanished, against the GX emulator over loopback.
#include "app/MainWindow.h"
#include "device/gx_recording.h"
#include "menus/menu_connection.h"
#include "tests/support/emulator_process.h"
#include "tests/support/qt_fixtures.h"
#include "tools/tool_link_health.h"
#include "tools/tool_user.h"

#include <QSignalSpy>
#include <memory>
#include <string>

namespace {

class MainWindowLinkTest : public widget_test {
protected:
    std::unique_ptr<MainWindow> connected_window(const emulator_process& sensor) {
        auto w = std::make_unique<MainWindow>();
        w->user_tool()->connection->set_connection_values("127.0.0.1", sensor.port(), "127.0.0.1", 0);
        w->get_main_connect_status(true);
        EXPECT_NE(w->device_handle(), nullptr);
        EXPECT_TRUE(wait_until([&] { return w->frames_emitted() >= 3; }, 5000));
        return w;
    }

    // The number at the end of the status bar piece that starts with `prefix` (-1 when absent).
    static long long figure(const MainWindow& w, const QString& prefix) {
        for (const QString& t : w.link_health_bar()->texts())
            if (t.startsWith(prefix)) return t.mid(prefix.size()).toLongLong();
        return -1;
    }

    static int lines_starting(const QSignalSpy& logs, const QString& start) {
        int n = 0;
        for (const QString& line : spied_texts(logs)) n += line.startsWith(start) ? 1 : 0;
        return n;
    }

    // A second emulator on the port of the first, which has gone.
    static std::unique_ptr<emulator_process> restart_on(const emulator_process& gone) {
        auto again = std::make_unique<emulator_process>(
            std::vector<std::string>{"--fps", "25", "--port", std::to_string(gone.port())});
        again->set_state_file(gone.state_file());
        EXPECT_TRUE(again->start());
        EXPECT_EQ(again->port(), gone.port());
        return again;
    }

    const QString lost_line = "[Stream mode] GX device is not answering.";
    const QString back_line = "[Stream mode] GX device answers again.";
};

} // namespace

TEST_F(MainWindowLinkTest, TheStatusBarFollowsTheLibraryCountsWhileFragmentsAreLost) {
    emulator_process emu({"--fps", "25", "--drop-fragments", "0.002"});
    ASSERT_TRUE(emu.start());
    auto w = connected_window(emu);
    ASSERT_TRUE(w->health_tick_timer()->isActive());
    EXPECT_EQ(w->health_tick_timer()->interval(), 500);
    ASSERT_TRUE(wait_until([&] { return w->device_handle()->get_link_statistics().frames_dropped >= 2; }, 8000));

    // Each figure lies between the library's counts just before and just after the refresh.
    const auto before = w->device_handle()->get_link_statistics();
    w->on_health_timer();
    const auto after = w->device_handle()->get_link_statistics();
    const QStringList shown = w->link_health_bar()->texts();
    ASSERT_EQ(shown.size(), 4) << shown.join(" | ").toStdString();
    EXPECT_TRUE(shown[0].endsWith(" fps"));
    const struct {
        const char* prefix;
        std::uint64_t low, high;
    } figures[] = {
        {"Received ", before.frames_received, after.frames_received},
        {"Dropped ", before.frames_dropped + before.frames_overwritten, after.frames_dropped + after.frames_overwritten},
        {"Datagrams lost ", before.fragments_lost, after.fragments_lost},
    };
    for (const auto& f : figures) {
        const long long v = figure(*w, f.prefix);
        EXPECT_GE(v, (long long)f.low) << f.prefix;
        EXPECT_LE(v, (long long)f.high) << f.prefix;
    }
    EXPECT_GT(figure(*w, "Datagrams lost "), 0);
    // A drop turns the count to the warning colour.
    EXPECT_TRUE(wait_until([&] { return w->link_health_bar()->alert("Dropped "); }, 5000));

    // Recording adds its counts, which grow with the file.
    const QString path = temp_path("health.bin");
    dialogs.answer_file(path);
    w->get_main_playmode_record(true);
    ASSERT_TRUE(w->is_recording());
    EXPECT_TRUE(wait_until([&] { return figure(*w, "Recorded ") >= 5; }, 5000));
    EXPECT_EQ(figure(*w, "Not recorded "), 0);
    w->get_main_playmode_record(false);
    w->on_health_timer();
    EXPECT_EQ(figure(*w, "Recorded "), -1) << "shown only while recording";

    w->get_main_connect_status(false);
    EXPECT_TRUE(w->link_health_bar()->texts().isEmpty());
}

TEST_F(MainWindowLinkTest, AVanishedSensorIsFoundAgainWithoutAClickAndTheRecordingIsKept) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    auto w = connected_window(emu);
    QSignalSpy logs(w.get(), &MainWindow::send_main_log_message);
    QSignalSpy recording(w.get(), &MainWindow::send_main_record_status);
    QSignalSpy stream(w.get(), &MainWindow::send_main_stream_mode);
    const QString path = temp_path("kept.bin");
    dialogs.answer_file(path);
    w->get_main_playmode_record(true);
    ASSERT_TRUE(w->is_recording());
    ASSERT_TRUE(wait_until([&] { return w->device_handle()->get_link_statistics().frames_recorded >= 10; }, 5000));

    emu.kill_hard();
    ASSERT_TRUE(wait_until([&] { return w->is_reconnecting(); }, 6000));
    EXPECT_EQ(w->device_handle(), nullptr);
    EXPECT_FALSE(w->is_recording());
    ASSERT_GE(recording.count(), 2);
    EXPECT_FALSE(recording.last().at(0).toBool());
    EXPECT_TRUE(spied_texts(logs).contains("[Stream mode] Recording saved : " + path));
    EXPECT_EQ(stream.count(), 0) << "the window stays in stream mode while it seeks the sensor";
    {
        // The file is finished: its index is written and every frame reads.
        gx::recording_reader reader;
        ASSERT_TRUE(reader.open(path.toStdString()));
        EXPECT_FALSE(reader.index_was_rebuilt());
        ASSERT_GE(reader.frames(), 10u);
        std::vector<std::uint8_t> frame;
        for (std::uint64_t i = 0; i < reader.frames(); ++i) EXPECT_TRUE(reader.read(i, frame, nullptr)) << i;
    }
    ASSERT_TRUE(wait_until([&] { return w->link_health_bar()->texts().join("").contains("reconnecting (attempt"); }, 3000));
    pump(2500); // attempts against a closed port
    EXPECT_EQ(lines_starting(logs, lost_line), 1) << "the loss is logged once";

    const auto shown = w->frames_emitted();
    auto again = restart_on(emu);
    ASSERT_TRUE(wait_until([&] { return w->frames_emitted() >= shown + 5; }, 8000)) << "frames flow again";
    EXPECT_FALSE(w->is_reconnecting());
    EXPECT_EQ(lines_starting(logs, back_line), 1);
    EXPECT_TRUE(spied_texts(logs).contains("[Stream mode] Connect GX device"));
    EXPECT_FALSE(w->is_recording()) << "no new recording is started";
    EXPECT_TRUE(wait_until([&] { return figure(*w, "Received ") > 0; }, 2000));
}

TEST_F(MainWindowLinkTest, OnlyASensorThatStopsAnsweringIsSoughtAndOnPurposeEndsTheSearch) {
    // stopped: told to stop, it sends no frames but still answers;
    // disconnect: the operator ends the search for a vanished sensor;
    // reset: the sensor closes the connection on purpose and is back by itself 1.5 s later.
    enum class how { stopped, disconnect, reset };
    for (const how c : {how::stopped, how::disconnect, how::reset}) {
        SCOPED_TRACE(int(c));
        emulator_process emu({"--fps", "25"});
        ASSERT_TRUE(emu.start());
        auto w = connected_window(emu);
        QSignalSpy logs(w.get(), &MainWindow::send_main_log_message);
        std::unique_ptr<emulator_process> again;
        if (c == how::stopped) {
            w->get_main_device_stop();
        } else if (c == how::reset) {
            w->get_main_device_reset();
        } else {
            emu.kill_hard();
            ASSERT_TRUE(wait_until([&] { return w->is_reconnecting(); }, 6000));
            QSignalSpy stream(w.get(), &MainWindow::send_main_stream_mode);
            w->get_main_connect_status(false);
            EXPECT_FALSE(w->is_reconnecting());
            ASSERT_EQ(stream.count(), 1);
            EXPECT_FALSE(stream.last().at(0).toBool());
            again = restart_on(emu);
        }
        if (c != how::stopped) {
            EXPECT_EQ(w->device_handle(), nullptr);
            EXPECT_TRUE(spied_texts(logs).contains("[Stream mode] Disconnect GX Device"));
        }
        pump(5000);
        EXPECT_EQ(w->device_handle() != nullptr, c == how::stopped) << "no connection made or dropped without a click";
        EXPECT_FALSE(w->is_reconnecting());
        EXPECT_EQ(lines_starting(logs, back_line), 0);
        EXPECT_EQ(lines_starting(logs, lost_line), c == how::disconnect ? 1 : 0);
        EXPECT_EQ(w->link_health_bar()->texts().isEmpty(), c != how::stopped);
    }
}
