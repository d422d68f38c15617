// The histogram viewer on its own: the form and its charts, the configuration
// it shows and applies, the charts and the running average, auto scale, and
// the CSV save.
#include "menus/menu_histogram.h"
#include "tests/support/patterned_record.h"
#include "tests/support/qt_fixtures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cstring>
#include <memory>

using namespace QtCharts;

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;
using hist_t = TAVRIN::DadodUz::histogram_t;

hist_t record(std::uint32_t row, std::uint32_t col, std::vector<std::uint16_t> bins) {
    hist_t h;
    h.row = row;
    h.col = col;
    h.bin_count = std::uint32_t(bins.size());
    h.bins = std::move(bins);
    return h;
}

QLineSeries* series_of(QChart* chart) { return static_cast<QLineSeries*>(chart->series().at(0)); }
QValueAxis* axis(QChart* chart, Qt::Orientation o) { return static_cast<QValueAxis*>(chart->axes(o).at(0)); }

std::vector<double> ys(QChart* chart) {
    std::vector<double> out;
    for (const QPointF& p : series_of(chart)->pointsVector()) out.push_back(p.y());
    return out;
}

class menu_histogram_test : public widget_test {
protected:
    template <class T>
    T* get(const char* name) {
        return control<T>(&dialog, name);
    }
    QSpinBox* box(const char* name) { return get<QSpinBox>(name); }
    void feed(hist_t h) {
        dialog.update_histogram(h);
        dialog.draw_charts();
    }
    QChart* current() { return dialog.histogram_chart(); }
    QChart* average() { return dialog.average_chart(); }
    // x min, x max, y min, y max of a chart's axes.
    std::vector<double> ranges(QChart* c) {
        return {axis(c, Qt::Horizontal)->min(), axis(c, Qt::Horizontal)->max(), axis(c, Qt::Vertical)->min(),
                axis(c, Qt::Vertical)->max()};
    }

    menu_histogram dialog;
};

} // namespace

