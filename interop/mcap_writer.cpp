// MCAP writer: chunks, message indexes, summary, CRCs.
#include "interop/mcap_writer.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::uint8_t magic[8] = {0x89, 'M', 'C', 'A', 'P', '0', '\r', '\n'};

enum op : std::uint8_t {
    op_header = 0x01, op_footer = 0x02, op_schema = 0x03, op_channel = 0x04, op_message = 0x05, op_chunk = 0x06,
    op_message_index = 0x07, op_chunk_index = 0x08, op_statistics = 0x0B, op_metadata = 0x0C,
    op_metadata_index = 0x0D, op_summary_offset = 0x0E, op_data_end = 0x0F,
};

using bytes = std::vector<std::uint8_t>;

void put_le(bytes& b, std::uint64_t v, int n) {
    for (int k = 0; k < n; ++k) b.push_back(std::uint8_t(v >> (8 * k)));
}
void u8(bytes& b, std::uint8_t v) { b.push_back(v); }
void u16(bytes& b, std::uint16_t v) { put_le(b, v, 2); }
void u32(bytes& b, std::uint32_t v) { put_le(b, v, 4); }
void u64(bytes& b, std::uint64_t v) { put_le(b, v, 8); }
void str(bytes& b, const std::string& s) {
    u32(b, std::uint32_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}
void put_map(bytes& b, const mcap_writer::string_map& m) {
    std::uint32_t n = 0;
    for (const auto& [k, v] : m) n += std::uint32_t(8 + k.size() + v.size());
    u32(b, n);
    for (const auto& [k, v] : m) str(b, k), str(b, v);
}
// Starts a record: opcode and a length filled in by end_record.
std::size_t begin_record(bytes& b, std::uint8_t opcode) {
    b.push_back(opcode);
    const std::size_t at = b.size();
    u64(b, 0);
    return at;
}
void end_record(bytes& b, std::size_t at) {
    const std::uint64_t n = b.size() - at - 8;
    for (int k = 0; k < 8; ++k) b[at + k] = std::uint8_t(n >> (8 * k));
}

// The CRC-32 the format uses (zlib's), chained from `crc`.
std::uint32_t chained_crc32(std::uint32_t crc, const void* data, std::size_t size) {
    const auto* p = static_cast<const Bytef*>(data);
    while (size > 0) {
        const uInt n = uInt(std::min<std::size_t>(size, 1u << 30));
        crc = std::uint32_t(::crc32(crc, p, n));
        p += n;
        size -= n;
    }
    return crc;
}

std::string reason(int err) { return std::error_code(err, std::generic_category()).message(); }

}  // namespace


mcap_writer::~mcap_writer() {
    if (fd_ >= 0) close();
    if (job_.done.valid()) job_.done.wait();
    if (cctx_ != nullptr) ZSTD_freeCCtx(static_cast<ZSTD_CCtx*>(cctx_));
}

bool mcap_writer::open(const std::string& path, const options& o) {
    if (fd_ >= 0) close();
    options_ = o;
    path_ = path;
    failed_ = false;
    error_.clear();
    schemas_.clear();
    channels_.clear();
    chunk_.clear();
    chunk_messages_.clear();
    chunks_.clear();
    metadata_.clear();
    position_ = committed_ = committed_messages_ = first_time_ = last_time_ = 0;
    crc_ = committed_crc_ = chunk_crc_ = 0;
    chunk_crc_bytes_ = 0;
    if (cctx_ == nullptr) cctx_ = ZSTD_createCCtx();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        failed_ = true;
        error_ = "cannot write " + path + ": " + reason(errno);
        return false;
    }
    bytes b(magic, magic + 8);
    const std::size_t at = begin_record(b, op_header);
    str(b, options_.profile);
    str(b, options_.library);
    end_record(b, at);
    if (!put(b)) return fail("cannot write " + path, errno);
    committed_ = position_;
    committed_crc_ = crc_;
    return true;
}

std::uint16_t mcap_writer::add_schema(const std::string& name, const std::string& encoding, const std::string& data) {
    write_compressed();  // the chunk in flight counts into the lists
    schemas_.push_back({std::uint16_t(schemas_.size() + 1), name, encoding, data});
    return schemas_.back().id;
}

