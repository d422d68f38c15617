// Starts gx_emulator (GX_EMULATOR_PATH) as a child process on 127.0.0.1 with a
// free port and a temporary state file, for tests that need a sensor.
//
//   emulator_process emu({"--fps", "25"});
//   ASSERT_TRUE(emu.start());
//   device.connect({"127.0.0.1", emu.port()}, {"127.0.0.1", 0});
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

class emulator_process {
public:
    explicit emulator_process(std::vector<std::string> extra_args = {});
    ~emulator_process();
    emulator_process(const emulator_process&) = delete;
    emulator_process& operator=(const emulator_process&) = delete;

    // Starts the emulator and waits (at most 5 s) for the line announcing its
    // port. False if it could not be started or announced nothing.
    bool start();
    // SIGTERM, wait up to 3 s, then SIGKILL.
    void stop();
    // SIGKILL at once (a sensor that vanishes).
    void kill_hard();
    bool running() const;
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    const std::string& state_file() const { return state_; }
    void set_state_file(const std::string& path) { state_ = path; own_state_ = false; }
    // The emulator's stderr goes to this file (created or truncated) instead
    // of the caller's.
    void set_stderr_file(const std::string& path) { stderr_ = path; }

    // Writes a firmware image the emulator accepts (or, corrupt, one whose
    // checksum it rejects) of `size` bytes. False when the emulator failed.
    static bool make_firmware(const std::string& path, bool corrupt = false, std::size_t size = 200000);

private:
    void reap(int timeout_ms);
    std::vector<std::string> args_;
    std::string state_;
    std::string stderr_;
    bool own_state_ = true;
    pid_t pid_ = -1;
    int port_ = 0;
    mutable bool exited_ = true;
};
