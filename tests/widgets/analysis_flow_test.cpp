// The histogram viewer and the status monitor in the administrator's window,
// against the emulator on loopback with the main window's own timers: the
// viewer switches the sensor to histogram mode for a window of pixels, shows
// and saves their histograms, and closing it puts the sensor back; the status
// monitor shows and logs the sensor's status records.
#include "app/MainWindow.h"
#include "logic/histogram_csv.h"
#include "menus/menu_connection.h"
#include "menus/menu_board_align.h"
#include "menus/menu_histogram.h"
#include "menus/menu_image_analysis.h"
#include "menus/menu_status.h"
#include "menus/region_table_model.h"
#include "tests/support/admin_window_test.h"
#include "tools/tool_admin.h"
#include "tools/tool_user.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using hist_t = TAVRIN::DadodUz::histogram_t;
using scene_t = TAVRIN::DadodUz::scene_t;

class analysis_flow_test : public admin_window_test {
protected:
    void SetUp() override {
        admin_window_test::SetUp();
        ASSERT_TRUE(emu.start());
        connect_window(emu);
    }
    void click(QWidget* parent, const char* name) { control<QPushButton>(parent, name)->click(); }

    emulator_process emu;
};

} // namespace

TEST_F(analysis_flow_test, ViewerShowsTheWindowsHistogramsSavesThemAndPutsTheSensorBack) {
    menu_histogram* viewer = admin->histogram;
    click(admin, "btn_histogram");
    ASSERT_TRUE(viewer->isVisible());
    ASSERT_TRUE(wait_until([&] { return admin->has_record() && !admin->setting_requested; }, 10000));
    // The factory unit: 50 channels and the 15-tap triangle.
    EXPECT_EQ(control<QComboBox>(viewer, "tg_spad_channel_mode")->currentIndex(), 0);
    EXPECT_EQ(control<QComboBox>(viewer, "tg_fir_mode")->currentIndex(), 1);
    EXPECT_NE(admin->tool_record().stream_mode, 4);

    // Depth of every pixel of the latest frame, and every histogram the viewer gets, in order.
    std::vector<std::int32_t> depth;
    std::uint32_t cols = 0;
    QObject::connect(w.get(), &MainWindow::send_main_data, [&](scene_t& s) {
        depth = s.depth;
        cols = s.cols;
    });
    struct seen {
        hist_t h;
        std::int32_t depth_mm;
    };
    std::vector<seen> histograms;
    QObject::connect(w.get(), &MainWindow::send_main_histogram, [&](hist_t& h) {
        const std::size_t i = std::size_t(h.row) * cols + h.col;
        histograms.push_back({h, i < depth.size() ? depth[i] : 0});
    });

    control<QSpinBox>(viewer, "sb_start_row")->setValue(40);
    control<QSpinBox>(viewer, "sb_end_row")->setValue(43);
    control<QSpinBox>(viewer, "sb_start_col")->setValue(200);
    control<QSpinBox>(viewer, "sb_end_col")->setValue(204);
    click(viewer, "btn_apply_hist");
    EXPECT_TRUE(dialogs.seen.empty()) << "the sensor took the configuration";
    ASSERT_TRUE(wait_until([&] { return histograms.size() >= 100; }, 10000));

    // Every pixel of the window, no other, each with its peak where the frame
    // puts the pixel's distance (bins of 50 mm).
    std::set<std::pair<std::uint32_t, std::uint32_t>> pixels;
    int compared = 0, at_distance = 0;
    for (const seen& s : histograms) {
        EXPECT_TRUE(s.h.row >= 40 && s.h.row <= 43 && s.h.col >= 200 && s.h.col <= 204) << s.h.row << "," << s.h.col;
        ASSERT_EQ(s.h.bins.size(), 1024u);
        pixels.insert({s.h.row, s.h.col});
        if (s.depth_mm <= 0) continue;
        const auto peak = std::max_element(s.h.bins.begin(), s.h.bins.end()) - s.h.bins.begin();
        ++compared;
        if (std::abs(double(peak) - s.depth_mm / 50.0) <= 2.0) ++at_distance;
    }
    EXPECT_EQ(pixels.size(), 20u);
    ASSERT_GT(compared, 50);
    EXPECT_GE(at_distance, compared * 9 / 10) << at_distance << " of " << compared;
    const hist_t& last = histograms.back().h;
    viewer->draw_charts();  // the charts follow at the next screen refresh
    EXPECT_EQ(viewer->histogram_chart()->title(), QString("Row: %1, Col: %2").arg(last.row).arg(last.col));
    EXPECT_EQ(static_cast<QtCharts::QLineSeries*>(viewer->histogram_chart()->series().at(0))->count(), 1024);

    // A save of 150 histograms: one line for each the viewer received from the click on, in order.
    const QString path = temp_path("histograms.csv");
    control<QSpinBox>(viewer, "sb_log_frame")->setValue(150);
    dialogs.answer_file(path);
    const std::size_t first = histograms.size();
    click(viewer, "btn_save_hist");
    ASSERT_TRUE(viewer->is_saving());
    ASSERT_TRUE(wait_until([&] { return !viewer->is_saving(); }, 15000));
    ASSERT_GE(histograms.size(), first + 150);
    std::string expected;
    for (std::size_t k = first; k < first + 150; ++k) {
        const hist_t& h = histograms[k].h;
        histogram_csv::append_line(expected, h.row, h.col, h.bins.data(), h.bins.size());
    }
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().toStdString() == expected) << "the file holds the 150 histograms in arrival order";

    // Closing puts back the configuration the viewer started from: the
    // histograms stop.
    viewer->close();
    pump(500);
    const std::size_t after_close = histograms.size();
    pump(700);
    EXPECT_EQ(histograms.size(), after_close);
    EXPECT_GT(w->frames_emitted(), 0u);
}

