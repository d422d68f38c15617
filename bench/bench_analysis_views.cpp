// The image analysis and board alignment dialogs under load, under an X
// server (scripts/xvfb.sh).
//   bench_analysis_views [seconds] [--live] [--closed] [--no-status-bar]
// 1. The cost of one frame (400 x 100, default settings; image analysis with
//    Average Mode on for all three images, N = 10): updateScene alone, and
//    updateScene followed by the paints it asks for in the shown dialog.
// 2. Live: the administrator's main window connected to gx_emulator on
//    127.0.0.1 at 25 frames/s, both dialogs open beside the point cloud and
//    image views; frames received by the library against frames shown by the
//    main window and reaching each dialog.
// --live skips part 1; --closed leaves the dialogs closed in part 2 (the
// baseline); --no-status-bar stops the status bar's slow refresh for the live
// run (its baseline). The live run ends with the cost of one status bar
// refresh. Prints figures; asserts nothing.
#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "bench/gui_bench.h"
#include "bench/live_admin_window.h"
#include "menus/menu_board_align.h"
#include "menus/menu_image_analysis.h"
#include "tests/support/synthetic_frames.h"
#include "tools/tool_admin.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPixmap>
#include <QStatusBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using scene_t = TAVRIN::DadodUz::scene_t;

template <class Dialog>
void frame_cost(QApplication& app, Dialog& dialog, const char* name) {
    std::vector<scene_t> frames(32);
    for (std::size_t i = 0; i < frames.size(); ++i) synthetic::fill_scene(frames[i], 100, 400, i * 4);
    dialog.show();
    for (int i = 0; i < 40; ++i) {  // warm up: the first frame sizes the labels and the table
        dialog.updateScene(frames[i % frames.size()]);
        app.processEvents();
    }
    std::vector<double> alone, painted;
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer t;
        t.start();
        dialog.updateScene(frames[i % frames.size()]);
        alone.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        dialog.updateScene(frames[(i + 7) % frames.size()]);
        app.processEvents();  // the paints the frame asked for
        painted.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("  %-16s updateScene %6.2f ms (p90 %5.2f), with its paints %6.2f ms (p90 %5.2f), dialog %dx%d\n", name,
                quantile(alone, 0.5), quantile(alone, 0.9), quantile(painted, 0.5), quantile(painted, 0.9),
                dialog.width(), dialog.height());
    dialog.hide();
}

