// Main window in play mode: recordings written by the device library's
// recording writer, played through the play bar. The frame timer is stopped
// after opening and the ticks are driven by hand, so every tick's effect is
// seen on its own.
#include "app/MainWindow.h"
#include "app/startup.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "emulator/gx_factory_registers.h"
#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"
#include "tools/tool_link_health.h"
#include "tools/tool_playbar.h"
#include "tools/tool_user.h"

#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using scene_t = TAVRIN::DadodUz::scene_t;
using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;

constexpr std::uint64_t kTicksAt10Fps = 10000000; // 10 ns ticks between frames at 10 frames/s
constexpr std::uint64_t kTicksAt25Fps = 4000000;
constexpr std::uint32_t kFirstFrameNumber = 100;
constexpr std::uint32_t kFirstScanCount = 500;

// Writes a recording with the library's writer: frame i carries the sensor
// frame number 100 + i, the time stamp stamps[i], ambient 1000 + i in every
// pixel, and a status packet whose scan count is 500 + i.
bool write_recording(const QString& path, const std::vector<std::uint64_t>& stamps) {
    gx::recording_writer writer;
    if (!writer.open(path.toStdString())) return false;
    const gx::register_set defaults = gx::default_registers();
    const float* lens = defaults.config.lens_coe;
    for (std::size_t i = 0; i < stamps.size(); ++i) {
        scene_t s = synthetic::make_scene(10, 40, i);
        s.timestamp.assign(1, stamps[i]);
        s.frame_number = kFirstFrameNumber + std::uint32_t(i);
        std::fill(s.ambient.begin(), s.ambient.end(), std::uint16_t(1000 + i));
        gx::frame_info info;
        info.stream_mode = 0;
        std::copy(lens, lens + 12, info.lens.begin());
        sensing_packet_t status{};
        status.xadc_scan_count = kFirstScanCount + std::uint32_t(i);
        if (!writer.push(gx::encode_frame(s, info), status)) return false;
    }
    return writer.close() && writer.frames_written() == stamps.size();
}

std::vector<std::uint64_t> evenly_spaced(int n, std::uint64_t step) {
    std::vector<std::uint64_t> stamps;
    for (int i = 0; i < n; ++i) stamps.push_back(123456789ull + std::uint64_t(i) * step);
    return stamps;
}

// Sensor frame numbers of the frames the window sent to the views.
struct shown_frames {
    explicit shown_frames(MainWindow& w) {
        QObject::connect(&w, &MainWindow::send_main_data, &w, [this](scene_t& s) {
            numbers.push_back(s.frame_number);
            EXPECT_EQ(s.ambient.size(), std::size_t(s.rows) * s.cols);
            if (!s.ambient.empty()) {
                EXPECT_EQ(s.ambient[0], 1000 + (s.frame_number - kFirstFrameNumber));
            }
        });
    }
    std::vector<std::uint32_t> numbers;
};

// Scan counts of the status packets the window sent.
struct shown_status {
    explicit shown_status(MainWindow& w) {
        QObject::connect(&w, &MainWindow::send_main_status_data, &w,
                         [this](sensing_packet_t& p) { scan_counts.push_back(p.xadc_scan_count); });
    }
    std::vector<std::uint32_t> scan_counts;
};

std::vector<std::uint32_t> frames(std::initializer_list<std::uint32_t> indices) {
    std::vector<std::uint32_t> out;
    for (auto i : indices) out.push_back(kFirstFrameNumber + i);
    return out;
}

} // namespace

class MainWindowPlayTest : public widget_test {
protected:
    QString recording(const QString& name, const std::vector<std::uint64_t>& stamps) {
        const QString path = temp_path(name);
        EXPECT_TRUE(write_recording(path, stamps)) << name.toStdString();
        return path;
    }

    // Opens the recording as the user tool bar's load button does, then
    // stops the frame timer so that the test drives the ticks.
    void open(MainWindow& w, const QString& path) {
        w.user_tool()->file_path = path;
        w.get_main_playmode_status(true);
        ASSERT_NE(w.device_handle(), nullptr);
        ASSERT_TRUE(w.is_play_mode());
        w.frame_tick_timer()->stop();
    }

