// The state of the device commands that the sensor answers asynchronously,
// and the decision of what one device message means for them.
//
// The main window owns one command_flow. It raises the flags when it sends a
// command, calls watchdog_tick() on every message tick and on_message() for
// every message it reads, and then carries out the returned step: the boxes,
// the library calls and the signals stay in the window. The flags are cleared
// here, before the window acts, so that a message tick that runs inside one of
// the window's boxes never acts on the same answer twice.
#pragma once

#include <string>

namespace command_flow {

// What a message (or the watchdog) asks the main window to do.
enum class step {
    nothing,           // not a message for any pending command, and nothing to show
    firmware_timeout,  // no firmware message for too long: time-out box, reset, progress ended, disconnect
    firmware_progress, // show `progress`
    firmware_finished, // progress 100, log, completion box, reset, close all, progress ended, disconnect
    firmware_failed,   // failure box, reset, progress ended, disconnect
    register_dump,     // parse the dump, hand it to the tool bar that asked, run the device
    flash_written,     // optionally log, show the text, close all, disconnect
    registers_loaded,  // chain a flash write and show the text, or log, show, close all, disconnect
    show_text,         // show the text in the dialogs (possibly after running the device)
};

// How far a firmware upload has come, as the dialogs are told.
struct firmware_progress {
    enum class stage {
        acknowledged, // the sensor took the upload: the bar appears at 0
        running,      // `percent` of the image is written
        ended,        // the upload is over, whichever way: the bar goes
    };
    stage what = stage::running;
    int percent = 0;

    static firmware_progress at(int percent) { return {stage::running, percent}; }
    static firmware_progress acknowledged() { return {stage::acknowledged, 0}; }
    static firmware_progress ended() { return {stage::ended, 0}; }
    // The value of the dialogs' progress signal: -1 acknowledged, -2 ended,
    // else the percent.
    int signal_value() const;
};

struct decision {
    step what = step::nothing;
    firmware_progress progress; // firmware_progress: what to show
    bool log_flash = false;   // flash_written: log that the flash was written by the user's command
    bool chain_flash = false; // registers_loaded: a register write is pending, write the flash next
    bool run_device = false;  // show_text / nothing: the register-read follow-up restarts the device first
    bool show = false;        // show_text: the text goes to the dialogs' message views
};

// Message ticks without a firmware message before an upload is given up (about 30 s).
constexpr int kFirmwareTimeoutTicks = 300;

class state {
public:
    // Flags raised by the commands, cleared by the answers (or failures) that end them.
    bool connect_requested = false;       // the first plain message after a connect goes to the dialogs
    bool firmware_updating = false;       // firmware messages are expected
    bool setting_requested = false;       // the next register dump answers a configuration read
    bool register_read_follow_up = false; // restart the device after a register read to file
    bool register_write_pending = false;  // chain a flash write after a register write
    int firmware_watchdog = 0;            // message ticks since the last firmware message

    void firmware_started() {
        firmware_updating = true;
        firmware_watchdog = 0;
    }

    // One message tick of the watchdog. Returns firmware_timeout (and clears the
    // upload) when more than kFirmwareTimeoutTicks ticks passed without a
    // firmware message, else nothing.
    decision watchdog_tick();

    // The meaning of one device message: its two type characters, its text T
    // ("<length>::<t0><t1>::<data>") and its data as text.
    decision on_message(char type0, char type1, const std::string& text, const std::string& data);
};

// A firmware progress value as the sensor sends it: a decimal integer, blanks
// around it allowed; anything else, and a negative value, counts 0.
int firmware_percent(const std::string& data);

} // namespace command_flow