void live(QApplication& app, double seconds, bool open, bool status_bar) {
    live_admin_window live;
    MainWindow& w = live.w;
    if (!live.connect()) return;
    if (!status_bar) w.health_tick_timer()->stop();
    menu_image_analysis* analysis = w.admin_tool()->image_analysis;
    menu_board_align* align = w.admin_tool()->board_align;
    for (const char* c : {"cb_ambient_aveg_mode", "cb_depth_aveg_mode", "cb_intensity_aveg_mode"})
        analysis->findChild<QCheckBox*>(c)->setChecked(true);
    if (open) {
        analysis->show();
        align->show();
    }
    long to_analysis = 0, to_align = 0;
    QElapsedTimer since_last;
    std::vector<double> gaps_ms;
    QObject::connect(&w, &MainWindow::send_main_data, [&](scene_t&) {
        // Connected after the dialogs: runs once both have drawn the frame.
        if (analysis->is_open()) ++to_analysis;
        if (align->is_open()) ++to_align;
        if (since_last.isValid()) gaps_ms.push_back(double(since_last.nsecsElapsed()) / 1e6);
        since_last.start();
    });
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 1500) app.processEvents(QEventLoop::AllEvents, 10);

    const auto s0 = w.device_handle()->get_link_statistics();
    const auto shown0 = w.frames_emitted();
    const long a0 = to_analysis, b0 = to_align;
    gaps_ms.clear();
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < seconds * 1000) app.processEvents(QEventLoop::AllEvents, 10);
    // Let the last frame the library took reach the window.
    wait.restart();
    while (wait.elapsed() < 100) app.processEvents(QEventLoop::AllEvents, 10);
    const double elapsed = double(run.nsecsElapsed()) / 1e9;
    const auto s1 = w.device_handle()->get_link_statistics();
    const auto d = [](std::uint64_t a, std::uint64_t b) { return static_cast<unsigned long long>(b - a); };
    std::printf("\nlive, 400 x 100 at 25 frames/s, both dialogs %s, status bar %s, main window %dx%d, %.1f s\n",
                open ? "open" : "closed", status_bar ? "refreshed twice a second" : "stopped", w.width(), w.height(),
                elapsed);
    std::printf("  frames received by the library:   %6llu\n", d(s0.frames_received, s1.frames_received));
    std::printf("  frames dropped (incomplete):      %6llu\n", d(s0.frames_dropped, s1.frames_dropped));
    std::printf("  frames overwritten before taken:  %6llu\n", d(s0.frames_overwritten, s1.frames_overwritten));
    std::printf("  frames shown by the main window:  %6llu\n", static_cast<unsigned long long>(w.frames_emitted() - shown0));
    std::printf("  frames reaching image analysis:   %6ld\n", to_analysis - a0);
    std::printf("  frames reaching board alignment:  %6ld\n", to_align - b0);
    std::printf("  gap between frames shown: median %.1f ms, p99 %.1f ms, longest %.1f ms\n", quantile(gaps_ms, 0.5),
                quantile(gaps_ms, 0.99), gaps_ms.empty() ? 0.0 : *std::max_element(gaps_ms.begin(), gaps_ms.end()));
    // One refresh of the status bar, and the painting of the bar into an
    // image (on screen it joins the paints of the frame that follows).
    std::vector<double> refresh_us, paint_us;
    QPixmap bar(w.statusBar()->size());
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        w.on_health_timer();
        refresh_us.push_back(double(t.nsecsElapsed()) / 1e3);
        t.restart();
        w.statusBar()->render(&bar);
        paint_us.push_back(double(t.nsecsElapsed()) / 1e3);
        app.processEvents();
    }
    std::printf("  one status bar refresh: median %.1f us, p90 %.1f us; painting the bar: median %.1f us\n",
                quantile(refresh_us, 0.5), quantile(refresh_us, 0.9), quantile(paint_us, 0.5));
    w.get_main_device_disconnect();
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 10.0;
    bool live_only = false, closed = false, no_status_bar = false;
    bench_options::po::options_description desc(
        "usage: bench_analysis_views [SECONDS] [options]\n"
        "The image analysis and board alignment dialogs under load (under scripts/xvfb.sh).\noptions");
    desc.add_options()("help", "show this text")
        ("seconds", bench_options::po::value(&seconds)->value_name("S"), "length of the live run (at least 2, default 10)")
        ("live", bench_options::po::bool_switch(&live_only), "only the live run, not the cost of one frame")
        ("closed", bench_options::po::bool_switch(&closed), "the live run with the dialogs closed")
        ("no-status-bar", bench_options::po::bool_switch(&no_status_bar), "the live run without the status bar");
    if (const int done = bench_options::read(argc, argv, "bench_analysis_views", desc, {"seconds"}); done >= 0) return done;
    seconds = std::max(2.0, seconds);
    const bool status_bar = !no_status_bar;
    if (!prepare_gui_bench()) return 1;
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    printed_figures_in_c_notation();
    if (!live_only) {
        std::printf("one 400 x 100 frame, defaults (image analysis averaging 10 frames of each image)\n");
        menu_image_analysis analysis;
        for (const char* c : {"cb_ambient_aveg_mode", "cb_depth_aveg_mode", "cb_intensity_aveg_mode"})
            analysis.findChild<QCheckBox*>(c)->setChecked(true);
        frame_cost(app, analysis, "image analysis");
        menu_board_align align;
        frame_cost(app, align, "board alignment");
    }
    live(app, seconds, !closed, status_bar);
    return 0;
}