    // Runs one frame tick and returns the frames it sent.
    static std::vector<std::uint32_t> tick(MainWindow& w, shown_frames& shown) {
        shown.numbers.clear();
        w.on_frame_timer();
        return shown.numbers;
    }

    template <class T>
    static T* child(MainWindow& w, const char* name) { return control<T>(w.playbar_tool(), name); }
    static void press(MainWindow& w, const char* button) { child<QPushButton>(w, button)->click(); }
    static QString counter(MainWindow& w) { return child<QLineEdit>(w, "le_frame_control")->text(); }
    static QSlider* slider(MainWindow& w) { return child<QSlider>(w, "sl_frame_control"); }
};

// ---- opening --------------------------------------------------------------

TEST_F(MainWindowPlayTest, EmptyAndSingleFrameRecordingsShowTenFpsAndTickEvery100ms) {
    for (int n : {0, 1}) {
        SCOPED_TRACE(n);
        const QString path = recording(QString("tiny%1.bin").arg(n), evenly_spaced(n, kTicksAt25Fps));
        MainWindow w;
        QSignalSpy fps(&w, &MainWindow::send_main_playmode_FPS);
        w.user_tool()->file_path = path;
        w.get_main_playmode_status(true);
        ASSERT_NE(w.device_handle(), nullptr);
        EXPECT_TRUE(dialogs.seen.empty());
        ASSERT_EQ(fps.count(), 1);
        EXPECT_EQ(fps.at(0).at(0).toDouble(), 10.0);
        EXPECT_EQ(w.playmode_rate(), 10.0);
        EXPECT_TRUE(w.frame_tick_timer()->isActive());
        EXPECT_EQ(w.frame_tick_timer()->interval(), 100);
        EXPECT_EQ(w.playmode_total_frames(), std::uint64_t(n));
        EXPECT_EQ(slider(w)->maximum(), 0);
        EXPECT_EQ(counter(w), QString("Frame : [0/%1]").arg(n));
        EXPECT_EQ(child<QLineEdit>(w, "le_fps")->text(), "10 FPS");

        w.frame_tick_timer()->stop();
        shown_frames shown(w);
        press(w, "btn_play");
        if (n == 1) {
            EXPECT_EQ(tick(w, shown), frames({0}));
            EXPECT_EQ(counter(w), "Frame : [1/1]");
        }
        EXPECT_TRUE(tick(w, shown).empty()) << "the end of the recording holds";
        EXPECT_EQ(w.playmode_current_frame(), std::uint64_t(n));
        EXPECT_EQ(slider(w)->value(), 0);
    }
}

TEST_F(MainWindowPlayTest, OpeningTakesTheRateFromTheFirstTwoStampsAndLogs) {
    const QString path = recording("rate.bin", evenly_spaced(6, kTicksAt25Fps));
    MainWindow w;
    QSignalSpy logs(&w, &MainWindow::send_main_log_message);
    QSignalSpy stream(&w, &MainWindow::send_main_stream_mode);
    open(w, path);
    EXPECT_DOUBLE_EQ(w.playmode_rate(), 25.0);
    EXPECT_EQ(w.playmode_total_frames(), 6u);
    EXPECT_EQ(w.playmode_current_frame(), 0u);
    EXPECT_EQ(slider(w)->maximum(), 5);
    EXPECT_EQ(counter(w), "Frame : [0/6]");
    ASSERT_EQ(stream.count(), 1);
    EXPECT_FALSE(stream.at(0).at(0).toBool());
    ASSERT_GE(logs.count(), 1);
    EXPECT_EQ(logs.last().at(0).toString(), "[Play mode] Connect File : " + path);
    // The play controls are usable for a recording.
    EXPECT_TRUE(child<QPushButton>(w, "btn_play")->isEnabled());
    EXPECT_TRUE(slider(w)->isEnabled());
}

