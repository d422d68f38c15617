#include "app/MainWindow.h"
#include "app/startup.h"
#include "interop/foxglove_server.h"

#include <QApplication>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVTKOpenGLNativeWidget.h>
#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    startup::keep_freed_heap();
    // The command line is read before the application exists, so that --help
    // and argument errors need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    startup::options opts;
    opts.admin = VEZOVAD_ADMIN_DEFAULT;
    QString error;
    bool help = false;
    if (!startup::parse(arguments, opts, error, help)) {
        std::fprintf(stderr, "ro_vezovad: %s (ro_vezovad --help lists the options)\n", error.toLocal8Bit().constData());
        return 2;
    }
    if (help) {
        std::printf("%s", error.toLocal8Bit().constData());
        return 0;
    }
    if (opts.version) {
        std::printf("ro_vezovad %s\n", VEZOVAD_VERSION);
        return 0;
    }

    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
    QApplication app(argc, argv);
    // Qt takes the process locale from the environment; the libraries that
    // print or read numbers with the C library (VTK, OpenCV) keep the point.
    std::setlocale(LC_NUMERIC, "C");

    startup::load_style_sheet(app);
    MainWindow window(nullptr, opts.admin);
    if (opts.serve_foxglove) {
        std::string why;
        if (!window.serve_foxglove(opts.foxglove, why)) {
            std::fprintf(stderr, "--serve-foxglove: %s\n", why.c_str());
            return 1;
        }
        std::printf("Foxglove WebSocket server on ws://%s:%u\n", opts.foxglove.host.c_str(),
                    unsigned(window.foxglove_server()->port()));
        std::fflush(stdout);
    }
    startup::echo_failures(window);
    window.show();
    // The start-up actions run inside the event loop, and the quit timer runs
    // from the start: a warning box they open, or a connect that waits for the
    // sensor, cannot keep --quit-after from ending the program.
    if (opts.quit_after_s > 0) QTimer::singleShot(opts.quit_after_s * 1000, &app, [] { startup::quit_now(0); });
    bool started = true;
    QTimer::singleShot(0, &window, [&] {
        if (opts.connect || !opts.play_file.isEmpty()) startup::wait_until_painted(window);
        started = startup::apply(opts, window);
    });
    const int code = app.exec();
    if (opts.print_stats) std::printf("%s\n", startup::statistics_line(window).toLocal8Bit().constData());
    // A script learns from the status that the connection or recording it
    // asked for did not open.
    return started ? code : 1;
}
