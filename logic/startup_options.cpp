#include "logic/startup_options.h"

#include "device/gx_address.h"

#include <QCommandLineParser>

namespace startup_options {

QStringList tool_names() {
    return {"device", "status", "histogram", "image-analysis", "board-align", "offset-cal", "lens-cal", "depth-quality"};
}

bool split_address(const QString& text, QString& ip, int& port) {
    std::string ip_text;
    if (!gx_address::split(text.toStdString(), ip_text, port)) return false;
    ip = QString::fromStdString(ip_text);
    return true;
}

bool parse(const QStringList& arguments, options& out, QString& error, bool& help) {
    help = false;
    QCommandLineParser parser;
    parser.setApplicationDescription("RO Vezovad: viewer and service console for GX LiDAR sensors.");
    const QCommandLineOption help_opt(QStringList{"h", "help"}, "Show this help.");
    const QCommandLineOption version_opt("version", "Print the version and exit.");
    const QCommandLineOption device_opt("device", "Device address of the connection dialog.", "IP:PORT");
    const QCommandLineOption local_opt("local", "Local (PC) address of the connection dialog.", "IP:PORT");
    const QCommandLineOption connect_opt("connect", "Connect to the device in stream mode at start (a failure is also "
                                                    "written to standard error, with the reason).");
    const QCommandLineOption play_opt("play", "Open a recording at start and play it (a failure is also written to "
                                              "standard error, with the reason).", "FILE");
    const QCommandLineOption admin_opt("admin", "Turn administrator mode on.");
    const QCommandLineOption quit_opt("quit-after",
                                      "Quit after the given number of seconds, whatever is open (a warning box "
                                      "included); the exit status is 1 when --connect or --play failed.",
                                      "SECONDS");
    const QCommandLineOption stats_opt("print-stats", "Print frame counters to standard output at exit.");
    const QCommandLineOption first_opt("print-first-frame",
                                       "Print a line to standard output when the first frame is on screen.");
    const QCommandLineOption open_opt("open", "With --admin, open an administrator window at start: " +
                                                  tool_names().join(", ") + ".",
                                      "TOOL");
    const QCommandLineOption foxglove_opt("serve-foxglove",
                                          "Serve the frames shown to Foxglove over its WebSocket protocol, on "
                                          "127.0.0.1 unless a host is named.",
                                          "[HOST:]PORT");
    // One list for the parser and the help text, so that --help names every option it takes.
    const QList<QCommandLineOption> all = {help_opt, version_opt, device_opt, local_opt, connect_opt, play_opt, admin_opt, quit_opt,
                                           stats_opt, first_opt, open_opt, foxglove_opt};
    parser.addOptions(all);
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(help_opt)) {
        // Written out here: the parser's own help text needs an application object.
        help = true;
        error = parser.applicationDescription() + "\n\nUsage: ro_vezovad [options]\n\nOptions:\n";
        for (const QCommandLineOption& o : all) {
            QString names;
            for (const QString& n : o.names()) names += (names.isEmpty() ? "" : ", ") + QString(n.size() == 1 ? "-" : "--") + n;
            if (!o.valueName().isEmpty()) names += " <" + o.valueName() + ">";
            // A name too long for its column puts the meaning on the next line.
            error += "  " + (names.size() < 26 ? names.leftJustified(26) : names + "\n" + QString(28, ' ')) + " " +
                     o.description() + "\n";
        }
        return true;
    }
    if (parser.isSet(version_opt)) {
        out.version = true;
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
    if (parser.isSet(foxglove_opt)) {
        std::string why;
        if (!foxglove::parse_listen_address(parser.value(foxglove_opt).toStdString(), out.foxglove, why)) {
            error = "--serve-foxglove: " + QString::fromStdString(why);
            return false;
        }
        out.serve_foxglove = true;
    }
    out.open_tool = parser.value(open_opt);
    if (parser.isSet(open_opt)) {
        if (!tool_names().contains(out.open_tool)) {
            error = "--open takes one of " + tool_names().join(", ") + ", not " + out.open_tool;
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

} // namespace startup_options