TEST_F(MainWindowPlayTest, EqualOrReversedFirstStampsPlayAtTenFps) {
    const std::vector<std::vector<std::uint64_t>> cases = {
        {5000000, 5000000, 9000000}, // equal
        {9000000, 5000000, 13000000}, // reversed
    };
    for (const auto& stamps : cases) {
        SCOPED_TRACE(stamps[1]);
        const QString path = recording(QString("odd%1.bin").arg(stamps[1]), stamps);
        MainWindow w;
        QSignalSpy fps(&w, &MainWindow::send_main_playmode_FPS);
        open(w, path);
        EXPECT_EQ(w.playmode_rate(), 10.0);
        ASSERT_EQ(fps.count(), 1);
        EXPECT_EQ(fps.at(0).at(0).toDouble(), 10.0);
        // The rate is usable: speed 2 gives 50 ms ticks.
        child<QDoubleSpinBox>(w, "sb_speed")->setValue(2.0);
        EXPECT_EQ(w.frame_tick_timer()->interval(), 50);
        // And the frames still play in file order.
        shown_frames shown(w);
        press(w, "btn_play");
        EXPECT_EQ(tick(w, shown), frames({0}));
        EXPECT_EQ(tick(w, shown), frames({1}));
    }
}

// ---- playing --------------------------------------------------------------

TEST_F(MainWindowPlayTest, PlayAdvancesOneFramePerTickAndHoldsAtTheEndWithoutRepeat) {
    MainWindow w;
    open(w, recording("five.bin", evenly_spaced(5, kTicksAt10Fps)));
    shown_frames shown(w);
    EXPECT_TRUE(tick(w, shown).empty()) << "nothing plays before play is pressed";
    EXPECT_EQ(w.playmode_current_frame(), 0u);

    press(w, "btn_play");
    for (std::uint32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tick(w, shown), frames({i}));
        EXPECT_EQ(w.playmode_current_frame(), i + 1);
        EXPECT_EQ(slider(w)->value(), int(std::min<std::uint32_t>(i + 1, 4)));
        EXPECT_EQ(counter(w), QString("Frame : [%1/5]").arg(i + 1));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(tick(w, shown).empty());
        EXPECT_EQ(w.playmode_current_frame(), 5u);
        EXPECT_EQ(counter(w), "Frame : [5/5]");
        EXPECT_EQ(slider(w)->value(), 4);
    }
    EXPECT_EQ(w.frames_emitted(), 5u);
}

TEST_F(MainWindowPlayTest, RepeatJumpsToFrameZeroWithoutAFrameThenShowsFrameZero) {
    MainWindow w;
    open(w, recording("three.bin", evenly_spaced(3, kTicksAt10Fps)));
    shown_frames shown(w);
    press(w, "btn_play");
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(tick(w, shown), frames({i}));
    EXPECT_TRUE(tick(w, shown).empty());

    press(w, "btn_repeat");
    ASSERT_TRUE(w.playbar_tool()->repeat);
    EXPECT_TRUE(tick(w, shown).empty()) << "the jump back shows no frame";
    EXPECT_EQ(w.playmode_current_frame(), 0u);
    EXPECT_EQ(slider(w)->value(), 0);
    EXPECT_EQ(counter(w), "Frame : [0/3]");
    EXPECT_EQ(tick(w, shown), frames({0}));
    EXPECT_EQ(tick(w, shown), frames({1}));
    EXPECT_EQ(tick(w, shown), frames({2}));
    EXPECT_TRUE(tick(w, shown).empty());
    EXPECT_EQ(tick(w, shown), frames({0})) << "repeats again";
}

TEST_F(MainWindowPlayTest, StopRewindsOnTheNextTickAndSendsNothing) {
    MainWindow w;
    open(w, recording("stop.bin", evenly_spaced(5, kTicksAt10Fps)));
    shown_frames shown(w);
    press(w, "btn_play");
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(tick(w, shown), frames({i}));
    press(w, "btn_stop");
    EXPECT_EQ(w.playmode_current_frame(), 3u) << "stop takes effect at the next tick";
    // The views keep the last frame: no new frame is fetched or re-sent.
    EXPECT_TRUE(tick(w, shown).empty());
    EXPECT_EQ(w.playmode_current_frame(), 0u);
    EXPECT_EQ(slider(w)->value(), 0);
    EXPECT_EQ(counter(w), "Frame : [0/5]");
    EXPECT_TRUE(tick(w, shown).empty());
    EXPECT_EQ(w.playmode_current_frame(), 0u);
    press(w, "btn_play");
    EXPECT_EQ(tick(w, shown), frames({0})) << "play after stop starts from the beginning";
}

