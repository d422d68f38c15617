#include "interop/foxglove_server.h"

#include "interop/foxglove_client_message.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace foxglove {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using json = nlohmann::json;
using ros_messages::topic_count;

namespace {

constexpr std::size_t max_clients = 32;
constexpr std::size_t max_control_messages = 64;  // JSON replies waiting; a client that never reads is closed
constexpr auto handshake_time = std::chrono::seconds(10);
// Frames handed over and not yet serialised: a burst of this many from the
// producer is served whole; beyond it the oldest is replaced.
constexpr std::size_t mailbox_frames = 4;

enum level { info = 0, warning = 1, error = 2 };

std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string status_message(level l, const std::string& message) {
    return dump(json{{"op", "status"}, {"level", int(l)}, {"message", message}});
}

// Channel ids are the topics' positions from 1.
std::uint32_t channel_of(std::size_t topic_index) { return std::uint32_t(topic_index + 1); }

struct frame_slot {
    ros_messages::scene_t scene;
    ros_messages::status_t status;
};

using shared_bytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// One frame's messages, serialised once for all clients.
struct serialised_frame {
    std::uint64_t stamp_ns = 0;
    std::array<shared_bytes, topic_count> payload;  // null: nobody subscribed
};

// One frame as one client receives it: its own subscription ids.
struct pending_frame {
    std::uint64_t stamp_ns = 0;
    std::vector<std::pair<std::uint32_t, shared_bytes>> messages;
};

bool offers_subprotocol(const http::request<http::empty_body>& req) {
    const auto range = req.equal_range(http::field::sec_websocket_protocol);
    for (auto field = range.first; field != range.second; ++field) {
        const beast::string_view list = field->value();
        std::size_t begin = 0;
        while (begin <= list.size()) {
            std::size_t end = list.find(',', begin);
            if (end == beast::string_view::npos) end = list.size();
            beast::string_view name = list.substr(begin, end - begin);
            while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
            if (name == subprotocol) return true;
            begin = end + 1;
        }
    }
    return false;
}

}  // namespace

class session;

struct server::impl {
    explicit impl(options o) : opt(std::move(o)) {}

    options opt;
    // Declared first: destroyed last, after everything that uses it.
    asio::io_context ioc{1};
    tcp::acceptor acceptor{ioc};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;
    std::uint16_t bound_port = 0;
    std::string server_info, advertise;

    // Server thread only.
    std::set<std::shared_ptr<session>> sessions;
    std::array<std::shared_ptr<std::vector<std::uint8_t>>, topic_count> last_bytes;
    std::uint64_t next_client = 1;

    // The mailbox between publish() and the server's thread.
    std::mutex box_mutex;
    std::deque<std::unique_ptr<frame_slot>> box;     // oldest first, at most mailbox_frames
    std::vector<std::unique_ptr<frame_slot>> spares;  // buffers to copy the next frames into
    bool drain_posted = false;
    std::atomic<bool> anyone_subscribed{false};
    std::atomic<std::uint64_t> published{0}, overwritten{0};

    mutable std::mutex count_mutex;
    server_counters counts;  // without the clients
    std::map<std::uint64_t, client_counters> client_counts;

    void accept();
    void drain();
    void serve(const frame_slot& f);
    void remove(const std::shared_ptr<session>& s);
    void update_subscribed();
};

class session : public std::enable_shared_from_this<session> {
public:
    session(tcp::socket socket, server::impl& owner, std::uint64_t id)
        : ws_(beast::tcp_stream(std::move(socket))), owner_(owner), id_(id) {}

    void run() {
        parser_.emplace();
        parser_->header_limit(8192);
        beast::get_lowest_layer(ws_).expires_after(handshake_time);
        http::async_read(ws_.next_layer(), http_buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_request(ec); });
    }

    void close() {
        if (closed_) return;
        closed_ = true;
        beast::get_lowest_layer(ws_).close();
    }

    bool subscribed(std::size_t topic_index) const { return subscription_of_topic_[topic_index].has_value(); }
    bool open() const { return open_ && !closed_; }
    std::uint64_t id() const { return id_; }

    void enqueue(const serialised_frame& f) {
        pending_frame p;
        p.stamp_ns = f.stamp_ns;
        for (std::size_t t = 0; t < topic_count; ++t)
            if (subscription_of_topic_[t] && f.payload[t]) p.messages.emplace_back(*subscription_of_topic_[t], f.payload[t]);
        if (p.messages.empty()) return;
        if (frames_.size() >= owner_.opt.client_queue_frames) {
            frames_.pop_front();
            std::lock_guard<std::mutex> lock(owner_.count_mutex);
            if (const auto c = owner_.client_counts.find(id_); c != owner_.client_counts.end()) ++c->second.frames_dropped;
            ++owner_.counts.frames_dropped;
        }
        frames_.push_back(std::move(p));
        pump();
    }

