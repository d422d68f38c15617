// Fixture of the administrator's flows against the emulator: a main window in
// administrator mode, connected on loopback and streaming.
#pragma once

#include "app/MainWindow.h"
#include "menus/menu_connection.h"
#include "tests/support/emulator_process.h"
#include "tests/support/qt_fixtures.h"
#include "tools/tool_admin.h"
#include "tools/tool_user.h"

#include <QFile>
#include <memory>

class admin_window_test : public widget_test {
protected:
    // Connects a new administrator window to `sensor` and waits for its first frame.
    void connect_window(const emulator_process& sensor) {
        w = std::make_unique<MainWindow>(nullptr, true);
        w->user_tool()->connection->set_connection_values("127.0.0.1", sensor.port(), "127.0.0.1", 0);
        w->get_main_connect_status(true);
        ASSERT_NE(w->device_handle(), nullptr);
        ASSERT_TRUE(wait_until([&] { return w->frames_emitted() > 0; }));
        admin = w->admin_tool();
    }
    void TearDown() override {
        w.reset();
        // The administrator settings dialog leaves its preset at program end.
        QFile::remove("device.conf");
    }

    std::unique_ptr<MainWindow> w;
    tool_admin* admin = nullptr;
};
