// A small blocking client of the Foxglove WebSocket protocol on Boost.Beast,
// for the tests and benchmarks of the server: it connects to 127.0.0.1,
// offers foxglove.websocket.v1, subscribes, and reads one message at a time.
// One thread uses it at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class foxglove_client {
public:
    struct message {
        bool binary = false;
        std::string text;               // a JSON message
        std::uint32_t subscription = 0; // MessageData: the subscription id,
        std::uint64_t stamp_ns = 0;     // its time
        std::size_t payload_bytes = 0;  // and the size of its message
    };

    foxglove_client();
    ~foxglove_client();

    // Connects and completes the handshake; false with a sentence in `error`.
    bool connect(std::uint16_t port, std::string& error);
    // The subprotocol the server answered ("" for none).
    const std::string& protocol() const { return protocol_; }
    // Sends subscribe for (subscription id, channel id) pairs.
    void subscribe(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& subscriptions);
    // Sends a text message as it is.
    void send_text(const std::string& text);
    // Blocks for the next message; false when the connection ended.
    bool read(message& m);
    // Reads until a status message arrives (true) or the connection ends.
    bool read_until_status(message& m);
    void close();

private:
    struct impl;
    std::unique_ptr<impl> d;
    std::string protocol_;
};