private:
    void fail() {
        close();
        owner_.remove(shared_from_this());
    }

    void on_request(beast::error_code ec) {
        if (ec) return fail();
        request_ = parser_->release();
        parser_.reset();
        if (!websocket::is_upgrade(request_)) {
            auto res = std::make_shared<http::response<http::string_body>>(http::status::bad_request, request_.version());
            res->set(http::field::content_type, "text/plain");
            res->body() = "This is a Foxglove WebSocket server (" + std::string(subprotocol) + ").\n";
            res->keep_alive(false);
            res->prepare_payload();
            http::async_write(ws_.next_layer(), *res,
                              [self = shared_from_this(), res](beast::error_code, std::size_t) { self->fail(); });
            return;
        }
        const bool chosen = offers_subprotocol(request_);
        ws_.set_option(websocket::stream_base::decorator([chosen](websocket::response_type& res) {
            res.set(http::field::server, "gx Foxglove bridge");
            if (chosen) res.set(http::field::sec_websocket_protocol, subprotocol);
        }));
        ws_.read_message_max(owner_.opt.max_message_bytes);
        beast::get_lowest_layer(ws_).expires_never();
        // A client that only listens sends nothing: pings keep its idle
        // connection alive, and a peer gone silent is closed.
        websocket::stream_base::timeout timeouts = websocket::stream_base::timeout::suggested(beast::role_type::server);
        timeouts.keep_alive_pings = true;
        ws_.set_option(timeouts);
        ws_.async_accept(request_, [self = shared_from_this()](beast::error_code e) { self->on_accept(e); });
    }

    void on_accept(beast::error_code ec) {
        if (ec) return fail();
        open_ = true;
        control_.push_back(owner_.server_info);
        control_.push_back(owner_.advertise);
        read();
        pump();
    }

    void read() {
        ws_.async_read(read_buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) return self->fail();
            self->handle();
            self->read_buffer_.consume(self->read_buffer_.size());
            if (!self->closed_) self->read();
        });
    }

    void reply(level l, const std::string& message) {
        if (control_.size() >= max_control_messages) return fail();
        control_.push_back(status_message(l, message));
        pump();
    }

    void handle() {
        if (!ws_.got_text()) return reply(error, "binary messages are not taken: this server offers no client publishing");
        const std::string text = beast::buffers_to_string(read_buffer_.data());
        const client_message m = parse_client_message(text);
        switch (m.what) {
        case client_message::kind::invalid:
        case client_message::kind::unsupported:
            return reply(m.what == client_message::kind::invalid ? error : warning, m.error);
        case client_message::kind::subscribe:
            for (const subscription& s : m.subscriptions) subscribe(s);
            break;
        case client_message::kind::unsubscribe:
            for (const std::uint32_t id : m.subscription_ids) {
                const auto it = topic_of_subscription_.find(id);
                if (it == topic_of_subscription_.end()) {
                    reply(warning, "no subscription " + std::to_string(id) + " to remove");
                    continue;
                }
                subscription_of_topic_[it->second].reset();
                topic_of_subscription_.erase(it);
            }
            break;
        }
        owner_.update_subscribed();
    }

    void subscribe(const subscription& s) {
        if (s.channel_id < 1 || s.channel_id > topic_count)
            return reply(error, "channel " + std::to_string(s.channel_id) + " is not advertised");
        const std::size_t t = s.channel_id - 1;
        if (topic_of_subscription_.count(s.id))
            return reply(error, "subscription id " + std::to_string(s.id) + " is already in use");
        if (subscription_of_topic_[t])
            return reply(warning, "channel " + std::to_string(s.channel_id) + " is already subscribed as " +
                                      std::to_string(*subscription_of_topic_[t]));
        subscription_of_topic_[t] = s.id;
        topic_of_subscription_[s.id] = t;
    }

    // Starts the next write when none is under way: JSON replies first, then
    // the messages of the frame being sent, then the next waiting frame.
    void pump() {
        if (writing_ || closed_ || !open_) return;
        if (!control_.empty()) {
            auto text = std::make_shared<std::string>(std::move(control_.front()));
            control_.pop_front();
            writing_ = true;
            ws_.text(true);
            ws_.async_write(asio::buffer(*text), [self = shared_from_this(), text](beast::error_code ec, std::size_t) {
                self->writing_ = false;
                if (ec) return self->fail();
                self->pump();
            });
            return;
        }
        while (current_ && next_message_ == current_->messages.size()) {
            current_.reset();
            std::lock_guard<std::mutex> lock(owner_.count_mutex);
            if (const auto c = owner_.client_counts.find(id_); c != owner_.client_counts.end()) ++c->second.frames_sent;
        }
        if (!current_) {
            if (frames_.empty()) return;
            current_ = std::move(frames_.front());
            frames_.pop_front();
            next_message_ = 0;
        }
        const auto& [subscription_id, payload] = current_->messages[next_message_++];
        header_[0] = 0x01;
        for (int i = 0; i < 4; ++i) header_[1 + i] = std::uint8_t(subscription_id >> (8 * i));
        for (int i = 0; i < 8; ++i) header_[5 + i] = std::uint8_t(current_->stamp_ns >> (8 * i));
        const std::array<asio::const_buffer, 2> buffers{asio::buffer(header_), asio::buffer(*payload)};
        writing_ = true;
        ws_.binary(true);
        ws_.async_write(buffers, [self = shared_from_this(), keep = payload](beast::error_code ec, std::size_t) {
            self->writing_ = false;
            if (ec) return self->fail();
            self->pump();
        });
    }

    websocket::stream<beast::tcp_stream> ws_;
    server::impl& owner_;
    const std::uint64_t id_;
    beast::flat_buffer http_buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    http::request<http::empty_body> request_;
    beast::flat_buffer read_buffer_;
    bool open_ = false, closed_ = false, writing_ = false;

    std::array<std::optional<std::uint32_t>, topic_count> subscription_of_topic_;
    std::map<std::uint32_t, std::size_t> topic_of_subscription_;

    std::deque<std::string> control_;
    std::deque<pending_frame> frames_;
    std::optional<pending_frame> current_;
    std::size_t next_message_ = 0;
    std::array<std::uint8_t, 13> header_{};
};

