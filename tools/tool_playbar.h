// Play bar: play, pause, stop, repeat, seek and speed for an open recording,
// recording of the live stream, capture of the current frame, and the frame
// counter, frame rate and recording clock. It never calls the device
// library; MainWindow carries out what it asks for.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <cstdint>

class QTimer;

namespace Ui {
class tool_playbar;
}

class tool_playbar : public QWidget {
    Q_OBJECT

public:
    explicit tool_playbar(QWidget* parent = nullptr);
    ~tool_playbar() override;

    // Frame count of the open recording: the slider spans 0 .. n - 1.
    void set_total_frame(uint64_t n);

    QString capture_dir;       // not otherwise used
    double total_frame = 0;    // frame count of the open recording, for display
    double current_frame = 0;  // frame counter shown
    double speed = 1.0;        // last speed sent
    bool repeat = false;       // repeat at end of recording; read by MainWindow's frame tick
    bool recording = false;    // last record status received

signals:
    void send_tool_play_button(bool enable);
    void send_tool_stop_button(bool);
    void send_tool_speed(double val);
    void send_tool_current_frame(uint64_t);
    void send_tool_slider_status(bool);
    void send_tool_record(bool);
    void send_tool_capture(QString dir);

public slots:
    void get_tool_FPS(double);
    void get_tool_stream_mode(bool);
    void on_btn_play_clicked();
    void on_btn_pause_clicked();
    void on_btn_stop_clicked();
    void on_sb_speed_valueChanged(double);
    void on_btn_repeat_clicked();
    void on_sl_frame_control_sliderPressed();
    void on_sl_frame_control_sliderReleased();
    void on_sl_frame_control_valueChanged();
    void on_btn_record_clicked();
    void get_tool_record_status(bool);
    void on_btn_capture_clicked();
    void get_tool_record_frame();

    // Current frame: moves the slider (whose change notification echoes the
    // value back through send_tool_current_frame) and shows the counter.
    void set_current_frame(uint64_t n);

private:
    void show_frame_counter();

    Ui::tool_playbar* ui;
    QTimer* record_timer = nullptr;  // drives the recording clock
    QElapsedTimer record_start;      // started when recording starts
};