std::uint16_t mcap_writer::add_channel(std::uint16_t schema_id, const std::string& topic,
                                       const std::string& message_encoding, const string_map& metadata) {
    write_compressed();  // the chunk in flight counts into the lists
    channel c;
    c.id = std::uint16_t(channels_.size() + 1);
    c.schema_id = schema_id;
    c.topic = topic;
    c.encoding = message_encoding;
    c.metadata = metadata;
    channels_.push_back(std::move(c));
    return channels_.back().id;
}

namespace {
void schema_record(bytes& b, std::uint16_t id, const std::string& name, const std::string& encoding,
                   const std::string& data) {
    const std::size_t at = begin_record(b, op_schema);
    u16(b, id);
    str(b, name);
    str(b, encoding);
    str(b, data);
    end_record(b, at);
}
void channel_record(bytes& b, std::uint16_t id, std::uint16_t schema_id, const std::string& topic,
                    const std::string& encoding, const mcap_writer::string_map& metadata) {
    const std::size_t at = begin_record(b, op_channel);
    u16(b, id);
    u16(b, schema_id);
    str(b, topic);
    str(b, encoding);
    put_map(b, metadata);
    end_record(b, at);
}
}  // namespace

bool mcap_writer::write(std::uint16_t channel_id, std::uint64_t log_time, std::uint64_t publish_time,
                        const std::uint8_t* data, std::size_t size) {
    if (fd_ < 0 || failed_ || channel_id == 0 || channel_id > channels_.size()) return false;
    channel& c = channels_[channel_id - 1];
    if (!c.written) {
        if (c.schema_id != 0 && c.schema_id <= schemas_.size() && !schemas_[c.schema_id - 1].written) {
            const schema& s = schemas_[c.schema_id - 1];
            schema_record(chunk_, s.id, s.name, s.encoding, s.data);
            schemas_[c.schema_id - 1].written = true;
        }
        channel_record(chunk_, c.id, c.schema_id, c.topic, c.encoding, c.metadata);
        c.written = true;
    }
    if (chunk_messages_.empty()) chunk_start_ = chunk_end_ = log_time;
    chunk_start_ = std::min(chunk_start_, log_time);
    chunk_end_ = std::max(chunk_end_, log_time);
    chunk_messages_[channel_id].emplace_back(log_time, chunk_.size());
    chunk_.reserve(chunk_.size() + 31 + size);
    chunk_.push_back(op_message);
    u64(chunk_, 22 + size);
    u16(chunk_, channel_id);
    u32(chunk_, c.sequence++);
    u64(chunk_, log_time);
    u64(chunk_, publish_time);
    chunk_.insert(chunk_.end(), data, data + size);
    // The chunk's CRC, over what was appended while it is in the cache (the
    // chunk thread then only compresses and writes).
    chunk_crc_ = chained_crc32(chunk_crc_, chunk_.data() + chunk_crc_bytes_, chunk_.size() - chunk_crc_bytes_);
    chunk_crc_bytes_ = chunk_.size();
    if (chunk_.size() >= options_.chunk_size) return flush_chunk();
    return true;
}

bool mcap_writer::add_metadata(const std::string& name, const string_map& metadata) {
    if (fd_ < 0 || failed_ || !flush_chunk() || !write_compressed()) return false;
    bytes b;
    const std::size_t at = begin_record(b, op_metadata);
    str(b, name);
    put_map(b, metadata);
    end_record(b, at);
    const std::uint64_t offset = position_;
    if (!put(b)) return fail("cannot write " + path_, errno);
    metadata_.push_back({offset, b.size(), name});
    committed_ = position_;
    committed_crc_ = crc_;
    return true;
}