void server::impl::accept() {
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open()) return;
        if (!ec) {
            if (sessions.size() >= max_clients) {
                beast::error_code ignored;
                socket.close(ignored);
            } else {
                beast::error_code e;
                const tcp::endpoint remote = socket.remote_endpoint(e);
                const std::uint64_t id = next_client++;
                {
                    std::lock_guard<std::mutex> lock(count_mutex);
                    client_counters& c = client_counts[id];
                    c.id = id;
                    c.remote = e ? std::string("?") : remote.address().to_string() + ":" + std::to_string(remote.port());
                }
                auto s = std::make_shared<session>(std::move(socket), *this, id);
                sessions.insert(s);
                s->run();
            }
        }
        accept();
    });
}

void server::impl::remove(const std::shared_ptr<session>& s) {
    if (sessions.erase(s) == 0) return;
    {
        std::lock_guard<std::mutex> lock(count_mutex);
        client_counts.erase(s->id());
    }
    update_subscribed();
}

void server::impl::update_subscribed() {
    bool any = false;
    for (const auto& s : sessions)
        for (std::size_t t = 0; t < topic_count; ++t) any = any || s->subscribed(t);
    anyone_subscribed.store(any, std::memory_order_relaxed);
}

// One frame per turn: the writes of the frames before it go on in between.
void server::impl::drain() {
    std::unique_ptr<frame_slot> f;
    {
        std::lock_guard<std::mutex> lock(box_mutex);
        if (box.empty()) {
            drain_posted = false;
            return;
        }
        f = std::move(box.front());
        box.pop_front();
    }
    serve(*f);
    bool more = false;
    {
        std::lock_guard<std::mutex> lock(box_mutex);
        if (spares.size() < mailbox_frames) spares.push_back(std::move(f));
        more = !box.empty();
        drain_posted = more;
    }
    if (more) asio::post(ioc, [this] { drain(); });
}

void server::impl::serve(const frame_slot& f) {
    serialised_frame out;
    bool any = false;
    const auto begin = std::chrono::steady_clock::now();
    out.stamp_ns = ros_messages::frame_time_ns(f.scene);
    for (std::size_t t = 0; t < topic_count; ++t) {
        bool wanted = false;
        for (const auto& s : sessions) wanted = wanted || (s->open() && s->subscribed(t));
        if (!wanted) continue;
        // The topic's last buffer again once every client has sent it (its
        // pages are then already mapped); a new one while it is still queued.
        std::shared_ptr<std::vector<std::uint8_t>>& bytes = last_bytes[t];
        if (!bytes || bytes.use_count() > 1) bytes = std::make_shared<std::vector<std::uint8_t>>();
        ros_messages::serialize(ros_messages::all_topics[t], f.scene, f.status, out.stamp_ns, *bytes);
        out.payload[t] = bytes;
        any = true;
    }
    if (any) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - begin).count();
        {
            std::lock_guard<std::mutex> lock(count_mutex);
            ++counts.frames_serialised;
            counts.serialise_ns += std::uint64_t(ns);
        }
        // A copy of the set: a failed write may remove a session meanwhile.
        const std::vector<std::shared_ptr<session>> targets(sessions.begin(), sessions.end());
        for (const auto& s : targets)
            if (s->open()) s->enqueue(out);
    }
}

