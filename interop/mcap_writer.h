// A writer of MCAP files (major version 0): messages in zstd-compressed
// chunks, each followed by its message indexes; at the end the data-end
// record and a summary (schemas, channels, statistics, chunk indexes,
// metadata indexes) with its summary offsets, so that a reader seeks without
// scanning. Every CRC is written: each chunk's, the data section's and the
// summary's.
//
// When a write fails (disk full, file size limit, I/O error) the writer stops
// taking messages, cuts the file back to the end of its last whole chunk and
// completes it there, so the file opens in MCAP readers with every chunk
// written before the failure. When even that cannot be written, the file is
// removed. error() says what happened either way.
//
//   mcap_writer w;
//   w.open("out.mcap", {}, error);
//   auto s = w.add_schema("sensor_msgs/msg/Image", "ros2msg", text);
//   auto c = w.add_channel(s, "/camera", "cdr", {{"offered_qos_profiles", ""}});
//   w.write(c, t_ns, t_ns, bytes.data(), bytes.size());
//   w.close();
#pragma once

#include <cstdint>
#include <future>
#include <map>
#include <string>
#include <vector>

class mcap_writer {
public:
    using string_map = std::map<std::string, std::string>;

    struct options {
        std::string profile = "ros2";
        std::string library = "RO Vezovad";
        std::size_t chunk_size = 4u << 20;  // uncompressed bytes that close a chunk
        int zstd_level = 1;
        // zstd's own threads for each chunk, beside the thread that fills
        // the next one (2 gave 15-20 % more frames/s on two cores than 0).
        int compression_workers = 2;
    };

    mcap_writer() = default;
    ~mcap_writer();  // an open file is closed as by close()
    mcap_writer(const mcap_writer&) = delete;
    mcap_writer& operator=(const mcap_writer&) = delete;

    // Creates (truncates) the file and writes the magic and the header.
    bool open(const std::string& path, const options& o);

    // Ids from 1 up. A schema or channel goes into the file with the first
    // chunk that carries one of its messages, and into the summary.
    std::uint16_t add_schema(const std::string& name, const std::string& encoding, const std::string& data);
    std::uint16_t add_channel(std::uint16_t schema_id, const std::string& topic, const std::string& message_encoding,
                              const string_map& metadata);

    // Adds a message (sequence numbers count per channel from 0). Log times
    // should not decrease. False once the writer has failed.
    bool write(std::uint16_t channel, std::uint64_t log_time, std::uint64_t publish_time, const std::uint8_t* data,
               std::size_t size);
    // A metadata record between chunks (the pending chunk is written first).
    bool add_metadata(const std::string& name, const string_map& metadata);

    // Writes the last chunk and the summary and closes the file. False when
    // the writer failed at any point (see the class comment for the file).
    bool close();

    // What failed, and what became of the file.
    const std::string& error() const { return error_; }

private:
    struct schema {
        std::uint16_t id;
        std::string name, encoding, data;
        bool written = false;
    };
    struct channel {
        std::uint16_t id, schema_id;
        std::string topic, encoding;
        string_map metadata;
        bool written = false;
        std::uint32_t sequence = 0;
        std::uint64_t committed_count = 0;
    };
    struct chunk_index {
        std::uint64_t start_time, end_time, offset, length;
        std::map<std::uint16_t, std::uint64_t> index_offsets;
        std::uint64_t index_length, compressed_size, uncompressed_size;
    };
    struct metadata_index {
        std::uint64_t offset, length;
        std::string name;
    };

    bool flush_chunk();       // hands the chunk being filled to the chunk thread
    bool write_compressed();  // waits for the chunk in flight to be written
    void store_chunk();       // on the chunk thread: compresses and writes the chunk in flight
    // Appends to the file, continuing the data section's CRC.
    bool put(const std::vector<std::uint8_t>& b);
    bool fail(const std::string& what, int err);
    bool write_summary();  // data end, summary, footer at the current position
    void recover();

    int fd_ = -1;
    std::string path_;
    options options_;
    bool failed_ = false;
    std::string error_;
    std::vector<schema> schemas_;
    std::vector<channel> channels_;
    // The chunk being filled: its records, the message offsets per channel,
    // its time range and message count per channel.
    std::vector<std::uint8_t> chunk_;
    std::map<std::uint16_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>> chunk_messages_;
    std::uint64_t chunk_start_ = 0, chunk_end_ = 0;
    std::uint32_t chunk_crc_ = 0;      // CRC of the chunk's first chunk_crc_bytes_ bytes
    std::size_t chunk_crc_bytes_ = 0;
    // Everything up to `committed_` is whole: chunks with their indexes,
    // metadata. Past it lies at most a chunk whose write failed.
    std::uint64_t position_ = 0, committed_ = 0;
    std::uint32_t crc_ = 0, committed_crc_ = 0;
    std::vector<chunk_index> chunks_;
    std::vector<metadata_index> metadata_;
    std::uint64_t committed_messages_ = 0, first_time_ = 0, last_time_ = 0;
    // The chunk in flight: compressed and written on a thread of its own
    // while the next one fills; the file's position, CRC and lists are the
    // chunk thread's until `done` is waited for.
    struct job {
        std::vector<std::uint8_t> records, compressed, scratch;
        std::map<std::uint16_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>> messages;
        std::uint64_t start_time = 0, end_time = 0;
        std::uint32_t crc = 0;  // of the records
        std::string error;  // why the chunk was not written
        int error_number = 0;
        std::future<void> done;
    } job_;
    void* cctx_ = nullptr;
};