TEST_F(MainWindowPlayTest, PauseResendsTheCurrentFrameOnEveryTick) {
    MainWindow w;
    open(w, recording("pause.bin", evenly_spaced(5, kTicksAt10Fps)));
    shown_frames shown(w);
    press(w, "btn_pause");
    EXPECT_TRUE(tick(w, shown).empty()) << "no frame has been read yet";
    press(w, "btn_play");
    EXPECT_EQ(tick(w, shown), frames({0}));
    EXPECT_EQ(tick(w, shown), frames({1}));
    press(w, "btn_pause");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tick(w, shown), frames({1}));
        EXPECT_EQ(w.playmode_current_frame(), 2u);
    }
    press(w, "btn_play");
    EXPECT_EQ(tick(w, shown), frames({2})) << "play resumes where it paused";
}

TEST_F(MainWindowPlayTest, HeldSliderShowsTheFrameUnderItTwicePerTick) {
    MainWindow w;
    open(w, recording("seek.bin", evenly_spaced(10, kTicksAt10Fps)));
    shown_frames shown(w);
    QSlider* s = slider(w);
    press(w, "btn_play");
    EXPECT_EQ(tick(w, shown), frames({0}));

    s->setSliderDown(true); // pressed: the play bar tells the window the slider is held
    s->setValue(6);
    EXPECT_EQ(w.playmode_current_frame(), 6u);
    EXPECT_EQ(counter(w), "Frame : [6/10]");
    EXPECT_EQ(tick(w, shown), frames({6, 6}));
    EXPECT_EQ(w.playmode_current_frame(), 6u) << "a held slider does not advance";
    s->setValue(2);
    EXPECT_EQ(tick(w, shown), frames({2, 2}));

    // Held while stopped: the slider wins, nothing rewinds.
    press(w, "btn_stop");
    s->setValue(8);
    EXPECT_EQ(tick(w, shown), frames({8, 8}));
    EXPECT_EQ(w.playmode_current_frame(), 8u);

    // Released while playing: play continues from the slider's frame.
    press(w, "btn_play");
    s->setSliderDown(false);
    EXPECT_EQ(tick(w, shown), frames({8}));
    EXPECT_EQ(tick(w, shown), frames({9}));
    EXPECT_EQ(w.playmode_current_frame(), 10u);
}

TEST_F(MainWindowPlayTest, StatusPacketsAreReadByTheAdvancedFrameIndex) {
    MainWindow w;
    open(w, recording("status.bin", evenly_spaced(3, kTicksAt10Fps)));
    shown_frames shown(w);
    shown_status status(w);
    press(w, "btn_pause");
    w.on_frame_timer();
    EXPECT_EQ(status.scan_counts, std::vector<std::uint32_t>{kFirstScanCount + 0});
    press(w, "btn_play");
    status.scan_counts.clear();
    for (int i = 0; i < 4; ++i) w.on_frame_timer();
    // Frames 0, 1, 2 are shown with the status of records 1, 2 and none (past the end).
    EXPECT_EQ(status.scan_counts, (std::vector<std::uint32_t>{kFirstScanCount + 1, kFirstScanCount + 2}));
}

TEST_F(MainWindowPlayTest, SpeedRetimesTheTickAndShowsTheEffectiveRate) {
    MainWindow w;
    open(w, recording("speed.bin", evenly_spaced(4, kTicksAt10Fps)));
    ASSERT_DOUBLE_EQ(w.playmode_rate(), 10.0);
    QSignalSpy fps(&w, &MainWindow::send_main_playmode_FPS);
    auto* speed = child<QDoubleSpinBox>(w, "sb_speed");
    speed->setValue(2.0);
    EXPECT_EQ(w.frame_tick_timer()->interval(), 50);
    ASSERT_EQ(fps.count(), 1);
    EXPECT_DOUBLE_EQ(fps.at(0).at(0).toDouble(), 20.0);
    EXPECT_EQ(child<QLineEdit>(w, "le_fps")->text(), "20 FPS");
    speed->setValue(0.3);
    EXPECT_EQ(w.frame_tick_timer()->interval(), 333);
    EXPECT_EQ(child<QLineEdit>(w, "le_fps")->text(), "3 FPS");
}