TEST_F(menu_histogram_test, FormControlsRangesAndDefaults) {
    EXPECT_EQ(dialog.windowTitle(), "GX Histogram Viewer");
    EXPECT_FALSE(dialog.windowIcon().isNull());
    struct spin_row {
        const char* name;
        int lo, hi, value;
    };
    const spin_row spins[] = {{"sb_start_row", 0, 99, 0},     {"sb_end_row", 0, 99, 0},        {"sb_start_col", 0, 399, 0},
                              {"sb_end_col", 0, 399, 0},      {"sb_log_frame", 1, 10000, 1},   {"sb_avg_frame", 0, 1000, 100},
                              {"sb_x_min", 0, 10000, 0},      {"sb_x_max", 0, 10000, 2048},    {"sb_y_min", 0, 10000, 0},
                              {"sb_y_max", 0, 10000, 512},    {"sb_x_min_avg", 0, 10000, 0},   {"sb_x_max_avg", 0, 10000, 2048},
                              {"sb_y_min_avg", 0, 10000, 0},  {"sb_y_max_avg", 0, 10000, 512}};
    for (const spin_row& r : spins) {
        QSpinBox* s = box(r.name);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->minimum(), r.lo) << r.name;
        EXPECT_EQ(s->maximum(), r.hi) << r.name;
        EXPECT_EQ(s->value(), r.value) << r.name;
    }
    EXPECT_EQ(box("sb_log_frame")->suffix(), " (Save frames)");
    struct text_row {
        const char* name;
        const char* text;
    };
    const text_row labels[] = {{"lel_channels", "Channels"},   {"lel_FIR", "FIR"},         {"lel_start_row", "Start Row"},
                               {"lel_end_row", "End Row"},     {"lel_start_col", "Start Col"}, {"lel_end_col", "End Col"},
                               {"lel_save_hist", "Save Histogram"}, {"lel_histogram", "Histogram"},
                               {"lel_avg_frame", "Histogram Average Frames"}, {"lel_x_min", "X_Min"}, {"lel_x_max", "X_Max"},
                               {"lel_y_min", "Y_min"},         {"lel_y_max", "Y_Max"},     {"lel_x_min_avg", "X_Min"},
                               {"lel_y_max_avg", "Y_Max"},     {"lel_dp", "D.P"},          {"lel_depth", "Depth"},
                               {"lel_intensity", "Intensity"}, {"lel_ambient_avg", "Ambient"}};
    for (const text_row& r : labels) EXPECT_EQ(get<QLabel>(r.name)->text(), r.text) << r.name;
    EXPECT_EQ(get<QPushButton>("btn_apply_hist")->text(), "Apply Setting");
    EXPECT_EQ(get<QPushButton>("btn_save_hist")->text(), "Save (.csv)");
    EXPECT_EQ(get<QCheckBox>("cb_auto_scale")->text(), "Auto Scale");
    EXPECT_EQ(get<QCheckBox>("cb_auto_scale_avg")->text(), "Auto Scale");
    EXPECT_EQ(get<QProgressBar>("pb_hist_log")->value(), 0);
    for (const char* name : {"le_dp", "le_depth", "le_intensity", "le_ambient", "le_dp_avg", "le_depth_avg",
                             "le_intensity_avg", "le_ambient_avg"}) {
        EXPECT_TRUE(get<QLineEdit>(name)->isReadOnly()) << name;
        EXPECT_TRUE(get<QLineEdit>(name)->text().isEmpty()) << name;
    }
    const QStringList channels = {"50 Channels", "100 Channels"}, firs = {"FIR = 1", "FIR = 15"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(get<QComboBox>("tg_spad_channel_mode")->itemText(i), channels[i]);
        EXPECT_EQ(get<QComboBox>("tg_fir_mode")->itemText(i), firs[i]);
    }
    EXPECT_EQ(get<QComboBox>("tg_spad_channel_mode")->count(), 2);
    EXPECT_EQ(get<QComboBox>("tg_fir_mode")->count(), 2);

    // Two charts: antialiased views, value axes bottom and left, one red
    // series each, legend shown, title blank; the axes start at 0 ... 1048.
    struct chart_row {
        const char* view;
        QChart* chart;
        const char* series;
    };
    for (const chart_row& r : {chart_row{"chart_histogram", current(), "Histogram"},
                               chart_row{"chart_histogram_average", average(), "Average Histogram"}}) {
        auto* view = get<QChartView>(r.view);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->chart(), r.chart);
        EXPECT_TRUE(view->renderHints() & QPainter::Antialiasing);
        EXPECT_EQ(r.chart->title(), " ");
        EXPECT_TRUE(r.chart->legend()->isVisible());
        ASSERT_EQ(r.chart->series().size(), 1);
        EXPECT_EQ(series_of(r.chart)->name(), r.series);
        EXPECT_EQ(series_of(r.chart)->color(), QColor(Qt::red));
        EXPECT_EQ(series_of(r.chart)->attachedAxes().size(), 2);
        EXPECT_EQ(r.chart->axes(Qt::Horizontal).at(0)->alignment(), Qt::AlignBottom);
        EXPECT_EQ(r.chart->axes(Qt::Vertical).at(0)->alignment(), Qt::AlignLeft);
        EXPECT_EQ(ranges(r.chart), (std::vector<double>{0, 1048, 0, 512})) << r.view;
    }
    // The axes follow a box once it changes.
    box("sb_x_max")->setValue(2000);
    EXPECT_EQ(ranges(current()), (std::vector<double>{0, 2000, 0, 512}));
    box("sb_y_min_avg")->setValue(5);
    EXPECT_EQ(ranges(average()), (std::vector<double>{0, 1048, 5, 512}));
}

TEST_F(menu_histogram_test, ShowingAsksForTheConfigurationAndClosingGivesItBack) {
    QSignalSpy asked(&dialog, &menu_histogram::send_menu_current_setting);
    QSignalSpy closed(&dialog, &menu_histogram::send_close_ui);
    dialog.show();
    EXPECT_EQ(asked.count(), 1);
    EXPECT_TRUE(dialog.is_open());
    dialog.close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(dialog.is_open());
}

