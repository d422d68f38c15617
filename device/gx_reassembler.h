// Reassembles the fragmented objects (frames, status packets, histograms) of
// one stream session from its datagrams. Malformed, foreign (other session),
// stale (older than the last completed object of the same kind) and duplicate
// datagrams are discarded and counted; an object still missing fragments when
// a newer one of its kind completes, or when its slot is needed, is dropped
// and counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gx {

class reassembler {
public:
    struct stats {
        std::uint64_t frames_completed = 0;
        std::uint64_t frames_dropped = 0;
        std::uint64_t fragments_lost = 0;
        std::uint64_t datagrams_discarded = 0;
    };
    struct object {
        std::uint8_t kind = 0;
        std::uint32_t sequence = 0;
        std::vector<std::uint8_t> data;  // swapped in and out; keep it to reuse its capacity
    };

    explicit reassembler(std::uint32_t session = 0) : session_(session) {}
    void set_session(std::uint32_t s) { session_ = s; }

    // Feeds one datagram. Returns true when it completed an object, which is
    // then swapped into `out`.
    bool feed(const std::uint8_t* datagram, std::size_t size, object& out);

    const stats& statistics() const { return stats_; }

private:
    struct slot {
        bool used = false;
        std::uint8_t kind = 0;
        std::uint32_t sequence = 0;
        std::uint32_t total = 0;
        std::uint16_t count = 0, received = 0;
        std::uint64_t age = 0;
        std::vector<std::uint8_t> data;
        std::vector<std::uint8_t> have;
    };
    void drop(slot& s);
    static constexpr int kSlots = 6;
    slot slots_[kSlots];
    bool have_last_[4] = {false, false, false, false};
    std::uint32_t last_[4] = {0, 0, 0, 0};
    std::uint32_t session_;
    std::uint64_t clock_ = 0;
    stats stats_;
};

}  // namespace gx