TEST_F(MainWindowPlayTest, ADamagedFrameIsSkippedAndPlayGoesOn) {
    const QString path = recording("damaged.bin", evenly_spaced(4, kTicksAt10Fps));
    {
        // Flip one byte inside the stored frame of record 1; its header stays intact.
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        auto u32 = [&](qint64 at) {
            std::uint32_t v = 0;
            std::memcpy(&v, bytes.constData() + at, 4);
            return v;
        };
        const qint64 record1 = qint64(gx::kRecordingHeaderSize + gx::kRecordHeaderSize) + u32(gx::kRecordingHeaderSize + 16);
        ASSERT_EQ(u32(record1), gx::kRecordMagic);
        ASSERT_GT(u32(record1 + 16), 20u);
        bytes[int(record1 + gx::kRecordHeaderSize + 20)] = char(bytes[int(record1 + gx::kRecordHeaderSize + 20)] ^ 0x5a);
        f.seek(0);
        f.write(bytes);
    }
    MainWindow w;
    open(w, path);
    EXPECT_EQ(w.playmode_total_frames(), 4u);
    shown_frames shown(w);
    press(w, "btn_play");
    EXPECT_EQ(tick(w, shown), frames({0}));
    EXPECT_TRUE(tick(w, shown).empty()) << "the damaged frame is not shown";
    EXPECT_EQ(w.playmode_current_frame(), 2u) << "but play moves on";
    EXPECT_EQ(tick(w, shown), frames({2}));
    // Held on the damaged frame: the frame on screen is sent again, nothing else.
    QSlider* s = slider(w);
    s->setSliderDown(true);
    s->setValue(1);
    EXPECT_EQ(tick(w, shown), frames({2}));
    s->setValue(3);
    EXPECT_EQ(tick(w, shown), frames({3, 3}));
    EXPECT_TRUE(dialogs.seen.empty());
}

// ---- recording requests without a live stream -----------------------------

TEST_F(MainWindowPlayTest, RecordWithoutAConnectionDoesNothing) {
    MainWindow w;
    QSignalSpy status(&w, &MainWindow::send_main_record_status);
    press(w, "btn_record");
    EXPECT_TRUE(dialogs.seen.empty()) << "no file is asked for";
    EXPECT_EQ(status.count(), 0);
    EXPECT_FALSE(w.is_recording());
    EXPECT_EQ(child<QPushButton>(w, "btn_record")->toolTip(), "Record");
    EXPECT_FALSE(child<QLineEdit>(w, "le_frame")->isVisibleTo(w.playbar_tool())) << "no clock without a recording";
}

TEST_F(MainWindowPlayTest, RecordWhilePlayingAFileWarnsAndCreatesNothing) {
    MainWindow w;
    open(w, recording("playing.bin", evenly_spaced(3, kTicksAt10Fps)));
    QSignalSpy status(&w, &MainWindow::send_main_record_status);
    const QString target = temp_path("target.bin");
    dialogs.answer_file(target);
    press(w, "btn_record");
    ASSERT_EQ(status.count(), 1);
    EXPECT_FALSE(status.at(0).at(0).toBool());
    EXPECT_FALSE(w.is_recording());
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_EQ(dialogs.last_box()->title, "Warning");
    EXPECT_FALSE(QFile::exists(target)) << "a recording is only made from a live stream";
    EXPECT_EQ(child<QPushButton>(w, "btn_record")->toolTip(), "Record");
    // Playback goes on untouched.
    shown_frames shown(w);
    press(w, "btn_play");
    EXPECT_EQ(tick(w, shown), frames({0}));
}

// ---- closing and start-up -------------------------------------------------

