#include "interop/foxglove_client_message.h"

#include <nlohmann/json.hpp>

#include <array>
#include <limits>

namespace foxglove {

namespace {

using json = nlohmann::json;

// Ops of the protocol that need capabilities (clientPublish, parameters,
// services, connectionGraph, assets) this server does not announce.
constexpr std::array<std::string_view, 10> capability_ops = {
    "advertise",        "unadvertise",           "getParameters",     "setParameters",
    "subscribeParameterUpdates", "unsubscribeParameterUpdates", "callService", "subscribeConnectionGraph",
    "unsubscribeConnectionGraph", "fetchAsset"};

// The deepest nesting of arrays and objects, outside strings; stops counting
// past the limit.
int nesting(std::string_view text) {
    int depth = 0, deepest = 0;
    bool in_string = false, escaped = false;
    for (const char c : text) {
        if (in_string) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') in_string = false;
            continue;
        }
        if (c == '"') in_string = true;
        else if (c == '[' || c == '{') {
            if (++depth > deepest) deepest = depth;
            if (deepest > max_nesting) break;
        } else if ((c == ']' || c == '}') && depth > 0)
            --depth;
    }
    return deepest;
}

bool read_u32(const json& value, std::uint32_t& out) {
    if (!value.is_number_unsigned() && !(value.is_number_integer() && value.get<std::int64_t>() >= 0)) return false;
    const std::uint64_t v = value.get<std::uint64_t>();
    if (v > std::numeric_limits<std::uint32_t>::max()) return false;
    out = std::uint32_t(v);
    return true;
}

client_message invalid(client_message m, std::string why) {
    m.what = client_message::kind::invalid;
    m.subscriptions.clear();
    m.subscription_ids.clear();
    m.error = std::move(why);
    return m;
}

}  // namespace

client_message parse_client_message(std::string_view text) {
    client_message m;
    if (nesting(text) > max_nesting) return invalid(m, "the message nests deeper than " + std::to_string(max_nesting) + " levels");
    const json doc = json::parse(text.begin(), text.end(), nullptr, false);
    if (doc.is_discarded()) return invalid(m, "the message is not valid JSON");
    if (!doc.is_object()) return invalid(m, "the message is not a JSON object");
    const auto op = doc.find("op");
    if (op == doc.end() || !op->is_string()) return invalid(m, "the message has no \"op\" string");
    m.op = op->get<std::string>();
    if (m.op == "subscribe") {
        m.what = client_message::kind::subscribe;
        const auto list = doc.find("subscriptions");
        if (list == doc.end() || !list->is_array()) return invalid(m, "subscribe needs a \"subscriptions\" array");
        for (const json& s : *list) {
            subscription sub;
            const auto id = s.is_object() ? s.find("id") : s.end();
            const auto channel = s.is_object() ? s.find("channelId") : s.end();
            if (!s.is_object() || id == s.end() || channel == s.end() || !read_u32(*id, sub.id) ||
                !read_u32(*channel, sub.channel_id))
                return invalid(m, "each subscription needs \"id\" and \"channelId\" as whole numbers from 0 to 4294967295");
            m.subscriptions.push_back(sub);
        }
        return m;
    }
    if (m.op == "unsubscribe") {
        m.what = client_message::kind::unsubscribe;
        const auto list = doc.find("subscriptionIds");
        if (list == doc.end() || !list->is_array()) return invalid(m, "unsubscribe needs a \"subscriptionIds\" array");
        for (const json& s : *list) {
            std::uint32_t id = 0;
            if (!read_u32(s, id)) return invalid(m, "subscription ids are whole numbers from 0 to 4294967295");
            m.subscription_ids.push_back(id);
        }
        return m;
    }
    for (const std::string_view known : capability_ops) {
        if (m.op == known) {
            m.what = client_message::kind::unsupported;
            m.error = "op \"" + m.op + "\" needs a capability this server does not offer";
            return m;
        }
    }
    // The op is echoed as JSON (escaped, valid UTF-8 or replaced) and cut.
    std::string shown = json(m.op).dump(-1, ' ', false, json::error_handler_t::replace);
    if (shown.size() > 64) shown = shown.substr(0, 60) + "...\"";
    return invalid(m, "unknown op " + shown);
}

}  // namespace foxglove
