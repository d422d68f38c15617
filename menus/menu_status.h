// GX Status window of the administrator tools: the latest status record of
// the sensor in read-only fields and, while "Status Logging" is ticked, one
// CSV line per record appended to a file of the user's choice. Closing the
// window only hides it; logging goes on while it is hidden.
//
// Beside the fields: each value's nominal band (the built-in limits, or a
// limits file the operator loads) colours a field out of its band amber, or
// red far out of it, with the band in its tool tip; and a chart of chosen
// values over the last 10 minutes of a stream, or around the frame shown of a
// recording. The chart is redrawn by a timer a few times a second while the
// window is visible, never from the frame tick.
#pragma once

#include "device/DadodUz.h"
#include "logic/status_history.h"
#include "logic/status_limits.h"

#include <QDialog>
#include <QFile>
#include <QString>
#include <QElapsedTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QLineEdit;
class QTimer;
class status_chart;

namespace Ui {
class menu_status;
}

class menu_status : public QDialog {
    Q_OBJECT

public:
    using sensing_packet_t = TAVRIN::DadodUz::sensing_packet_t;

    explicit menu_status(QWidget* parent = nullptr);
    ~menu_status() override;

    // Shows a record (and logs it first while logging is on).
    void update_status(sensing_packet_t& sensing);

    // Reads the status record of a recording's frame; false when it cannot.
    using recording_reader = std::function<bool(std::uint64_t frame, sensing_packet_t& packet)>;
    // The chart follows a recording of `frames` frames read through `read`
    // (play mode) ...
    void follow_recording(recording_reader read, std::uint64_t frames);
    // ... or the live stream again, its history starting empty.
    void follow_stream();
    // The recording's frame shown now: the chart's cursor moves there.
    void show_frame(std::uint64_t frame);

    // Takes the bands of a limits file (CSV, status_limits.h); a file that
    // cannot be read or is malformed is refused with a "Warning" box and the
    // bands in force stay. True when taken.
    bool load_limits(const QString& path);
    const status_limits::bands& limits() const { return bands_; }
    status_limits::level field_level(std::size_t i) const { return verdict_.levels[i]; }

    // The chart (for tests and benchmarks), and a redraw now.
    status_chart* history_chart() const { return chart_.get(); }
    void redraw_history();

    bool is_logging() const { return logging; }
    QString log_path() const { return log_file ? log_file->fileName() : QString(); }

public slots:
    void on_cb_sens_logging_clicked();

signals:
    // How many values are out of band and the worst level (status_limits::level),
    // sent when either changes.
    void send_status_out_of_band(int count, int worst);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void stop_logging();
    void on_load_limits();
    void apply_bands();
    void show_verdict(const status_limits::verdict& v);
    void history_ticked();

    Ui::menu_status* ui;
    std::array<QLineEdit*, 24> fields{};
    bool logging = false;
    std::unique_ptr<QFile> log_file;

    status_limits::bands bands_{};
    status_limits::verdict verdict_{};
    sensing_packet_t last_{};
    bool have_last_ = false;
    std::unique_ptr<status_chart> chart_;
    status_history history_;
    QTimer* history_timer_ = nullptr;
    QElapsedTimer clock_;
    bool history_dirty_ = false;
    // Play mode: the recording, its length, the loaded frames [first, last) and the cursor.
    recording_reader read_;
    std::uint64_t frames_ = 0, loaded_first_ = 0, loaded_last_ = 0, cursor_ = 0;
    bool loaded_ = false;
    bool widened_ = false;
};
