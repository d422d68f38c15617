// Fuzz target: the Foxglove WebSocket client's JSON messages as the bridge
// reads them. Whatever the bytes, the parse ends with a typed message or a
// refusal that says why, and what it returns is consistent with its kind.
#include "interop/foxglove_client_message.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kind = foxglove::client_message::kind;
    const foxglove::client_message m =
        foxglove::parse_client_message(std::string_view(reinterpret_cast<const char*>(data), size));
    switch (m.what) {
    case kind::subscribe:
        if (!m.subscription_ids.empty() || !m.error.empty() || m.op != "subscribe") __builtin_trap();
        if (m.subscriptions.size() > size) __builtin_trap();
        break;
    case kind::unsubscribe:
        if (!m.subscriptions.empty() || !m.error.empty() || m.op != "unsubscribe") __builtin_trap();
        if (m.subscription_ids.size() > size) __builtin_trap();
        break;
    case kind::unsupported:
    case kind::invalid:
        if (m.error.empty() || !m.subscriptions.empty() || !m.subscription_ids.empty()) __builtin_trap();
        break;
    }
    return 0;
}
