#include "tests/support/qt_fixtures.h"
#include "tools/tool_playbar.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>

#include <string>
#include <vector>

namespace {

class playbar_test : public widget_test {
protected:
    template <class T>
    T* child(const char* name) { return control<T>(&bar, name); }
    QPushButton* button(const char* name) { return child<QPushButton>(name); }
    QString counter() { return child<QLineEdit>("le_frame_control")->text(); }

    // Records the play/stop/slider emissions as text, in order.
    void record_emissions() {
        QObject::connect(&bar, &tool_playbar::send_tool_play_button,
                         [this](bool v) { log.push_back(std::string("play ") + (v ? "1" : "0")); });
        QObject::connect(&bar, &tool_playbar::send_tool_stop_button,
                         [this](bool v) { log.push_back(std::string("stop ") + (v ? "1" : "0")); });
        QObject::connect(&bar, &tool_playbar::send_tool_slider_status,
                         [this](bool v) { log.push_back(std::string("slider ") + (v ? "1" : "0")); });
    }

    // Answers record requests as MainWindow does: status `answer` for a start
    // request, false for a stop request.
    void answer_record_with(bool answer) {
        QObject::connect(&bar, &tool_playbar::send_tool_record,
                         [this, answer](bool on) { bar.get_tool_record_status(on ? answer : false); });
    }

