// What the Foxglove WebSocket server reads from its clients: their JSON
// messages and the listen address of the command lines.
#include "interop/foxglove_client_message.h"
#include "interop/listen_address.h"

#include <gtest/gtest.h>

#include <string>

using foxglove::client_message;
using kind = client_message::kind;

TEST(foxglove_client_message, reads_what_clients_send_and_refuses_the_rest) {
    const std::string deep = std::string(40, '[') + std::string(40, ']');
    const struct {
        const char* name;
        std::string text;
        kind what;
        std::size_t count;      // subscriptions or ids read
        std::uint32_t last_id;  // of the last one read
    } cases[] = {
        {"subscribe", R"({"op":"subscribe","subscriptions":[{"id":0,"channelId":1},{"id":7,"channelId":5}]})", kind::subscribe, 2, 7},
        {"subscribe none", R"({"subscriptions":[],"op":"subscribe"})", kind::subscribe, 0, 0},
        {"unsubscribe", R"({"op":"unsubscribe","subscriptionIds":[3,4294967295]})", kind::unsubscribe, 2, 4294967295u},
        {"extra fields", R"({"op":"unsubscribe","subscriptionIds":[1],"note":"é ✓"})", kind::unsubscribe, 1, 1},
        {"capability op", R"({"op":"getParameters","parameterNames":[]})", kind::unsupported, 0, 0},
        {"unknown op", R"({"op":"launch"})", kind::invalid, 0, 0},
        {"non-ascii op", R"({"op":"abonnieren ü \ud83d\ude00"})", kind::invalid, 0, 0},
        {"not json", "{op:subscribe", kind::invalid, 0, 0},
        {"empty", "", kind::invalid, 0, 0},
        {"array", "[1,2]", kind::invalid, 0, 0},
        {"no op", R"({"subscriptions":[]})", kind::invalid, 0, 0},
        {"op not a string", R"({"op":1})", kind::invalid, 0, 0},
        {"subscriptions not an array", R"({"op":"subscribe","subscriptions":{"id":0,"channelId":1}})", kind::invalid, 0, 0},
        {"id a string", R"({"op":"subscribe","subscriptions":[{"id":"0","channelId":1}]})", kind::invalid, 0, 0},
        {"id negative", R"({"op":"subscribe","subscriptions":[{"id":-1,"channelId":1}]})", kind::invalid, 0, 0},
        {"id fractional", R"({"op":"subscribe","subscriptions":[{"id":1.5,"channelId":1}]})", kind::invalid, 0, 0},
        {"id too large", R"({"op":"subscribe","subscriptions":[{"id":4294967296,"channelId":1}]})", kind::invalid, 0, 0},
        {"id huge", R"({"op":"unsubscribe","subscriptionIds":[1e400]})", kind::invalid, 0, 0},
        {"channel missing", R"({"op":"subscribe","subscriptions":[{"id":1}]})", kind::invalid, 0, 0},
        {"invalid utf-8", "{\"op\":\"sub\xff\"}", kind::invalid, 0, 0},
        {"too deep", deep, kind::invalid, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const client_message m = foxglove::parse_client_message(c.text);
        EXPECT_EQ(m.what, c.what) << m.error;
        const std::size_t count = m.what == kind::subscribe ? m.subscriptions.size() : m.subscription_ids.size();
        EXPECT_EQ(count, c.count);
        if (c.count > 0) {
            EXPECT_EQ(m.what == kind::subscribe ? m.subscriptions.back().id : m.subscription_ids.back(), c.last_id);
        }
        EXPECT_EQ(m.error.empty(), c.what == kind::subscribe || c.what == kind::unsubscribe) << m.error;
    }
    EXPECT_EQ(foxglove::parse_client_message(cases[0].text).subscriptions.back().channel_id, 5u);
}

TEST(foxglove_listen_address, takes_host_and_port_or_a_port) {
    const struct {
        const char* text;
        bool ok;
        const char* host;
        int port;
    } cases[] = {
        {"8765", true, "127.0.0.1", 8765},   {"0", true, "127.0.0.1", 0},
        {"0.0.0.0:9000", true, "0.0.0.0", 9000}, {"localhost:1", true, "127.0.0.1", 1},
        {"[::1]:65535", true, "::1", 65535}, {"", false, "", 0},
        {"65536", false, "", 0},             {":8765", false, "", 0},
        {"host:", false, "", 0},             {"::1:80", false, "", 0},
        {"12a", false, "", 0},               {"-1", false, "", 0},
        {"127.0.0.1:+80", false, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        foxglove::listen_address a;
        std::string error;
        ASSERT_EQ(foxglove::parse_listen_address(c.text, a, error), c.ok);
        EXPECT_EQ(error.empty(), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(a.host, c.host);
        EXPECT_EQ(a.port, c.port);
    }
}
