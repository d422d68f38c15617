// The status monitor's bands and history, and the image view's colour legends.
#include "app/MainWindow.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "emulator/gx_factory_registers.h"
#include "menus/menu_status.h"
#include "menus/status_chart.h"
#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"
#include "tools/tool_admin.h"
#include "tools/tool_status_bands.h"
#include "tools/tool_user.h"
#include "viewers/colour_legend_bar.h"
#include "viewers/viewer_image.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QtCharts/QChart>
#include <QtCharts/QValueAxis>

#include <cstring>

namespace {

using packet_t = TAVRIN::DadodUz::sensing_packet_t;

// Every value in the middle of its band.
packet_t nominal(const status_limits::bands& bands) {
    packet_t p{};
    for (std::size_t i = 0; i < status_limits::kBands; ++i) {
        const float mid = float((bands[i].low + bands[i].high) / 2);
        std::memcpy(reinterpret_cast<char*>(&p.xadc_onchip_temp) + sizeof(float) * i, &mid, sizeof mid);
    }
    return p;
}

void write_file(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class status_pictures_test : public widget_test {};

TEST_F(status_pictures_test, an_out_of_band_value_colours_its_field_and_the_status_bar) {
    MainWindow w;
    menu_status* status = w.admin_tool()->status;
    auto* vccint = control<QLineEdit>(status, "le_xadc_vccint");
    const packet_t base = nominal(status->limits());
    struct row {
        float vccint, rx_temp;
        status_limits::level level;
        const char* bar;
        int bar_level;
    };
    const row rows[] = {{1.0f, 39.f, status_limits::level::in_band, "", -1},
                        {1.06f, 39.f, status_limits::level::amber, "Status: 1 value out of band", 0},
                        {1.06f, 200.f, status_limits::level::amber, "Status: 2 values out of band", 1},
                        {1.2f, 39.f, status_limits::level::red, "Status: 1 value out of band", 1},
                        {1.0f, 39.f, status_limits::level::in_band, "", -1}};
    for (const row& r : rows) {
        packet_t p = base;
        p.xadc_vccint = r.vccint;
        p.rx_temp = r.rx_temp;
        emit w.send_main_status_data(p);
        EXPECT_EQ(status->field_level(1), r.level) << r.vccint;
        EXPECT_EQ(vccint->styleSheet().isEmpty(), r.level == status_limits::level::in_band) << r.vccint;
        EXPECT_EQ(vccint->text(), QString::number(double(r.vccint), 'g', 6)) << "the text is unchanged";
        EXPECT_EQ(w.status_bands_bar()->text(), r.bar);
        EXPECT_EQ(w.status_bands_bar()->shown_level(), r.bar_level);
    }
    EXPECT_EQ(vccint->toolTip(), "band 0.95 .. 1.05");

    // A malformed limits file is refused with a box; a good one takes over.
    const QString bad = temp_path("bad.csv"), good = temp_path("good.csv");
    QFile shipped(":/limits/status_limits.csv");
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    QByteArray text = shipped.readAll();
    write_file(bad, QByteArray(text).replace("xadc_vccint,0.95,1.05", "xadc_vccint,1.05,0.95"));
    write_file(good, QByteArray(text).replace("xadc_vccint,0.95,1.05", "xadc_vccint,0.9,1.3"));
    packet_t p = base;
    p.xadc_vccint = 1.2f;
    emit w.send_main_status_data(p);
    dialogs.answer_file(bad);
    control<QPushButton>(status, "btn_load_limits")->click();
    ASSERT_EQ(dialogs.seen.size(), 2u);
    EXPECT_EQ(dialogs.last_box()->title, "Warning");
    EXPECT_EQ(status->limits()[1].high, 1.05);
    EXPECT_EQ(w.status_bands_bar()->shown_level(), 1);
    dialogs.answer_file(good);
    control<QPushButton>(status, "btn_load_limits")->click();
    EXPECT_EQ(status->field_level(1), status_limits::level::in_band);
    EXPECT_EQ(vccint->toolTip(), "band 0.9 .. 1.3");
    EXPECT_EQ(w.status_bands_bar()->shown_level(), -1);
}

TEST_F(status_pictures_test, a_recordings_status_history_follows_a_seek) {
    const QString path = temp_path("status.bin");
    {
        gx::recording_writer writer;
        ASSERT_TRUE(writer.open(path.toStdString()));
        gx::frame_info info;
        const auto factory = gx::default_registers();
        std::copy(factory.config.lens_coe, factory.config.lens_coe + 12, info.lens.begin());
        for (std::uint32_t i = 0; i < 4000; ++i) {
            auto s = synthetic::make_scene(4, 8, i);
            s.timestamp.assign(1, 1000000ull + i * 4000000ull);
            packet_t status{};
            status.xadc_onchip_temp = float(i);  // the frame index, to read back
            // The writer takes a bounded queue: a refused frame is offered again.
            std::vector<std::uint8_t> bytes = gx::encode_frame(s, info);
            while (!writer.push(std::move(bytes), status)) QThread::yieldCurrentThread();
        }
        ASSERT_TRUE(writer.close());
    }
    MainWindow w;
    w.user_tool()->file_path = path;
    w.get_main_playmode_status(true);
    ASSERT_TRUE(w.is_play_mode());
    w.frame_tick_timer()->stop();
    menu_status* status = w.admin_tool()->status;
    status_chart* chart = status->history_chart();
    auto* x = qobject_cast<QtCharts::QValueAxis*>(chart->chart()->axes(Qt::Horizontal).first());
    for (std::uint64_t frame : {0ull, 3000ull, 1200ull, 3999ull}) {
        w.get_main_playmode_currrent_frame(frame);
        w.on_frame_timer();
        status->redraw_history();
        EXPECT_EQ(chart->cursor_x(), double(frame));
        EXPECT_LE(x->min(), double(frame));
        EXPECT_GE(x->max(), double(frame));
        EXPECT_EQ(x->max() - x->min(), 1499.0) << "a window of the recording around the cursor";
    }
}

TEST_F(status_pictures_test, legends_follow_the_frames_scaling) {
    viewer_image view;
    view.resize(900, 160);
    view.show();
    colour_legend::legend cloud_depth;
    QObject::connect(&view, &viewer_image::send_viewer_image_cloud_legend, &view, [&](int kind, colour_legend::legend l) {
        if (kind == viewer_image::depth && !l.ticks.empty()) cloud_depth = l;
    });
    auto scene = synthetic::make_scene(10, 40, 0);
    for (std::size_t i = 0; i < scene.depth.size(); ++i) scene.depth[i] = 1500 + std::int32_t(i * 2500 / (scene.depth.size() - 1));
    struct row {
        bool auto_norm, equalise;
        std::vector<std::string> depth_ticks;
        std::string note;
    };
    const row rows[] = {{false, false, {"0", "5000", "10000", "15000", "20000"}, ""},
                        {true, false, {"0", "500", "1000", "1500", "2000", "2500"}, ""},
                        {true, true, {}, "equalised"}};
    for (const row& r : rows) {
        view.get_main_image_auto_norm_depth(r.auto_norm);
        view.get_main_image_hist_mode_depth(r.equalise);
        view.updateScene(scene);
        std::vector<std::string> ticks;
        for (const auto& t : view.legend_bar(viewer_image::depth)->legend().ticks) ticks.push_back(t.text);
        EXPECT_EQ(ticks, r.depth_ticks);
        EXPECT_EQ(view.legend(viewer_image::depth).note, r.note);
        EXPECT_EQ(view.legend(viewer_image::depth).unit, "mm");
        EXPECT_TRUE(view.legend_bar(viewer_image::depth)->isVisible());
    }
    // The cloud's depth legend is the same scale in metres.
    EXPECT_EQ(cloud_depth.unit, "m");
    ASSERT_FALSE(cloud_depth.ticks.empty());
    EXPECT_EQ(cloud_depth.ticks.back().text, "2.5");
}
