// The administrator's main window live at 25 frames/s against gx_emulator on
// 127.0.0.1, under an X server (scripts/xvfb.sh), while the analysis tools
// open one after the other and then stay open together: image analysis,
// board alignment, the status monitor, the histogram viewer and the depth
// quality tool. For each stretch it prints the frames shown per second, the
// frames the library dropped or overwrote, the frame tick's duration
// (median, 99th percentile, largest, and how many ticks took longer than a
// frame period) and each frame's lag from its arrival in the library to the
// end of the tick that handed it to the views and tools. Then a recording
// with every tool open: the frames received against the frames recorded.
//   bench_live_tools [seconds] [--no-tools]
// `seconds` is the stretch with every tool open (60 by default); each tool's
// opening is followed for 3 s. Prints figures; asserts nothing.
#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "bench/gui_bench.h"
#include "bench/live_admin_window.h"
#include "menus/menu_board_align.h"
#include "menus/menu_depth_quality.h"
#include "menus/menu_histogram.h"
#include "menus/menu_image_analysis.h"
#include "menus/menu_status.h"
#include "tools/tool_admin.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace {

// CPU time of the calling thread, seconds.
double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void spin(QApplication& app, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) app.processEvents(QEventLoop::AllEvents, 10);
}

// Times each frame tick from the timer's event to the end of its slots.
class tick_clock : public QObject {
public:
    explicit tick_clock(QTimer* timer) {
        timer->installEventFilter(this);
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            if (started_ > 0) {
                ticks_ms.push_back(double(now_ns() - started_) / 1e6);
                cpu_ms.push_back((thread_cpu_seconds() - started_cpu_) * 1e3);
            }
            started_ = 0;
        });
    }
    std::vector<double> ticks_ms, cpu_ms; // wall and the window thread's CPU time

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Timer) {
            started_ = now_ns();
            started_cpu_ = thread_cpu_seconds();
        }
        return false;
    }

private:
    std::int64_t started_ = 0;
    double started_cpu_ = 0;
};

struct stretch {
    double seconds = 0, shown = 0, cpu = 0, window_cpu = 0;
    std::uint64_t received = 0, dropped = 0, overwritten = 0;
    std::vector<double> ticks_ms, tick_cpu_ms, lags_ms;
};

// Runs the window for `ms` and returns what it did meanwhile.
stretch follow(QApplication& app, MainWindow& w, tick_clock& ticks, std::vector<double>& lags, int ms) {
    const auto s0 = w.device_handle()->get_link_statistics();
    const auto frames0 = w.frames_emitted();
    const double cpu0 = cpu_seconds(), window0 = thread_cpu_seconds();
    ticks.ticks_ms.clear();
    ticks.cpu_ms.clear();
    lags.clear();
    QElapsedTimer run;
    run.start();
    spin(app, ms);
    stretch r;
    r.seconds = double(run.nsecsElapsed()) / 1e9;
    r.cpu = cpu_seconds() - cpu0;
    r.window_cpu = thread_cpu_seconds() - window0;
    const auto s1 = w.device_handle()->get_link_statistics();
    r.shown = double(w.frames_emitted() - frames0);
    r.received = s1.frames_received - s0.frames_received;
    r.dropped = s1.frames_dropped - s0.frames_dropped;
    r.overwritten = s1.frames_overwritten - s0.frames_overwritten;
    r.ticks_ms = ticks.ticks_ms;
    r.tick_cpu_ms = ticks.cpu_ms;
    r.lags_ms = lags;
    return r;
}

