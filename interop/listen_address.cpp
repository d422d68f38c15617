#include "interop/listen_address.h"

namespace foxglove {

namespace {

bool parse_port(const std::string& text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value > 65535) return false;
    port = std::uint16_t(value);
    return true;
}

}  // namespace

bool parse_listen_address(const std::string& text, listen_address& out, std::string& error) {
    listen_address a;
    std::string port_text = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        a.host = text.substr(0, colon);
        port_text = text.substr(colon + 1);
        if (a.host.size() > 2 && a.host.front() == '[' && a.host.back() == ']')
            a.host = a.host.substr(1, a.host.size() - 2);
        else if (a.host.find(':') != std::string::npos) {
            error = "an IPv6 address is written in brackets: [ADDRESS]:PORT, not " + text;
            return false;
        }
        if (a.host.empty()) {
            error = "the listen address has no host before the colon: " + text;
            return false;
        }
        if (a.host == "localhost") a.host = "127.0.0.1";
    }
    if (!parse_port(port_text, a.port)) {
        error = "the listen address takes [HOST:]PORT with a port from 0 to 65535, not " + text;
        return false;
    }
    out = a;
    return true;
}

}  // namespace foxglove
