// The GX device library. One TCP command channel to the sensor, one UDP socket
// on which frames, status packets and histograms arrive as fragments. Two
// library threads serve a stream session: the command reader (acknowledgements
// and device messages) and the datagram receiver (reassembly, decoding,
// host-side filters, points, hand-over, recording). Calls from the caller's
// thread never wait for more than a bounded few seconds.
#include "device/DadodUz.h"

#include "device/gx_filters.h"
#include "device/gx_lens.h"
#include "device/gx_protocol.h"
#include "device/gx_registers.h"
#include "device/gx_reassembler.h"
#include "device/gx_recording.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>
#include <unordered_map>

namespace TAVRIN {

namespace {

using clock_type = std::chrono::steady_clock;
// A command waits this long for its acknowledgement; once one went
// unanswered, later ones wait only kUnansweredTimeoutMs until the sensor
// acknowledges anything again. A caller on a window's thread that sends a
// stop and a read to a sensor that no longer answers commands is then held
// up for little more than a second, not for two seconds each.
constexpr int kCommandTimeoutMs = 1000;
constexpr int kUnansweredTimeoutMs = 200;
// The command channel is kept alive: after this long without a record from
// the sensor, a ping asks for one (a sensor that sends no frames still answers).
constexpr int kKeepAliveMs = 1000;
constexpr int kDefaultConnectTimeoutMs = 1500;  // TCP accept, then the hello's answer
constexpr std::size_t kMaxQueuedMessages = 1024;
constexpr std::size_t kMaxQueuedHistograms = 8192;
// Histograms waiting longer than this are dropped unread: a viewer that takes
// fewer than the sensor sends stays this close to the sensor instead of
// falling further behind. Longer than the slowest frame period (10 frames/s),
// so that a histogram replaced every frame never ages out (docs/histograms.md).
constexpr std::int64_t kMaxHistogramAgeNs = 150'000'000;
// Frames wait for get_scene in arrival order, at most this long and this
// many: a caller held up for a moment (a first paint, a slow tick) takes the
// frames that came meanwhile, one after the other, and loses none; one that
// stays behind takes frames no older than this. Older ones are dropped and
// counted as overwritten. Five frames at 25 frames/s (docs/protocol.md).
constexpr std::int64_t kMaxFrameWaitNs = 200'000'000;
constexpr std::size_t kMaxQueuedFrames = 8;
constexpr int kReceiveBuffer = 16 << 20;
constexpr std::size_t kFirmwareChunk = 32 << 10;

bool parse_ipv4(const std::string& text, in_addr& out) {
    if (text == "localhost") return inet_pton(AF_INET, "127.0.0.1", &out) == 1;
    return inet_pton(AF_INET, text.c_str(), &out) == 1;
}

bool read_file(const char* path, std::size_t limit, std::vector<std::uint8_t>& out) {
    if (!path || !*path) return false;
    // Non-blocking open: a FIFO or device node must not stall the caller.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || std::uint64_t(st.st_size) > limit) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    out.resize(std::size_t(st.st_size));
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t r = ::read(fd, out.data() + got, out.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += std::size_t(r);
    }
    ::close(fd);
    out.resize(got);
    return true;
}

}  // namespace

struct DadodUz::Impl {
    enum class mode_t { none, stream, file };
    mode_t mode = mode_t::none;

    // ---- stream session
    int tcp = -1;
    int udp = -1;
    in_addr device_addr{};
    std::uint32_t session = 0;
    std::atomic<bool> quit{false};
    int connect_timeout_ms = kDefaultConnectTimeoutMs;
    std::string last_error;
    int last_errno = 0;
    std::string serial;  // from the hello's acknowledgement
    std::atomic<std::uint32_t> configuration_frame{0};
    std::atomic<bool> link_up{false};
    std::atomic<bool> delivering{true};
    std::thread tcp_thread, udp_thread, fw_thread;
    std::atomic<bool> fw_busy{false};

    std::mutex send_mutex;
    std::mutex ack_mutex;
    std::condition_variable ack_cv;
    std::uint32_t next_seq = 1;
    struct ack_t {
        bool done = false;
        std::uint8_t status = 0;
        std::string data;
    };
    std::map<std::uint32_t, ack_t> acks;  // awaited sequence numbers
    bool unanswered = false;              // a command timed out and no acknowledgement came since

    std::mutex msg_mutex;
    std::deque<gx::device_message> messages;

