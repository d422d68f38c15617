#include "app/startup.h"

#include "app/MainWindow.h"
#include "menus/menu_connection.h"
#include "tools/tool_admin.h"
#include "tools/tool_playbar.h"
#include "tools/tool_user.h"

#include <QApplication>
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
    return startup_options::split_address(text, ip, port);
}

bool startup::parse(const QStringList& arguments, options& out, QString& error, bool& help) {
    return startup_options::parse(arguments, out, error, help);
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

void startup::echo_failures(MainWindow& window) {
    QObject::connect(&window, &MainWindow::send_main_open_failed, &window, [](const QString& text, const QString& reason) {
        std::fprintf(stderr, "ro_vezovad: %s (%s)\n", text.toLocal8Bit().constData(), reason.toLocal8Bit().constData());
        std::fflush(stderr);
    });
}

void startup::quit_now(int code) {
    // A box with only Ok closes as Ok would; bounded, in case one refuses.
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) break;
        modal->close();
        if (modal->isVisible()) modal->hide();
    }
    // Also leaves every nested event loop, and keeps new ones from starting.
    QCoreApplication::exit(code);
}

bool startup::apply(const options& opts, MainWindow& window) {
    bool failed = false;
    const QMetaObject::Connection watch =
        QObject::connect(&window, &MainWindow::send_main_open_failed, &window, [&failed] { failed = true; });
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
    QObject::disconnect(watch);
    if (!opts.open_tool.isEmpty()) window.admin_tool()->open_tool(opts.open_tool);
    return !failed;
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
