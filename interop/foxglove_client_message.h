// The JSON messages a Foxglove WebSocket client sends (protocol
// foxglove.websocket.v1), read into typed values. Plain logic: no sockets, so
// it is tested and fuzzed on its own. Any text is taken: what is not a
// message this server understands comes back as `invalid` or `unsupported`
// with a sentence saying why, never as an exception.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace foxglove {

struct subscription {
    std::uint32_t id = 0;          // chosen by the client, unique within its connection
    std::uint32_t channel_id = 0;  // a channel the server advertised
};

struct client_message {
    enum class kind {
        subscribe,    // `subscriptions` holds the requests
        unsubscribe,  // `subscription_ids` holds the ids to drop
        unsupported,  // a protocol op that needs a capability this server does not offer
        invalid,      // not JSON, not an object, no op, an unknown op, or a field of the wrong type
    };
    kind what = kind::invalid;
    std::string op;  // the op as sent (empty when there is none)
    std::vector<subscription> subscriptions;
    std::vector<std::uint32_t> subscription_ids;
    std::string error;  // why, for unsupported and invalid
};

// Deeper nesting than this is refused before parsing (the messages of the
// protocol nest three levels).
constexpr int max_nesting = 16;

client_message parse_client_message(std::string_view text);

}  // namespace foxglove
