// Main window against the GX emulator over loopback: stream connect and
// disconnect, frame delivery, recording on disconnect, closing while connected.
#include "app/MainWindow.h"
#include "menus/menu_connection.h"
#include "tests/support/emulator_process.h"
#include "tests/support/qt_fixtures.h"
#include "tools/tool_playbar.h"
#include "tools/tool_user.h"
#include "viewers/viewer_image.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <memory>

namespace {

class MainWindowStreamTest : public widget_test {
protected:
    void SetUp() override {
        widget_test::SetUp();
        ASSERT_TRUE(emu.start()) << "the emulator did not start";
    }

    std::unique_ptr<MainWindow> connected_window() {
        auto w = std::make_unique<MainWindow>();
        w->user_tool()->connection->set_connection_values("127.0.0.1", emu.port(), "127.0.0.1", 0);
        w->get_main_connect_status(true);
        return w;
    }

    emulator_process emu{{"--fps", "25"}};
};


} // namespace

TEST_F(MainWindowStreamTest, ConnectStartsBothTimersAndDeliversFramesInOrder) {
    MainWindow w;
    w.user_tool()->connection->set_connection_values("127.0.0.1", emu.port(), "127.0.0.1", 0);
    QSignalSpy logs(&w, &MainWindow::send_main_log_message);
    QSignalSpy stream(&w, &MainWindow::send_main_stream_mode);
    QSignalSpy buttons(&w, &MainWindow::send_main_btn_connect_control);
    std::vector<QString> network;
    QObject::connect(&w, &MainWindow::send_main_current_network, [&](std::vector<QString>& n) { network = n; });
    // Receivers in connection order: the image view runs before anything connected later.
    QStringList order;
    QObject::connect(w.image_view(), &viewer_image::send_viewer_image_ambient_img, [&](cv::Mat) { order << "image"; });
    // Each delivered frame's number and stamp with the rate shown after it.
    struct delivery {
        std::uint32_t number;
        std::uint64_t stamp;
        double rate;
    };
    std::vector<delivery> delivered;
    QObject::connect(&w, &MainWindow::send_main_data, [&](TAVRIN::DadodUz::scene_t& s) {
        order << "later";
        EXPECT_EQ(s.rows * s.cols, s.ambient.size());
        ASSERT_FALSE(s.timestamp.empty());
        delivered.push_back({s.frame_number, s.timestamp[0], -1.0});
    });
    QObject::connect(&w, &MainWindow::send_main_playmode_FPS, [&](double rate) {
        if (!delivered.empty()) delivered.back().rate = rate;
    });

    w.get_main_connect_status(true);
    ASSERT_NE(w.device_handle(), nullptr);
    EXPECT_TRUE(dialogs.seen.empty()) << (dialogs.seen.empty() ? "" : dialogs.seen[0].text.toStdString());
    EXPECT_TRUE(spied_texts(logs).contains("[Stream mode] Connect GX device"));
    ASSERT_GE(stream.count(), 1);
    EXPECT_TRUE(stream.last().at(0).toBool());
    ASSERT_GE(buttons.count(), 1);
    EXPECT_TRUE(buttons.last().at(0).toBool());
    EXPECT_EQ(network, (std::vector<QString>{"127.0.0.1", QString::number(emu.port()), "127.0.0.1", "0"}));
    EXPECT_TRUE(w.frame_tick_timer()->isActive());
    EXPECT_EQ(w.frame_tick_timer()->interval(), 0);
    EXPECT_TRUE(w.message_tick_timer()->isActive());
    EXPECT_EQ(w.message_tick_timer()->interval(), 100);

    ASSERT_TRUE(wait_until(
        [&] { return w.frames_emitted() >= 5 && !delivered.empty() && delivered.back().rate >= 0; }, 60000));
    ASSERT_GE(order.size(), 4);
    for (int i = 0; i + 1 < order.size(); i += 2) {
        EXPECT_EQ(order[i], "image");
        EXPECT_EQ(order[i + 1], "later");
    }
    // From the second frame on the rate is the sensor's, read from its stamps
    // (10 ns ticks) of the last two frames delivered: at most 25 FPS over the
    // frames it sent, 25 / n after n - 1 skipped ones (a slow machine skips
    // some, and a late sensor stamps its frames late).
    for (std::size_t i = 1; i < delivered.size(); ++i) {
        const delivery& d = delivered[i];
        if (d.rate < 0) continue;
        ASSERT_GT(d.number, delivered[i - 1].number) << "frames in order";
        ASSERT_GT(d.stamp, delivered[i - 1].stamp);
        EXPECT_DOUBLE_EQ(d.rate, 1e8 / double(d.stamp - delivered[i - 1].stamp)) << "frame " << d.number;
        const double sent = d.number - delivered[i - 1].number;
        EXPECT_LE(d.rate * sent, 25.0 + 1e-6) << "frame " << d.number << " after " << sent - 1 << " skipped";
    }
}

