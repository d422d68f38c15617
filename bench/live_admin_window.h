// The administrator's main window (1400 x 900, shown) beside a gx_emulator
// on 127.0.0.1 at 25 frames/s, for the benchmarks that measure the live
// path. Construct, adjust the window, then connect().
#pragma once

#include "app/MainWindow.h"
#include "menus/menu_connection.h"
#include "tests/support/emulator_process.h"
#include "tools/tool_user.h"

#include <cstdio>

struct live_admin_window {
    emulator_process emu{{"--fps", "25"}};
    MainWindow w{nullptr, true};
    bool started = false;

    live_admin_window() {
        started = emu.start();
        if (!started) std::printf("cannot start the emulator\n");
        w.resize(1400, 900);
        w.show();
    }

    // Connects the window to the emulator; false (with a message) when it cannot.
    bool connect() {
        if (!started) return false;
        w.user_tool()->connection->set_connection_values("127.0.0.1", emu.port(), "127.0.0.1", 0);
        w.get_main_connect_status(true);
        if (w.device_handle() == nullptr) std::printf("cannot connect\n");
        return w.device_handle() != nullptr;
    }
};
