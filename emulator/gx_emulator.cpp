// gx_emulator: a GX sensor on this machine. It listens for one command-channel
// client at a time, streams a synthetic scene by UDP to the port the client
// announces, keeps its registers in a state file, takes firmware images, and
// can inject faults for tests. Only stdout's first line is written to stdout
// ("gx_emulator listening on ADDR:PORT"); diagnostics go to stderr.
// The sensor it plays is one calibrated unit with the imperfections of its
// seed (docs/sensor-model.md), or with --uncalibrated the same unit whose
// offset tables were never written; --ground-truth writes the scene's
// geometry as the unit's true optics see it and exits. With --replay it
// streams a recording's frames and status packets instead of the scene
// (docs/emulator.md).
#include "device/c_numbers.h"
#include "device/command_line.h"
#include "device/gx_protocol.h"
#include "device/gx_registers.h"
#include "device/gx_status_fields.h"
#include "emulator/gx_factory_registers.h"
#include "emulator/gx_replay.h"
#include "emulator/gx_synthetic_scene.h"


#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
std::atomic<bool> g_quit{false};
void on_signal(int) { g_quit = true; }

struct options {
    std::string address = "127.0.0.1";
    int port = 2000;
    std::string state;
    int fps = -1;            // initial frame rate overriding the registers
    int max_fps = 25;
    double drop = 0.0;       // share of UDP fragments not sent
    bool mute = false;       // answer the hello, then ignore every command
    bool stall_firmware = false;
    bool malformed = false;
    std::string make_firmware;
    std::size_t firmware_size = 256 * 1024;
    bool corrupt_firmware = false;
    std::string events;      // file that receives one line per client event (tests)
    gx::scene_options scene;
    std::string ground_truth;
    bool uncalibrated = false;  // flash offset tables zeroed instead of the factory calibration
    long parent_pid = 0;        // end when this process is no longer the parent (0: never)
    std::string replay;         // recording streamed instead of the scene
    bool loop = false;          // the replay starts again at the recording's end
    // Status values that drift: each grows by its rate per second since the start.
    struct drift {
        float gx::sensing_packet_t::*member;
        double rate;
    };
    std::vector<drift> drifts;
};

// The status record's float members by their column names.
float gx::sensing_packet_t::*status_member(const std::string& name) {
    for (const auto& field : gx::kStatusValues)
        if (name == field.name) return field.member;
    return nullptr;
}

