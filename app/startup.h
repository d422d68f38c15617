// Start-up of the program: the dark style sheet and the command line.
#pragma once

#include <QString>
#include <QStringList>

#include "logic/startup_options.h"

class QApplication;
class QWidget;
class MainWindow;

class startup {
public:
    // The command line's options (logic/startup_options.h).
    using options = startup_options::options;

    // Loads the style sheet resource into the application. When it does not
    // exist, prints "Unable to set stylesheet, file not found\n" to standard
    // output and returns false; the program then runs unstyled.
    static bool load_style_sheet(QApplication& app, const QString& resource = ":/qdarkstyle/dark/style.qss");

    // startup_options::parse: parses the command line (arguments()[0] is the
    // program). Returns false with a message in `error` for arguments it
    // cannot take; sets `help` when --help was asked for, with the help text
    // in `error`.
    static bool parse(const QStringList& arguments, options& out, QString& error, bool& help);

    // "IP:PORT" -> ip and port; false when the text has no valid port.
    static bool split_address(const QString& text, QString& ip, int& port);

    // Processes events until the shown window is on screen and has painted
    // once (at most timeout_ms): its first paint, which in software OpenGL
    // compiles the renderer's shaders, then cannot hold up the first frames of
    // a stream started right after.
    static void wait_until_painted(QWidget& window, int timeout_ms = 3000);

    // Lets the heap keep up to 64 MiB of freed memory at its top instead of
    // giving it back to the system after every free. The software renderer
    // allocates and frees its vertex and tile buffers on every draw; with the
    // default threshold each frame paid for new pages again (page faults and
    // heap trimming inside the draw call).
    static void keep_freed_heap();

    // Applies the options to a constructed window: prefilled connection
    // values, a stream connection or an opened and playing recording. False
    // when the connection or the recording asked for could not be opened
    // (the window has said why, also when the call returns only after its
    // warning box was closed or the program is quitting).
    static bool apply(const options& opts, MainWindow& window);

    // Writes each failed connect or open of the window to standard error: the
    // warning box's text and the library's reason, as the box opens.
    static void echo_failures(MainWindow& window);

    // Ends the program's event loops with `code`, whatever is open: modal
    // boxes and dialogs are closed first, and a nested loop (a box's, or a
    // connect waiting for the sensor) returns at once.
    static void quit_now(int code = 0);

    // One line of counters: frames the library received, dropped and
    // recorded, and frames the frame tick emitted.
    static QString statistics_line(const MainWindow& window);
};
