// gx_monkey: random hands on the administrator's main window for a while,
// against a gx_emulator on 127.0.0.1 whose faults change as it runs (dropped
// fragments, muted commands, malformed answers and datagrams, killed and
// started again on the same port). Every box and file dialog is answered at
// random, file dialogs with paths in the run's own folder: new ones, ones that
// cannot be written, ones that do not exist, garbage as recordings, presets,
// calibration tables and ground truths. Under an X server (scripts/xvfb.sh).
//   gx_monkey [--seconds N] [--seed S] [--max-stall-ms MS] [--max-rss-mb MB] [--keep]
// Prints the seed and what it did; the exit status is 0 when the program
// survived, the event loop never stood still longer than the limit, the
// resident memory stayed under its bound and nothing was written outside the
// folder. Connections and datagrams leave only for 127.0.0.1. The stall limit
// is 2 s (4 s in a build under AddressSanitizer).
#include "app/startup.h"
#include "device/command_line.h"
#include "monkey/monkey_run.h"
#include "tests/support/loopback_guard.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSurfaceFormat>
#include <QVTKOpenGLNativeWidget.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
// Reads the command line into s and keep. Returns -1 to go on, else the exit
// status: 0 after --help (printed to stdout), 2 for a command line it does
// not take.
int parse_args(int argc, char** argv, monkey_run::settings& s, bool& keep) {
    namespace po = command_line::po;
    po::options_description desc("usage: gx_monkey [options]\noptions");
    desc.add_options()
        ("help", "show this text")
        ("seconds", po::value(&s.seconds)->value_name("N"), "how long the hands go on (at least 1, default 60)")
        ("seed", po::value(&s.seed)->value_name("S"), "seed of the hands and of the faults (default 1)")
        ("max-stall-ms", po::value(&s.max_stall_ms)->value_name("MS"), "longest stall of the event loop allowed")
        ("max-rss-mb", po::value(&s.max_rss_mb)->value_name("MB"), "most resident memory allowed")
        ("keep", po::bool_switch(&keep), "keep the run's folder");
    po::variables_map vm;
    if (const int answered = command_line::read_or_answer(argc, argv, desc, "gx_monkey", vm); answered >= 0) return answered;
    s.seconds = std::max(1.0, s.seconds);
    return -1;
}
} // namespace

int main(int argc, char** argv) {
    monkey_run::settings s;
    bool keep = false;
    if (const int done = parse_args(argc, argv, s, keep); done >= 0) return done;
    if (std::getenv("DISPLAY") == nullptr && qEnvironmentVariable("QT_QPA_PLATFORM") != QLatin1String("offscreen")) {
        std::fprintf(stderr, "gx_monkey: needs an X server: run under scripts/xvfb.sh\n");
        return 2;
    }

    // The run's folder holds its home, working folder and temporary files.
    const QByteArray base = qgetenv("TMPDIR").isEmpty() ? QByteArray("/tmp") : qgetenv("TMPDIR");
    std::string pattern = base.toStdString() + "/gx_monkey_XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) {
        std::perror("gx_monkey: mkdtemp");
        return 2;
    }
    s.folder = QString::fromStdString(pattern);
    s.watched << QDir::homePath() << QDir::currentPath();
    for (const char* sub : {"home", "work", "tmp"}) QDir(s.folder).mkpath(QString::fromLatin1(sub));
    qputenv("HOME", QFile::encodeName(s.folder + "/home"));
    for (const char* xdg : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) qunsetenv(xdg);
    qputenv("TMPDIR", QFile::encodeName(s.folder + "/tmp"));
    qputenv("MESA_SHADER_CACHE_DISABLE", "true");
    QDir::setCurrent(s.folder + "/work");

    startup::keep_freed_heap();
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    app.setQuitOnLastWindowClosed(false);
    startup::load_style_sheet(app);

    std::printf("gx_monkey: seed %llu, %.0f s, folder %s\n", static_cast<unsigned long long>(s.seed), s.seconds,
                qPrintable(s.folder));
    std::fflush(stdout);
    bool ok = false;
    monkey_run::figures f;
    {
        monkey_run run(s);
        ok = run.run();
        f = run.result();
    }
    std::printf("seed %llu\n", static_cast<unsigned long long>(s.seed));
    std::printf("events sent: %llu (clicks %llu, keys %llu, texts %llu, wheel steps %llu)\n",
                static_cast<unsigned long long>(f.events), static_cast<unsigned long long>(f.clicks),
                static_cast<unsigned long long>(f.keys), static_cast<unsigned long long>(f.texts),
                static_cast<unsigned long long>(f.wheels));
    std::printf("dialogs opened: %llu; boxes answered: %llu; file dialogs answered: %llu\n",
                static_cast<unsigned long long>(f.dialogs_opened), static_cast<unsigned long long>(f.boxes_answered),
                static_cast<unsigned long long>(f.files_answered));
    std::printf("faults injected: %llu (emulator started again %llu times; connects %llu)\n",
                static_cast<unsigned long long>(f.faults), static_cast<unsigned long long>(f.emulator_restarts),
                static_cast<unsigned long long>(f.reconnects));
    for (const auto& kind : f.faults_by_kind) std::printf("  %s: %d\n", kind.first.c_str(), kind.second);
    std::printf("connections and datagrams kept from leaving 127.0.0.1: %llu\n",
                static_cast<unsigned long long>(loopback_guard::refused()));
    std::printf("longest stall of the event loop: %lld ms (limit %d)\n", static_cast<long long>(f.longest_stall_ms),
                s.max_stall_ms);
    std::printf("peak resident memory: %.1f MiB (limit %d)\n", double(f.peak_rss_kib) / 1024.0, s.max_rss_mb);
    std::printf("written outside the folder: %s\n",
                f.written_outside.isEmpty() ? "nothing" : qPrintable(f.written_outside.join(QStringLiteral(", "))));
    std::printf("%s\n", ok ? "gx_monkey: passed" : "gx_monkey: FAILED");
    if (!keep) QDir(s.folder).removeRecursively();
    return ok ? 0 : 1;
}