TEST_F(analysis_flow_test, StatusMonitorShowsAndLogsTheSensorsRecords) {
    menu_status* status = admin->status;
    click(admin, "btn_status");
    ASSERT_TRUE(status->isVisible());
    auto* count = control<QLineEdit>(status, "le_xadc_scan_count");
    ASSERT_TRUE(wait_until([&] { return !count->text().isEmpty(); }));
    EXPECT_FALSE(control<QLineEdit>(status, "le_xadc_rx_bias")->text().isEmpty());

    const QString path = temp_path("status.csv");
    dialogs.answer_file(path);
    status->close(); // logging goes on with the window closed
    control<QCheckBox>(status, "cb_sens_logging")->click();
    ASSERT_TRUE(status->is_logging());
    auto lines = [&] {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return QStringList();
        QStringList l = QString::fromUtf8(f.readAll()).split('\n');
        l.removeLast();
        return l;
    };
    ASSERT_TRUE(wait_until([&] { return lines().size() >= 4; }, 10000));
    control<QCheckBox>(status, "cb_sens_logging")->click();
    const QStringList l = lines();
    EXPECT_TRUE(l[0].startsWith("time,xadc_scan_count,"));
    long previous = -1;
    for (int i = 1; i < l.size(); ++i) {
        EXPECT_EQ(l[i].count(','), 25) << l[i].toStdString();
        const long scan = l[i].section(',', 1, 1).toLong();
        EXPECT_GT(scan, previous) << "records in arrival order";
        previous = scan;
    }
}

TEST_F(analysis_flow_test, ImageAnalysisAndBoardAlignmentFollowTheLiveSensor) {
    menu_image_analysis* analysis = admin->image_analysis;
    menu_board_align* align = admin->board_align;
    click(admin, "btn_image_analysis");
    click(admin, "btn_board_align");
    ASSERT_TRUE(analysis->isVisible() && align->isVisible());
    // The last frame, as both dialogs saw it (connected after them).
    scene_t last;
    QObject::connect(w.get(), &MainWindow::send_main_data, [&](scene_t& s) { last = s; });
    const region_table_model* table = align->table_model();
    ASSERT_TRUE(wait_until([&] {
        return !last.depth.empty() && table->rowCount() > 0 && !control<QLineEdit>(align, "le_tx_hv")->text().isEmpty();
    }, 10000));
    EXPECT_FALSE(analysis->picture(menu_image_analysis::depth).empty());
    EXPECT_EQ(analysis->picture(menu_image_analysis::depth).cols, int(last.cols));
    const cv::Rect r = align->region();
    ASSERT_GT(last.cols, last.rows);
    EXPECT_EQ(r, cv::Rect(int(last.cols - last.rows) / 2, 0, r.width, r.width));
    const int row = r.height / 2, col = r.width - 1;
    EXPECT_EQ(table->data(table->index(row, col)).toString(),
              QString::number(std::uint32_t(last.depth[std::size_t(r.y + row) * last.cols + r.x + col])));
    EXPECT_FALSE(control<QLineEdit>(align, "le_rx_temp")->text().isEmpty());
    EXPECT_FALSE(control<QLineEdit>(align, "le_tx_temp")->text().isEmpty());
    analysis->close();
    align->close();
}