TEST_F(menu_histogram_test, ConfigurationShownAndApplied) {
    struct row {
        std::uint8_t dual_channel;
        std::uint32_t fir0;
        int channel_index;
        int fir_index; // -1: left as it was
    };
    const row rows[] = {{1, 0x87654321u, 0, 1}, {0, 0x00000001u, 1, 0}, {2, 0x00000011u, 1, -1}, {1, 0x000000F0u, 0, -1}};
    for (const row& r : rows) {
        for (int before : {0, 1}) {
            get<QComboBox>("tg_fir_mode")->setCurrentIndex(before);
            cfg_t c = patterned_record();
            c.dual_channel = r.dual_channel;
            c.fir_coef[0] = r.fir0;
            c.start_column_index = 12;
            c.end_column_index = 21;
            c.start_row_index = 3;
            c.end_row_index = 7;
            dialog.get_menu_current_setting(c);
            EXPECT_EQ(get<QComboBox>("tg_spad_channel_mode")->currentIndex(), r.channel_index) << int(r.dual_channel);
            EXPECT_EQ(get<QComboBox>("tg_fir_mode")->currentIndex(), r.fir_index < 0 ? before : r.fir_index) << r.fir0;
            EXPECT_EQ(box("sb_start_col")->value(), 12);
            EXPECT_EQ(box("sb_end_col")->value(), 21);
            EXPECT_EQ(box("sb_start_row")->value(), 3);
            EXPECT_EQ(box("sb_end_row")->value(), 7);
        }
    }
    // A window beyond the boxes is clamped, not refused.
    cfg_t far = patterned_record();
    far.end_column_index = 60000;
    far.end_row_index = 250;
    dialog.get_menu_current_setting(far);
    EXPECT_EQ(box("sb_end_col")->value(), 399);
    EXPECT_EQ(box("sb_end_row")->value(), 99);

    // Apply: histogram mode, the window, the channel mode and the FIR; every
    // other byte as received.
    const cfg_t received = patterned_record();
    dialog.get_menu_current_setting(received);
    box("sb_start_row")->setValue(10);
    box("sb_end_row")->setValue(19);
    box("sb_start_col")->setValue(300);
    box("sb_end_col")->setValue(309);
    struct apply_row {
        int channel_index, fir_index;
        std::uint8_t dual_channel;
        std::uint32_t fir0, fir1;
    };
    for (const apply_row& a : {apply_row{0, 1, 1, 0x87654321u, 0x01234567u}, apply_row{1, 0, 0, 1, 0}}) {
        get<QComboBox>("tg_spad_channel_mode")->setCurrentIndex(a.channel_index);
        get<QComboBox>("tg_fir_mode")->setCurrentIndex(a.fir_index);
        std::vector<cfg_t> sent;
        auto link = QObject::connect(&dialog, &menu_histogram::send_menu_apply_setting, [&](cfg_t& c) { sent.push_back(c); });
        get<QPushButton>("btn_apply_hist")->click();
        QObject::disconnect(link);
        ASSERT_EQ(sent.size(), 1u);
        cfg_t expected = received;
        expected.stream_mode = 4;
        expected.start_row_index = 10;
        expected.end_row_index = 19;
        expected.start_column_index = 300;
        expected.end_column_index = 309;
        expected.dual_channel = a.dual_channel;
        expected.fir_coef[0] = a.fir0;
        expected.fir_coef[1] = a.fir1;
        EXPECT_EQ(std::memcmp(&sent[0], &expected, sizeof expected), 0) << a.fir_index;
    }
}

