// The histogram viewer under load, under an X server (scripts/xvfb.sh).
//   bench_histogram [seconds] [--live] [--hidden] [--software]
// --live skips the update cost, --hidden keeps the viewer closed, --software draws its
// series without OpenGL.
// 1. The cost of one histogram update for 1024 bins with 100 average frames:
//    the averaging alone, the viewer's update (current chart, average, average
//    chart), and the update followed by the repaint of the shown dialog; with
//    the series drawn through OpenGL and in software.
// 2. The live lag: the main window connected to gx_emulator on 127.0.0.1,
//    histogram mode over a 10 x 10 window at 25 frames/s with the views
//    rendering every frame; the time from a histogram's arrival at the device
//    library to the viewer's update, over time, to the chart's paint, and the
//    library's queue.
// Prints figures; asserts nothing.
#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "bench/gui_bench.h"
#include "bench/live_admin_window.h"
#include "device/gx_protocol.h"
#include "emulator/gx_factory_registers.h"
#include "logic/histogram_average.h"
#include "menus/menu_histogram.h"
#include "tools/tool_admin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVTKOpenGLNativeWidget.h>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using hist_t = TAVRIN::DadodUz::histogram_t;


std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Calls `on_paint` after every paint of the widget it watches.
class paint_watch : public QObject {
public:
    explicit paint_watch(std::function<void()> f) : on_paint(std::move(f)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) on_paint();
        return false;
    }

private:
    std::function<void()> on_paint;
};

// Histograms like the sensor's: a noise floor and one return peak.
std::vector<hist_t> make_histograms(std::size_t count) {
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.f, 3.f);
    std::vector<hist_t> out(count);
    for (std::size_t k = 0; k < count; ++k) {
        hist_t& h = out[k];
        h.row = std::uint32_t(k % 10);
        h.col = std::uint32_t(k / 10 % 10);
        h.bin_count = 1024;
        h.bins.resize(1024);
        const float peak = 100.f + float(k % 700);
        for (std::size_t b = 0; b < 1024; ++b) {
            const float d = (float(b) - peak) / 1.6f;
            const float v = 20.f + noise(rng) + 400.f * std::exp(-0.5f * d * d);
            h.bins[b] = std::uint16_t(std::clamp(v, 0.f, 65535.f));
        }
    }
    return out;
}

void update_cost(QApplication& app) {
    const auto hists = make_histograms(256);
    std::printf("one histogram update, 1024 bins, 100 average frames (medians of 1000 and of 500 with the dialog)\n");

    histogram_average window(100);
    std::vector<float> avg;
    std::vector<double> logic_us;
    for (int i = 0; i < 1200; ++i) {
        const hist_t& h = hists[std::size_t(i) % hists.size()];
        QElapsedTimer t;
        t.start();
        window.add(h.bins.data(), h.bins.size());
        window.average(avg);
        if (i >= 200) logic_us.push_back(double(t.nsecsElapsed()) / 1000.0);
    }
    std::printf("  averaging window alone:              %8.1f us\n", median(logic_us));

    // As the viewer builds the charts (OpenGL series only with a hardware
    // renderer), with OpenGL series forced (as it was built before), and
    // without antialiasing.
    const char* const names[3] = {"as built:", "OpenGL forced:", "not antialiased:"};
    for (int variant = 0; variant < 3; ++variant) {
        menu_histogram dialog;
        for (QtCharts::QChart* c : {dialog.histogram_chart(), dialog.average_chart()}) {
            for (auto* s : c->series())
                if (variant == 1) s->setUseOpenGL(true);
            for (QGraphicsView* v : c->scene()->views()) v->setRenderHint(QPainter::Antialiasing, variant != 2);
        }
        const bool on = dialog.histogram_chart()->series().at(0)->useOpenGL();
        dialog.resize(1200, 860);
        dialog.show();
        app.processEvents();
        std::vector<double> update_us, total_us;
        for (int i = 0; i < 600; ++i) {
            hist_t h = hists[std::size_t(i) % hists.size()];
            QElapsedTimer t;
            t.start();
            dialog.update_histogram(h);
            dialog.draw_charts();
            const double u = double(t.nsecsElapsed()) / 1000.0;
            app.processEvents(); // the repaint of both charts
            if (i >= 100) {
                update_us.push_back(u);
                total_us.push_back(double(t.nsecsElapsed()) / 1000.0);
            }
        }
        std::printf("  %-17s series %-12s update and draw %8.1f us, with repaint %8.1f us (p90 %.1f us)\n", names[variant],
                    on ? "by OpenGL," : "in software,", median(update_us), median(total_us), quantile(total_us, 0.9));
        dialog.hide();
    }
}

