#include "tests/support/emulator_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
std::string temp_state_path() {
    char tmpl[] = "/tmp/gx_emulator_state_XXXXXX";
    const int fd = ::mkstemp(tmpl);
    if (fd >= 0) ::close(fd);
    ::unlink(tmpl);  // the emulator starts from defaults and creates it on a flash write
    return tmpl;
}
}  // namespace

emulator_process::emulator_process(std::vector<std::string> extra_args)
    : args_(std::move(extra_args)), state_(temp_state_path()) {}

emulator_process::~emulator_process() {
    stop();
    if (own_state_) {
        ::unlink(state_.c_str());
        ::unlink((state_ + ".tmp").c_str());
    }
}

bool emulator_process::start() {
    if (running()) return true;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    // The emulator ends with this process, however it ends, and runs in a
    // process group of its own that stop() ends as a whole.
    std::vector<std::string> argv_s = {GX_EMULATOR_PATH, "--address", "127.0.0.1", "--port", "0", "--state", state_,
                                       "--parent-pid", std::to_string(::getpid())};
    argv_s.insert(argv_s.end(), args_.begin(), args_.end());
    std::vector<char*> argv;
    for (auto& s : argv_s) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(out[1], STDOUT_FILENO);
        if (!stderr_.empty()) {
            const int err = ::open(stderr_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (err >= 0) ::dup2(err, STDERR_FILENO);
        }
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    ::close(out[1]);
    ::setpgid(pid, pid);  // also here, so that the group exists before any kill
    pid_ = pid;
    exited_ = false;
    // Read the first line (bounded wait); the port is its last word.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd pfd{out[0], POLLIN, 0};
        if (::poll(&pfd, 1, int(left)) <= 0) break;
        char buf[256];
        const ssize_t r = ::read(out[0], buf, sizeof buf);
        if (r <= 0) break;
        line.append(buf, std::size_t(r));
    }
    ::close(out[0]);  // the emulator writes nothing more to stdout
    const auto colon = line.rfind(':');
    port_ = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
    if (port_ <= 0) {
        kill_hard();
        return false;
    }
    return true;
}

void emulator_process::reap(int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!exited_) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) {
            exited_ = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void emulator_process::stop() {
    if (pid_ <= 0 || exited_) return;
    ::kill(-pid_, SIGTERM);
    reap(3000);
    if (!exited_) {
        ::kill(-pid_, SIGKILL);
        reap(3000);
    }
}

void emulator_process::kill_hard() {
    if (pid_ <= 0 || exited_) return;
    ::kill(-pid_, SIGKILL);
    reap(3000);
}

bool emulator_process::running() const {
    if (pid_ <= 0 || exited_) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) exited_ = true;
    return !exited_;
}

bool emulator_process::make_firmware(const std::string& path, bool corrupt, std::size_t size) {
    const std::string cmd = std::string(GX_EMULATOR_PATH) + " --make-firmware '" + path + "' --firmware-size " +
                            std::to_string(size) + (corrupt ? " --corrupt" : "");
    return std::system(cmd.c_str()) == 0;
}
