// The administrator's main window live at 25 frames/s with image analysis,
// board alignment, the status monitor, the histogram viewer and the depth
// quality tool open at once, against gx_emulator on 127.0.0.1, under an X
// server (scripts/xvfb.sh). Prints frames shown per second, the frames the
// library dropped or overwrote from the connect on (the first frame
// included), the frame tick's rate and the viewer's CPU share.
//   bench_live_tools [seconds] [--no-tools]
// Prints figures; asserts nothing.
#include "bench/gui_bench.h"
#include "bench/live_admin_window.h"
#include "menus/menu_board_align.h"
#include "menus/menu_depth_quality.h"
#include "menus/menu_histogram.h"
#include "menus/menu_image_analysis.h"
#include "menus/menu_status.h"
#include "tools/tool_admin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void spin(QApplication& app, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) app.processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 60.0;
    bool tools = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-tools") == 0) tools = false;
        else seconds = std::max(2.0, std::atof(argv[i]));
    }
    if (!prepare_gui_bench()) return 1;
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    printed_figures_in_c_notation();

    live_admin_window live;
    if (!live.started) return 1;
    MainWindow& w = live.w;
    long ticks = 0;
    QObject::connect(w.frame_tick_timer(), &QTimer::timeout, [&] { ++ticks; });
    spin(app, 300);
    if (!live.connect()) return 1;
    tool_admin* admin = w.admin_tool();
    if (tools) {
        admin->on_btn_image_analysis_clicked();
        admin->on_btn_board_align_clicked();
        admin->status->show();
        admin->on_btn_histogram_clicked();
        admin->on_btn_depth_quality_clicked();
    }
    int shown = 0;
    for (QWidget* d : {static_cast<QWidget*>(admin->image_analysis), static_cast<QWidget*>(admin->board_align),
                       static_cast<QWidget*>(admin->status), static_cast<QWidget*>(admin->histogram),
                       static_cast<QWidget*>(admin->depth_quality)})
        shown += d->isVisible() ? 1 : 0;

    spin(app, 1000);  // the tools' first configuration reads settle
    const auto frames0 = w.frames_emitted();
    const long ticks0 = ticks;
    const double cpu0 = cpu_seconds();
    QElapsedTimer run;
    run.start();
    spin(app, int(seconds * 1000));
    const double elapsed = double(run.nsecsElapsed()) / 1e9;
    const double cpu = cpu_seconds() - cpu0;
    const auto s = w.device_handle()->get_link_statistics();

    std::printf("live at 25 frames/s, main window %dx%d, %d tools open, %.1f s\n", w.width(), w.height(), shown, elapsed);
    std::printf("  frames shown per second:   %6.2f\n", double(w.frames_emitted() - frames0) / elapsed);
    std::printf("  frame timer ticks per second: %6.1f\n", double(ticks - ticks0) / elapsed);
    std::printf("  since the connect: %llu frames received, %llu dropped, %llu overwritten, %llu datagrams discarded\n",
                static_cast<unsigned long long>(s.frames_received), static_cast<unsigned long long>(s.frames_dropped),
                static_cast<unsigned long long>(s.frames_overwritten), static_cast<unsigned long long>(s.datagrams_discarded));
    std::printf("  viewer CPU (all its threads): %.0f%% of one core, %.0f%% of the %d cores\n", 100.0 * cpu / elapsed,
                100.0 * cpu / elapsed / std::max(1, QThread::idealThreadCount()), QThread::idealThreadCount());
    w.get_main_device_disconnect();
    return 0;
}