void live_lag(QApplication& app, double seconds, bool viewer_shown, bool software) {
    live_admin_window live;
    if (!live.started) return;
    MainWindow& w = live.w;
    menu_histogram* viewer = w.admin_tool()->histogram;
    if (software)
        for (QtCharts::QChart* c : {viewer->histogram_chart(), viewer->average_chart()})
            for (auto* s : c->series()) s->setUseOpenGL(false);
    long ticks = 0;
    QObject::connect(w.frame_tick_timer(), &QTimer::timeout, [&] { ++ticks; });
    if (!live.connect()) return;
    // Opened like the administrator opens it: it reads the sensor's configuration.
    if (viewer_shown) viewer->show();
    // Wait for the first frames (and for a configuration read the opening of
    // the viewer may have started) before switching to histogram mode.
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 1500) app.processEvents(QEventLoop::AllEvents, 10);
    TAVRIN::DadodUz::configurations_t cfg = gx::default_registers().config;
    cfg.stream_mode = 4;
    cfg.start_row_index = 40;
    cfg.end_row_index = 49;
    cfg.start_column_index = 195;
    cfg.end_column_index = 204;
    cfg.fps = 25;
    w.get_main_apply_device(cfg);

    struct sample {
        double at_s;
        double lag_ms;
    };
    std::vector<sample> samples, painted;
    QElapsedTimer run;
    std::int64_t latest_received_ns = 0;
    paint_watch watch([&] {
        if (run.isValid() && latest_received_ns != 0)
            painted.push_back({double(run.nsecsElapsed()) / 1e9, double(now_ns() - latest_received_ns) / 1e6});
    });
    if (viewer_shown) viewer->histogram_chart()->scene()->views().at(0)->viewport()->installEventFilter(&watch);
    const auto connection = QObject::connect(&w, &MainWindow::send_main_histogram, [&](hist_t& h) {
        // Runs after the viewer's own update (connected first).
        latest_received_ns = h.received_ns;
        if (run.isValid()) samples.push_back({double(run.nsecsElapsed()) / 1e9, double(now_ns() - h.received_ns) / 1e6});
    });
    // A second to settle, then measure.
    wait.restart();
    while (wait.elapsed() < 1000) app.processEvents(QEventLoop::AllEvents, 10);
    const auto frames0 = w.frames_emitted();
    const long ticks0 = ticks;
    const auto s0 = w.device_handle()->get_link_statistics();
    run.start();
    std::vector<std::uint64_t> queued;
    while (run.elapsed() < seconds * 1000) {
        app.processEvents(QEventLoop::AllEvents, 10);
        if (queued.size() < std::size_t(run.elapsed() / 1000) + 1) queued.push_back(w.device_handle()->get_link_statistics().histograms_queued);
    }
    const double elapsed = double(run.nsecsElapsed()) / 1e9;
    const auto s1 = w.device_handle()->get_link_statistics();
    QObject::disconnect(connection);
    const double frames = double(w.frames_emitted() - frames0);

    std::printf("\nlive, 10 x 10 window at 25 frames/s, main window %dx%d, viewer %s, %.1f s\n", w.width(), w.height(),
                !viewer_shown ? "hidden" : software ? "shown (series in software)" : "shown", elapsed);
    std::printf("  frame timer ticks per second:     %8.1f\n", double(ticks - ticks0) / elapsed);
    std::printf("  frames shown per second:          %8.1f\n", frames / elapsed);
    std::printf("  histograms received per second:   %8.1f\n", double(s1.histograms_received - s0.histograms_received) / elapsed);
    std::printf("  histograms shown per second:      %8.1f\n", double(samples.size()) / elapsed);
    std::printf("  histograms dropped by the library: %7llu\n",
                static_cast<unsigned long long>(s1.histograms_dropped - s0.histograms_dropped));
    std::printf("  queue in the library each second:");
    for (auto q : queued) std::printf(" %llu", static_cast<unsigned long long>(q));
    std::printf("\n  lag arrival -> viewer per second (median ms):");
    for (int sec = 0; sec < int(std::ceil(elapsed)); ++sec) {
        std::vector<double> lags;
        for (const sample& s : samples)
            if (int(s.at_s) == sec) lags.push_back(s.lag_ms);
        std::printf(" %.0f", median(lags));
    }
    std::vector<double> all;
    for (const sample& s : samples) all.push_back(s.lag_ms);
    std::printf("\n  lag overall: median %.1f ms, p90 %.1f ms, max %.1f ms\n", median(all), quantile(all, 0.9),
                all.empty() ? 0.0 : *std::max_element(all.begin(), all.end()));
    std::vector<double> on_screen;
    for (const sample& s : painted) on_screen.push_back(s.lag_ms);
    std::printf("  chart paints per second:          %8.1f\n", double(painted.size()) / elapsed);
    std::printf("  lag arrival -> chart painted: median %.1f ms, p90 %.1f ms, max %.1f ms\n", median(on_screen),
                quantile(on_screen, 0.9), on_screen.empty() ? 0.0 : *std::max_element(on_screen.begin(), on_screen.end()));
    w.get_main_device_disconnect();
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 8.0;
    bool hidden = false, software = false, live_only = false;
    namespace po = bench_options::po;
    po::options_description desc(
        "usage: bench_histogram [SECONDS] [options]\n"
        "The histogram viewer under load (under scripts/xvfb.sh).\noptions");
    desc.add_options()("help", "show this text")
        ("seconds", po::value(&seconds)->value_name("S"), "length of the live run (at least 2, default 8)")
        ("live", po::bool_switch(&live_only), "only the live run, not the cost of one update")
        ("hidden", po::bool_switch(&hidden), "the live run with the viewer closed")
        ("software", po::bool_switch(&software), "the viewer's series drawn without OpenGL");
    if (const int done = bench_options::read(argc, argv, "bench_histogram", desc, {"seconds"}); done >= 0) return done;
    seconds = std::max(2.0, seconds);
    if (!prepare_gui_bench()) return 1;
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    printed_figures_in_c_notation();
    if (!live_only) update_cost(app);
    live_lag(app, seconds, !hidden, software);
    return 0;
}
