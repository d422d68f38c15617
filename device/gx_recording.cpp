#include "device/gx_recording.h"

#include "device/gx_protocol.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <chrono>
#include <cerrno>
#include <cstring>

namespace gx {

namespace {
bool pread_all(int fd, void* p, std::size_t n, std::uint64_t off) {
    auto* b = static_cast<std::uint8_t*>(p);
    while (n) {
        const ssize_t r = ::pread(fd, b, n, off_t(off));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        b += r;
        n -= std::size_t(r);
        off += std::uint64_t(r);
    }
    return true;
}
// Frame objects are stored with their pixel bytes split into two planes (the
// even bytes, then the odd bytes of every 16-bit word after the frame header):
// the planes compress better and decompress faster than the interleaved data.
void shuffle_planes(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    const std::size_t head = std::min(n, kFrameHeaderSize);
    std::memcpy(out, in, head);
    const std::size_t words = (n - head) / 2;
    const std::uint8_t* src = in + head;
    std::uint8_t* lo = out + head;
    std::uint8_t* hi = lo + words;
    for (std::size_t k = 0; k < words; ++k) {
        lo[k] = src[2 * k];
        hi[k] = src[2 * k + 1];
    }
    if ((n - head) & 1) out[n - 1] = in[n - 1];
}

void unshuffle_planes(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    const std::size_t head = std::min(n, kFrameHeaderSize);
    std::memcpy(out, in, head);
    const std::size_t words = (n - head) / 2;
    const std::uint8_t* lo = in + head;
    const std::uint8_t* hi = lo + words;
    std::uint8_t* dst = out + head;
    for (std::size_t k = 0; k < words; ++k) {
        dst[2 * k] = lo[k];
        dst[2 * k + 1] = hi[k];
    }
    if ((n - head) & 1) out[n - 1] = in[n - 1];
}
}  // namespace

bool record_header_valid(const std::uint8_t* h, std::uint64_t pos, std::uint64_t file_size) {
    if (get_u32(h) != kRecordMagic) return false;
    if (crc32(h, kRecordHeaderSize - 4) != get_u32(h + kRecordHeaderSize - 4)) return false;
    const std::uint32_t stored = get_u32(h + 16), raw = get_u32(h + 20);
    if (stored == 0 || stored > kMaxRecordPayload || raw == 0 || raw > kMaxRecordPayload) return false;
    return pos + kRecordHeaderSize + stored <= file_size;
}

// ---------------------------------------------------------------- writer
recording_writer::~recording_writer() { close(); }

bool recording_writer::write_all(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    while (n) {
        const ssize_t w = ::write(fd_, b, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        b += w;
        n -= std::size_t(w);
    }
    return true;
}

bool recording_writer::open(const std::string& path, int zstd_level) {
    close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) return false;
    level_ = zstd_level;
    std::uint8_t hdr[kRecordingHeaderSize] = {};
    std::memcpy(hdr, kRecordingMagic, 8);
    put_u32(hdr + 8, kRecordingVersion);
    put_u32(hdr + 12, std::uint32_t(kRecordingHeaderSize));
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    put_u64(hdr + 16, std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    put_u32(hdr + 24, kFlagZstd | kFlagPlanes);
    put_u32(hdr + 28, crc32(hdr, 28));
    if (!write_all(hdr, sizeof hdr)) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    offset_ = kRecordingHeaderSize;
    index_.clear();
    written_ = 0;
    refused_ = 0;
    bytes_ = kRecordingHeaderSize;
    failed_ = false;
    closing_ = false;
    thread_ = std::thread(&recording_writer::run, this);
    return true;
}

bool recording_writer::push(std::vector<std::uint8_t>&& frame, const TAVRIN::DadodUz::sensing_packet_t& status) {
    if (fd_ < 0 || failed_ || frame.empty() || frame.size() > kMaxRecordPayload) {
        ++refused_;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kMaxQueue || closing_) {
            ++refused_;
            return false;
        }
        queue_.push_back(item{std::move(frame), status});
    }
    cv_.notify_one();
    return true;
}

void recording_writer::run() {
    ZSTD_CCtx* cctx = ZSTD_createCCtx();
    std::vector<std::uint8_t> out, planes;
    for (;;) {
        item it;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            cv_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (queue_.empty()) break;
            it = std::move(queue_.front());
            queue_.pop_front();
        }
        if (failed_) continue;
        const std::size_t raw = it.frame.size();
        planes.resize(raw);
        shuffle_planes(it.frame.data(), planes.data(), raw);
        out.resize(kRecordHeaderSize + ZSTD_compressBound(raw));
        std::size_t stored = cctx ? ZSTD_compressCCtx(cctx, out.data() + kRecordHeaderSize, out.size() - kRecordHeaderSize,
                                                      planes.data(), raw, level_)
                                  : 0;
        if (!cctx || ZSTD_isError(stored) || stored >= raw) {
            stored = raw;  // stored size == raw size: kept uncompressed
            std::memcpy(out.data() + kRecordHeaderSize, planes.data(), raw);
        }
        std::uint8_t* h = out.data();
        frame_info info;
        decode_frame_info(it.frame.data(), raw, info);
        put_u32(h, kRecordMagic);
        put_u32(h + 4, info.frame_number);
        put_u64(h + 8, info.timestamp);
        put_u32(h + 16, std::uint32_t(stored));
        put_u32(h + 20, std::uint32_t(raw));
        put_u32(h + 24, crc32(h + kRecordHeaderSize, stored));
        static_assert(sizeof(TAVRIN::DadodUz::sensing_packet_t) == 104, "status block is 104 bytes");
        std::memcpy(h + 28, &it.status, 104);
        put_u32(h + 132, crc32(h, 132));
        if (!write_all(out.data(), kRecordHeaderSize + stored)) {
            failed_ = true;  // disk full or similar: what is on disk stays readable
            continue;
        }
        index_.push_back(offset_);
        offset_ += kRecordHeaderSize + stored;
        bytes_ += kRecordHeaderSize + stored;
        ++written_;
    }
    if (cctx) ZSTD_freeCCtx(cctx);
}