// Reads the command line into o. Returns -1 to go on, else the exit status:
// 0 after --help (printed to stdout), 2 for a command line it does not take.
int parse_args(int argc, char** argv, options& o) {
    namespace po = command_line::po;
    std::string scene, target_range, seed, drop;
    std::string drifts;
    int max_fps = o.max_fps;
    long firmware_size = long(o.firmware_size);
    po::options_description desc(
        "usage: gx_emulator [options]\n"
        "       gx_emulator --replay REC.bin [--loop] [options]\n"
        "       gx_emulator --ground-truth OUT.pcd [--scene ...] [--target-range METRES]\n"
        "       gx_emulator --make-firmware OUT [--firmware-size BYTES] [--corrupt]\n"
        "options");
    desc.add_options()
        ("help", "show this text")
        ("version", "print the version and exit")
        ("address", po::value(&o.address)->value_name("A"), "address to listen on (default 127.0.0.1)")
        ("port", po::value(&o.port)->value_name("P"), "command channel port, 0 for a free one (default 2000)")
        ("state", po::value(&o.state)->value_name("FILE"), "the unit's flash, kept between runs: read at start, written by the write-to-flash command")
        ("fps", po::value(&o.fps)->value_name("N"), "initial frame rate, overriding the registers")
        ("max-fps", po::value(&max_fps)->value_name("N"),
         "raise the highest frame rate streamed above 25 (the frame rate register is held to 10 .. max(25, N))")
        ("drop-fragments", po::value(&drop)->value_name("SHARE"),
         "fault: share of UDP datagrams left unsent (0 .. 1, each at random)")
        ("mute-commands", po::bool_switch(&o.mute), "fault: answer the hello, then ignore every command")
        ("stall-firmware", po::bool_switch(&o.stall_firmware),
         "fault: take a firmware image up to half, then go silent")
        ("malformed", po::bool_switch(&o.malformed), "fault: send malformed records and datagrams beside the good ones")
        ("drift", po::value(&drifts)->value_name("NAME:RATE[,...]"),
         "the status value NAME (a status log column, e.g. xadc_tx_temp) drifts by RATE per second "
         "from the emulator's start; several drifts separated by commas")
        ("events", po::value(&o.events)->value_name("FILE"), "file that receives one line per client event (connect, command XY, disconnect)")
        ("scene", po::value(&scene)->value_name("KIND"),
         "corridor, static, target (a sphere section centred on the sensor, radius --target-range) or "
         "wall (a flat wall square to the optical axis, --target-range ahead)")
        ("target-range", po::value(&target_range)->value_name("METRES"), "range of the target or wall (0.1 .. 100)")
        ("seed", po::value(&seed)->value_name("N"), "the emulated unit's seed: its imperfections")
        ("uncalibrated", po::bool_switch(&o.uncalibrated),
         "the flash holds zeroed VCSEL and SPAD offset tables instead of the factory calibration "
         "(a state file still overrides the flash)")
        ("parent-pid", po::value(&o.parent_pid)->value_name("PID"),
         "end as on SIGTERM once PID is no longer this process's parent: a test or script that started it "
         "and died, even by SIGKILL")
        ("ground-truth", po::value(&o.ground_truth)->value_name("OUT.pcd"),
         "write the scene's geometry as the unit's true optics see it, and exit")
        ("replay", po::value(&o.replay)->value_name("REC.bin"),
         "stream this recording's frames and status packets, exactly as recorded and at their recorded "
         "frame rate, instead of the synthetic scene; commands are answered as usual, but neither the "
         "frame rate register nor a configuration changes the recorded frames. Each new client starts "
         "at the first frame; run/stop and pause hold the place. Without --loop streaming ends after "
         "the last frame (said on stderr)")
        ("loop", po::bool_switch(&o.loop),
         "with --replay: start again at the first frame after the last one (frame numbers and time "
         "stamps then begin again as recorded)")
        ("make-firmware", po::value(&o.make_firmware)->value_name("OUT"),
         "write a firmware image the emulator takes, and exit (docs/emulator.md)")
        ("firmware-size", po::value(&firmware_size)->value_name("BYTES"), "payload size of that image (default 262144)")
        ("corrupt", po::bool_switch(&o.corrupt_firmware), "make that image's checksum wrong (the emulator refuses it)");
    po::variables_map vm;
    if (const int answered = command_line::read_or_answer(argc, argv, desc, "gx_emulator", vm); answered >= 0) return answered;
    o.max_fps = std::max(1, max_fps);
    o.firmware_size = std::size_t(std::max(0L, firmware_size));
    if (vm.count("drop-fragments")) {
        if (!c_numbers::parse_finite(drop, o.drop)) {
            std::fprintf(stderr, "gx_emulator: --drop-fragments takes a share 0 .. 1, not %s\n", drop.c_str());
            return 2;
        }
        o.drop = std::clamp(o.drop, 0.0, 1.0);
    }
    for (std::size_t from = 0; !drifts.empty() && from <= drifts.size();) {
        const std::size_t comma = std::min(drifts.find(',', from), drifts.size());
        const std::string d = drifts.substr(from, comma - from);
        from = comma + 1;
        const std::size_t colon = d.rfind(':');
        double rate = 0.0;
        float gx::sensing_packet_t::*member = colon == std::string::npos ? nullptr : status_member(d.substr(0, colon));
        if (member == nullptr || !c_numbers::parse_finite(d.substr(colon + 1), rate)) {
            std::fprintf(stderr, "gx_emulator: --drift takes NAME:RATE with NAME a status value, not %s\n", d.c_str());
            return 2;
        }
        o.drifts.push_back({member, rate});
    }
    if (vm.count("scene")) {
        if (scene == "corridor") o.scene.kind = gx::scene_kind::corridor;
        else if (scene == "static") o.scene.kind = gx::scene_kind::static_corridor;
        else if (scene == "target") o.scene.kind = gx::scene_kind::target;
        else if (scene == "wall") o.scene.kind = gx::scene_kind::wall;
        else {
            std::fprintf(stderr, "gx_emulator: unknown scene %s\n", scene.c_str());
            return 2;
        }
    }
    if (vm.count("target-range")) {
        char* end = nullptr;
        const double r = c_numbers::parse(target_range.c_str(), &end);
        if (end == target_range.c_str() || *end || !(r >= 0.1 && r <= 100.0)) {
            std::fprintf(stderr, "gx_emulator: target range must be 0.1 .. 100 metres\n");
            return 2;
        }
        o.scene.target_range = float(r);
    }
    if (vm.count("seed")) {
        char* end = nullptr;
        errno = 0;
        const unsigned long long sd = std::strtoull(seed.c_str(), &end, 10);
        if (end == seed.c_str() || *end || errno || seed[0] == '-') {
            std::fprintf(stderr, "gx_emulator: bad seed %s\n", seed.c_str());
            return 2;
        }
        o.scene.seed = sd;
    }
    if (o.loop && o.replay.empty()) {
        std::fprintf(stderr, "gx_emulator: --loop needs --replay\n");
        return 2;
    }
    if (o.port < 0 || o.port > 65535) {
        std::fprintf(stderr, "gx_emulator: port %d is not 0 .. 65535\n", o.port);
        return 2;
    }
    return -1;
}

