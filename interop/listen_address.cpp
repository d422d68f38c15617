#include "interop/listen_address.h"

#include "device/gx_address.h"

namespace foxglove {

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
    int port = 0;
    if (!gx_address::port_number(port_text, port)) {
        error = "the listen address takes [HOST:]PORT with a port from 0 to 65535, not " + text;
        return false;
    }
    a.port = std::uint16_t(port);
    out = a;
    return true;
}

}  // namespace foxglove