void print(const char* name, const stretch& r) {
    const auto late = std::count_if(r.ticks_ms.begin(), r.ticks_ms.end(), [](double t) { return t > 40.0; });
    const double longest = r.ticks_ms.empty() ? 0 : *std::max_element(r.ticks_ms.begin(), r.ticks_ms.end());
    const double lag_max = r.lags_ms.empty() ? 0 : *std::max_element(r.lags_ms.begin(), r.lags_ms.end());
    std::printf("%-34s %5.1f s  shown %5.2f/s  received %4llu  dropped %llu  overwritten %llu  CPU %3.0f%% (window "
                "thread %3.0f%%)\n",
                name, r.seconds, r.shown / r.seconds, static_cast<unsigned long long>(r.received),
                static_cast<unsigned long long>(r.dropped), static_cast<unsigned long long>(r.overwritten),
                100.0 * r.cpu / r.seconds, 100.0 * r.window_cpu / r.seconds);
    std::printf("%-34s tick ms: median %5.1f  p99 %5.1f  max %6.1f  over 40 ms: %ld of %zu;  lag ms: median %5.1f  "
                "p99 %5.1f  max %6.1f\n",
                "", median(r.ticks_ms), quantile(r.ticks_ms, 0.99), longest, long(late), r.ticks_ms.size(),
                median(r.lags_ms), quantile(r.lags_ms, 0.99), lag_max);
    std::printf("%-34s tick CPU ms: median %5.1f  p99 %5.1f  max %6.1f\n", "", median(r.tick_cpu_ms),
                quantile(r.tick_cpu_ms, 0.99),
                r.tick_cpu_ms.empty() ? 0.0 : *std::max_element(r.tick_cpu_ms.begin(), r.tick_cpu_ms.end()));
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 60.0;
    bool tools = true;
    bool no_tools = false;
    namespace po = bench_options::po;
    po::options_description desc(
        "usage: bench_live_tools [SECONDS] [options]\n"
        "The administrator's main window live while the analysis tools open (under scripts/xvfb.sh).\noptions");
    desc.add_options()("help", "show this text")
        ("seconds", po::value(&seconds)->value_name("S"), "length of each stretch (at least 2, default 60)")
        ("no-tools", po::bool_switch(&no_tools), "the main window alone");
    if (const int done = bench_options::read(argc, argv, "bench_live_tools", desc, {"seconds"}); done >= 0) return done;
    seconds = std::max(2.0, seconds);
    tools = !no_tools;
    if (!prepare_gui_bench()) return 1;
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    printed_figures_in_c_notation();

    live_admin_window live;
    if (!live.started) return 1;
    MainWindow& w = live.w;
    tick_clock ticks(w.frame_tick_timer());
    std::vector<double> lags;
    TAVRIN::DadodUz::scene_t sample;
    TAVRIN::DadodUz::sensing_packet_t status_sample{};
    QObject::connect(&w, &MainWindow::send_main_data, &app, [&](TAVRIN::DadodUz::scene_t& s) {
        if (s.received_ns > 0) lags.push_back(double(now_ns() - s.received_ns) / 1e6);
        if (sample.rows == 0) sample = s;
    });
    QObject::connect(&w, &MainWindow::send_main_status_data, &app,
                     [&](TAVRIN::DadodUz::sensing_packet_t& p) { status_sample = p; });
    spin(app, 300);
    if (!live.connect()) return 1;
    std::printf("live at 25 frames/s, main window %dx%d, %d cores\n", w.width(), w.height(),
                QThread::idealThreadCount());
    spin(app, 1000); // the first paint
    print("no tool", follow(app, w, ticks, lags, 3000));

    tool_admin* admin = w.admin_tool();
    const std::vector<std::pair<const char*, std::function<void()>>> openings = {
        {"image analysis opened", [&] { admin->on_btn_image_analysis_clicked(); }},
        {"board alignment opened", [&] { admin->on_btn_board_align_clicked(); }},
        {"status monitor opened", [&] { admin->status->show(); }},
        {"histogram viewer opened", [&] { admin->on_btn_histogram_clicked(); }},
        {"depth quality opened", [&] { admin->on_btn_depth_quality_clicked(); }},
    };
    if (tools) {
        for (const auto& o : openings) {
            // The opening's own tick counts too: it starts the stretch.
            const auto s0 = w.device_handle()->get_link_statistics();
            o.second();
            stretch r = follow(app, w, ticks, lags, 3000);
            r.overwritten = w.device_handle()->get_link_statistics().frames_overwritten - s0.frames_overwritten;
            print(o.first, r);
        }
    }
    const stretch all = follow(app, w, ticks, lags, int(seconds * 1000));
    print(tools ? "all five tools open" : "no tool, long", all);

    // Recording with everything open: the writer runs off the window's thread.
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath("bench.bin").toStdString();
    const auto r0 = w.device_handle()->get_link_statistics();
    if (w.device_handle()->start_recording(path)) {
        const stretch rec = follow(app, w, ticks, lags, 10000);
        const bool complete = w.device_handle()->stop_recording();
        const auto r1 = w.device_handle()->get_link_statistics();
        print("recording, tools open", rec);
        std::printf("%-34s frames received %llu, recorded %llu, not recorded %llu, file %s\n", "",
                    static_cast<unsigned long long>(r1.frames_received - r0.frames_received),
                    static_cast<unsigned long long>(r1.frames_recorded),
                    static_cast<unsigned long long>(r1.frames_not_recorded), complete ? "complete" : "incomplete");
    } else {
        std::printf("cannot record to %s\n", path.c_str());
    }
    w.get_main_device_disconnect();

    // One frame's cost on the window's thread, the stream stopped and the
    // tools still open: each receiver's slot and the paints it asks for.
    if (sample.rows > 0 && tools) {
        std::printf("one frame on the window's thread (slot, then its paints), median of 40:\n");
        const auto cost = [&](const char* name, const std::function<void()>& slot) {
            std::vector<double> wall, cpu;
            for (int i = 0; i < 45; ++i) {
                const std::int64_t t0 = now_ns();
                const double c0 = thread_cpu_seconds();
                slot();
                app.processEvents();
                if (i >= 5) wall.push_back(double(now_ns() - t0) / 1e6), cpu.push_back((thread_cpu_seconds() - c0) * 1e3);
            }
            std::printf("  %-32s wall %5.1f ms (p90 %5.1f)  CPU %5.1f ms\n", name, median(wall), quantile(wall, 0.9),
                        median(cpu));
        };
        cost("every receiver of a frame", [&] { emit w.send_main_data(sample); });
        cost("image analysis", [&] { admin->image_analysis->updateScene(sample); });
        cost("board alignment", [&] { admin->board_align->updateScene(sample); });
        cost("depth quality", [&] { admin->depth_quality->updateScene(sample); });
        TAVRIN::DadodUz::sensing_packet_t packet = status_sample;
        cost("status monitor (a status packet)", [&] { admin->status->update_status(packet); });
    }
    return 0;
}
