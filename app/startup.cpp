#include "app/startup.h"

#include "app/MainWindow.h"
#include "menus/menu_connection.h"
#include "tools/tool_admin.h"
#include "tools/tool_playbar.h"
#include "tools/tool_user.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QWindow>
#include <cstdio>
#include <malloc.h>
#include <memory>

bool startup::load_style_sheet(QApplication& app, const QString& resource) {
    QFile file(resource);
    if (!file.exists()) {
        std::printf("Unable to set stylesheet, file not found\n");
        std::fflush(stdout);
        return false;
    }
    if (!file.open(QFile::ReadOnly | QFile::Text)) return false;
    QTextStream in(&file);
    app.setStyleSheet(in.readAll());
    return true;
}

bool startup::split_address(const QString& text, QString& ip, int& port) {
    const int colon = text.lastIndexOf(':');
    if (colon <= 0) return false;
    bool ok = false;
    const int p = text.mid(colon + 1).toInt(&ok, 10);
    if (!ok || p < 0 || p > 65535) return false;
    ip = text.left(colon);
    port = p;
    return true;
}

bool startup::parse(const QStringList& arguments, options& out, QString& error, bool& help) {
    help = false;
    QCommandLineParser parser;
    parser.setApplicationDescription("RO Vezovad: viewer and service console for GX LiDAR sensors.");
    const QCommandLineOption help_opt(QStringList{"h", "help"}, "Show this help.");
    const QCommandLineOption device_opt("device", "Device address of the connection dialog.", "IP:PORT");
    const QCommandLineOption local_opt("local", "Local (PC) address of the connection dialog.", "IP:PORT");
    const QCommandLineOption connect_opt("connect", "Connect to the device in stream mode at start.");
    const QCommandLineOption play_opt("play", "Open a recording at start and play it.", "FILE");
    const QCommandLineOption admin_opt("admin", "Turn administrator mode on.");
    const QCommandLineOption quit_opt("quit-after", "Quit after the given number of seconds.", "SECONDS");
    const QCommandLineOption stats_opt("print-stats", "Print frame counters to standard output at exit.");
    const QCommandLineOption first_opt("print-first-frame",
                                       "Print a line to standard output when the first frame is on screen.");
    const QCommandLineOption open_opt("open", "With --admin, open an administrator window at start: " +
                                                  tool_admin::tool_names().join(", ") + ".",
                                      "TOOL");
    parser.addOption(help_opt);
    parser.addOption(device_opt);
    parser.addOption(local_opt);
    parser.addOption(connect_opt);
    parser.addOption(play_opt);
    parser.addOption(admin_opt);
    parser.addOption(quit_opt);
    parser.addOption(first_opt);
    parser.addOption(stats_opt);
    parser.addOption(open_opt);
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(help_opt)) {
        // Written out here: the parser's own help text needs an application object.
        help = true;
        error = parser.applicationDescription() + "\n\nUsage: ro_vezovad [options]\n\nOptions:\n";
        for (const QCommandLineOption& o : {help_opt, device_opt, local_opt, connect_opt, play_opt, admin_opt, quit_opt,
                                            stats_opt, open_opt}) {
            QString names;
            for (const QString& n : o.names()) names += (names.isEmpty() ? "" : ", ") + QString(n.size() == 1 ? "-" : "--") + n;
            if (!o.valueName().isEmpty()) names += " <" + o.valueName() + ">";
            error += "  " + names.leftJustified(26) + " " + o.description() + "\n";
        }
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = "Unexpected argument: " + parser.positionalArguments().first();
        return false;
    }
    if (parser.isSet(device_opt)) {
        if (!split_address(parser.value(device_opt), out.device_ip, out.device_port)) {
            error = "--device takes IP:PORT, not " + parser.value(device_opt);
            return false;
        }
        out.has_device = true;
    }
    if (parser.isSet(local_opt)) {
        if (!split_address(parser.value(local_opt), out.local_ip, out.local_port)) {
            error = "--local takes IP:PORT, not " + parser.value(local_opt);
            return false;
        }
        out.has_local = true;
    }
    out.connect = parser.isSet(connect_opt);
    out.play_file = parser.value(play_opt);
    out.admin = parser.isSet(admin_opt);
    out.print_stats = parser.isSet(stats_opt);
    out.print_first_frame = parser.isSet(first_opt);
    if (parser.isSet(quit_opt)) {
        bool ok = false;
        out.quit_after_s = parser.value(quit_opt).toInt(&ok);
        if (!ok || out.quit_after_s < 0) {
            error = "--quit-after takes a whole number of seconds";
            return false;
        }
    }
    out.open_tool = parser.value(open_opt);
    if (parser.isSet(open_opt)) {
        if (!tool_admin::tool_names().contains(out.open_tool)) {
            error = "--open takes one of " + tool_admin::tool_names().join(", ") + ", not " + out.open_tool;
            return false;
        }
        if (!out.admin) {
            error = "--open needs --admin";
            return false;
        }
    }
    if (out.connect && !out.play_file.isEmpty()) {
        error = "--connect and --play exclude each other";
        return false;
    }
    return true;
}

void startup::keep_freed_heap() {
#ifdef M_TRIM_THRESHOLD
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
#endif
}

void startup::wait_until_painted(QWidget& window, int timeout_ms) {
    QElapsedTimer waited;
    waited.start();
    const QWindow* handle = window.windowHandle();
    while (handle != nullptr && !handle->isExposed() && waited.elapsed() < timeout_ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // The exposure's paint, then anything it posted.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void startup::apply(const options& opts, MainWindow& window) {
    if (opts.print_first_frame) {
        // The views draw a frame as they receive it: once the signal has
        // passed through them, the frame is on screen.
        auto printed = std::make_shared<QMetaObject::Connection>();
        auto report = [printed] {
            std::printf("first frame on screen\n");
            std::fflush(stdout);
            QObject::disconnect(*printed);
        };
        *printed = QObject::connect(&window, &MainWindow::send_main_data, &window, report);
    }
    menu_connection* connection = window.user_tool()->connection;
    if (opts.has_device || opts.has_local) {
        connection->set_connection_values(opts.has_device ? opts.device_ip : connection->device_ip,
                                          opts.has_device ? opts.device_port : connection->device_port,
                                          opts.has_local ? opts.local_ip : connection->local_ip,
                                          opts.has_local ? opts.local_port : connection->local_port);
    }
    if (opts.connect) {
        window.get_main_connect_status(true);
    } else if (!opts.play_file.isEmpty()) {
        window.user_tool()->file_path = opts.play_file;
        window.get_main_playmode_status(true);
        if (window.device_handle() != nullptr && window.playmode_total_frames() > 0)
            QMetaObject::invokeMethod(window.playbar_tool(), "on_btn_play_clicked", Qt::DirectConnection);
    }
    if (!opts.open_tool.isEmpty()) window.admin_tool()->open_tool(opts.open_tool);
}

QString startup::statistics_line(const MainWindow& window) {
    TAVRIN::DadodUz::link_statistics_t s;
    if (window.device_handle() != nullptr) s = window.device_handle()->get_link_statistics();
    return QString("frames received %1, dropped %2, overwritten %3, fragments lost %4, recorded %5; frames emitted %6")
        .arg(s.frames_received)
        .arg(s.frames_dropped)
        .arg(s.frames_overwritten)
        .arg(s.fragments_lost)
        .arg(s.frames_recorded)
        .arg(window.frames_emitted());
}