class emulator {
public:
    explicit emulator(const options& o, std::unique_ptr<gx::replay_source> replay = nullptr)
        : opt_(o), scene_(o.scene, gx::kDefaultRows, gx::kDefaultCols), replay_(std::move(replay)) {
        // Factory flash: the default registers with this unit's own calibration.
        flash_ = gx::default_registers();
        flash_.config = scene_.factory_configuration();
        if (opt_.uncalibrated) {
            // A unit whose offset calibration never ran: both tables zero, the
            // rest (global offset, lens, registers) as the factory left it.
            std::fill(std::begin(flash_.config.vcsel_offset), std::end(flash_.config.vcsel_offset), std::uint16_t(0));
            std::fill(std::begin(flash_.config.spad_offset), std::end(flash_.config.spad_offset), std::uint8_t(0));
        }
        if (!opt_.state.empty()) load_state();
        running_regs_ = flash_;
        if (opt_.fps > 0) running_regs_.config.fps = opt_.fps;
        udp_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        // Datagrams leave from the listening address, so that their source
        // matches the address the host connected to.
        sockaddr_in ua{};
        ua.sin_family = AF_INET;
        if (inet_pton(AF_INET, opt_.address.c_str(), &ua.sin_addr) == 1)
            ::bind(udp_, reinterpret_cast<sockaddr*>(&ua), sizeof ua);
        int snd = 8 << 20;
        ::setsockopt(udp_, SOL_SOCKET, SO_SNDBUFFORCE, &snd, sizeof snd);
        start_ = clock_type::now();
    }

