#include "menus/menu_status.h"

#include "widgets/dialog_seam.h"
#include "logic/status_text.h"
#include "ui_menu_status.h"

#include "menus/status_chart.h"

#include <QDir>
#include <QShowEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTime>
#include <QTimer>
#include <QtCharts/QChartView>

#include <algorithm>
#include <limits>

namespace {

// Ten minutes of a live stream; a recording's window of frames around the cursor.
constexpr double kLiveSpanSeconds = 600.0;
constexpr std::uint64_t kRecordingWindow = 1500;
// The chart is redrawn at most this often, by its own timer.
constexpr int kRedrawMs = 500;
constexpr int kShownWidth = 1040;
const char* const kBuiltInLimits = ":/limits/status_limits.csv";

// The values charted when the window opens: on-chip, transmitter and receiver temperatures.
bool charted_at_start(const std::string& name) {
    return name == "xadc_onchip_temp" || name == "xadc_tx_temp" || name == "rx_temp";
}

QString field_style(status_limits::level level) {
    switch (level) {
    case status_limits::level::amber: return QStringLiteral("QLineEdit { background-color: #d89000; color: #101010; }");
    case status_limits::level::red: return QStringLiteral("QLineEdit { background-color: #d02020; color: #ffffff; }");
    default: return QString();
    }
}

} // namespace

menu_status::menu_status(QWidget* parent) : QDialog(parent), ui(new Ui::menu_status) {
    ui->setupUi(this);
    fields = {ui->le_xadc_scan_count, ui->le_xadc_on_chip_temp, ui->le_xadc_vccint,    ui->le_xadc_vccaux,
              ui->le_xadc_vccbram,    ui->le_xadc_vccpint,      ui->le_xadc_vccpaux,   ui->le_xadc_vcco_ddr,
              ui->le_xadc_rd_ddr_vtt, ui->le_xadc_rd_dp3v3,     ui->le_xadc_rd_p12v,   ui->le_xadc_rd_heat,
              ui->le_xadc_tx_0v5,     ui->le_xadc_tx_5v0,       ui->le_xadc_tx_12v,    ui->le_xadc_tx_hv,
              ui->le_xadc_tx_temp,    ui->le_xadc_rx_vio,       ui->le_xadc_rx_vcore,  ui->le_xadc_rx_bias,
              ui->le_xadc_rx_vdp,     ui->le_xadc_rx_vdn,       ui->le_xadc_rx_0v5,    ui->le_rx_temp};

    QFile built_in(kBuiltInLimits);
    const bool read = built_in.open(QIODevice::ReadOnly);
    const auto parsed = status_limits::parse_csv(read ? built_in.readAll().toStdString() : std::string());
    if (parsed.ok) {
        bands_ = parsed.values;
    } else {
        // Without bands nothing is called out of band (each tool tip says so).
        const double inf = std::numeric_limits<double>::infinity();
        bands_.fill(status_limits::band{-inf, inf});
    }
    ui->lb_limits_source->setText(parsed.ok ? tr("Limits: built-in") : tr("Limits: \u2014 built-in limits unreadable"));
    apply_bands();

    chart_ = std::make_unique<status_chart>();
    ui->layout_status_chart->addWidget(chart_->view());
    for (std::size_t i = 0; i < status_limits::kBands; ++i) {
        const std::string name = status_limits::name(i);
        auto* item = new QListWidgetItem(QString::fromStdString(name), ui->lw_history_values);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(charted_at_start(name) ? Qt::Checked : Qt::Unchecked);
        chart_->set_shown(i, charted_at_start(name));
    }
    connect(ui->lw_history_values, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        chart_->set_shown(std::size_t(ui->lw_history_values->row(item)), item->checkState() == Qt::Checked);
        history_dirty_ = true;
    });
    connect(ui->btn_load_limits, &QPushButton::clicked, this, &menu_status::on_load_limits);

    clock_.start();
    history_timer_ = new QTimer(this);
    history_timer_->setInterval(kRedrawMs);
    connect(history_timer_, &QTimer::timeout, this, &menu_status::history_ticked);
    history_timer_->start();
}

// The file closes with the window at program end; every line was flushed
// whole when its record arrived, so the log ends on a complete line.
menu_status::~menu_status() { delete ui; }

void menu_status::update_status(sensing_packet_t& sensing) {
    if (logging && log_file) {
        const QTime now = QTime::currentTime();
        const std::string line =
            status_text::data_line(status_text::clock(now.hour(), now.minute(), now.second(), now.msec()), sensing);
        log_file->write(line.data(), qint64(line.size()));
        log_file->flush();
    }
    const auto values = status_text::values(sensing);
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->setText(QString::fromStdString(values[i]));

    last_ = sensing;
    have_last_ = true;
    show_verdict(status_limits::check(sensing, bands_));
    if (!read_) {
        const double now = double(clock_.elapsed()) / 1000.0;
        history_.add(now, sensing);
        history_.trim_before(now - kLiveSpanSeconds);
        history_dirty_ = true;
    }
}