TEST_F(MainWindowStreamTest, ConnectingWhileConnectedDoesNothing) {
    auto w = connected_window();
    TAVRIN::DadodUz* first = w->device_handle();
    ASSERT_NE(first, nullptr);
    QSignalSpy logs(w.get(), &MainWindow::send_main_log_message);
    QSignalSpy stream(w.get(), &MainWindow::send_main_stream_mode);
    w->get_main_device_connect();
    EXPECT_EQ(w->device_handle(), first);
    EXPECT_EQ(logs.count(), 0);
    EXPECT_EQ(stream.count(), 0);
    EXPECT_TRUE(dialogs.seen.empty());
}

TEST_F(MainWindowStreamTest, DisconnectStopsTheTimersAndReleasesTheDevice) {
    auto w = connected_window();
    ASSERT_NE(w->device_handle(), nullptr);
    QSignalSpy logs(w.get(), &MainWindow::send_main_log_message);
    QSignalSpy buttons(w.get(), &MainWindow::send_main_btn_connect_control);
    QElapsedTimer t;
    t.start();
    w->get_main_connect_status(false);
    EXPECT_LT(t.elapsed(), 3000) << "disconnect must be prompt";
    EXPECT_EQ(w->device_handle(), nullptr);
    EXPECT_TRUE(spied_texts(logs).contains("[Stream mode] Disconnect GX Device"));
    ASSERT_GE(buttons.count(), 1);
    EXPECT_FALSE(buttons.last().at(0).toBool());
    EXPECT_FALSE(w->message_tick_timer()->isActive());
    EXPECT_FALSE(w->frame_tick_timer()->isActive()) << "no idle 0 ms tick after disconnect";
    // The emulator serves the next client at once.
    w->get_main_connect_status(true);
    EXPECT_NE(w->device_handle(), nullptr);
}