    int run() {
        if (!listen_socket()) return 1;
        std::printf("gx_emulator listening on %s:%d\n", opt_.address.c_str(), bound_port_);
        std::fflush(stdout);
        std::thread streamer(&emulator::stream_loop, this);
        while (!g_quit) {
            pollfd pfd{listen_fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0) continue;
            const int c = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            serve(c);
            if (reboot_) reboot();
        }
        quit_stream_ = true;
        streamer.join();
        if (listen_fd_ >= 0) ::close(listen_fd_);
        return 0;
    }

private:
    // ------------------------------------------------------------ sockets
    bool listen_socket() {
        listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(bound_port_ > 0 ? bound_port_ : opt_.port));
        if (inet_pton(AF_INET, opt_.address.c_str(), &a.sin_addr) != 1) {
            std::fprintf(stderr, "gx_emulator: bad address %s\n", opt_.address.c_str());
            return false;
        }
        if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_fd_, 4) != 0) {
            std::fprintf(stderr, "gx_emulator: cannot listen on %s:%d: %s\n", opt_.address.c_str(), opt_.port, std::strerror(errno));
            return false;
        }
        socklen_t len = sizeof a;
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
        bound_port_ = ntohs(a.sin_port);
        return true;
    }

    void reboot() {
        reboot_ = false;
        ::close(listen_fd_);
        listen_fd_ = -1;
        const auto until = clock_type::now() + std::chrono::milliseconds(1500);
        while (!g_quit && clock_type::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_regs_ = flash_;
        }
        for (int i = 0; i < 50 && !g_quit; ++i) {
            if (listen_socket()) return;
            ::close(listen_fd_);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        g_quit = true;
    }

    // ------------------------------------------------------------ state file
    void load_state() {
        std::ifstream in(opt_.state, std::ios::binary);
        if (!in) return;
        std::stringstream ss;
        ss << in.rdbuf();
        std::vector<gx::register_record> recs;
        std::string err;
        const std::string text = ss.str();
        if (text.size() > gx::kMaxRegisterFile || !gx::parse_register_text(text, recs, err, true)) {
            std::fprintf(stderr, "gx_emulator: state file ignored (%s)\n", err.c_str());
            return;
        }
        gx::apply_register_records(recs, flash_);
    }

    bool save_state() {
        if (opt_.state.empty()) return true;
        const std::string tmp = opt_.state + ".tmp";
        {
            std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
            if (!out) return false;
            out << gx::format_registers(flash_);
            if (!out) return false;
        }
        return std::rename(tmp.c_str(), opt_.state.c_str()) == 0;
    }

    // ------------------------------------------------------------ command channel
    bool send_record(const char* type, std::uint32_t seq, const std::string& payload) {
        const auto bytes = gx::encode_tcp_record(type, seq, payload);
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t w = ::send(client_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            sent += std::size_t(w);
        }
        return true;
    }
    void ack(std::uint32_t seq, std::uint8_t status, const std::string& data = {}) {
        std::string p(1, char(status));
        p += data;
        send_record(gx::kAckType, seq, p);
    }
    void message(const char* type, const std::string& data) { send_record(gx::kMessageType, 0, gx::encode_message_payload(type, data)); }

    struct scheduled {
        clock_type::time_point at;
        char type[2];
        std::string data;
    };

    // Appends one line to the events file: "connect", "command XY", "disconnect".
    void event(const std::string& line) {
        if (opt_.events.empty()) return;
        std::ofstream out(opt_.events, std::ios::app);
        out << line << "\n";
    }

    void serve(int c) {
        event("connect");
        client_ = c;
        int one = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval tv{2, 0};
        ::setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        std::vector<std::uint8_t> buf;
        pending_.clear();
        fw_active_ = false;
        fw_stalled_ = false;
        bool open = true;
        while (open && !g_quit && !reboot_) {
            pollfd pfd{c, POLLIN, 0};
            const int pr = ::poll(&pfd, 1, 20);
            if (pr > 0) {
                std::uint8_t tmp[65536];
                const ssize_t r = ::recv(c, tmp, sizeof tmp, MSG_DONTWAIT);
                if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) break;
                if (r > 0) buf.insert(buf.end(), tmp, tmp + r);
                std::size_t off = 0;
                while (open && buf.size() - off >= gx::kTcpHeaderSize) {
                    gx::tcp_header h;
                    if (!gx::decode_tcp_header(buf.data() + off, h)) {
                        open = false;
                        break;
                    }
                    if (buf.size() - off < gx::kTcpHeaderSize + h.length) break;
                    handle(h, buf.data() + off + gx::kTcpHeaderSize);
                    off += gx::kTcpHeaderSize + h.length;
                    if (reboot_) open = false;
                }
                buf.erase(buf.begin(), buf.begin() + long(off));
            }
            const auto now = clock_type::now();
            while (!pending_.empty() && pending_.front().at <= now) {
                message(pending_.front().type, pending_.front().data);
                pending_.erase(pending_.begin());
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            streaming_client_ = false;
            run_ = false;
            paused_ = false;
        }
        ::close(c);
        client_ = -1;
        event("disconnect");
    }

    void schedule(int after_ms, const char* type, const std::string& data) {
        scheduled s;
        s.at = clock_type::now() + std::chrono::milliseconds(after_ms);
        s.type[0] = type[0];
        s.type[1] = type[1];
        s.data = data;
        pending_.push_back(s);
        std::stable_sort(pending_.begin(), pending_.end(), [](const scheduled& a, const scheduled& b) { return a.at < b.at; });
    }

    void handle(const gx::tcp_header& h, const std::uint8_t* p) {
        const std::size_t n = h.length;
        event(std::string("command ") + h.type[0] + h.type[1]);
        if (gx::type_is(h.type, gx::cmd::hello)) {
            if (n < 6) return ack(h.seq, gx::ack_malformed);
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            ::getpeername(client_, reinterpret_cast<sockaddr*>(&peer), &len);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                session_ = gx::get_u32(p);
                dest_ = peer;
                dest_.sin_port = htons(gx::get_u16(p + 4));
                streaming_client_ = true;
                run_ = false;
                paused_ = false;
                replay_rewind_ = true;  // each client's replay starts at the first frame
            }
            std::string serial;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                serial = running_regs_.serial;
            }
            ack(h.seq, gx::ack_ok, serial);
            if (opt_.malformed) {
                message("ZZ", std::string(70000, 'A'));  // longer than any device message may be
                send_record("QQ", 0, "unknown record");
            }
            return;
        }
        if (opt_.mute) return;
        if (gx::type_is(h.type, gx::cmd::ping)) return ack(h.seq, gx::ack_ok);
        if (gx::type_is(h.type, gx::cmd::run)) {
            set_run(true);
            message("DO", "RUN");
            return ack(h.seq, gx::ack_ok);
        }
        if (gx::type_is(h.type, gx::cmd::stop)) {
            set_run(false);
            message("DO", "STOP");
            return ack(h.seq, gx::ack_ok);
        }
        if (gx::type_is(h.type, gx::cmd::pause) || gx::type_is(h.type, gx::cmd::resume)) {
            std::lock_guard<std::mutex> lock(mutex_);
            paused_ = gx::type_is(h.type, gx::cmd::pause);
            ack(h.seq, gx::ack_ok);
            return;
        }
        if (gx::type_is(h.type, gx::cmd::reset)) {
            ack(h.seq, gx::ack_ok);
            reboot_ = true;
            return;
        }
        if (gx::type_is(h.type, gx::cmd::flash)) {
            bool ok;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                flash_ = running_regs_;
                ok = save_state();
            }
            message("MO", ok ? "FLASH" : "FAIL");
            return ack(h.seq, ok ? gx::ack_ok : gx::ack_refused);
        }
        if (gx::type_is(h.type, gx::cmd::reg_read)) {
            std::string dump;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                dump = gx::format_register_dump(running_regs_);
            }
            if (n >= 1 && p[0] == 1) {
                ack(h.seq, gx::ack_ok, dump);
                message("RF", "SAVED");
            } else {
                message("RS", dump);
                ack(h.seq, gx::ack_ok);
            }
            return;
        }
        if (gx::type_is(h.type, gx::cmd::reg_write)) {
            const std::string text(reinterpret_cast<const char*>(p), n);
            std::vector<gx::register_record> recs;
            std::string err;
            if (!gx::parse_register_text(text, recs, err, true)) {
                std::fprintf(stderr, "gx_emulator: register write refused: %s\n", err.c_str());
                return ack(h.seq, gx::ack_malformed);
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                gx::apply_register_records(recs, running_regs_);
            }
            message("RO", "LOADED");
            return ack(h.seq, gx::ack_ok);
        }
        if (gx::type_is(h.type, gx::cmd::config)) {
            if (n != sizeof(gx::configurations_t)) return ack(h.seq, gx::ack_malformed);
            gx::configurations_t c;
            std::memcpy(&c, p, sizeof c);
            if (c.stream_mode > 4) return ack(h.seq, gx::ack_refused);
            std::uint8_t first[4];
            {
                std::lock_guard<std::mutex> lock(mutex_);
                running_regs_.config = c;
                gx::put_u32(first, next_settings_frame_);
            }
            // The number of the first frame made with these settings.
            return ack(h.seq, gx::ack_ok, std::string(reinterpret_cast<const char*>(first), sizeof first));
        }
        if (gx::type_is(h.type, gx::cmd::fw_begin)) {
            const std::uint32_t size = n >= 4 ? gx::get_u32(p) : 0;
            if (size == 0 || size > gx::kMaxFirmwareSize) return ack(h.seq, gx::ack_refused);
            fw_.clear();
            fw_.reserve(size);
            fw_size_ = size;
            fw_active_ = true;
            fw_stalled_ = false;
            fw_reported_ = -1;
            message("FA", "START");
            return ack(h.seq, gx::ack_ok);
        }
        if (gx::type_is(h.type, gx::cmd::fw_data)) {
            if (!fw_active_ || fw_stalled_) return;
            const std::size_t take = std::min<std::size_t>(n, fw_size_ - fw_.size());
            fw_.insert(fw_.end(), p, p + take);
            const int pct = int(std::uint64_t(fw_.size()) * 100 / fw_size_);
            if (opt_.stall_firmware && pct >= 50) {
                fw_stalled_ = true;  // goes silent: the host's watchdog has to notice
                return;
            }
            if (pct >= fw_reported_ + 10 || (pct == 100 && fw_reported_ != 100)) {
                fw_reported_ = pct;
                message("FR", std::to_string(pct));
            }
            return;
        }
        if (gx::type_is(h.type, gx::cmd::fw_end)) {
            if (!fw_active_ || fw_stalled_) return;
            fw_active_ = false;
            std::string why;
            if (fw_.size() != fw_size_ || !gx::validate_firmware_image(fw_.data(), fw_.size(), &why)) {
                std::fprintf(stderr, "gx_emulator: firmware rejected: %s\n", why.empty() ? "incomplete" : why.c_str());
                schedule(100, "FX", "INVALID");
                return;
            }
            const int steps[] = {0, 25, 50, 75, 99};
            for (int i = 0; i < 5; ++i) schedule(150 * (i + 1), "FP", std::to_string(steps[i]));
            schedule(900, "FO", "OK");
            return;
        }
        ack(h.seq, gx::ack_refused);
    }

    void set_run(bool on) {
        std::lock_guard<std::mutex> lock(mutex_);
        run_ = on;
        paused_ = false;
    }

    // ------------------------------------------------------------ streaming
    void send_datagrams(std::vector<std::vector<std::uint8_t>>& dgs, const sockaddr_in& to) {
        constexpr std::size_t kBatch = 64;
        mmsghdr msgs[kBatch];
        iovec iov[kBatch];
        std::size_t i = 0;
        while (i < dgs.size()) {
            std::size_t k = 0;
            for (; k < kBatch && i < dgs.size(); ++i) {
                if (opt_.drop > 0 && drop_dist_(rng_) < opt_.drop) continue;
                iov[k].iov_base = dgs[i].data();
                iov[k].iov_len = dgs[i].size();
                std::memset(&msgs[k].msg_hdr, 0, sizeof msgs[k].msg_hdr);
                msgs[k].msg_hdr.msg_iov = &iov[k];
                msgs[k].msg_hdr.msg_iovlen = 1;
                msgs[k].msg_hdr.msg_name = const_cast<sockaddr_in*>(&to);
                msgs[k].msg_hdr.msg_namelen = sizeof to;
                ++k;
            }
            std::size_t done = 0;
            while (done < k) {
                const int s = ::sendmmsg(udp_, msgs + done, unsigned(k - done), 0);
                if (s <= 0) break;
                done += std::size_t(s);
            }
        }
    }

    void send_one(const std::vector<std::uint8_t>& d, const sockaddr_in& to) {
        ::sendto(udp_, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    void inject_malformed(const std::vector<std::vector<std::uint8_t>>& frame_dgs, const sockaddr_in& to) {
        std::vector<std::uint8_t> garbage(100);
        for (auto& b : garbage) b = std::uint8_t(rng_());
        send_one(garbage, to);
        if (frame_dgs.empty()) return;
        const auto& real = frame_dgs[frame_dgs.size() / 2];
        send_one(std::vector<std::uint8_t>(real.begin(), real.begin() + 10), to);  // truncated
        std::vector<std::uint8_t> big(real);
        big.resize(2000, 0xAB);  // oversized
        send_one(big, to);
        std::vector<std::uint8_t> foreign(real);
        gx::put_u32(foreign.data() + 8, gx::get_u32(real.data() + 8) ^ 0x5A5A5A5Au);  // other session
        send_one(foreign, to);
        std::vector<std::uint8_t> badlen(real);
        gx::put_u16(badlen.data() + 18, 7);  // payload length contradicts the size
        send_one(badlen, to);
        send_one(real, to);  // duplicate
    }

    void fill_status(gx::sensing_packet_t& s, double t, std::uint32_t frame, const gx::configurations_t& c) {
        std::normal_distribution<float> n(0.0f, 1.0f);
        auto wob = [&](float nominal, float rel) { return nominal * (1.0f + rel * float(std::sin(t / 37.0)) + 0.002f * n(rng_)); };
        scan_count_ += 97;
        s.packet_id = gx::kStatusPacketId;
        s.frame_number = frame;
        s.xadc_scan_count = scan_count_;
        s.xadc_onchip_temp = float(48.0 + 3.0 * std::sin(t / 90.0) + 0.1 * n(rng_));
        s.xadc_vccint = wob(1.0f, 0.003f);
        s.xadc_vccaux = wob(1.8f, 0.003f);
        s.xadc_vccbram = wob(1.0f, 0.003f);
        s.xadc_vccpint = wob(1.0f, 0.003f);
        s.xadc_vccpaux = wob(1.8f, 0.003f);
        s.xadc_vcco_ddr = wob(1.35f, 0.003f);
        s.xadc_rd_ddr_vtt = wob(0.675f, 0.003f);
        s.xadc_rd_dp3v3 = wob(3.3f, 0.004f);
        s.xadc_rd_p12v = wob(12.0f, 0.005f);
        s.xadc_rd_heat = wob(0.45f, 0.02f);
        s.xadc_tx_0v5 = wob(0.5f, 0.004f);
        s.xadc_tx_5v0 = wob(5.0f, 0.004f);
        s.xadc_tx_12v = wob(12.0f, 0.005f);
        s.xadc_tx_hv = wob(31.0f, 0.005f);
        s.xadc_tx_temp = float(41.0 + 2.5 * std::sin(t / 75.0) + 0.1 * n(rng_));
        s.xadc_rx_vio = wob(1.8f, 0.003f);
        s.xadc_rx_vcore = wob(1.2f, 0.003f);
        // The receiver supplies follow their settings (within what the
        // regulators can deliver); the SPAD bias holds tighter with its
        // closed-loop control on.
        const auto supply = [](float v, float hi) { return std::isfinite(v) ? std::clamp(v, 0.0f, hi) : 0.0f; };
        s.xadc_rx_bias = wob(supply(c.hv_bias, 40.0f), c.rx_hv_ctrl_en ? 0.0005f : 0.004f);
        s.xadc_rx_vdp = wob(supply(c.vdp_voltage, 5.0f), 0.002f);
        s.xadc_rx_vdn = wob(supply(c.vdn_voltage, 5.0f), 0.002f);
        s.xadc_rx_0v5 = wob(0.5f, 0.004f);
        s.rx_temp = float(39.0 + 2.0 * std::sin(t / 60.0) + 0.1 * n(rng_));
        for (const auto& d : opt_.drifts) s.*d.member = float(double(s.*d.member) + d.rate * t);
    }

    void stream_loop() {
        if (replay_) return replay_loop();
        std::vector<std::uint16_t> amb, inten, inten2;
        std::vector<std::int32_t> depth, depth2;
        std::vector<std::uint8_t> object;
        std::vector<std::vector<std::uint8_t>> dgs, extra;
        std::uint32_t frame_number = 0, status_seq = 0, hist_seq = 0;
        std::size_t hist_cursor = 0;
        double last_render = -1.0;
        int last_render_mode = -1;
        gx::configurations_t last_cfg{};
        auto next = clock_type::now();
        const int cap = std::max(25, opt_.max_fps);
        while (!quit_stream_) {
            bool active;
            sockaddr_in to;
            std::uint32_t session;
            gx::configurations_t cfg;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                active = streaming_client_ && run_ && !paused_;
                to = dest_;
                session = session_;
                cfg = running_regs_.config;
            }
            if (!active) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                next = clock_type::now();
                continue;
            }
            const int fps = std::clamp(cfg.fps, 10, cap);
            const auto period = std::chrono::nanoseconds(1000000000LL / fps);
            std::this_thread::sleep_until(next);
            {
                // Settings may have changed while sleeping: a frame always uses the current ones.
                std::lock_guard<std::mutex> lock(mutex_);
                active = streaming_client_ && run_ && !paused_;
                to = dest_;
                session = session_;
                cfg = running_regs_.config;
                if (active) next_settings_frame_ = frame_number + 1;
            }
            if (!active) continue;
            // Frames are stamped with the time they were due, as a sensor's
            // exposure clock does, not with the (jittery) time they are sent.
            const auto due = next;
            const auto now = clock_type::now();
            next += period;
            if (next < now) next = now;  // running late: no catch-up burst
            const double t = std::chrono::duration<double>(now - start_).count();
            const int mode = std::min<int>(cfg.stream_mode, 4);
            // The scene moves at most 30 times a second; faster streams (bench
            // mode) resend the last rendering with fresh stamps.
            const int render_mode = mode == 4 ? 0 : mode;
            if (render_mode != last_render_mode || t - last_render >= 1.0 / 30.0 || fps <= 30 ||
                std::memcmp(&cfg, &last_cfg, sizeof cfg) != 0) {
                last_cfg = cfg;
                gx::configurations_t rc = cfg;
                rc.stream_mode = std::uint8_t(render_mode);
                scene_.render(t, rc, amb, depth, inten, depth2, inten2);
                last_render = t;
                last_render_mode = render_mode;
            }

            gx::sensing_packet_t st{};
            fill_status(st, t, frame_number, cfg);
            const auto sbytes = gx::encode_status(st);
            gx::fragment_object(gx::kind_status, session, status_seq++, sbytes.data(), std::uint32_t(sbytes.size()), extra);
            send_datagrams(extra, to);

            gx::frame_info info;
            info.timestamp = 100000000ull + std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(due - start_).count() / 10);
            info.frame_number = frame_number++;
            info.rows = std::uint16_t(scene_.rows());
            info.cols = std::uint16_t(scene_.cols());
            info.stream_mode = std::uint8_t(mode);
            info.echoes = gx::stream_mode_is_multi_echo(mode) ? 2 : 1;
            std::copy(cfg.lens_coe, cfg.lens_coe + 12, info.lens.begin());
            gx::encode_frame(info, amb.data(), depth.data(), inten.data(), depth2.empty() ? nullptr : depth2.data(),
                             inten2.empty() ? nullptr : inten2.data(), object);
            gx::fragment_object(gx::kind_frame, session, info.frame_number, object.data(), std::uint32_t(object.size()), dgs);
            send_datagrams(dgs, to);
            if (opt_.malformed) inject_malformed(dgs, to);

            if (mode == 4) {
                const int r0 = std::min<int>(cfg.start_row_index, cfg.end_row_index), r1 = std::max<int>(cfg.start_row_index, cfg.end_row_index);
                const int c0 = std::min<int>(cfg.start_column_index, cfg.end_column_index), c1 = std::max<int>(cfg.start_column_index, cfg.end_column_index);
                const int rr0 = std::clamp(r0, 0, int(scene_.rows()) - 1), rr1 = std::clamp(r1, 0, int(scene_.rows()) - 1);
                const int cc0 = std::clamp(c0, 0, int(scene_.cols()) - 1), cc1 = std::clamp(c1, 0, int(scene_.cols()) - 1);
                const std::size_t w = std::size_t(cc1 - cc0 + 1), npx = w * std::size_t(rr1 - rr0 + 1);
                const std::size_t per_frame = std::min<std::size_t>(npx, 64);
                gx::histogram_t hg;
                for (std::size_t k = 0; k < per_frame; ++k) {
                    const std::size_t idx = hist_cursor++ % npx;
                    hg.row = std::uint32_t(rr0 + int(idx / w));
                    hg.col = std::uint32_t(cc0 + int(idx % w));
                    scene_.histogram(hg.row, hg.col, hg.bins, gx::kHistogramBins);
                    hg.bin_count = std::uint32_t(hg.bins.size());
                    const auto hb = gx::encode_histogram(hg);
                    gx::fragment_object(gx::kind_histogram, session, hist_seq++, hb.data(), std::uint32_t(hb.size()), extra);
                    send_datagrams(extra, to);
                }
            }
        }
    }

    // The recording's frames in place of the scene: each with its status
    // packet, exactly as recorded, after the pause its time stamp asks for.
    // Datagram sequence numbers are the emulator's own and keep rising, so
    // that a looped recording's repeated frame numbers are never stale.
    void replay_loop() {
        gx::replay_source::frame f;
        std::vector<std::vector<std::uint8_t>> dgs;
        std::vector<std::uint64_t> skipped;
        std::uint32_t frame_seq = 0, status_seq = 0;
        std::uint64_t sent = 0;
        bool have = false, finished = false, resumed = true;
        auto due = clock_type::now();
        while (!quit_stream_) {
            bool active, rewind;
            sockaddr_in to;
            std::uint32_t session;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                active = streaming_client_ && run_ && !paused_;
                rewind = replay_rewind_;
                replay_rewind_ = false;
                to = dest_;
                session = session_;
            }
            if (rewind) {
                replay_->rewind();
                have = finished = false;
                sent = 0;
                resumed = true;
            }
            if (!have && !finished) {
                skipped.clear();
                have = replay_->next(f, &skipped);
                for (const auto r : skipped)
                    std::fprintf(stderr, "gx_emulator: replay: record %llu is damaged, skipped (%llu damaged so far)\n",
                                 static_cast<unsigned long long>(r), static_cast<unsigned long long>(replay_->damaged()));
                if (have) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    next_settings_frame_ = f.frame_number;
                } else {
                    finished = true;
                    std::fprintf(stderr, "gx_emulator: replay finished after %llu frames: streaming stopped, commands are still answered\n",
                                 static_cast<unsigned long long>(sent));
                }
            }
            if (!active || !have) {
                resumed = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            // The first frame after a start goes out at once; then each after
            // its recorded pause, unless the emulator fell behind (no burst).
            const auto now = clock_type::now();
            due = resumed ? now : std::max(due + std::chrono::nanoseconds(f.gap_ns), now - std::chrono::milliseconds(100));
            resumed = false;
            while (!quit_stream_ && clock_type::now() < due)
                std::this_thread::sleep_for(std::min<clock_type::duration>(due - clock_type::now(), std::chrono::milliseconds(20)));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                active = streaming_client_ && run_ && !paused_ && !replay_rewind_;
                to = dest_;
                session = session_;
            }
            if (!active) continue;
            if (f.has_status) {
                const auto sb = gx::encode_status(f.status);
                gx::fragment_object(gx::kind_status, session, status_seq++, sb.data(), std::uint32_t(sb.size()), dgs);
                send_datagrams(dgs, to);
            }
            gx::fragment_object(gx::kind_frame, session, frame_seq++, f.object.data(), std::uint32_t(f.object.size()), dgs);
            send_datagrams(dgs, to);
            if (opt_.malformed) inject_malformed(dgs, to);
            have = false;
            ++sent;
        }
    }

    options opt_;
    gx::synthetic_scene scene_;
    std::unique_ptr<gx::replay_source> replay_;
    int listen_fd_ = -1;
    int bound_port_ = 0;
    int client_ = -1;
    int udp_ = -1;
    bool reboot_ = false;
    clock_type::time_point start_;
    std::atomic<bool> quit_stream_{false};

    std::mutex mutex_;  // guards the registers and the stream state below
    gx::register_set running_regs_;
    gx::register_set flash_;
    bool streaming_client_ = false;
    bool run_ = false;
    bool paused_ = false;
    sockaddr_in dest_{};
    std::uint32_t session_ = 0;
    std::uint32_t next_settings_frame_ = 0;  // the next frame that reads the settings
    bool replay_rewind_ = false;             // a new client: the replay starts again

    std::vector<scheduled> pending_;
    std::vector<std::uint8_t> fw_;
    std::uint32_t fw_size_ = 0;
    bool fw_active_ = false;
    bool fw_stalled_ = false;
    int fw_reported_ = -1;

    std::uint32_t scan_count_ = 0;
    std::mt19937 rng_{12345};
    std::uniform_real_distribution<double> drop_dist_{0.0, 1.0};
};

