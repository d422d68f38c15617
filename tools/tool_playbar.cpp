#include "tools/tool_playbar.h"

#include "widgets/dialog_seam.h"
#include "logic/playbar_text.h"
#include "ui_tool_playbar.h"

#include <QDir>
#include <QMetaType>
#include <QSignalBlocker>
#include <QTimer>

namespace {
const char* const kRepeatOffStyle = "QPushButton{image: url(:/icon/icon/icon_repeat.png)}";
const char* const kRepeatOnStyle = "QPushButton{image: url(:/icon/icon/icon_repeat_1x.png)}";
const char* const kRecordStyle = "QPushButton{image: url(:/icon/icon/icon_record.png)}";
const char* const kRecordStopStyle = "QPushButton{image: url(:/icon/icon/icon_record_stop.png)}";
constexpr int kRecordClockMs = 100;
} // namespace

tool_playbar::tool_playbar(QWidget* parent) : QWidget(parent), ui(new Ui::tool_playbar) {
    // Frame numbers travel as uint64_t; the name lets queued connections and
    // signal spies carry them.
    qRegisterMetaType<uint64_t>("uint64_t");
    ui->setupUi(this);
    speed = ui->sb_speed->value();
    ui->le_frame->hide();
    record_timer = new QTimer(this);
    connect(record_timer, &QTimer::timeout, this, &tool_playbar::get_tool_record_frame);
}

tool_playbar::~tool_playbar() { delete ui; }

void tool_playbar::show_frame_counter() {
    ui->le_frame_control->setText(QString::fromStdString(playbar_text::frame_counter(current_frame, total_frame)));
}

void tool_playbar::set_total_frame(uint64_t n) {
    total_frame = static_cast<double>(n);
    {
        // A shorter recording clamps the slider; that must not move
        // MainWindow's frame index, which it has just set itself.
        const QSignalBlocker block(ui->sl_frame_control);
        ui->sl_frame_control->setMaximum(playbar_text::slider_maximum(n));
    }
    show_frame_counter();
}

void tool_playbar::set_current_frame(uint64_t n) {
    current_frame = static_cast<double>(n);
    ui->sl_frame_control->setValue(playbar_text::slider_value(n));
    // Past the last frame the slider stays at its maximum while the counter
    // reads total/total.
    current_frame = static_cast<double>(n);
    show_frame_counter();
}

void tool_playbar::get_tool_FPS(double v) { ui->le_fps->setText(QString::fromStdString(playbar_text::fps(v))); }

void tool_playbar::get_tool_stream_mode(bool stream) {
    const bool enable = !stream;
    ui->btn_play->setEnabled(enable);
    ui->btn_pause->setEnabled(enable);
    ui->btn_stop->setEnabled(enable);
    ui->btn_repeat->setEnabled(enable);
    ui->sb_speed->setEnabled(enable);
    ui->sl_frame_control->setEnabled(enable);
}

void tool_playbar::on_btn_play_clicked() {
    emit send_tool_play_button(true);
    emit send_tool_stop_button(false);
}

void tool_playbar::on_btn_pause_clicked() {
    emit send_tool_play_button(false);
    emit send_tool_stop_button(false);
}

void tool_playbar::on_btn_stop_clicked() {
    emit send_tool_play_button(false);
    emit send_tool_stop_button(true);
}

void tool_playbar::on_sb_speed_valueChanged(double value) {
    speed = value;
    emit send_tool_speed(value);
}

void tool_playbar::on_btn_repeat_clicked() {
    repeat = !repeat;
    // The tool tip names the next action.
    if (repeat) {
        ui->btn_repeat->setToolTip(tr("Repeat Off"));
        ui->btn_repeat->setStyleSheet(kRepeatOnStyle);
    } else {
        ui->btn_repeat->setToolTip(tr("Repeat On"));
        ui->btn_repeat->setStyleSheet(kRepeatOffStyle);
    }
}

void tool_playbar::on_sl_frame_control_sliderPressed() { emit send_tool_slider_status(false); }

void tool_playbar::on_sl_frame_control_sliderReleased() { emit send_tool_slider_status(true); }

void tool_playbar::on_sl_frame_control_valueChanged() {
    const int value = ui->sl_frame_control->value();
    const uint64_t frame = value > 0 ? static_cast<uint64_t>(value) : 0;
    current_frame = static_cast<double>(frame);
    emit send_tool_current_frame(frame);
    show_frame_counter();
}

void tool_playbar::on_btn_record_clicked() {
    if (recording) {
        emit send_tool_record(false);
        record_timer->stop();
        ui->le_frame->clear();
        ui->le_frame->hide();
        return;
    }
    emit send_tool_record(true);
    // MainWindow answers within the emission (get_tool_record_status); the
    // clock only runs when a recording actually began.
    if (!recording) return;
    // The clock shows whole seconds: refreshing it ten times a second keeps it
    // current without spinning the event loop while frames are recorded.
    record_timer->start(kRecordClockMs);
    record_start.start();
    ui->le_frame->show();
}

void tool_playbar::get_tool_record_status(bool on) {
    recording = on;
    if (on) {
        ui->btn_record->setToolTip(tr("Record Stop"));
        ui->btn_record->setStyleSheet(kRecordStopStyle);
    } else {
        ui->btn_record->setToolTip(tr("Record"));
        ui->btn_record->setStyleSheet(kRecordStyle);
        // A recording can also end without the button (a disconnect): the
        // clock goes with it.
        record_timer->stop();
        ui->le_frame->clear();
        ui->le_frame->hide();
    }
}

void tool_playbar::on_btn_capture_clicked() {
    const QString name = dialog_seam::save_file_name(nullptr, tr("Save current point cloud / images"),
                                                     QDir::homePath(), tr("Point Cloud (.pcd) / Images (.png)"));
    if (!name.isEmpty()) emit send_tool_capture(name);
}

void tool_playbar::get_tool_record_frame() {
    const qint64 ms = record_start.isValid() ? record_start.elapsed() : 0;
    ui->le_frame->setText(QString::fromStdString(playbar_text::record_clock(ms)));
}
