// The administrator's main window live at 25 frames/s against gx_emulator on
// 127.0.0.1, under an X server (scripts/xvfb.sh), with the status monitor
// open and its history chart drawing: frames shown per second, frames the
// library dropped or overwrote, and how long the chart's redraws take (on
// the live history, and on a full 10 minutes of records at 25 per second).
//   bench_status_chart [seconds] [--closed]
// `seconds` defaults to 60; --closed leaves the monitor closed (the
// baseline). Prints figures; asserts nothing.
#include "bench/bench_options.h"
#include "bench/gui_bench.h"
#include "bench/live_admin_window.h"
#include "menus/menu_status.h"
#include "menus/status_chart.h"
#include "tools/tool_admin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QtCharts/QChartView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void spin(QApplication& app, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) app.processEvents(QEventLoop::AllEvents, 10);
}

// Median and largest of n timed redraws, in milliseconds.
void time_redraws(const char* what, menu_status& status, int n) {
    std::vector<double> ms;
    QElapsedTimer t;
    for (int i = 0; i < n; ++i) {
        t.start();
        status.redraw_history();
        status.history_chart()->view()->grab();  // the painting, too
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("chart redraw and paint, %s: median %.2f ms, largest %.2f ms\n", what, ms[ms.size() / 2], ms.back());
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 60.0;
    bool closed = false;
    namespace po = bench_options::po;
    po::options_description desc(
        "usage: bench_status_chart [SECONDS] [options]\n"
        "The status monitor's history chart live (under scripts/xvfb.sh).\noptions");
    desc.add_options()("help", "show this text")
        ("seconds", po::value(&seconds)->value_name("S"), "length of the live run (at least 5, default 60)")
        ("closed", po::bool_switch(&closed), "the status monitor closed");
    if (const int done = bench_options::read(argc, argv, "bench_status_chart", desc, {"seconds"}); done >= 0) return done;
    seconds = std::max(5.0, seconds);
    if (!prepare_gui_bench()) return 1;
    QApplication app(argc, argv);
    printed_figures_in_c_notation();

    live_admin_window live;
    if (!live.connect()) return 1;
    menu_status* status = live.w.admin_tool()->status;
    if (!closed) status->show();
    spin(app, 2000);  // warm up

    auto* device = live.w.device_handle();
    const auto s0 = device->get_link_statistics();
    const std::uint64_t shown0 = live.w.frames_emitted();
    QElapsedTimer run;
    run.start();
    spin(app, int(seconds * 1000));
    const double elapsed = double(run.elapsed()) / 1000.0;
    const auto s1 = device->get_link_statistics();
    const std::uint64_t shown = live.w.frames_emitted() - shown0;
    std::printf("status monitor %s, %.1f s at 25 frames/s\n", closed ? "closed" : "open with its chart", elapsed);
    std::printf("frames shown per second:  %.1f\n", double(shown) / elapsed);
    std::printf("frames received:          %llu\n", static_cast<unsigned long long>(s1.frames_received - s0.frames_received));
    std::printf("frames dropped:           %llu\n", static_cast<unsigned long long>(s1.frames_dropped - s0.frames_dropped));
    std::printf("frames overwritten:       %llu\n", static_cast<unsigned long long>(s1.frames_overwritten - s0.frames_overwritten));
    time_redraws("live history", *status, 20);

    // A full live window: 10 minutes of records at 25 per second, every value charted.
    menu_status full;
    full.show();
    TAVRIN::DadodUz::sensing_packet_t p{};
    for (int i = 0; i < 600 * 25; ++i) {
        p.xadc_onchip_temp = 40.f + float(i % 100) / 10.f;
        full.update_status(p);
    }
    time_redraws("15000 records, 3 values", full, 20);
    return 0;
}