std::string summary_text(const server_counters& c) {
    const std::size_t n = c.clients.size();
    return "Foxglove: " + std::to_string(n) + (n == 1 ? " client, " : " clients, ") + std::to_string(c.frames_dropped) +
           (c.frames_dropped == 1 ? " frame dropped" : " frames dropped");
}

server::server() : server(options{}) {}

server::server(options o) : d(std::make_shared<impl>(std::move(o))) {}

server::~server() { stop(); }

bool server::start(const listen_address& where, std::string& error) {
    if (d->thread.joinable()) {
        error = "the server is already running";
        return false;
    }
    beast::error_code ec;
    const asio::ip::address address = asio::ip::make_address(where.host, ec);
    if (ec) {
        error = "\"" + where.host + "\" is not an IP address";
        return false;
    }
    const tcp::endpoint endpoint(address, where.port);
    const std::string named = where.host + ":" + std::to_string(where.port);
    d->acceptor.open(endpoint.protocol(), ec);
    if (!ec) d->acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) d->acceptor.bind(endpoint, ec);
    if (!ec) d->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        beast::error_code ignored;
        d->acceptor.close(ignored);
        error = "cannot listen on " + named + ": " + ec.message();
        return false;
    }
    d->bound_port = d->acceptor.local_endpoint(ec).port();

    json channels = json::array();
    for (std::size_t t = 0; t < topic_count; ++t) {
        const ros_messages::topic_info& i = ros_messages::info(ros_messages::all_topics[t]);
        channels.push_back({{"id", channel_of(t)},
                            {"topic", i.name},
                            {"encoding", ros_messages::message_encoding},
                            {"schemaName", i.schema_name},
                            {"schema", i.schema},
                            {"schemaEncoding", ros_messages::schema_encoding}});
    }
    d->advertise = dump(json{{"op", "advertise"}, {"channels", channels}});
    const auto session_id = std::chrono::system_clock::now().time_since_epoch().count();
    d->server_info = dump(json{{"op", "serverInfo"},
                               {"name", d->opt.name},
                               {"capabilities", json::array()},
                               {"supportedEncodings", json::array()},
                               {"metadata", json::object()},
                               {"sessionId", std::to_string(session_id)}});

    d->work.emplace(d->ioc.get_executor());
    d->accept();
    d->thread = std::thread([impl = d.get()] {
        for (;;) {
            try {
                impl->ioc.run();
                return;
            } catch (const std::exception&) {
                // A handler that threw lost its own connection's state only;
                // the others go on.
            }
        }
    });
    return true;
}

std::uint16_t server::port() const { return d->bound_port; }

void server::stop() {
    if (!d->thread.joinable()) return;
    asio::post(d->ioc, [impl = d.get()] {
        beast::error_code ignored;
        impl->acceptor.close(ignored);
        const auto all = impl->sessions;
        for (const auto& s : all) s->close();
        impl->sessions.clear();
        impl->anyone_subscribed = false;
    });
    d->work.reset();
    d->thread.join();
    std::lock_guard<std::mutex> lock(d->count_mutex);
    d->client_counts.clear();
}

void server::publish(const ros_messages::scene_t& scene, const ros_messages::status_t& status) {
    d->published.fetch_add(1, std::memory_order_relaxed);
    if (!d->anyone_subscribed.load(std::memory_order_relaxed)) return;
    std::unique_ptr<frame_slot> slot;
    {
        std::lock_guard<std::mutex> lock(d->box_mutex);
        if (!d->spares.empty()) {
            slot = std::move(d->spares.back());
            d->spares.pop_back();
        }
    }
    if (!slot) slot = std::make_unique<frame_slot>();
    slot->scene = scene;  // the arrays keep their capacity: no allocation after the first frames
    slot->status = status;
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(d->box_mutex);
        std::unique_ptr<frame_slot> oldest;
        if (d->box.size() >= mailbox_frames) {
            d->overwritten.fetch_add(1, std::memory_order_relaxed);
            oldest = std::move(d->box.front());
            d->box.pop_front();
        }
        d->box.push_back(std::move(slot));
        if (oldest && d->spares.size() < mailbox_frames) d->spares.push_back(std::move(oldest));
        post = !d->drain_posted;
        d->drain_posted = true;
    }
    if (post) asio::post(d->ioc, [impl = d.get()] { impl->drain(); });
}

server_counters server::counters() const {
    std::lock_guard<std::mutex> lock(d->count_mutex);
    server_counters c = d->counts;
    c.frames_published = d->published.load();
    c.frames_overwritten = d->overwritten.load();
    // Only the clients connected now (a closed client's entry goes when it goes).
    for (const auto& [id, counts] : d->client_counts) c.clients.push_back(counts);
    return c;
}

}  // namespace foxglove