    tool_playbar bar;
    std::vector<std::string> log;
};

TEST_F(playbar_test, form_starts_as_documented) {
    struct expected_button {
        const char* name;
        const char* tip;
        const char* icon;
    };
    const expected_button buttons[] = {{"btn_play", "Play", "icon_play"},         {"btn_pause", "Pause", "icon_pause"},
                                       {"btn_stop", "Stop", "icon_stop"},         {"btn_repeat", "Repeat On", "icon_repeat"},
                                       {"btn_record", "Record", "icon_record"},   {"btn_capture", "Capture", "icon_capture"}};
    for (const auto& b : buttons) {
        QPushButton* w = button(b.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->minimumSize(), QSize(30, 30)) << b.name;
        EXPECT_EQ(w->maximumSize(), QSize(30, 30)) << b.name;
        EXPECT_EQ(w->toolTip(), b.tip);
        EXPECT_EQ(w->styleSheet(), QString("QPushButton{image: url(:/icon/icon/%1.png)}").arg(b.icon));
        EXPECT_TRUE(w->text().isEmpty());
    }
    auto* frame_control = child<QLineEdit>("le_frame_control");
    EXPECT_EQ(frame_control->text(), "Frame: [0/0]");
    EXPECT_TRUE(frame_control->isReadOnly());
    EXPECT_TRUE(frame_control->alignment() & Qt::AlignHCenter);
    auto* speed = child<QDoubleSpinBox>("sb_speed");
    EXPECT_EQ(speed->decimals(), 1);
    EXPECT_DOUBLE_EQ(speed->minimum(), 0.1);
    EXPECT_DOUBLE_EQ(speed->maximum(), 10.0);
    EXPECT_DOUBLE_EQ(speed->value(), 1.0);
    EXPECT_DOUBLE_EQ(bar.speed, 1.0);
    EXPECT_EQ(child<QLineEdit>("le_fps")->text(), "0 FPS");
    EXPECT_NE(child<QSlider>("sl_frame_control"), nullptr);
    bar.show();
    EXPECT_FALSE(child<QLineEdit>("le_frame")->isVisible());
    EXPECT_TRUE(child<QLineEdit>("le_frame")->isReadOnly());
    EXPECT_FALSE(bar.repeat);
    EXPECT_FALSE(bar.recording);
}

TEST_F(playbar_test, play_pause_stop_and_slider_emit_in_order) {
    record_emissions();
    button("btn_play")->click();
    button("btn_pause")->click();
    button("btn_stop")->click();
    auto* slider = child<QSlider>("sl_frame_control");
    emit slider->sliderPressed();
    emit slider->sliderReleased();
    const std::vector<std::string> expected = {"play 1",  "stop 0", "play 0",   "stop 0",  "play 0",
                                               "stop 1", "slider 0", "slider 1"};
    EXPECT_EQ(log, expected);
}

TEST_F(playbar_test, speed_change_is_stored_and_sent) {
    QSignalSpy spy(&bar, &tool_playbar::send_tool_speed);
    child<QDoubleSpinBox>("sb_speed")->setValue(2.0);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_DOUBLE_EQ(spy.at(0).at(0).toDouble(), 2.0);
    EXPECT_DOUBLE_EQ(bar.speed, 2.0);
}

TEST_F(playbar_test, frame_counter_and_slider_follow_the_recording) {
    QSignalSpy frames(&bar, &tool_playbar::send_tool_current_frame);
    auto* slider = child<QSlider>("sl_frame_control");
    bar.set_total_frame(10);
    EXPECT_EQ(slider->maximum(), 9);
    EXPECT_EQ(counter(), "Frame : [0/10]");

    bar.set_current_frame(3);
    EXPECT_EQ(counter(), "Frame : [3/10]");
    EXPECT_EQ(slider->value(), 3);
    // The slider's own change notification echoes the frame back.
    ASSERT_EQ(frames.count(), 1);
    EXPECT_EQ(frames.at(0).at(0).value<uint64_t>(), 3u);

    // Moving the slider seeks.
    slider->setValue(7);
    ASSERT_EQ(frames.count(), 2);
    EXPECT_EQ(frames.at(1).at(0).value<uint64_t>(), 7u);
    EXPECT_EQ(counter(), "Frame : [7/10]");
    EXPECT_DOUBLE_EQ(bar.current_frame, 7);
}

TEST_F(playbar_test, counter_reads_total_after_the_last_frame) {
    auto* slider = child<QSlider>("sl_frame_control");
    bar.set_total_frame(5);
    bar.set_current_frame(4);
    QSignalSpy frames(&bar, &tool_playbar::send_tool_current_frame);
    bar.set_current_frame(5);
    EXPECT_EQ(counter(), "Frame : [5/5]");
    EXPECT_EQ(slider->value(), 4);
    EXPECT_EQ(frames.count(), 0);
}

TEST_F(playbar_test, short_recordings_keep_a_valid_slider_range) {
    auto* slider = child<QSlider>("sl_frame_control");
    bar.set_total_frame(1);
    EXPECT_EQ(slider->maximum(), 0);
    EXPECT_EQ(counter(), "Frame : [0/1]");

    // An empty recording must not open a negative range the slider could
    // report as a frame index.
    bar.set_total_frame(0);
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 0);
    EXPECT_EQ(counter(), "Frame : [0/0]");
}

TEST_F(playbar_test, opening_a_shorter_recording_does_not_seek) {
    bar.set_total_frame(1000);
    bar.set_current_frame(500);
    QSignalSpy frames(&bar, &tool_playbar::send_tool_current_frame);
    bar.set_total_frame(100);
    EXPECT_EQ(child<QSlider>("sl_frame_control")->maximum(), 99);
    EXPECT_EQ(frames.count(), 0);
}

TEST_F(playbar_test, frame_rate_text) {
    bar.get_tool_FPS(20);
    EXPECT_EQ(child<QLineEdit>("le_fps")->text(), "20 FPS");
    bar.get_tool_FPS(9.87654321);
    EXPECT_EQ(child<QLineEdit>("le_fps")->text(), "9.87654 FPS");
}

TEST_F(playbar_test, repeat_toggles_tool_tip_and_image) {
    QPushButton* b = button("btn_repeat");
    b->click();
    EXPECT_TRUE(bar.repeat);
    EXPECT_EQ(b->toolTip(), "Repeat Off");
    EXPECT_EQ(b->styleSheet(), "QPushButton{image: url(:/icon/icon/icon_repeat_1x.png)}");
    b->click();
    EXPECT_FALSE(bar.repeat);
    EXPECT_EQ(b->toolTip(), "Repeat On");
    EXPECT_EQ(b->styleSheet(), "QPushButton{image: url(:/icon/icon/icon_repeat.png)}");
}

