// The command line of the viewer: its options and their parser. QtCore only,
// so that it is tested and fuzzed without the windows.
#pragma once

#include "interop/listen_address.h"

#include <QString>
#include <QStringList>

namespace startup_options {

struct options {
    bool version = false;     // --version: print "ro_vezovad VERSION" and exit
    bool admin = false;
    bool connect = false;
    bool has_device = false;
    QString device_ip;
    int device_port = 0;
    bool has_local = false;
    QString local_ip;
    int local_port = 0;
    QString play_file;
    int quit_after_s = 0;     // leave the event loop after this many seconds (0: never)
    bool print_stats = false; // print the link and frame counters at exit
    bool print_first_frame = false; // print a line when the first frame is on screen
    QString open_tool;        // administrator window opened at start (one of tool_names())
    bool serve_foxglove = false;       // serve the frames shown over the Foxglove WebSocket protocol
    foxglove::listen_address foxglove; // where (127.0.0.1 unless another host is named)
};

// The administrator windows --open takes, in the order of the tool bar.
QStringList tool_names();

// Parses the command line (arguments[0] is the program). Returns false with a
// message in `error` for arguments it cannot take; sets `help` when --help was
// asked for, with the help text in `error`.
bool parse(const QStringList& arguments, options& out, QString& error, bool& help);

// "IP:PORT" -> ip and port; false when the text has no valid port.
bool split_address(const QString& text, QString& ip, int& port);

} // namespace startup_options