int make_firmware(const options& o) {
    std::vector<std::uint8_t> payload(o.firmware_size);
    std::mt19937 rng(7);
    for (auto& b : payload) b = std::uint8_t(rng());
    auto img = gx::make_firmware_image(payload, "GX-EMU-FW");
    if (o.corrupt_firmware && img.size() > gx::kFirmwareHeaderSize) img[gx::kFirmwareHeaderSize] ^= 0xFF;
    std::ofstream out(o.make_firmware, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(img.data()), std::streamsize(img.size()));
    if (!out) {
        std::fprintf(stderr, "gx_emulator: cannot write %s\n", o.make_firmware.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    options o;
    if (const int done = parse_args(argc, argv, o); done >= 0) return done;
    if (!o.make_firmware.empty()) return make_firmware(o);
    if (!o.ground_truth.empty()) {
        const gx::synthetic_scene scene(o.scene, gx::kDefaultRows, gx::kDefaultCols);
        if (!scene.write_ground_truth(o.ground_truth)) {
            std::fprintf(stderr, "gx_emulator: cannot write %s\n", o.ground_truth.c_str());
            return 1;
        }
        return 0;
    }
    // A recording that cannot be replayed ends the start-up with one line.
    std::unique_ptr<gx::replay_source> replay;
    if (!o.replay.empty()) {
        replay = std::make_unique<gx::replay_source>();
        if (!replay->open(o.replay, o.loop)) {
            std::fprintf(stderr, "gx_emulator: cannot replay: %s\n", replay->error().c_str());
            return 1;
        }
        std::fprintf(stderr, "gx_emulator: replaying %s: %llu records%s%s\n", o.replay.c_str(),
                     static_cast<unsigned long long>(replay->records()), o.loop ? ", looping" : "",
                     replay->damaged() ? (", " + std::to_string(replay->damaged()) + " damaged records skipped").c_str() : "");
    }
    struct sigaction sa{};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    // The parent's death reparents this process; a watcher notices it and
    // ends the emulator as SIGTERM would. Checking the parent's id (rather
    // than a parent-death signal, which follows the thread that forked)
    // also covers a parent that died before this line.
    std::thread parent_watch;
    if (o.parent_pid > 0) {
        parent_watch = std::thread([pid = o.parent_pid] {
            while (!g_quit) {
                if (long(::getppid()) != pid) g_quit = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    emulator e(o, std::move(replay));
    const int code = e.run();
    g_quit = true;
    if (parent_watch.joinable()) parent_watch.join();
    return code;
}