TEST_F(playbar_test, stream_mode_disables_only_the_play_controls) {
    const char* play_controls[] = {"btn_play", "btn_pause", "btn_stop", "btn_repeat", "sb_speed", "sl_frame_control"};
    bar.get_tool_stream_mode(true);
    for (const char* name : play_controls) EXPECT_FALSE(child<QWidget>(name)->isEnabled()) << name;
    EXPECT_TRUE(button("btn_record")->isEnabled());
    EXPECT_TRUE(button("btn_capture")->isEnabled());
    bar.get_tool_stream_mode(false);
    for (const char* name : play_controls) EXPECT_TRUE(child<QWidget>(name)->isEnabled()) << name;
}

TEST_F(playbar_test, record_twice_starts_and_stops) {
    answer_record_with(true);
    QSignalSpy spy(&bar, &tool_playbar::send_tool_record);
    bar.show();
    QPushButton* b = button("btn_record");
    auto* clock = child<QLineEdit>("le_frame");

    b->click();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_TRUE(bar.recording);
    EXPECT_EQ(b->toolTip(), "Record Stop");
    EXPECT_EQ(b->styleSheet(), "QPushButton{image: url(:/icon/icon/icon_record_stop.png)}");
    EXPECT_TRUE(clock->isVisible());
    EXPECT_TRUE(wait_until([&] { return clock->text().startsWith("Record : 00m:0"); }, 2000)) << clock->text().toStdString();

    b->click();
    ASSERT_EQ(spy.count(), 2);
    EXPECT_FALSE(spy.at(1).at(0).toBool());
    EXPECT_FALSE(bar.recording);
    EXPECT_EQ(b->toolTip(), "Record");
    EXPECT_EQ(b->styleSheet(), "QPushButton{image: url(:/icon/icon/icon_record.png)}");
    EXPECT_FALSE(clock->isVisible());
    pump(20); // the clock must have stopped: nothing refills the text
    EXPECT_TRUE(clock->text().isEmpty());
}

TEST_F(playbar_test, cancelled_record_dialog_leaves_recording_off) {
    answer_record_with(false);
    QSignalSpy spy(&bar, &tool_playbar::send_tool_record);
    bar.show();
    QPushButton* b = button("btn_record");
    auto* clock = child<QLineEdit>("le_frame");

    b->click();
    EXPECT_FALSE(bar.recording);
    EXPECT_EQ(b->toolTip(), "Record");
    EXPECT_FALSE(clock->isVisible()); // no clock without a recording
    pump(20);
    EXPECT_TRUE(clock->text().isEmpty());

    // The next press asks to start again rather than to stop.
    b->click();
    ASSERT_EQ(spy.count(), 2);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_TRUE(spy.at(1).at(0).toBool());
}

TEST_F(playbar_test, capture_emits_the_chosen_name_only) {
    QSignalSpy spy(&bar, &tool_playbar::send_tool_capture);
    button("btn_capture")->click(); // no answer queued: cancelled
    EXPECT_EQ(spy.count(), 0);
    ASSERT_EQ(dialogs.seen.size(), 1u);
    const dialog_seam::request& req = dialogs.seen[0];
    EXPECT_EQ(req.type, dialog_seam::kind::save_file);
    EXPECT_EQ(req.title, "Save current point cloud / images");
    EXPECT_EQ(req.filter, "Point Cloud (.pcd) / Images (.png)");
    EXPECT_EQ(req.dir, QDir::homePath());

    const QString name = temp_path("frame_0001");
    dialogs.answer_file(name);
    button("btn_capture")->click();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), name);
}

} // namespace
