// Recording files (*.bin) of the GX library; format in docs/recording.md.
// The writer compresses and writes on a thread of its own; the reader opens a
// file by its index, or rebuilds the index by scanning when the index is
// missing or damaged (a recording cut off at any byte still plays every
// complete frame).
#pragma once

#include "device/DadodUz.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace gx {

constexpr char kRecordingMagic[8] = {'G', 'X', 'R', 'E', 'C', '1', '\r', '\n'};
constexpr std::uint32_t kRecordingVersion = 1;
constexpr std::size_t kRecordingHeaderSize = 32;
constexpr std::size_t kRecordHeaderSize = 136;
constexpr std::uint32_t kRecordMagic = 0x31434552u;  // "REC1"
constexpr std::uint32_t kIndexMagic = 0x31584449u;   // "IDX1"
constexpr std::uint32_t kTrailerMagic = 0x4e455847u; // "GXEN"
constexpr std::size_t kTrailerSize = 16;
constexpr std::uint32_t kMaxRecordPayload = 16u << 20;
constexpr std::uint32_t kFlagZstd = 1;    // file header flag: records may be zstd-compressed
constexpr std::uint32_t kFlagPlanes = 2;  // file header flag: pixel bytes stored as two byte planes

class recording_writer {
public:
    recording_writer() = default;
    ~recording_writer();
    recording_writer(const recording_writer&) = delete;
    recording_writer& operator=(const recording_writer&) = delete;

    // Creates (truncates) the file and writes the file header.
    bool open(const std::string& path, int zstd_level = 1);
    // Queues one frame object (as encoded by gx::encode_frame) with its status
    // packet. Returns false when the queue is full or the writer failed.
    bool push(std::vector<std::uint8_t>&& frame_object, const TAVRIN::DadodUz::sensing_packet_t& status);
    // Writes everything queued, then the index, and closes the file.
    bool close();
    bool is_open() const { return fd_ >= 0; }

    std::uint64_t frames_written() const { return written_.load(); }
    std::uint64_t frames_refused() const { return refused_.load(); }
    std::uint64_t bytes_written() const { return bytes_.load(); }
    bool failed() const { return failed_.load(); }

private:
    struct item {
        std::vector<std::uint8_t> frame;
        TAVRIN::DadodUz::sensing_packet_t status;
    };
    void run();
    bool write_all(const void* p, std::size_t n);
    int fd_ = -1;
    int level_ = 1;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<item> queue_;
    bool closing_ = false;
    std::vector<std::uint64_t> index_;
    std::uint64_t offset_ = 0;
    std::atomic<std::uint64_t> written_{0}, refused_{0}, bytes_{0};
    std::atomic<bool> failed_{false};
    static constexpr std::size_t kMaxQueue = 512;
};

class recording_reader {
public:
    recording_reader() = default;
    ~recording_reader();
    recording_reader(const recording_reader&) = delete;
    recording_reader& operator=(const recording_reader&) = delete;

    // False when the file cannot be read or is not a recording; error() then
    // says why.
    bool open(const std::string& path);
    const std::string& error() const { return error_; }
    void close();
    std::uint64_t frames() const { return offsets_.size(); }
    bool index_was_rebuilt() const { return rebuilt_; }
    // Damaged or cut-off records the scan stepped over (0 when the index was read).
    std::uint64_t damaged_records() const { return damaged_; }

    // Reads the frame object of record i (decompressed) and its status.
    bool read(std::uint64_t i, std::vector<std::uint8_t>& frame_object, TAVRIN::DadodUz::sensing_packet_t* status);
    bool read_status(std::uint64_t i, TAVRIN::DadodUz::sensing_packet_t& status);

private:
    bool load_index();
    void scan();
    bool read_header(std::uint64_t pos, std::uint8_t* hdr) const;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::vector<std::uint64_t> offsets_;
    bool rebuilt_ = false;
    std::uint64_t damaged_ = 0;
    std::string error_;
    std::vector<std::uint8_t> stored_, planes_;
    std::uint32_t flags_ = 0;
    void* dctx_ = nullptr;
};

// Checks a record header (136 bytes) read at `pos` of a file of `file_size`.
bool record_header_valid(const std::uint8_t* hdr, std::uint64_t pos, std::uint64_t file_size);

}  // namespace gx