// The chunk being filled goes to a thread of its own, which compresses it and
// writes it with its message indexes while the next one fills. At most one
// chunk is in flight, so file order is chunk order; everything else in the
// file is written after waiting for it.
bool mcap_writer::flush_chunk() {
    if (failed_ || !write_compressed()) return false;
    if (chunk_messages_.empty() && chunk_.empty()) return true;
    std::swap(job_.records, chunk_);
    std::swap(job_.messages, chunk_messages_);
    job_.start_time = chunk_start_;
    job_.end_time = chunk_end_;
    job_.crc = chained_crc32(chunk_crc_, job_.records.data() + chunk_crc_bytes_, job_.records.size() - chunk_crc_bytes_);
    chunk_crc_ = 0;
    chunk_crc_bytes_ = 0;
    chunk_.clear();
    chunk_messages_.clear();
    job_.done = std::async(std::launch::async, [this] { store_chunk(); });
    return true;
}

bool mcap_writer::write_compressed() {
    if (!job_.done.valid()) return true;
    job_.done.get();
    return job_.error.empty() || fail(job_.error, job_.error_number);
}

void mcap_writer::store_chunk() {
    job_.error.clear();
    job_.error_number = 0;
    auto* cctx = static_cast<ZSTD_CCtx*>(cctx_);
    job_.compressed.resize(ZSTD_compressBound(job_.records.size()));
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, options_.zstd_level);
    // A libzstd built without threads refuses this and compresses on this
    // thread alone.
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_nbWorkers, options_.compression_workers);
    const std::size_t z = ZSTD_compress2(cctx, job_.compressed.data(), job_.compressed.size(), job_.records.data(),
                                         job_.records.size());
    if (ZSTD_isError(z)) {
        job_.error = std::string("cannot compress a chunk: ") + ZSTD_getErrorName(z);
        return;
    }
    job_.compressed.resize(z);

    chunk_index ci;
    ci.start_time = job_.start_time;
    ci.end_time = job_.end_time;
    ci.offset = position_;
    ci.compressed_size = z;
    ci.uncompressed_size = job_.records.size();
    bytes& b = job_.scratch;
    b.clear();
    b.push_back(op_chunk);
    u64(b, 8 + 8 + 8 + 4 + 4 + 4 + 8 + z);
    u64(b, job_.start_time);
    u64(b, job_.end_time);
    u64(b, job_.records.size());
    u32(b, job_.crc);
    str(b, "zstd");
    u64(b, z);
    if (!put(b) || !put(job_.compressed)) {
        job_.error_number = errno;
        job_.error = "cannot write " + path_;
        return;
    }
    ci.length = position_ - ci.offset;

    b.clear();
    for (const auto& [id, list] : job_.messages) {
        ci.index_offsets[id] = position_ + b.size();
        b.push_back(op_message_index);
        u64(b, 2 + 4 + 16 * list.size());
        u16(b, id);
        u32(b, std::uint32_t(16 * list.size()));
        for (const auto& [t, off] : list) u64(b, t), u64(b, off);
    }
    ci.index_length = b.size();
    if (!put(b)) {
        job_.error_number = errno;
        job_.error = "cannot write " + path_;
        return;
    }

    // The chunk is whole: count it.
    if (!job_.messages.empty()) {
        first_time_ = committed_messages_ == 0 ? job_.start_time : std::min(first_time_, job_.start_time);
        last_time_ = committed_messages_ == 0 ? job_.end_time : std::max(last_time_, job_.end_time);
    }
    for (const auto& [id, list] : job_.messages) {
        channels_[id - 1].committed_count += list.size();
        committed_messages_ += list.size();
    }
    chunks_.push_back(std::move(ci));
    committed_ = position_;
    committed_crc_ = crc_;
    job_.messages.clear();
}