    std::mutex data_mutex;
    std::condition_variable scene_cv;  // a new frame, or the session ending
    // Frames not yet taken, oldest first (received_ns: their arrival); the
    // storage of frames taken or dropped is kept for the next ones.
    std::deque<scene_t> ready;
    std::vector<scene_t> spare_scenes;
    sensing_packet_t status{};
    bool status_new = false;
    // Histograms waiting for get_histogram, at most one per pixel: a newer
    // histogram of a waiting pixel takes the older one's place in the queue.
    std::deque<histogram_t> histograms;
    std::uint64_t histograms_front = 0;                              // sequence number of histograms.front()
    std::unordered_map<std::uint64_t, std::uint64_t> histogram_slot; // pixel -> sequence number of its entry

    std::mutex filter_mutex;
    gx::filter_params filters;

    mutable std::mutex stats_mutex;
    link_statistics_t stats;

    // Command channel reader thread only: when the sensor was last heard and last pinged.
    clock_type::time_point last_heard, last_ping;

    std::mutex rec_mutex;
    std::unique_ptr<gx::recording_writer> writer;

    // ---- play mode
    gx::recording_reader reader;
    gx::lens_rays play_rays;
    std::vector<std::uint8_t> play_buffer;
    std::vector<bool> play_unreadable;  // records whose read or decode failed, counted once each
    std::uint64_t play_damaged = 0;

    ~Impl() { close_stream(); }

    // ------------------------------------------------------------ command channel
    bool send_raw(const std::vector<std::uint8_t>& bytes) {
        std::lock_guard<std::mutex> lock(send_mutex);
        if (!link_up || tcp < 0) return false;
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t w = ::send(tcp, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                link_up = false;
                std::lock_guard<std::mutex> wake(ack_mutex);
                ack_cv.notify_all();
                return false;
            }
            sent += std::size_t(w);
        }
        return true;
    }

    // Sends a command; with wait, returns true only on a positive
    // acknowledgement within timeout_ms.
    bool command(const char* type, const void* payload, std::size_t size, bool wait, int timeout_ms = kCommandTimeoutMs,
                 std::string* reply = nullptr) {
        if (mode != mode_t::stream || !link_up) return false;
        std::uint32_t seq;
        {
            std::lock_guard<std::mutex> lock(ack_mutex);
            seq = next_seq++;
            if (wait) acks[seq] = ack_t{};
        }
        if (!send_raw(gx::encode_tcp_record(type, seq, payload, size))) {
            std::lock_guard<std::mutex> lock(ack_mutex);
            acks.erase(seq);
            return false;
        }
        if (!wait) return true;
        std::unique_lock<std::mutex> lock(ack_mutex);
        const int wait_ms = unanswered ? std::min(timeout_ms, kUnansweredTimeoutMs) : timeout_ms;
        ack_cv.wait_for(lock, std::chrono::milliseconds(wait_ms), [&] { return acks[seq].done || !link_up || quit; });
        const ack_t a = acks[seq];
        acks.erase(seq);
        if (!a.done && link_up && !quit) unanswered = true;
        if (!a.done || a.status != gx::ack_ok) return false;
        if (reply) *reply = a.data;
        return true;
    }
    bool command(const char* type, bool wait = true) { return command(type, nullptr, 0, wait); }

    // Sends a ping when the sensor has said nothing for kKeepAliveMs and no
    // ping was sent since. Called by the command channel's reader between reads.
    void keep_alive() {
        const auto now = clock_type::now();
        const auto idle = std::chrono::milliseconds(kKeepAliveMs);
        if (now - last_heard < idle || now - last_ping < idle) return;
        last_ping = now;
        command(gx::cmd::ping, false);
    }

