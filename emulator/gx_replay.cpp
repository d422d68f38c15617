#include "emulator/gx_replay.h"

#include "device/gx_protocol.h"

namespace gx {

std::int64_t replay_gap_ns(std::uint64_t previous, std::uint64_t stamp, std::int64_t fallback_ns) {
    if (stamp <= previous || stamp - previous > std::uint64_t(kMaxReplayGapNs / 10)) return fallback_ns;
    return std::int64_t(stamp - previous) * 10;
}

bool replay_source::open(const std::string& path, bool loop) {
    loop_ = loop;
    error_.clear();
    if (!reader_.open(path)) {
        error_ = reader_.error();
        return false;
    }
    const std::uint64_t n = reader_.frames();
    if (n == 0) {
        error_ = path + " holds no frames";
        return false;
    }
    bad_.assign(std::size_t(n), false);
    bad_count_ = 0;
    frame f;
    std::uint64_t i = 0;
    while (i < n && !read(i, f, nullptr)) ++i;
    if (i == n) {
        error_ = path + ": none of its " + std::to_string(n) + " records reads";
        return false;
    }
    rewind();
    return true;
}

void replay_source::rewind() {
    pos_ = 0;
    have_previous_ = false;
    wrapped_ = false;
}

bool replay_source::read(std::uint64_t i, frame& f, std::vector<std::uint64_t>* skipped) {
    if (bad_[std::size_t(i)]) return false;
    frame_info info;
    if (!reader_.read(i, f.object, &f.status) || f.object.size() > kMaxObjectSize ||
        !decode_frame_info(f.object.data(), f.object.size(), info)) {
        bad_[std::size_t(i)] = true;
        ++bad_count_;
        if (skipped) skipped->push_back(i);
        return false;
    }
    f.has_status = f.status.packet_id == kStatusPacketId;
    f.record = i;
    f.frame_number = info.frame_number;
    return true;
}

bool replay_source::next(frame& f, std::vector<std::uint64_t>* skipped) {
    const std::uint64_t n = reader_.frames();
    // At most one pass of reads: a recording none of whose records reads any
    // more ends even when looping.
    for (std::uint64_t tried = 0; tried < n; ++tried) {
        if (pos_ >= n) {
            if (!loop_) return false;
            pos_ = 0;
            have_previous_ = false;
            wrapped_ = true;
        }
        if (!read(pos_++, f, skipped)) continue;
        const std::uint64_t stamp = get_u64(f.object.data() + 4);
        if (have_previous_) {
            const std::int64_t gap = replay_gap_ns(previous_stamp_, stamp, -1);
            f.gap_ns = gap < 0 ? period_ns_ : (period_ns_ = gap);
        } else {
            f.gap_ns = wrapped_ ? period_ns_ : 0;
        }
        have_previous_ = true;
        wrapped_ = false;
        previous_stamp_ = stamp;
        return true;
    }
    return false;
}

}  // namespace gx