bool recording_writer::close() {
    if (fd_ < 0) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    bool ok = !failed_;
    if (ok) {
        std::vector<std::uint8_t> idx(8 + index_.size() * 8 + 4 + kTrailerSize);
        put_u32(idx.data(), kIndexMagic);
        put_u32(idx.data() + 4, std::uint32_t(index_.size()));
        for (std::size_t i = 0; i < index_.size(); ++i) put_u64(idx.data() + 8 + 8 * i, index_[i]);
        const std::size_t crc_at = 8 + index_.size() * 8;
        put_u32(idx.data() + crc_at, crc32(idx.data() + 8, index_.size() * 8));
        put_u64(idx.data() + crc_at + 4, offset_);
        put_u32(idx.data() + crc_at + 12, std::uint32_t(index_.size()));
        put_u32(idx.data() + crc_at + 16, kTrailerMagic);
        ok = write_all(idx.data(), idx.size());
        if (ok) bytes_ += idx.size();
    }
    ::close(fd_);
    fd_ = -1;
    queue_.clear();
    return ok;
}

// ---------------------------------------------------------------- reader
recording_reader::~recording_reader() { close(); }

void recording_reader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    offsets_.clear();
    damaged_ = 0;
    if (dctx_) ZSTD_freeDCtx(static_cast<ZSTD_DCtx*>(dctx_));
    dctx_ = nullptr;
}

bool recording_reader::read_header(std::uint64_t pos, std::uint8_t* hdr) const {
    return pos + kRecordHeaderSize <= size_ && pread_all(fd_, hdr, kRecordHeaderSize, pos) && record_header_valid(hdr, pos, size_);
}

bool recording_reader::open(const std::string& path) {
    close();
    error_.clear();
    // Non-blocking open: a FIFO or device node must not stall the caller.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        close();
        error_ = path + " is not a regular file";
        return false;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = std::uint64_t(st.st_size);
    std::uint8_t hdr[kRecordingHeaderSize];
    const char* why = nullptr;
    if (size_ < kRecordingHeaderSize || !pread_all(fd_, hdr, sizeof hdr, 0) || std::memcmp(hdr, kRecordingMagic, 8) != 0)
        why = " is not a GX recording (no recording header)";
    else if (crc32(hdr, 28) != get_u32(hdr + 28))
        why = " is not a GX recording (its header is damaged)";
    else if (get_u32(hdr + 8) != kRecordingVersion)
        why = " is a GX recording of a version this library does not read";
    if (why != nullptr) {
        close();
        error_ = path + why;
        return false;
    }
    flags_ = get_u32(hdr + 24);
    dctx_ = ZSTD_createDCtx();
    rebuilt_ = false;
    if (!load_index()) {
        rebuilt_ = true;
        scan();
    }
    return true;
}

