// Where the Foxglove WebSocket server listens: "HOST:PORT" or "PORT" as the
// command lines take it. Plain logic. Without a host the server stays on the
// loopback interface; another interface only when it is named.
#pragma once

#include <cstdint>
#include <string>

namespace foxglove {

struct listen_address {
    std::string host = "127.0.0.1";
    std::uint16_t port = 8765;  // 0: any free port (the server reports which)
};

// Parses "HOST:PORT", "[IPV6]:PORT" or "PORT" (0 to 65535, decimal digits
// only). "localhost" is taken as 127.0.0.1. False with a sentence in `error`
// for anything else; `out` is then left alone.
bool parse_listen_address(const std::string& text, listen_address& out, std::string& error);

}  // namespace foxglove