bool mcap_writer::put(const std::vector<std::uint8_t>& b) {
    const std::uint8_t* p = b.data();
    std::size_t left = b.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        crc_ = chained_crc32(crc_, p, std::size_t(n));
        position_ += std::uint64_t(n);
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

bool mcap_writer::fail(const std::string& what, int err) {
    failed_ = true;
    error_ = err != 0 ? what + ": " + reason(err) : what;
    recover();
    return false;
}

void mcap_writer::recover() {
    if (job_.done.valid()) job_.done.wait();
    if (fd_ < 0) return;
    chunk_.clear();
    chunk_messages_.clear();
    chunk_crc_ = 0;
    chunk_crc_bytes_ = 0;
    // Nothing whole to keep before the header is written.
    bool ok = committed_ > 0 && ::ftruncate(fd_, off_t(committed_)) == 0 && ::lseek(fd_, off_t(committed_), SEEK_SET) == off_t(committed_);
    if (ok) {
        position_ = committed_;
        crc_ = committed_crc_;
        ok = write_summary();
    }
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (ok && closed) {
        error_ += "; " + path_ + " keeps the " + std::to_string(committed_messages_) +
                  " messages written before, in whole chunks";
    } else {
        ::unlink(path_.c_str());
        error_ += "; " + path_ + " could not be completed and was removed";
    }
}

bool mcap_writer::write_summary() {
    bytes b;
    std::size_t at = begin_record(b, op_data_end);
    u32(b, crc_);
    end_record(b, at);
    const std::uint64_t summary_start = position_ + b.size();
    const std::size_t summary_at = b.size();

    struct group { std::uint8_t opcode; std::uint64_t start, length; };
    std::vector<group> groups;
    const auto group_begin = [&](std::uint8_t opcode) { groups.push_back({opcode, position_ + b.size(), 0}); };
    const auto group_end = [&] {
        groups.back().length = position_ + b.size() - groups.back().start;
        if (groups.back().length == 0) groups.pop_back();
    };

    group_begin(op_schema);
    for (const schema& s : schemas_) schema_record(b, s.id, s.name, s.encoding, s.data);
    group_end();
    group_begin(op_channel);
    for (const channel& c : channels_) channel_record(b, c.id, c.schema_id, c.topic, c.encoding, c.metadata);
    group_end();

    group_begin(op_statistics);
    at = begin_record(b, op_statistics);
    u64(b, committed_messages_);
    u16(b, std::uint16_t(schemas_.size()));
    u32(b, std::uint32_t(channels_.size()));
    u32(b, 0);  // attachments
    u32(b, std::uint32_t(metadata_.size()));
    u32(b, std::uint32_t(chunks_.size()));
    u64(b, first_time_);
    u64(b, last_time_);
    u32(b, std::uint32_t(10 * channels_.size()));
    for (const channel& c : channels_) u16(b, c.id), u64(b, c.committed_count);
    end_record(b, at);
    group_end();

    group_begin(op_metadata_index);
    for (const metadata_index& m : metadata_) {
        at = begin_record(b, op_metadata_index);
        u64(b, m.offset);
        u64(b, m.length);
        str(b, m.name);
        end_record(b, at);
    }
    group_end();

    group_begin(op_chunk_index);
    for (const chunk_index& c : chunks_) {
        at = begin_record(b, op_chunk_index);
        u64(b, c.start_time);
        u64(b, c.end_time);
        u64(b, c.offset);
        u64(b, c.length);
        u32(b, std::uint32_t(10 * c.index_offsets.size()));
        for (const auto& [id, off] : c.index_offsets) u16(b, id), u64(b, off);
        u64(b, c.index_length);
        str(b, "zstd");
        u64(b, c.compressed_size);
        u64(b, c.uncompressed_size);
        end_record(b, at);
    }
    group_end();

    const std::uint64_t summary_offset_start = position_ + b.size();
    for (const group& g : groups) {
        at = begin_record(b, op_summary_offset);
        u8(b, g.opcode);
        u64(b, g.start);
        u64(b, g.length);
        end_record(b, at);
    }
    b.push_back(op_footer);
    u64(b, 20);
    u64(b, summary_start);
    u64(b, summary_offset_start);
    u32(b, chained_crc32(0, b.data() + summary_at, b.size() - summary_at));
    b.insert(b.end(), magic, magic + 8);
    return put(b);
}

bool mcap_writer::close() {
    if (fd_ < 0) return !failed_;
    if (!flush_chunk() || !write_compressed()) return false;
    if (!write_summary()) {
        // Cut back to the last whole chunk and try once more there.
        fail("cannot write " + path_, errno);
        return false;
    }
    if (::close(fd_) != 0) {
        fd_ = -1;
        failed_ = true;
        error_ = "cannot write " + path_ + ": " + reason(errno);
        ::unlink(path_.c_str());
        error_ += "; it was removed";
        return false;
    }
    fd_ = -1;
    return true;
}
