#include "device/gx_reassembler.h"

#include "device/gx_protocol.h"

#include <cstring>

namespace gx {

namespace {
inline std::int32_t seq_diff(std::uint32_t a, std::uint32_t b) { return std::int32_t(a - b); }
}  // namespace

void reassembler::drop(slot& s) {
    if (s.used && s.kind == kind_frame) {
        ++stats_.frames_dropped;
        stats_.fragments_lost += std::uint64_t(s.count - s.received);
    }
    s.used = false;
}

bool reassembler::feed(const std::uint8_t* dg, std::size_t size, object& out) {
    datagram_header h;
    const std::uint8_t* payload = nullptr;
    if (!decode_datagram(dg, size, h, payload) || h.session != session_) {
        ++stats_.datagrams_discarded;
        return false;
    }
    const int k = h.kind;
    if (have_last_[k] && seq_diff(h.sequence, last_[k]) <= 0) {
        ++stats_.datagrams_discarded;  // stale or a repeat of a completed object
        return false;
    }
    slot* s = nullptr;
    for (auto& c : slots_)
        if (c.used && c.kind == h.kind && c.sequence == h.sequence) s = &c;
    if (s && (s->total != h.total_size || s->count != h.fragment_count)) {
        ++stats_.datagrams_discarded;  // contradicts the fragments already held
        return false;
    }
    if (!s) {
        for (auto& c : slots_)
            if (!c.used) {
                s = &c;
                break;
            }
        if (!s) {
            s = &slots_[0];
            for (auto& c : slots_)
                if (c.age < s->age) s = &c;
            drop(*s);
        }
        s->used = true;
        s->kind = h.kind;
        s->sequence = h.sequence;
        s->total = h.total_size;
        s->count = h.fragment_count;
        s->received = 0;
        s->data.resize(h.total_size);
        s->have.assign(h.fragment_count, 0);
    }
    s->age = ++clock_;
    if (s->have[h.fragment_index]) {
        ++stats_.datagrams_discarded;  // duplicate
        return false;
    }
    s->have[h.fragment_index] = 1;
    ++s->received;
    std::memcpy(s->data.data() + std::size_t(h.fragment_index) * kFragmentPayload, payload, h.payload_length);
    if (s->received != s->count) return false;
    // Complete: older incomplete objects of this kind can no longer be delivered in order.
    for (auto& c : slots_)
        if (c.used && &c != s && c.kind == h.kind && seq_diff(c.sequence, h.sequence) < 0) drop(c);
    have_last_[k] = true;
    last_[k] = h.sequence;
    out.kind = h.kind;
    out.sequence = h.sequence;
    out.data.swap(s->data);
    s->used = false;
    if (h.kind == kind_frame) ++stats_.frames_completed;
    return true;
}

}  // namespace gx
