// The offset calibration dialog on its own: the form, the images and the
// chart of each frame, calibration runs and their cancellation, and the
// calibration file it saves.
#include "menus/menu_offset_cal.h"
#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <functional>

using namespace QtCharts;

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;

// A frame whose depth at (row, col) is depth(row, col); intensity 500.
synthetic::scene_t frame(std::uint32_t rows, std::uint32_t cols, const std::function<std::int32_t(int, int)>& depth) {
    synthetic::scene_t s;
    synthetic::resize(s, rows, cols);
    for (std::uint32_t r = 0; r < rows; ++r)
        for (std::uint32_t c = 0; c < cols; ++c) s.depth[r * cols + c] = depth(int(r), int(c));
    std::fill(s.intensity.begin(), s.intensity.end(), 500);
    return s;
}

// Channel k of 6 columns reads 1000 + 12 k mm; column 400 / 60 * 60 and on read 0.
synthetic::scene_t channel_frame(std::uint32_t rows = 100) {
    return frame(rows, 400, [](int, int c) { return c < 360 ? 1000 + 12 * (c / 6) : 0; });
}

class menu_offset_cal_test : public widget_test {
protected:
    template <class T>
    T* get(const char* name) {
        return control<T>(&dialog, name);
    }
    void feed(synthetic::scene_t s) { dialog.updateScene(s); }
    QLineSeries* series() { return dialog.chart().series; }
    std::vector<double> ranges() {
        return {dialog.chart().x->min(), dialog.chart().x->max(), dialog.chart().y->min(), dialog.chart().y->max()};
    }
    std::vector<std::string> lines(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        EXPECT_TRUE(all.endsWith('\n'));
        std::vector<std::string> out;
        for (const QByteArray& l : all.split('\n')) out.push_back(l.toStdString());
        out.pop_back();  // after the last line break
        return out;
    }

    menu_offset_cal dialog;
};

} // namespace