bool recording_reader::load_index() {
    if (size_ < kRecordingHeaderSize + 12 + kTrailerSize) return false;
    std::uint8_t tr[kTrailerSize];
    if (!pread_all(fd_, tr, kTrailerSize, size_ - kTrailerSize)) return false;
    if (get_u32(tr + 12) != kTrailerMagic) return false;
    const std::uint64_t index_at = get_u64(tr);
    const std::uint32_t count = get_u32(tr + 8);
    if (index_at < kRecordingHeaderSize || index_at + 8 + std::uint64_t(count) * 8 + 4 + kTrailerSize != size_) return false;
    std::vector<std::uint8_t> idx(8 + std::size_t(count) * 8 + 4);
    if (!pread_all(fd_, idx.data(), idx.size(), index_at)) return false;
    if (get_u32(idx.data()) != kIndexMagic || get_u32(idx.data() + 4) != count) return false;
    if (crc32(idx.data() + 8, std::size_t(count) * 8) != get_u32(idx.data() + 8 + std::size_t(count) * 8)) return false;
    std::vector<std::uint64_t> offs(count);
    std::uint64_t prev = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        offs[i] = get_u64(idx.data() + 8 + 8 * std::size_t(i));
        if (offs[i] < kRecordingHeaderSize || offs[i] + kRecordHeaderSize > index_at || (i && offs[i] <= prev)) return false;
        prev = offs[i];
    }
    offsets_ = std::move(offs);
    return true;
}

void recording_reader::scan() {
    offsets_.clear();
    damaged_ = 0;
    // The bytes at `at` begin with `magic`, or with its start where the file ends sooner.
    auto starts_with = [this](std::uint64_t at, std::uint32_t magic) {
        std::uint8_t m[4], want[4];
        put_u32(want, magic);
        const std::size_t n = std::size_t(std::min<std::uint64_t>(4, size_ - std::min(at, size_)));
        return n > 0 && pread_all(fd_, m, n, at) && std::memcmp(m, want, n) == 0;
    };
    std::uint64_t pos = kRecordingHeaderSize;
    std::uint8_t hdr[kRecordHeaderSize];
    std::vector<std::uint8_t> buf;
    while (pos + kRecordHeaderSize <= size_) {
        if (read_header(pos, hdr)) {
            offsets_.push_back(pos);
            pos += kRecordHeaderSize + get_u32(hdr + 16);
            continue;
        }
        // Damaged or partial: look for the next record magic after pos. A
        // record header that does not check, or bytes between two records,
        // count as one damaged frame; a stretch holding only the index does not.
        const bool record_start = starts_with(pos, kRecordMagic);
        bool found = false;
        std::uint64_t from = pos + 1;
        buf.resize(1 << 20);
        while (!found && from + kRecordHeaderSize <= size_) {
            const std::size_t n = std::size_t(std::min<std::uint64_t>(buf.size(), size_ - from));
            if (!pread_all(fd_, buf.data(), n, from)) break;
            for (std::size_t k = 0; k + 4 <= n; ++k) {
                if (get_u32(buf.data() + k) == kRecordMagic && read_header(from + k, hdr)) {
                    pos = from + k;
                    found = true;
                    break;
                }
            }
            if (!found) {
                if (n < 4) break;
                from += n - 3;
            }
        }
        if (record_start || found) ++damaged_;
        if (!found) return;
    }
    // A record cut off inside its header.
    if (pos < size_ && !starts_with(pos, kIndexMagic)) ++damaged_;
}

bool recording_reader::read_status(std::uint64_t i, TAVRIN::DadodUz::sensing_packet_t& status) {
    if (fd_ < 0 || i >= offsets_.size()) return false;
    std::uint8_t hdr[kRecordHeaderSize];
    if (!read_header(offsets_[std::size_t(i)], hdr)) return false;
    std::memcpy(&status, hdr + 28, 104);
    return true;
}

bool recording_reader::read(std::uint64_t i, std::vector<std::uint8_t>& frame, TAVRIN::DadodUz::sensing_packet_t* status) {
    if (fd_ < 0 || i >= offsets_.size()) return false;
    const std::uint64_t pos = offsets_[std::size_t(i)];
    std::uint8_t hdr[kRecordHeaderSize];
    if (!read_header(pos, hdr)) return false;
    const std::uint32_t stored = get_u32(hdr + 16), raw = get_u32(hdr + 20);
    stored_.resize(stored);
    if (!pread_all(fd_, stored_.data(), stored, pos + kRecordHeaderSize)) return false;
    if (crc32(stored_.data(), stored) != get_u32(hdr + 24)) return false;
    const std::vector<std::uint8_t>* planes = &stored_;
    if (stored != raw) {
        if (!dctx_) return false;
        planes_.resize(raw);
        const std::size_t r = ZSTD_decompressDCtx(static_cast<ZSTD_DCtx*>(dctx_), planes_.data(), raw, stored_.data(), stored);
        if (ZSTD_isError(r) || r != raw) return false;
        planes = &planes_;
    }
    frame.resize(raw);
    if (flags_ & kFlagPlanes) unshuffle_planes(planes->data(), frame.data(), raw);
    else std::memcpy(frame.data(), planes->data(), raw);
    if (status) std::memcpy(status, hdr + 28, 104);
    return true;
}

}  // namespace gx