void menu_status::show_verdict(const status_limits::verdict& v) {
    for (std::size_t i = 0; i < status_limits::kBands; ++i)
        if (v.levels[i] != verdict_.levels[i]) fields[i + 1]->setStyleSheet(field_style(v.levels[i]));
    const bool changed = v.out_of_band != verdict_.out_of_band || v.worst != verdict_.worst;
    verdict_ = v;
    if (changed) emit send_status_out_of_band(v.out_of_band, int(v.worst));
}

void menu_status::apply_bands() {
    for (std::size_t i = 0; i < status_limits::kBands; ++i)
        fields[i + 1]->setToolTip(QString::fromStdString(status_limits::band_text(bands_[i])));
    if (have_last_) show_verdict(status_limits::check(last_, bands_));
}

bool menu_status::load_limits(const QString& path) {
    QFile file(path);
    std::string why;
    if (!file.open(QIODevice::ReadOnly)) {
        why = "the file cannot be read";
    } else {
        // A limits file is a few hundred bytes: anything much larger is not one.
        const QByteArray bytes = file.read(1 << 16);
        const auto parsed = file.atEnd() ? status_limits::parse_csv(bytes.toStdString())
                                         : status_limits::parse_result{false, {}, "the file is too large"};
        if (parsed.ok) {
            bands_ = parsed.values;
            ui->lb_limits_source->setText(tr("Limits: %1").arg(QFileInfo(path).fileName()));
            apply_bands();
            history_dirty_ = true;
            return true;
        }
        why = parsed.error;
    }
    dialog_seam::warning(this, tr("Warning"),
                         tr("Cannot use the limits file %1: %2. The bands in force are kept.")
                             .arg(path, QString::fromStdString(why)));
    return false;
}

void menu_status::on_load_limits() {
    const QString path =
        dialog_seam::open_file_name(this, tr("Load Limits"), QDir::homePath(), tr("Limits File (*.csv)"));
    if (!path.isEmpty()) load_limits(path);
}

void menu_status::follow_recording(recording_reader read, std::uint64_t frames) {
    read_ = std::move(read);
    frames_ = frames;
    loaded_ = false;
    cursor_ = 0;
    history_.clear();
    history_dirty_ = true;
}

void menu_status::follow_stream() {
    read_ = nullptr;
    frames_ = 0;
    loaded_ = false;
    history_.clear();
    clock_.restart();
    history_dirty_ = true;
}

void menu_status::show_frame(std::uint64_t frame) {
    if (frame == cursor_ && loaded_) return;
    cursor_ = frame;
    history_dirty_ = true;
}

void menu_status::history_ticked() {
    if (history_dirty_ && isVisible()) redraw_history();
}

void menu_status::redraw_history() {
    history_dirty_ = false;
    if (!read_) {
        chart_->draw_live(history_, double(clock_.elapsed()) / 1000.0, kLiveSpanSeconds);
        return;
    }
    // A cursor near the loaded frames' end, or beyond them after a seek, loads
    // the window around it again: one record header per frame.
    if (!loaded_ || !status_history::holds(loaded_first_, loaded_last_, cursor_, frames_)) {
        const auto window = status_history::window_around(cursor_, frames_, kRecordingWindow);
        history_.clear();
        sensing_packet_t packet;
        for (std::uint64_t f = window.first; f < window.second; ++f)
            if (read_(f, packet)) history_.add(double(f), packet);
        loaded_first_ = window.first;
        loaded_last_ = window.second;
        loaded_ = true;
    }
    chart_->draw_recording(history_, double(loaded_first_), double(loaded_last_ > 0 ? loaded_last_ - 1 : 0), double(cursor_));
}

// The form keeps its own initial size; the first showing widens the window
// so that the history chart beside the fields has room.
void menu_status::showEvent(QShowEvent* event) {
    if (!widened_) {
        widened_ = true;
        resize(std::max(width(), kShownWidth), height());
    }
    QDialog::showEvent(event);
}

void menu_status::stop_logging() {
    logging = false;
    log_file.reset();
}

void menu_status::on_cb_sens_logging_clicked() {
    if (!ui->cb_sens_logging->isChecked()) {
        stop_logging();
        return;
    }
    stop_logging();
    const QString path = dialog_seam::save_file_name(this, tr("Save GX status"), QDir::homePath(), tr("Status File (*.csv)"));
    if (path.isEmpty()) {
        // Nothing to log to: the box goes back to what is happening.
        ui->cb_sens_logging->setChecked(false);
        return;
    }
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        ui->cb_sens_logging->setChecked(false);
        dialog_seam::warning(this, tr("Warning"), tr("Cannot open the status file %1.").arg(path));
        return;
    }
    const std::string header = status_text::header_line();
    file->write(header.data(), qint64(header.size()));
    file->flush();
    log_file = std::move(file);
    logging = true;
}