TEST_F(MainWindowPlayTest, ClosingTheRecordingStopsTheFrameTimer) {
    const QString path = recording("close.bin", evenly_spaced(3, kTicksAt10Fps));
    MainWindow w;
    w.user_tool()->file_path = path;
    w.get_main_playmode_status(true);
    ASSERT_TRUE(w.frame_tick_timer()->isActive());
    QSignalSpy logs(&w, &MainWindow::send_main_log_message);
    QSignalSpy stream(&w, &MainWindow::send_main_stream_mode);
    w.get_main_playmode_status(false);
    EXPECT_EQ(w.device_handle(), nullptr);
    EXPECT_FALSE(w.frame_tick_timer()->isActive());
    ASSERT_EQ(logs.count(), 1);
    EXPECT_EQ(logs.at(0).at(0).toString(), "[Play mode] Disconnect File : " + path);
    ASSERT_EQ(stream.count(), 1);
    EXPECT_FALSE(stream.at(0).at(0).toBool());
    shown_frames shown(w);
    press(w, "btn_play");
    EXPECT_TRUE(tick(w, shown).empty()) << "a tick without a recording does nothing";
}

TEST_F(MainWindowPlayTest, CancelledLoadClosesTheOpenRecordingAndOpensNothing) {
    const QString path = recording("open.bin", evenly_spaced(3, kTicksAt10Fps));
    MainWindow w;
    w.user_tool()->file_path = path;
    w.get_main_playmode_status(true);
    ASSERT_NE(w.device_handle(), nullptr);
    QSignalSpy play_mode(w.user_tool(), &tool_user::send_tool_play_mode);
    control<QPushButton>(w.user_tool(), "btn_load")->click(); // no answer queued: cancelled
    ASSERT_EQ(play_mode.count(), 1);
    EXPECT_FALSE(play_mode.at(0).at(0).toBool());
    EXPECT_EQ(w.device_handle(), nullptr);
    EXPECT_FALSE(w.is_play_mode());
    EXPECT_FALSE(w.frame_tick_timer()->isActive());
    ASSERT_EQ(dialogs.seen.size(), 1u) << "only the file dialog, no message box";
    EXPECT_EQ(dialogs.seen[0].type, dialog_seam::kind::open_file);
}

TEST_F(MainWindowPlayTest, LoadingASecondRecordingReplacesTheFirst) {
    const QString first = recording("first.bin", evenly_spaced(8, kTicksAt10Fps));
    const QString second = recording("second.bin", evenly_spaced(3, kTicksAt25Fps));
    MainWindow w;
    open(w, first);
    shown_frames shown(w);
    press(w, "btn_play");
    for (std::uint32_t i = 0; i < 6; ++i) EXPECT_EQ(tick(w, shown), frames({i}));
    dialogs.answer_file(second);
    control<QPushButton>(w.user_tool(), "btn_load")->click();
    ASSERT_NE(w.device_handle(), nullptr);
    w.frame_tick_timer()->stop();
    EXPECT_EQ(w.playmode_total_frames(), 3u);
    EXPECT_EQ(w.playmode_current_frame(), 0u);
    EXPECT_DOUBLE_EQ(w.playmode_rate(), 25.0);
    EXPECT_EQ(slider(w)->maximum(), 2);
    EXPECT_EQ(slider(w)->value(), 0);
    EXPECT_EQ(counter(w), "Frame : [0/3]") << "no counter left over from the longer recording";
    // Still playing: the new recording starts at its first frame.
    EXPECT_EQ(tick(w, shown), frames({0}));
    EXPECT_EQ(w.playmode_current_frame(), 1u);
}

TEST_F(MainWindowPlayTest, PlayOptionOpensTheRecordingAndStartsPlaying) {
    const QString path = recording("option.bin", evenly_spaced(50, kTicksAt10Fps));
    startup::options opts;
    QString error;
    bool help = false;
    ASSERT_TRUE(startup::parse({"ro_vezovad", "--play", path}, opts, error, help)) << error.toStdString();
    EXPECT_EQ(opts.play_file, path);
    MainWindow w;
    shown_frames shown(w);
    startup::apply(opts, w);
    ASSERT_NE(w.device_handle(), nullptr);
    EXPECT_TRUE(w.is_play_mode());
    EXPECT_EQ(w.playmode_total_frames(), 50u);
    EXPECT_TRUE(w.frame_tick_timer()->isActive());
    EXPECT_EQ(w.frame_tick_timer()->interval(), 100);
    // The timer plays it: frames arrive in order without any button press.
    ASSERT_TRUE(wait_until([&] { return shown.numbers.size() >= 3; }, 3000));
    EXPECT_EQ(std::vector<std::uint32_t>(shown.numbers.begin(), shown.numbers.begin() + 3), frames({0, 1, 2}));
}