    bool recv_exact(std::uint8_t* p, std::size_t n) {
        std::size_t got = 0;
        while (got < n) {
            if (quit) return false;
            const ssize_t r = ::recv(tcp, p + got, n - got, 0);
            if (r > 0) {
                got += std::size_t(r);
                last_heard = clock_type::now();
                continue;
            }
            if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                keep_alive();
                continue;
            }
            return false;  // closed or failed
        }
        return true;
    }

    void tcp_loop() {
        std::vector<std::uint8_t> payload;
        std::uint8_t hdr[gx::kTcpHeaderSize];
        last_heard = last_ping = clock_type::now();
        while (!quit) {
            if (!recv_exact(hdr, sizeof hdr)) break;
            gx::tcp_header h;
            if (!gx::decode_tcp_header(hdr, h)) break;  // out of step or oversized: the channel is unusable
            payload.resize(h.length);
            if (h.length && !recv_exact(payload.data(), h.length)) break;
            {
                std::lock_guard<std::mutex> lock(stats_mutex);
                ++stats.answers_received;
            }
            if (gx::type_is(h.type, gx::kAckType)) {
                std::lock_guard<std::mutex> lock(ack_mutex);
                unanswered = false;
                auto it = acks.find(h.seq);
                if (it != acks.end() && !payload.empty()) {
                    it->second.done = true;
                    it->second.status = payload[0];
                    it->second.data.assign(reinterpret_cast<const char*>(payload.data()) + 1, payload.size() - 1);
                    ack_cv.notify_all();
                }
            } else if (gx::type_is(h.type, gx::kMessageType)) {
                gx::device_message m;
                if (!gx::decode_message_payload(payload.data(), payload.size(), m, _TCP_PROTOCOL_T::kMaxData)) continue;
                std::lock_guard<std::mutex> lock(msg_mutex);
                if (messages.size() >= kMaxQueuedMessages) messages.pop_front();
                messages.push_back(std::move(m));
            }
            // Other record types are ignored.
        }
        link_up = false;
        std::lock_guard<std::mutex> lock(ack_mutex);
        ack_cv.notify_all();
    }

    // ------------------------------------------------------------ datagrams
    void udp_loop() {
        gx::reassembler ra(session);
        gx::reassembler::object obj;
        scene_t work;
        gx::lens_rays rays;
        sensing_packet_t last_status{};
        constexpr int kBatch = 64;
        std::vector<std::uint8_t> buffers(std::size_t(kBatch) * 2048);
        mmsghdr msgs[kBatch];
        iovec iov[kBatch];
        sockaddr_in from[kBatch];
        std::uint64_t foreign = 0;
        while (!quit) {
            pollfd pfd{udp, POLLIN, 0};
            const int pr = ::poll(&pfd, 1, 50);
            if (pr <= 0) continue;
            for (;;) {
                for (int i = 0; i < kBatch; ++i) {
                    iov[i].iov_base = buffers.data() + std::size_t(i) * 2048;
                    iov[i].iov_len = 2048;
                    std::memset(&msgs[i].msg_hdr, 0, sizeof msgs[i].msg_hdr);
                    msgs[i].msg_hdr.msg_iov = &iov[i];
                    msgs[i].msg_hdr.msg_iovlen = 1;
                    msgs[i].msg_hdr.msg_name = &from[i];
                    msgs[i].msg_hdr.msg_namelen = sizeof from[i];
                }
                const int n = ::recvmmsg(udp, msgs, kBatch, MSG_DONTWAIT, nullptr);
                if (n <= 0) break;
                for (int i = 0; i < n && !quit; ++i) {
                    if (from[i].sin_addr.s_addr != device_addr.s_addr || (msgs[i].msg_hdr.msg_flags & MSG_TRUNC)) {
                        ++foreign;
                        continue;
                    }
                    if (!ra.feed(static_cast<const std::uint8_t*>(iov[i].iov_base), msgs[i].msg_len, obj)) continue;
                    handle_object(obj, work, rays, last_status);
                }
                {
                    std::lock_guard<std::mutex> lock(stats_mutex);
                    const auto& s = ra.statistics();
                    stats.frames_dropped = s.frames_dropped;
                    stats.fragments_lost = s.fragments_lost;
                    stats.datagrams_discarded = s.datagrams_discarded + foreign;
                }
                if (n < kBatch) break;
            }
        }
    }

    void handle_object(gx::reassembler::object& obj, scene_t& work, gx::lens_rays& rays, sensing_packet_t& last_status) {
        if (obj.kind == gx::kind_status) {
            sensing_packet_t s;
            if (!gx::decode_status(obj.data.data(), obj.data.size(), s)) return discarded();
            last_status = s;
            std::lock_guard<std::mutex> lock(data_mutex);
            status = s;
            status_new = true;
            return;
        }
        if (obj.kind == gx::kind_histogram) {
            histogram_t h;
            if (!gx::decode_histogram(obj.data.data(), obj.data.size(), h)) return discarded();
            if (!delivering) return;
            h.received_ns = now_ns();
            std::lock_guard<std::mutex> lock(data_mutex);
            const std::uint64_t dropped = queue_histogram(std::move(h));
            std::lock_guard<std::mutex> slock(stats_mutex);
            ++stats.histograms_received;
            stats.histograms_dropped += dropped;
            return;
        }
        gx::frame_info info;
        if (!gx::decode_frame(obj.data.data(), obj.data.size(), info, work)) return discarded();
        if (!delivering) return;
        gx::filter_params fp;
        {
            std::lock_guard<std::mutex> lock(filter_mutex);
            fp = filters;
        }
        if (fp.any()) {
            const int unit = gx::stream_mode_is_bins(info.stream_mode) ? gx::kDepthBinMm : 1;
            gx::apply_filters(fp, unit, int(work.rows), int(work.cols), work.ambient, work.depth, work.intensity);
        }
        rays.update(info.lens, work.rows, work.cols);
        rays.make_points(work, info.stream_mode);
        {
            std::lock_guard<std::mutex> lock(rec_mutex);
            if (writer) {
                std::vector<std::uint8_t> rec = fp.any() ? gx::encode_frame(work, info) : std::move(obj.data);
                writer->push(std::move(rec), last_status);
            }
        }
        std::lock_guard<std::mutex> lock(data_mutex);
        const std::int64_t now = now_ns();
        std::uint64_t dropped = drop_old_frames(now);
        if (ready.size() >= kMaxQueuedFrames) {
            retire_frame();
            ++dropped;
        }
        scene_t f;
        if (!spare_scenes.empty()) {
            f = std::move(spare_scenes.back());
            spare_scenes.pop_back();
        }
        std::swap(f, work); // the next frame is decoded into the spare's storage
        f.received_ns = now;
        ready.push_back(std::move(f));
        {
            std::lock_guard<std::mutex> slock(stats_mutex);
            ++stats.frames_received;
            stats.frames_overwritten += dropped;
        }
        scene_cv.notify_all();
    }

    // The frame queue; every function below with data_mutex held.
    void retire_frame() {
        if (spare_scenes.size() < kMaxQueuedFrames) spare_scenes.push_back(std::move(ready.front()));
        ready.pop_front();
    }

    // Drops the frames that have waited longer than the bound at `now`;
    // returns how many.
    std::uint64_t drop_old_frames(std::int64_t now) {
        std::uint64_t n = 0;
        while (!ready.empty() && now - ready.front().received_ns > kMaxFrameWaitNs) {
            retire_frame();
            ++n;
        }
        return n;
    }

    // Hands the oldest waiting frame to the caller, whose record's storage is
    // kept for a later frame; frames past the bound are dropped and counted.
    bool take_frame(scene_t& scene) {
        const std::uint64_t dropped = drop_old_frames(now_ns());
        if (dropped > 0) {
            std::lock_guard<std::mutex> slock(stats_mutex);
            stats.frames_overwritten += dropped;
        }
        if (ready.empty()) return false;
        std::swap(scene, ready.front());
        retire_frame();
        return true;
    }

    void clear_frames() {
        while (!ready.empty()) retire_frame();
    }

    static std::int64_t now_ns() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(clock_type::now().time_since_epoch()).count();
    }

    // The histogram queue; every function below with data_mutex held.
    static std::uint64_t pixel_key(const histogram_t& h) { return (std::uint64_t(h.row) << 32) | h.col; }

    void pop_histogram(histogram_t* into) {
        const auto slot = histogram_slot.find(pixel_key(histograms.front()));
        if (slot != histogram_slot.end() && slot->second == histograms_front) histogram_slot.erase(slot);
        if (into) *into = std::move(histograms.front());
        histograms.pop_front();
        ++histograms_front;
    }

    void clear_histograms() {
        histograms.clear();
        histogram_slot.clear();
        histograms_front = 0;
    }

    // Drops the histograms at the front that have waited longer than the age
    // limit at `now`; returns how many.
    std::uint64_t drop_old_histograms(std::int64_t now) {
        std::uint64_t n = 0;
        while (!histograms.empty() && now - histograms.front().received_ns > kMaxHistogramAgeNs) {
            pop_histogram(nullptr);
            ++n;
        }
        return n;
    }

    // Queues a new histogram: in the place of its pixel's waiting one if there
    // is one, else at the back. Returns the number of histograms dropped.
    std::uint64_t queue_histogram(histogram_t&& h) {
        std::uint64_t dropped = drop_old_histograms(h.received_ns);
        const std::uint64_t key = pixel_key(h);
        const auto slot = histogram_slot.find(key);
        if (slot != histogram_slot.end()) {
            histograms[std::size_t(slot->second - histograms_front)] = std::move(h);
            return dropped + 1;
        }
        if (histograms.size() >= kMaxQueuedHistograms) {
            pop_histogram(nullptr);
            ++dropped;
        }
        histogram_slot[key] = histograms_front + histograms.size();
        histograms.push_back(std::move(h));
        return dropped;
    }

    void discarded() {
        std::lock_guard<std::mutex> lock(stats_mutex);
        ++stats.datagrams_discarded;
    }

    // ------------------------------------------------------------ session
    bool open_stream(const IP_ADDRESS_T& dev, const IP_ADDRESS_T& local) {
        in_addr dev_ip{}, local_ip{};
        if (!parse_ipv4(dev.ip, dev_ip)) return refuse("the sensor address \"" + dev.ip + "\" is not an IPv4 address");
        if (dev.port <= 0 || dev.port > 65535) return refuse("the sensor port " + std::to_string(dev.port) + " is not 1-65535");
        if (local.ip.empty()) local_ip.s_addr = htonl(INADDR_ANY);
        else if (!parse_ipv4(local.ip, local_ip)) return refuse("the local address \"" + local.ip + "\" is not an IPv4 address");
        if (local.port < 0 || local.port > 65535) return refuse("the local port " + std::to_string(local.port) + " is not 0-65535");
        device_addr = dev_ip;
        const std::string where = dev.ip + ":" + std::to_string(dev.port);

        udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (udp < 0) return fail("no UDP socket: ");
        int rcv = kReceiveBuffer;
        if (::setsockopt(udp, SOL_SOCKET, SO_RCVBUFFORCE, &rcv, sizeof rcv) != 0)
            ::setsockopt(udp, SOL_SOCKET, SO_RCVBUF, &rcv, sizeof rcv);
        sockaddr_in la{};
        la.sin_family = AF_INET;
        la.sin_addr = local_ip;
        la.sin_port = htons(std::uint16_t(local.port));
        if (::bind(udp, reinterpret_cast<sockaddr*>(&la), sizeof la) != 0)
            return fail("cannot receive on " + (local.ip.empty() ? std::string("*") : local.ip) + ":" + std::to_string(local.port) + ": ");
        socklen_t len = sizeof la;
        if (::getsockname(udp, reinterpret_cast<sockaddr*>(&la), &len) != 0) return fail("no UDP port: ");
        const std::uint16_t udp_port = ntohs(la.sin_port);

        tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (tcp < 0) return fail("no TCP socket: ");
        sockaddr_in da{};
        da.sin_family = AF_INET;
        da.sin_addr = dev_ip;
        da.sin_port = htons(std::uint16_t(dev.port));
        int rc = ::connect(tcp, reinterpret_cast<sockaddr*>(&da), sizeof da);
        if (rc != 0 && errno != EINPROGRESS) return fail(where + ": ");
        if (rc != 0) {
            pollfd pfd{tcp, POLLOUT, 0};
            if (::poll(&pfd, 1, connect_timeout_ms) != 1) {
                errno = ETIMEDOUT;
                return fail(where + " did not accept the connection within " + std::to_string(connect_timeout_ms) + " ms: ");
            }
            int err = 0;
            socklen_t el = sizeof err;
            if (::getsockopt(tcp, SOL_SOCKET, SO_ERROR, &err, &el) != 0 || err != 0) {
                errno = err;
                return fail(where + ": ");
            }
        }
        const int flags = ::fcntl(tcp, F_GETFL);
        ::fcntl(tcp, F_SETFL, flags & ~O_NONBLOCK);
        int one = 1;
        ::setsockopt(tcp, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        timeval tv{0, 200 * 1000};
        ::setsockopt(tcp, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        timeval stv{2, 0};
        ::setsockopt(tcp, SOL_SOCKET, SO_SNDTIMEO, &stv, sizeof stv);

        std::random_device rd;
        session = (std::uint32_t(rd()) << 1) | 1u;
        quit = false;
        link_up = true;
        {
            std::lock_guard<std::mutex> lock(ack_mutex);
            unanswered = false;
        }
        delivering = true;
        mode = mode_t::stream;
        tcp_thread = std::thread(&Impl::tcp_loop, this);
        std::uint8_t hello[6];
        gx::put_u32(hello, session);
        gx::put_u16(hello + 4, udp_port);
        std::string reply;
        if (!command(gx::cmd::hello, hello, sizeof hello, true, connect_timeout_ms, &reply)) {
            close_stream();
            return refuse(where + " accepted the connection but did not answer within " + std::to_string(connect_timeout_ms) + " ms",
                          ETIMEDOUT);
        }
        // The acknowledgement carries the unit's serial number (printable
        // ASCII; anything else is dropped).
        serial.clear();
        for (char c : reply)
            if (c >= 0x20 && c < 0x7F) serial.push_back(c);
        udp_thread = std::thread(&Impl::udp_loop, this);
        return true;
    }

    void clear_error() {
        last_error.clear();
        last_errno = 0;
    }

    bool refuse(std::string why, int system_error = 0) {
        last_error = std::move(why);
        last_errno = system_error;
        return false;
    }

    bool fail(const std::string& why) {
        const int e = errno;
        if (tcp >= 0) ::close(tcp);
        if (udp >= 0) ::close(udp);
        tcp = udp = -1;
        return refuse(why + std::strerror(e), e);
    }

    // Finishes the recording; false when a write failed or frames could not
    // be queued for writing (the file then lacks frames that were received).
    bool stop_recording() {
        std::unique_ptr<gx::recording_writer> w;
        {
            std::lock_guard<std::mutex> lock(rec_mutex);
            w = std::move(writer);
        }
        if (!w) return true;
        const bool closed = w->close();
        std::lock_guard<std::mutex> lock(stats_mutex);
        stats.frames_recorded = w->frames_written();
        stats.frames_not_recorded = w->frames_refused();
        return closed && w->frames_refused() == 0;
    }

    void close_stream() {
        quit = true;
        link_up = false;
        {
            std::lock_guard<std::mutex> lock(data_mutex);
            scene_cv.notify_all();
        }
        if (tcp >= 0) ::shutdown(tcp, SHUT_RDWR);
        {
            std::lock_guard<std::mutex> lock(ack_mutex);
            ack_cv.notify_all();
        }
        if (fw_thread.joinable()) fw_thread.join();
        if (tcp_thread.joinable()) tcp_thread.join();
        if (udp_thread.joinable()) udp_thread.join();
        stop_recording();
        if (tcp >= 0) ::close(tcp);
        if (udp >= 0) ::close(udp);
        tcp = udp = -1;
        if (mode == mode_t::stream) mode = mode_t::none;
    }

    void firmware_loop(std::vector<std::uint8_t> image) {
        std::size_t off = 0;
        while (off < image.size() && !quit && link_up) {
            const std::size_t n = std::min(kFirmwareChunk, image.size() - off);
            if (!command(gx::cmd::fw_data, image.data() + off, n, false)) break;
            off += n;
        }
        if (off == image.size() && !quit) command(gx::cmd::fw_end, false);
        fw_busy = false;
    }
};

DadodUz::DadodUz() : d(new Impl) {}
DadodUz::~DadodUz() { disconnect(); }

bool DadodUz::connect(IP_ADDRESS_T device, IP_ADDRESS_T local) {
    if (d->mode != Impl::mode_t::none) return d->refuse("the session is already open");
    d->clear_error();
    d->configuration_frame = 0;  // a new session has accepted no configuration yet
    d->serial.clear();
    {
        std::lock_guard<std::mutex> lock(d->stats_mutex);
        d->stats = link_statistics_t{};
    }
    return d->open_stream(device, local);
}

bool DadodUz::connect_file(std::string path) {
    if (d->mode != Impl::mode_t::none) return d->refuse("the session is already open");
    d->clear_error();
    if (!d->reader.open(path)) return d->refuse(d->reader.error());
    d->mode = Impl::mode_t::file;
    d->play_unreadable.assign(std::size_t(d->reader.frames()), false);
    d->play_damaged = d->reader.damaged_records();
    return true;
}

bool DadodUz::get_logging_file_size(std::uint64_t& frames) {
    if (d->mode != Impl::mode_t::file) {
        frames = 0;
        return false;
    }
    frames = d->reader.frames();
    return true;
}

bool DadodUz::start() {
    if (d->mode == Impl::mode_t::file) return true;
    if (d->mode != Impl::mode_t::stream) return false;
    d->delivering = true;
    return d->command(gx::cmd::resume, nullptr, 0, true, kCommandTimeoutMs);
}

bool DadodUz::stop() {
    if (d->mode == Impl::mode_t::file) return true;
    if (d->mode != Impl::mode_t::stream) return false;
    d->delivering = false;
    {
        std::lock_guard<std::mutex> lock(d->data_mutex);
        d->clear_frames();
        d->clear_histograms();
    }
    d->command(gx::cmd::pause, false);
    return true;
}

bool DadodUz::disconnect() {
    const bool was_open = d->mode != Impl::mode_t::none;
    d->close_stream();
    d->reader.close();
    d->mode = Impl::mode_t::none;
    std::lock_guard<std::mutex> lock(d->data_mutex);
    d->clear_frames();
    std::vector<scene_t>().swap(d->spare_scenes);
    d->status_new = false;
    d->clear_histograms();
    return was_open;
}

bool DadodUz::configuration(const configurations_t& cfg) {
    std::string reply;
    if (!d->command(gx::cmd::config, &cfg, sizeof cfg, true, kCommandTimeoutMs, &reply)) return false;
    d->configuration_frame = reply.size() >= 4 ? gx::get_u32(reinterpret_cast<const std::uint8_t*>(reply.data())) : 0;
    return true;
}

std::uint32_t DadodUz::get_configuration_frame() const { return d->configuration_frame; }

bool DadodUz::get_scene(scene_t& scene) {
    if (d->mode != Impl::mode_t::stream) return false;
    std::lock_guard<std::mutex> lock(d->data_mutex);
    return d->take_frame(scene);
}

bool DadodUz::get_scene(scene_t& scene, std::uint64_t index) {
    if (d->mode != Impl::mode_t::file) return false;
    gx::frame_info info;
    if (!d->reader.read(index, d->play_buffer, nullptr) ||
        !gx::decode_frame(d->play_buffer.data(), d->play_buffer.size(), info, scene)) {
        if (index < d->play_unreadable.size() && !d->play_unreadable[std::size_t(index)]) {
            d->play_unreadable[std::size_t(index)] = true;
            ++d->play_damaged;
        }
        return false;
    }
    d->play_rays.update(info.lens, scene.rows, scene.cols);
    d->play_rays.make_points(scene, info.stream_mode);
    scene.received_ns = 0;
    return true;
}

bool DadodUz::wait_scene(scene_t& scene, int timeout_ms) {
    if (d->mode != Impl::mode_t::stream) return false;
    std::unique_lock<std::mutex> lock(d->data_mutex);
    const auto deadline = clock_type::now() + std::chrono::milliseconds(std::max(0, timeout_ms));
    for (;;) {
        if (d->take_frame(scene)) return true;
        if (d->quit || d->scene_cv.wait_until(lock, deadline) == std::cv_status::timeout) return d->take_frame(scene);
    }
}

bool DadodUz::get_histogram(histogram_t& histogram) {
    if (d->mode != Impl::mode_t::stream) return false;
    std::uint64_t dropped = 0;
    bool got = false;
    {
        std::lock_guard<std::mutex> lock(d->data_mutex);
        dropped = d->drop_old_histograms(Impl::now_ns());
        if (!d->histograms.empty()) {
            d->pop_histogram(&histogram);
            got = true;
        }
    }
    if (dropped > 0) {
        std::lock_guard<std::mutex> lock(d->stats_mutex);
        d->stats.histograms_dropped += dropped;
    }
    return got;
}

bool DadodUz::get_sensing_packet(sensing_packet_t& packet) {
    if (d->mode != Impl::mode_t::stream) return false;
    std::lock_guard<std::mutex> lock(d->data_mutex);
    if (!d->status_new) return false;
    packet = d->status;
    d->status_new = false;
    return true;
}

bool DadodUz::get_sensing_packet(sensing_packet_t& packet, std::uint64_t index) {
    if (d->mode != Impl::mode_t::file) return false;
    return d->reader.read_status(index, packet);
}

bool DadodUz::start_recording(std::string path) {
    if (d->mode != Impl::mode_t::stream) return false;
    std::lock_guard<std::mutex> lock(d->rec_mutex);
    if (d->writer) return false;
    auto w = std::make_unique<gx::recording_writer>();
    if (!w->open(path)) return false;
    d->writer = std::move(w);
    return true;
}

bool DadodUz::stop_recording() {
    {
        std::lock_guard<std::mutex> lock(d->rec_mutex);
        if (!d->writer) return false;
    }
    return d->stop_recording();
}

bool DadodUz::tcp_device_run() { return d->command(gx::cmd::run); }
bool DadodUz::tcp_device_stop() { return d->command(gx::cmd::stop); }
bool DadodUz::tcp_software_reset() { return d->command(gx::cmd::reset); }
bool DadodUz::tcp_memory_upload() { return d->command(gx::cmd::flash); }

bool DadodUz::tcp_register_read() {
    const std::uint8_t mode = 0;
    return d->command(gx::cmd::reg_read, &mode, 1, true);
}

bool DadodUz::tcp_register_read(const char* path) {
    if (!path || !*path) return false;
    const std::uint8_t mode = 1;
    std::string dump;
    if (!d->command(gx::cmd::reg_read, &mode, 1, true, kCommandTimeoutMs, &dump)) return false;
    std::vector<gx::register_record> records;
    std::string error;
    if (!gx::parse_register_text(dump, records, error, true)) return false;
    std::string text;
    for (const auto& r : records) text += gx::format_register_line(r) + "\n";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    out.close();
    return bool(out);
}

bool DadodUz::tcp_register_write(const char* path) {
    if (d->mode != Impl::mode_t::stream) return false;
    std::vector<std::uint8_t> bytes;
    if (!read_file(path, gx::kMaxRegisterFile, bytes)) return false;
    const std::string text(bytes.begin(), bytes.end());
    std::vector<gx::register_record> records;
    std::string error;
    if (!gx::parse_register_text(text, records, error, true) || records.empty()) return false;
    std::string clean;
    for (const auto& r : records) {
        bool unknown = false;
        if (!gx::validate_register_record(r, unknown, error)) return false;
        clean += gx::format_register_line(r) + "\n";
    }
    return d->command(gx::cmd::reg_write, clean.data(), clean.size(), true);
}

bool DadodUz::tcp_fw_upload(const char* path) {
    if (d->mode != Impl::mode_t::stream || !d->link_up || d->fw_busy) return false;
    std::vector<std::uint8_t> image;
    if (!read_file(path, gx::kMaxFirmwareSize, image) || image.empty()) return false;
    std::uint8_t size[4];
    gx::put_u32(size, std::uint32_t(image.size()));
    if (!d->command(gx::cmd::fw_begin, size, sizeof size, true)) return false;
    if (d->fw_thread.joinable()) d->fw_thread.join();
    d->fw_busy = true;
    d->fw_thread = std::thread(&Impl::firmware_loop, d.get(), std::move(image));
    return true;
}

bool DadodUz::tcp_get_message(_TCP_PROTOCOL_T& message) {
    std::lock_guard<std::mutex> lock(d->msg_mutex);
    if (d->messages.empty()) return false;
    gx::device_message m = std::move(d->messages.front());
    d->messages.pop_front();
    const std::size_t n = std::min<std::size_t>(m.data.size(), _TCP_PROTOCOL_T::kMaxData);
    message.length = std::uint16_t(n);
    message.type[0] = m.type[0];
    message.type[1] = m.type[1];
    if (n) std::memcpy(message.data, m.data.data(), n);
    message.data[n] = 0;
    return true;
}

#define GX_FILTER_SETTER(fn, member, type)                   \
    bool DadodUz::fn(type v) {                               \
        std::lock_guard<std::mutex> lock(d->filter_mutex);   \
        d->filters.member = v;                               \
        return true;                                         \
    }
GX_FILTER_SETTER(set_zigzag_filling_enable, zigzag_filling, bool)
GX_FILTER_SETTER(set_deflaring_enable, deflaring, bool)
GX_FILTER_SETTER(set_real_ambient_enable, real_ambient, bool)
GX_FILTER_SETTER(set_line_filling_enable, line_filling, bool)
GX_FILTER_SETTER(set_line_filling_left_offset, line_left_offset, int)
GX_FILTER_SETTER(set_line_filling_right_offset, line_right_offset, int)
GX_FILTER_SETTER(set_deflaring_retro_threshold, retro_threshold, int)
GX_FILTER_SETTER(set_deflaring_depth_diff, deflaring_depth_diff, int)
GX_FILTER_SETTER(set_zigzag_depth_diff, zigzag_depth_diff, int)
GX_FILTER_SETTER(set_zigzag_smoothing_factor, zigzag_smoothing, int)
#undef GX_FILTER_SETTER

void DadodUz::set_connect_timeout(int milliseconds) { d->connect_timeout_ms = std::max(100, milliseconds); }

std::string DadodUz::get_serial_number() const { return d->mode == Impl::mode_t::stream ? d->serial : std::string(); }

std::string DadodUz::get_last_error() const { return d->last_error; }
int DadodUz::get_last_errno() const { return d->last_errno; }

DadodUz::link_statistics_t DadodUz::get_link_statistics() const {
    link_statistics_t s;
    {
        std::lock_guard<std::mutex> lock(d->stats_mutex);
        s = d->stats;
    }
    {
        std::lock_guard<std::mutex> lock(d->data_mutex);
        s.histograms_queued = d->histograms.size();
    }
    s.link_up = d->mode == Impl::mode_t::stream && d->link_up;
    if (d->mode == Impl::mode_t::file) s.frames_damaged = d->play_damaged;
    std::lock_guard<std::mutex> lock(d->rec_mutex);
    if (d->writer) {
        s.frames_recorded = d->writer->frames_written();
        s.frames_not_recorded = d->writer->frames_refused();
    }
    return s;
}

}  // namespace TAVRIN