TEST_F(menu_offset_cal_test, FormControlsAndChart) {
    EXPECT_EQ(dialog.windowTitle(), "GX Offset Calibration");
    EXPECT_FALSE(dialog.windowIcon().isNull());
    const struct {
        const char* name;
        int lo, hi, value;
    } spins[] = {{"sb_depth_min_val", 0, 50000, 0},    {"sb_depth_max_val", 0, 500000, 5000},
                 {"sb_intensity_min_val", 0, 50000, 0}, {"sb_intensity_max_val", 0, 5000, 500},
                 {"sb_number_frame", 0, 99, 99}};
    for (const auto& s : spins) {
        EXPECT_EQ(get<QSpinBox>(s.name)->minimum(), s.lo) << s.name;
        EXPECT_EQ(get<QSpinBox>(s.name)->maximum(), s.hi) << s.name;
        EXPECT_EQ(get<QSpinBox>(s.name)->value(), s.value) << s.name;
    }
    EXPECT_EQ(dialog.run().frames(), 99) << "the 100 the box cannot hold";
    const struct {
        const char* name;
        const char* text;
    } labels[] = {{"lel_depth_min_val", "Min Value"},   {"lel_depth_max_val", "Max Value"},
                  {"lel_intensity_min_val", "Min Value"}, {"lel_intensity_max_val", "Max Value"},
                  {"lel_amplitude", "Amplitude"},       {"lel_time", "Time"},
                  {"lel_calibration_mode", "Calibration Mode"}, {"lel_number_frame", "Number of Frame"},
                  {"lel_channels", "Channels"}};
    for (const auto& l : labels) EXPECT_EQ(get<QLabel>(l.name)->text(), l.text) << l.name;
    for (const char* name : {"cb_depth_auto_normal", "cb_intensity_auto_normal"}) {
        EXPECT_EQ(get<QCheckBox>(name)->text(), "Auto Normalization");
        EXPECT_FALSE(get<QCheckBox>(name)->isChecked());
    }
    EXPECT_EQ(get<QPushButton>("btn_start_offset_cal")->text(), "Start Offset Calibration");
    EXPECT_EQ(get<QPushButton>("btn_save_offset_cal")->text(), "Save Offset Calibration Result (.csv)");
    const QStringList modes = {"VCSEL", "SPAD"};
    const QStringList channels = {"45 Channels (GX2)", "48 Channels (GX0)", "60 Channels (GX2)", "64 Channels (GX0)"};
    auto* mode = get<QComboBox>("tg_calibration_mode");
    auto* count = get<QComboBox>("comboBox");
    ASSERT_EQ(mode->count(), 2);
    ASSERT_EQ(count->count(), 4);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(mode->itemText(i), modes[i]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(count->itemText(i), channels[i]);
    EXPECT_EQ(mode->currentIndex(), 0);
    EXPECT_EQ(count->currentIndex(), 2);
    EXPECT_EQ(dialog.channels(), 60);
    const int counts[] = {45, 48, 60, 64};
    for (int i : {0, 1, 3, 2}) {
        count->setCurrentIndex(i);
        EXPECT_EQ(dialog.channels(), counts[i]);
    }

    auto* view = get<QChartView>("chart_offset_cal");
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->renderHints() & QPainter::Antialiasing);
    EXPECT_EQ(view->chart()->title(), " ");
    EXPECT_TRUE(view->chart()->legend()->isVisible());
    EXPECT_EQ(series()->color(), QColor(Qt::red));
    EXPECT_EQ(dialog.chart().x->alignment(), Qt::AlignBottom);
    EXPECT_EQ(dialog.chart().y->alignment(), Qt::AlignLeft);
    EXPECT_EQ(ranges(), (std::vector<double>{0, 64, 0, 512}));

    QSignalSpy asked(&dialog, &menu_offset_cal::send_menu_current_setting);
    QSignalSpy closed(&dialog, &menu_offset_cal::send_close_ui);
    dialog.show();
    dialog.close();
    EXPECT_EQ(asked.count(), 1);
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(menu_offset_cal_test, FramesShowImagesAndTheChartOfTheMode) {
    dialog.resize(1200, 640);
    dialog.show();
    // 50 rows: images, but no centre lists and so no chart.
    feed(channel_frame(50));
    EXPECT_FALSE(get<QLabel>("im_depth")->pixmap(Qt::ReturnByValue).isNull());
    EXPECT_FALSE(dialog.centre_lists_built());
    EXPECT_EQ(series()->count(), 0);

    // Uniform depth 5000 and intensity 500 at their manual maxima: depth
    // inverted to the cold end of JET, intensity at the hot end; R, G, B order.
    feed(frame(100, 400, [](int, int) { return 5000; }));
    const QImage depth = get<QLabel>("im_depth")->pixmap(Qt::ReturnByValue).toImage();
    const QImage intensity = get<QLabel>("im_intensity")->pixmap(Qt::ReturnByValue).toImage();
    ASSERT_FALSE(depth.isNull());
    EXPECT_EQ(depth.size(), get<QLabel>("im_depth")->size()) << "scaled to the label, aspect ignored";
    EXPECT_EQ(QColor(depth.pixel(5, 5)), QColor(0, 0, 128));
    EXPECT_EQ(QColor(intensity.pixel(5, 5)), QColor(128, 0, 0));
    ASSERT_TRUE(dialog.centre_lists_built());
    EXPECT_EQ(dialog.centre_lists().left.at(0), 199u);
    EXPECT_EQ(dialog.centre_lists().right.at(99), 99u * 400 + 200);

    // VCSEL chart: channel k at 1000 + 12 k mm, in steps truncated.
    feed(channel_frame());
    EXPECT_EQ(series()->name(), "Depth - Channels Graph");
    ASSERT_EQ(series()->count(), 60);
    EXPECT_EQ(series()->at(0), QPointF(0, 85));   // 1000 mm
    EXPECT_EQ(series()->at(59), QPointF(59, 145)); // 1708 mm: 145.85
    EXPECT_EQ(ranges(), (std::vector<double>{0, 64, 85, 145}));

    // SPAD chart along columns 199 and 200; x up to 200 from the mode change on.
    get<QComboBox>("tg_calibration_mode")->setCurrentIndex(1);
    feed(frame(100, 400, [](int r, int c) { return c == 199 ? 1000 + r : c == 200 ? 2000 : 0; }));
    EXPECT_EQ(series()->name(), "Depth - Rows Graph (199, 200 Column)");
    ASSERT_EQ(series()->count(), 200);
    EXPECT_EQ(series()->at(100).x(), 100.0);
    EXPECT_EQ(ranges(), (std::vector<double>{0, 200, 85, 170}));

    // The lists are never rebuilt: a wider frame still plots the old columns.
    feed(frame(100, 500, [](int, int c) { return c == 199 ? 3000 : 0; }));
    EXPECT_EQ(dialog.centre_lists().left.at(0), 199u);
    // A frame without intensity values changes nothing.
    synthetic::scene_t dark = channel_frame();
    dark.intensity.clear();
    const int points = series()->count();
    const QPointF first = series()->at(0);
    feed(dark);
    EXPECT_EQ(series()->count(), points);
    EXPECT_EQ(series()->at(0), first);
}

TEST_F(menu_offset_cal_test, RunsFinishSaveAndCancel) {
    QSignalSpy log(&dialog, &menu_offset_cal::send_menu_log);
    auto* start = get<QPushButton>("btn_start_offset_cal");
    auto* frames = get<QSpinBox>("sb_number_frame");
    auto* mode = get<QComboBox>("tg_calibration_mode");

    // VCSEL before any frame of 100 rows: nothing to add, nothing counted.
    frames->setValue(2);
    start->click();
    EXPECT_FALSE(start->isEnabled());
    EXPECT_FALSE(frames->isEnabled());
    feed(channel_frame(50));
    EXPECT_EQ(dialog.run().counter(), 0);
    feed(channel_frame());
    feed(channel_frame());
    EXPECT_TRUE(dialog.run().vcsel_ready());
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(frames->isEnabled());
    EXPECT_EQ(dialog.run().vcsel().at(59), 145 - 85);

    // SPAD on frames of 50 rows: 100 means per frame, and the run ends.
    mode->setCurrentIndex(1);
    start->click();
    feed(frame(50, 400, [](int r, int c) { return c < 200 ? 1000 + r : 2000; }));
    feed(frame(50, 400, [](int r, int c) { return c < 200 ? 1000 + r : 2000; }));
    ASSERT_TRUE(dialog.run().spad_ready());
    ASSERT_EQ(dialog.run().spad().size(), 100u);
    EXPECT_EQ(dialog.run().spad()[49], 1049);
    EXPECT_EQ(dialog.run().spad()[50], 2000);

    // Changing the mode or the channel count during a run cancels it.
    struct change {
        int mode;
        std::function<void()> act;
        const char* line;
    };
    const change changes[] = {
        {1, [&] { mode->setCurrentIndex(0); }, "[Offset Calibration] Calibration cancelled: the calibration mode changed."},
        {0, [&] { get<QComboBox>("comboBox")->setCurrentIndex(3); }, "[Offset Calibration] Calibration cancelled: the number of channels changed."},
    };
    for (const change& c : changes) {
        mode->setCurrentIndex(c.mode);
        start->click();
        feed(channel_frame());
        log.clear();
        c.act();
        EXPECT_FALSE(dialog.run().running()) << c.line;
        EXPECT_TRUE(start->isEnabled());
        EXPECT_EQ(spied_texts(log), QStringList{c.line});
    }
    EXPECT_FALSE(dialog.run().vcsel_ready() || dialog.run().spad_ready())
        << "a run started again takes its mode's earlier result back";
}

TEST_F(menu_offset_cal_test, SavesBothTablesInTheCalibrationFormat) {
    cfg_t c{};
    for (int i = 0; i < 200; ++i) c.spad_offset[i] = std::uint8_t(i);
    const float lens[12] = {540, 540, 210.5f, 49.5f, 0, 0, -0.8435f, 1.099f, -8.88f, 0, 0, 1e-06f};
    std::copy(lens, lens + 12, c.lens_coe);
    c.emitter_dwidth = 6.5f;
    c.global_offset = 133;
    dialog.get_menu_current_setting(c);

    // A VCSEL run over one frame: channel k is 12 k mm above channel 0.
    get<QSpinBox>("sb_number_frame")->setValue(1);
    get<QPushButton>("btn_start_offset_cal")->click();
    feed(channel_frame());
    ASSERT_TRUE(dialog.run().vcsel_ready());

    // Cancelled: the results are in the record all the same, nothing is written.
    get<QPushButton>("btn_save_offset_cal")->click();
    ASSERT_EQ(dialogs.seen.size(), 1u);
    EXPECT_EQ(dialogs.seen[0].title, "Save offset calibration file");
    EXPECT_EQ(dialogs.seen[0].filter, "Offset Calibration File (*.csv)");
    EXPECT_EQ(dialogs.seen[0].dir, QDir::homePath());
    EXPECT_EQ(dialog.current_configuration().vcsel_offset[59], 145 - 85);
    EXPECT_EQ(dialog.current_configuration().vcsel_offset[60], 0);

    // An existing file is replaced (the save dialog asked first), twice over.
    const QString path = temp_path("offsets.csv");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents\n");
    old.close();
    for (int save = 0; save < 2; ++save) {
        dialogs.answer_file(path);
        get<QPushButton>("btn_save_offset_cal")->click();
        const auto l = lines(path);
        ASSERT_EQ(l.size(), 200u);
        EXPECT_EQ(l[0], "0,0,540,6.5,133");
        EXPECT_EQ(l[2], "2,2,210.5,,,");
        EXPECT_EQ(l[6], "6,6,-0.8435,,,");
        EXPECT_EQ(l[11], "11,11,1e-06,,,");
        EXPECT_EQ(l[59], "60,59,,,,");   // 145 - 85
        EXPECT_EQ(l[60], "0,60,,,,");    // past the 60 channels
        EXPECT_EQ(l[95], "0,95,,,,");
        EXPECT_EQ(l[96], ",96,,,,");
        EXPECT_EQ(l[199], ",199,,,,");
    }
    EXPECT_EQ(dialogs.last_box(), nullptr);

    // A file that cannot be written is not passed over in silence.
    dialogs.answer_file(temp_path("no/such/folder/offsets.csv"));
    get<QPushButton>("btn_save_offset_cal")->click();
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_EQ(dialogs.last_box()->type, dialog_seam::kind::warning);
    EXPECT_EQ(dialogs.last_box()->title, "Warning");
    EXPECT_TRUE(dialogs.last_box()->text.startsWith("Cannot write the offset calibration file"));
}