// The box stays as it is for every file that does not open; the log pane and
// the failure signal (stderr at start-up) carry the library's reason.
TEST_F(MainWindowPlayTest, PlayOptionWithAFileThatDoesNotOpenWarnsAndSaysWhy) {
    QFile whole(recording("whole.bin", evenly_spaced(3, kTicksAt25Fps)));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray good = whole.readAll();
    const auto variant = [&](const char* name, std::uint32_t version, int spoil) {  // header bytes changed
        QByteArray bytes = good;
        auto* h = reinterpret_cast<std::uint8_t*>(bytes.data());
        gx::put_u32(h + 8, version);
        gx::put_u32(h + 28, gx::crc32(h, 28) ^ spoil);
        QFile f(temp_path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        return f.fileName();
    };
    QFile text(temp_path("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("shopping list\n") > 0);
    text.close();
    const std::pair<QString, QString> cases[] = {
        {temp_path("missing.bin"), "missing.bin: "},  // then the system's words, in its language
        {temp_path(""), " is not a regular file"},
        {text.fileName(), "notes.txt is not a GX recording (no recording header)"},
        {variant("damaged.bin", 1, 1), "damaged.bin is not a GX recording (its header is damaged)"},
        {variant("future.bin", 2, 0), "future.bin is a GX recording of a version this library does not read"}};
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path.toStdString());
        startup::options opts;
        opts.play_file = path;
        MainWindow w;
        QSignalSpy play(w.playbar_tool(), &tool_playbar::send_tool_play_button), log(&w, &MainWindow::send_main_log_message),
            failed(&w, &MainWindow::send_main_open_failed);
        EXPECT_FALSE(startup::apply(opts, w));
        ASSERT_NE(dialogs.last_box(), nullptr);
        EXPECT_EQ(dialogs.last_box()->text, "Cannot read the binary file. Please check the file path.");
        EXPECT_FALSE(w.frame_tick_timer()->isActive());
        EXPECT_EQ(play.count(), 0);
        ASSERT_EQ(log.count(), 1);
        EXPECT_TRUE(log.at(0).at(0).toString().startsWith("[Play mode] Cannot open the file: "));
        EXPECT_TRUE(log.at(0).at(0).toString().contains(reason)) << log.at(0).at(0).toString().toStdString();
        ASSERT_EQ(failed.count(), 1);
        EXPECT_EQ(failed.at(0), QList<QVariant>({dialogs.last_box()->text, log.at(0).at(0).toString().mid(34)}));
    }
}

// ---- status bar -------------------------------------------------------------

TEST_F(MainWindowPlayTest, TheStatusBarNamesTheFileItsFramesAndTheDamagedOnes) {
    const QString whole = recording("whole.bin", evenly_spaced(5, kTicksAt25Fps));
    // The same recording cut off inside its last record.
    QFile source(whole);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    source.close();
    const QString cut = temp_path("cut off.bin");
    QFile target(cut);
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    const int last_record = bytes.lastIndexOf("REC1");
    ASSERT_GT(last_record, 0);
    target.write(bytes.left(last_record + 200));
    target.close();

    const struct {
        QString path;
        QStringList shown;
        bool alert;
    } cases[] = {
        {whole, {"Play whole.bin", "5 frames", "Damaged 0"}, false},
        {cut, {"Play cut off.bin", "4 frames", "Damaged 1"}, true},
    };
    for (const auto& c : cases) {
        MainWindow w;
        open(w, c.path);
        w.on_health_timer();
        EXPECT_EQ(w.link_health_bar()->texts(), c.shown);
        EXPECT_EQ(w.link_health_bar()->alert("Damaged"), c.alert);
        w.get_main_playmode_status(false);
        EXPECT_TRUE(w.link_health_bar()->texts().isEmpty());
    }
}
