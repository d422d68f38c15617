#include "tests/support/foxglove_client.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = boost::asio::ip::tcp;

struct foxglove_client::impl {
    boost::asio::io_context ioc;
    websocket::stream<tcp::socket> ws{ioc};
    beast::flat_buffer buffer;
};

foxglove_client::foxglove_client() : d(std::make_unique<impl>()) {}

foxglove_client::~foxglove_client() { close(); }

bool foxglove_client::connect(std::uint16_t port, std::string& error) {
    beast::error_code ec;
    const tcp::endpoint server(boost::asio::ip::make_address_v4("127.0.0.1"), port);
    d->ws.next_layer().connect(server, ec);
    websocket::response_type res;
    if (!ec) {
        d->ws.set_option(websocket::stream_base::decorator([](websocket::request_type& req) {
            req.set(beast::http::field::sec_websocket_protocol, "foxglove.websocket.v1");
        }));
        d->ws.read_message_max(64 * 1024 * 1024);
        d->ws.handshake(res, "127.0.0.1:" + std::to_string(port), "/", ec);
    }
    if (ec) {
        error = ec.message();
        return false;
    }
    protocol_ = std::string(res[beast::http::field::sec_websocket_protocol]);
    return true;
}

void foxglove_client::subscribe(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& subscriptions) {
    std::string text = R"({"op":"subscribe","subscriptions":[)";
    for (std::size_t i = 0; i < subscriptions.size(); ++i)
        text += (i ? "," : "") + std::string(R"({"id":)") + std::to_string(subscriptions[i].first) +
                R"(,"channelId":)" + std::to_string(subscriptions[i].second) + "}";
    send_text(text + "]}");
}

void foxglove_client::send_text(const std::string& text) {
    beast::error_code ec;
    d->ws.text(true);
    d->ws.write(boost::asio::buffer(text), ec);
}

bool foxglove_client::read(message& m) {
    beast::error_code ec;
    d->buffer.clear();
    d->ws.read(d->buffer, ec);
    if (ec) return false;
    m = message{};
    m.binary = d->ws.got_binary();
    if (!m.binary) {
        m.text = beast::buffers_to_string(d->buffer.data());
        return true;
    }
    const auto* b = static_cast<const std::uint8_t*>(d->buffer.data().data());
    if (d->buffer.size() < 13 || b[0] != 1) return false;
    for (int i = 0; i < 4; ++i) m.subscription |= std::uint32_t(b[1 + i]) << (8 * i);
    for (int i = 0; i < 8; ++i) m.stamp_ns |= std::uint64_t(b[5 + i]) << (8 * i);
    m.payload_bytes = d->buffer.size() - 13;
    return true;
}

bool foxglove_client::read_until_status(message& m) {
    while (read(m))
        if (!m.binary && m.text.find(R"("op":"status")") != std::string::npos) return true;
    return false;
}

void foxglove_client::close() {
    beast::error_code ec;
    if (d->ws.is_open()) d->ws.close(websocket::close_code::normal, ec);
    d->ws.next_layer().close(ec);
}