TEST_F(menu_histogram_test, ChartsAndTheRunningAverage) {
    box("sb_avg_frame")->setValue(2); // three vectors
    feed(record(5, 17, {10, 20, 30}));
    EXPECT_EQ(current()->title(), "Row: 5, Col: 17");
    EXPECT_EQ(average()->title(), "Row: 5, Col: 17");
    EXPECT_EQ(ys(current()), (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(series_of(current())->at(2).x(), 2);
    EXPECT_EQ(ys(average()), (std::vector<double>{10, 20, 30}));
    feed(record(5, 18, {20, 20, 30}));
    feed(record(5, 19, {30, 20, 31}));
    EXPECT_EQ(ys(average()), (std::vector<double>{20, 20, double(91.f / 3.f)}));
    feed(record(6, 17, {40, 20, 29}));
    EXPECT_EQ(dialog.average_window().retained(), 3u);
    EXPECT_EQ(ys(average()), (std::vector<double>{30, 20, 30}));
    EXPECT_EQ(ys(current()), (std::vector<double>{40, 20, 29}));

    // No bins: both charts empty, the window and titles untouched.
    feed(record(9, 9, {}));
    EXPECT_TRUE(ys(current()).empty());
    EXPECT_TRUE(ys(average()).empty());
    EXPECT_EQ(dialog.average_window().retained(), 3u);
    EXPECT_EQ(current()->title(), "Row: 6, Col: 17");

    // A bin count that disagrees with the values: the smaller length; a new
    // length restarts the average.
    hist_t odd = record(1, 2, {5, 6, 7, 8});
    odd.bin_count = 2;
    feed(odd);
    EXPECT_EQ(ys(current()), (std::vector<double>{5, 6}));
    EXPECT_EQ(ys(average()), (std::vector<double>{5, 6}));
    odd.bin_count = 1000; // more than it carries
    feed(odd);
    EXPECT_EQ(ys(current()), (std::vector<double>{5, 6, 7, 8}));
    EXPECT_EQ(ys(average()), (std::vector<double>{5, 6, 7, 8}));

    // A new N empties the window and the average chart; the next average is that record.
    box("sb_avg_frame")->setValue(0);
    EXPECT_TRUE(ys(average()).empty());
    EXPECT_EQ(dialog.average_window().retained(), 0u);
    feed(record(1, 1, {1, 2}));
    feed(record(1, 1, {3, 4}));
    EXPECT_EQ(ys(average()), (std::vector<double>{3, 4})) << "N = 0 keeps the latest only";
}

TEST_F(menu_histogram_test, AutoScale) {
    // Before any record there is nothing to fit: the ranges stay.
    get<QCheckBox>("cb_auto_scale")->click();
    get<QCheckBox>("cb_auto_scale_avg")->click();
    EXPECT_EQ(ranges(current()), (std::vector<double>{0, 1048, 0, 512}));
    EXPECT_EQ(ranges(average()), (std::vector<double>{0, 1048, 0, 512}));

    // Each record sets the boxes (clamped at 10000), the boxes the axes.
    feed(record(0, 0, {100, 12000, 50, 60}));
    EXPECT_EQ(box("sb_x_min")->value(), 0);
    EXPECT_EQ(box("sb_x_max")->value(), 4);
    EXPECT_EQ(box("sb_y_min")->value(), 50);
    EXPECT_EQ(box("sb_y_max")->value(), 10000);
    EXPECT_EQ(ranges(current()), (std::vector<double>{0, 4, 50, 10000}));
    feed(record(0, 0, {101, 0, 51, 61}));
    EXPECT_EQ(box("sb_y_max_avg")->value(), 6000) << "largest average 12000 / 2";
    EXPECT_EQ(box("sb_y_min_avg")->value(), 50) << "smallest average 50.5 truncated";
    EXPECT_EQ(ranges(average()), (std::vector<double>{0, 4, 50, 6000}));

    // Unchecked: the boxes again.
    box("sb_y_max")->blockSignals(true);
    box("sb_y_max")->setValue(700);
    box("sb_y_max")->blockSignals(false);
    get<QCheckBox>("cb_auto_scale")->click();
    EXPECT_EQ(ranges(current()), (std::vector<double>{0, 4, 0, 700}));
    // Checked by hand: the axes fit the latest histogram, the boxes stay.
    get<QCheckBox>("cb_auto_scale")->click();
    EXPECT_EQ(ranges(current()), (std::vector<double>{0, 4, 0, 101}));
    EXPECT_EQ(box("sb_y_max")->value(), 700);
    // The average in integers: (100 + 101) / 2 = 100, (12000 + 0) / 2 = 6000.
    get<QCheckBox>("cb_auto_scale_avg")->click();
    get<QCheckBox>("cb_auto_scale_avg")->click();
    EXPECT_EQ(ranges(average()), (std::vector<double>{0, 4, 50, 6000}));
}

TEST_F(menu_histogram_test, AutoScaleByHandKeepsTheStoredXBounds) {
    feed(record(0, 0, {7, 30, 9}));
    const struct { const char *check, *y_min; QChart* chart; } rows[] = {
        {"cb_auto_scale", "sb_y_min", current()}, {"cb_auto_scale_avg", "sb_y_min_avg", average()}};
    for (const auto& r : rows) {
        get<QCheckBox>(r.check)->click();
        EXPECT_EQ(ranges(r.chart), (std::vector<double>{0, 3, 7, 30})) << r.check;
        box(r.y_min)->setValue(5);
        EXPECT_EQ(ranges(r.chart), (std::vector<double>{0, 1048, 5, 30})) << r.check << ": x as stored, y as fitted";
    }
}

TEST_F(menu_histogram_test, SaveWritesEveryRecordAndTheChartsFollowEveryHundredth) {
    // A cancelled dialog changes nothing.
    get<QPushButton>("btn_save_hist")->click();
    ASSERT_EQ(dialogs.seen.size(), 1u);
    EXPECT_EQ(dialogs.seen[0].title, "Save GX histogram");
    EXPECT_EQ(dialogs.seen[0].dir, QDir::homePath());
    EXPECT_EQ(dialogs.seen[0].filter, "GX Histogram (*.csv)");
    EXPECT_FALSE(dialog.is_saving());

    // An existing file is replaced.
    const QString path = temp_path("hist.csv");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents that are longer than what follows\n");
    }
    box("sb_log_frame")->setValue(250);
    dialogs.answer_file(path);
    get<QPushButton>("btn_save_hist")->click();
    ASSERT_TRUE(dialog.is_saving());
    auto* bar = get<QProgressBar>("pb_hist_log");
    EXPECT_EQ(bar->maximum(), 250);

    std::string expected;
    std::vector<int> chart_updates;
    for (std::uint32_t i = 0; i < 260; ++i) {
        const std::uint16_t v = std::uint16_t(i);
        if (i == 7) {
            feed(record(i, 3, {})); // no bins: written, counted, line ended
            if (i < 250) expected += "7,3,\n";
        } else {
            feed(record(i, 3, {v, std::uint16_t(v + 1), 65535}));
            if (i < 250) expected += std::to_string(i) + ",3," + std::to_string(i) + "," + std::to_string(i + 1) + ",65535,\n";
        }
        if (current()->title() == QString("Row: %1, Col: 3").arg(i) && (chart_updates.empty() || chart_updates.back() != int(i)))
            chart_updates.push_back(int(i));
        if (i == 149) {
            EXPECT_EQ(bar->value(), 149) << "lines written before this record";
        }
    }
    EXPECT_FALSE(dialog.is_saving());
    EXPECT_EQ(bar->value(), 0);
    // Records 99 and 199 bring the count to 100 and 200, record 249 ends the
    // save; afterwards every record is drawn again.
    EXPECT_EQ(chart_updates, (std::vector<int>{99, 199, 249, 250, 251, 252, 253, 254, 255, 256, 257, 258, 259}));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), expected);

    // A file that cannot be opened: a warning naming it, and no save starts.
    const QString bad = temp_path("missing/hist.csv");
    dialogs.answer_file(bad);
    get<QPushButton>("btn_save_hist")->click();
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_EQ(dialogs.last_box()->title, "Warning");
    EXPECT_TRUE(dialogs.last_box()->text.contains(bad));
    EXPECT_FALSE(dialog.is_saving());
    feed(record(1, 1, {1}));
    EXPECT_EQ(current()->title(), "Row: 1, Col: 1");
}