TEST_F(MainWindowStreamTest, DisconnectingWhileRecordingFinishesAndEndsTheRecording) {
    auto w = connected_window();
    ASSERT_NE(w->device_handle(), nullptr);
    auto* record = control<QPushButton>(w->playbar_tool(), "btn_record");
    auto* clock = control<QLineEdit>(w->playbar_tool(), "le_frame");
    ASSERT_NE(record, nullptr);
    ASSERT_NE(clock, nullptr);
    QSignalSpy logs(w.get(), &MainWindow::send_main_log_message);
    const QString path = temp_path("stream.bin");
    dialogs.answer_file(path);
    record->click();
    ASSERT_TRUE(w->is_recording());
    EXPECT_EQ(dialogs.seen.back().title, "Record GX Data");
    EXPECT_EQ(dialogs.seen.back().filter, "GX Data(*.bin)");
    EXPECT_EQ(record->toolTip(), "Record Stop");
    EXPECT_TRUE(clock->isVisibleTo(w->playbar_tool()));
    ASSERT_TRUE(wait_until([&] { return w->frames_emitted() >= 10; }, 5000));

    w->get_main_connect_status(false);
    EXPECT_FALSE(w->is_recording()) << "the recording ends with the connection";
    EXPECT_EQ(record->toolTip(), "Record");
    EXPECT_EQ(record->styleSheet(), "QPushButton{image: url(:/icon/icon/icon_record.png)}");
    EXPECT_FALSE(clock->isVisibleTo(w->playbar_tool())) << "the record clock stops with it";

    TAVRIN::DadodUz reader;
    ASSERT_TRUE(reader.connect_file(path.toStdString()));
    std::uint64_t frames = 0;
    ASSERT_TRUE(reader.get_logging_file_size(frames));
    EXPECT_GE(frames, 5u);
    TAVRIN::DadodUz::scene_t s;
    EXPECT_TRUE(reader.get_scene(s, frames - 1)) << "the last frame is complete";

    // Later connections know nothing of that recording: no "incomplete" line on
    // the next disconnect, and the next press of record starts a new one.
    w->get_main_connect_status(true);
    ASSERT_NE(w->device_handle(), nullptr);
    w->get_main_connect_status(false);
    w->get_main_connect_status(true);
    ASSERT_NE(w->device_handle(), nullptr);
    const std::size_t before = dialogs.seen.size();
    dialogs.answer_file(temp_path("second.bin"));
    record->click();
    ASSERT_EQ(dialogs.seen.size(), before + 1) << "one file dialog and no warning";
    EXPECT_EQ(dialogs.seen.back().type, dialog_seam::kind::save_file);
    EXPECT_TRUE(w->is_recording());
    record->click();
    EXPECT_FALSE(w->is_recording());
    EXPECT_EQ(dialogs.seen.size(), before + 1) << "a complete recording stops without a warning";
    w->get_main_connect_status(false);
    for (const auto& call : logs)
        EXPECT_FALSE(call.at(0).toString().contains("incomplete")) << call.at(0).toString().toStdString();
}

TEST_F(MainWindowStreamTest, CancelledRecordDialogLeavesRecordingOff) {
    auto w = connected_window();
    QSignalSpy status(w.get(), &MainWindow::send_main_record_status);
    w->get_main_playmode_record(true); // no file queued: the dialog is cancelled
    ASSERT_EQ(status.count(), 1);
    EXPECT_FALSE(status.at(0).at(0).toBool());
    EXPECT_FALSE(w->is_recording());
}

TEST_F(MainWindowStreamTest, ClosingTheWindowStopsAndDisconnectsTheSensor) {
    const QString events = temp_path("events.txt");
    emulator_process sensor({"--events", events.toStdString()});
    ASSERT_TRUE(sensor.start());
    {
        MainWindow w;
        w.user_tool()->connection->set_connection_values("127.0.0.1", sensor.port(), "127.0.0.1", 0);
        w.get_main_connect_status(true);
        ASSERT_NE(w.device_handle(), nullptr);
        ASSERT_TRUE(wait_until([&] { return w.frames_emitted() >= 2; }, 5000));
        QSignalSpy closing(&w, &MainWindow::send_main_close_all);
        w.show();
        w.close();
        EXPECT_EQ(closing.count(), 1);
    } // destroyed: stop, disconnect, delete
    auto lines = [&] {
        QFile f(events);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return QStringList();
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    };
    ASSERT_TRUE(wait_until([&] { return lines().contains("disconnect"); }, 3000)) << lines().join(" | ").toStdString();
    const QStringList seen = lines();
    const int pause = seen.lastIndexOf("command PA");
    const int gone = seen.lastIndexOf("disconnect");
    EXPECT_GE(pause, 0) << "the sensor was told to stop its output: " << seen.join(" | ").toStdString();
    EXPECT_LT(pause, gone) << "stop comes before the disconnect";
    EXPECT_EQ(seen.first(), "connect");
    EXPECT_TRUE(seen.contains("command RN")) << "the run command was sent on connect";
}

TEST_F(MainWindowStreamTest, TheSensorVanishingMidStreamLeavesTheWindowUsable) {
    auto w = connected_window();
    ASSERT_TRUE(wait_until([&] { return w->frames_emitted() >= 2; }, 5000));
    emu.kill_hard();
    pump(500);
    const auto before = w->frames_emitted();
    pump(300);
    EXPECT_EQ(w->frames_emitted(), before) << "no frames from a vanished sensor";
    QElapsedTimer t;
    t.start();
    w->get_main_connect_status(false);
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(w->device_handle(), nullptr);
}
