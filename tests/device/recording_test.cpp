// Recordings: live recording without gaps, playback equal to the live frames,
// and files that are empty, cut off, damaged or not recordings at all.
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "emulator/gx_factory_registers.h"
#include "emulator/gx_synthetic_scene.h"
#include "tests/device/device_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <unistd.h>

using TAVRIN::DadodUz;
using namespace device_test;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
void spit(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Writes n synthetic frames; returns the file contents.
std::string make_recording(const std::string& path, int n, int stream_mode = 1) {
    gx::synthetic_scene scene;
    gx::recording_writer w;
    EXPECT_TRUE(w.open(path));
    std::vector<std::uint16_t> a, in, in2;
    std::vector<std::int32_t> d, d2;
    const auto def = gx::default_registers();
    for (int i = 0; i < n; ++i) {
        scene.render(i * 0.1, stream_mode, a, d, in, d2, in2);
        gx::frame_info info;
        info.timestamp = 1000000ull + std::uint64_t(i) * 10000000ull;
        info.frame_number = std::uint32_t(100 + i);
        info.rows = 100;
        info.cols = 400;
        info.stream_mode = std::uint8_t(stream_mode);
        info.echoes = d2.empty() ? 1 : 2;
        std::copy(def.config.lens_coe, def.config.lens_coe + 12, info.lens.begin());
        DadodUz::sensing_packet_t st{};
        st.xadc_scan_count = std::uint32_t(i * 7);
        EXPECT_TRUE(w.push(gx::encode_frame(info, a.data(), d.data(), in.data(), d2.empty() ? nullptr : d2.data(),
                                            in2.empty() ? nullptr : in2.data()),
                           st));
    }
    EXPECT_TRUE(w.close());
    EXPECT_EQ(w.frames_written(), std::uint64_t(n));
    return slurp(path);
}

// End offsets of the complete records of a recording.
std::vector<std::size_t> record_ends(const std::string& bytes) {
    std::vector<std::size_t> ends;
    std::size_t pos = gx::kRecordingHeaderSize;
    while (pos + gx::kRecordHeaderSize <= bytes.size() &&
           gx::get_u32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + pos) == gx::kRecordMagic) {
        pos += gx::kRecordHeaderSize + gx::get_u32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + pos + 16);
        ends.push_back(pos);
    }
    return ends;
}

std::uint64_t frames_of(const std::string& path, bool* opened = nullptr) {
    DadodUz dev;
    const bool ok = dev.connect_file(path);
    if (opened) *opened = ok;
    std::uint64_t n = 0;
    dev.get_logging_file_size(n);
    return n;
}

}  // namespace

TEST(recording, live_recording_has_every_frame_and_plays_back_equal) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    const std::string path = temp_path("live.bin");
    std::map<std::uint32_t, DadodUz::scene_t> live;
    {
        DadodUz dev;
        ASSERT_TRUE(connect(dev, emu));
        dev.set_zigzag_filling_enable(true);
        dev.set_line_filling_enable(true);
        ASSERT_TRUE(dev.tcp_device_run());
        DadodUz::scene_t s;
        ASSERT_TRUE(next_scene(dev, s));
        ASSERT_TRUE(dev.start_recording(path));
        EXPECT_FALSE(dev.start_recording(path)) << "one recording at a time";
        // Until 20 frames were taken live and 30 recorded, however many the
        // reader skipped on a slow machine.
        ASSERT_TRUE(wait_for([&] {
            if (dev.get_scene(s)) live[s.frame_number] = s;
            return live.size() >= 20 && dev.get_link_statistics().frames_recorded >= 30;
        }, 60000));
        ASSERT_TRUE(dev.stop_recording());
        EXPECT_FALSE(dev.stop_recording());
        EXPECT_GE(dev.get_link_statistics().frames_recorded, 30u);
    }
    ASSERT_GE(live.size(), 20u);
    DadodUz play;
    ASSERT_TRUE(play.connect_file(path));
    std::uint64_t n = 0;
    ASSERT_TRUE(play.get_logging_file_size(n));
    EXPECT_GE(n, 30u);
    DadodUz::scene_t f;
    std::uint32_t prev = 0;
    int compared = 0;
    for (std::uint64_t i = 0; i < n; ++i) {
        ASSERT_TRUE(play.get_scene(f, i));
        if (i) {
            EXPECT_EQ(f.frame_number, prev + 1) << "no gaps";
        }
        prev = f.frame_number;
        DadodUz::sensing_packet_t st;
        EXPECT_TRUE(play.get_sensing_packet(st, i));
        auto it = live.find(f.frame_number);
        if (it == live.end()) continue;
        const auto& l = it->second;
        ++compared;
        EXPECT_EQ(f.timestamp, l.timestamp);
        EXPECT_EQ(f.depth, l.depth);
        EXPECT_EQ(f.ambient, l.ambient);
        EXPECT_EQ(f.intensity, l.intensity);
        ASSERT_EQ(f.points.size(), l.points.size());
        EXPECT_EQ(0, std::memcmp(f.points.data(), l.points.data(), f.points.size() * sizeof(f.points[0])));
    }
    EXPECT_GE(compared, 10);
    EXPECT_FALSE(play.get_scene(f, n));
    DadodUz::scene_t live_only;
    EXPECT_FALSE(play.get_scene(live_only)) << "no live frames in play mode";
    EXPECT_TRUE(play.stop());
    EXPECT_TRUE(play.start());
    std::remove(path.c_str());
}

TEST(recording, cut_off_files_open_with_every_complete_frame) {
    const std::string path = temp_path("cut.bin"), cut = temp_path("cut_part.bin");
    const std::string bytes = make_recording(path, 6);
    const auto ends = record_ends(bytes);
    ASSERT_EQ(ends.size(), 6u);
    std::vector<std::size_t> cuts = {0, 1, 31, 32, 33, 200};
    for (std::size_t e : ends) {
        cuts.push_back(e - 1);
        cuts.push_back(e);
        cuts.push_back(e + 1);
    }
    std::mt19937 rng(3);
    for (int k = 0; k < 20; ++k) cuts.push_back(rng() % bytes.size());
    cuts.push_back(bytes.size() - 1);
    for (std::size_t c : cuts) {
        if (c > bytes.size()) continue;
        spit(cut, bytes.substr(0, c));
        bool opened = false;
        const std::uint64_t n = frames_of(cut, &opened);
        if (c < gx::kRecordingHeaderSize) {
            EXPECT_FALSE(opened) << c;
            continue;
        }
        ASSERT_TRUE(opened) << c;
        std::uint64_t expect = 0;
        for (std::size_t e : ends)
            if (e <= c) ++expect;
        EXPECT_EQ(n, expect) << "cut at " << c;
        DadodUz dev;
        ASSERT_TRUE(dev.connect_file(cut));
        // A record cut off counts as one damaged frame; a cut between records
        // or inside the index loses none.
        const bool between = c == gx::kRecordingHeaderSize || c >= ends.back() ||
                             std::find(ends.begin(), ends.end(), c) != ends.end();
        EXPECT_EQ(dev.get_link_statistics().frames_damaged, between ? 0u : 1u) << "cut at " << c;
        DadodUz::scene_t s;
        for (std::uint64_t i = 0; i < n; ++i) {
            ASSERT_TRUE(dev.get_scene(s, i));
            EXPECT_EQ(s.frame_number, 100 + i);
        }
    }
    EXPECT_EQ(frames_of(path), 6u);
    std::remove(path.c_str());
    std::remove(cut.c_str());
}

TEST(recording, damaged_records_are_skipped_not_fatal) {
    const std::string path = temp_path("dmg.bin");
    const std::string bytes = make_recording(path, 8);
    const auto ends = record_ends(bytes);
    // Payload damage in record 3: indexed, but that frame does not read.
    std::string p = bytes;
    p[ends[2] + gx::kRecordHeaderSize + 50] ^= 0x55;
    spit(path, p);
    {
        DadodUz dev;
        ASSERT_TRUE(dev.connect_file(path));
        DadodUz::scene_t s;
        EXPECT_EQ(dev.get_link_statistics().frames_damaged, 0u) << "the index does not tell";
        EXPECT_FALSE(dev.get_scene(s, 3));
        EXPECT_FALSE(dev.get_scene(s, 3));
        EXPECT_TRUE(dev.get_scene(s, 4));
        EXPECT_EQ(s.frame_number, 104u);
        EXPECT_EQ(dev.get_link_statistics().frames_damaged, 1u) << "counted once however often it is read";
    }
    // Header damage in record 3 and no index: the scan skips it.
    std::string h = bytes.substr(0, ends.back());
    h[ends[2] + 5] ^= 0x55;
    spit(path, h);
    {
        DadodUz dev;
        ASSERT_TRUE(dev.connect_file(path));
        std::uint64_t n = 0;
        dev.get_logging_file_size(n);
        EXPECT_EQ(n, 7u);
        EXPECT_EQ(dev.get_link_statistics().frames_damaged, 1u);
        DadodUz::scene_t s;
        ASSERT_TRUE(dev.get_scene(s, 3));
        EXPECT_EQ(s.frame_number, 104u) << "frame 103 skipped";
    }
    // A damaged index falls back to scanning.
    std::string idx = bytes;
    idx[ends.back() + 10] ^= 0x55;
    spit(path, idx);
    EXPECT_EQ(frames_of(path), 8u);
    std::remove(path.c_str());
}

TEST(recording, files_that_are_not_recordings_are_refused) {
    const std::string path = temp_path("junk.bin");
    bool opened = true;
    spit(path, "");
    frames_of(path, &opened);
    EXPECT_FALSE(opened) << "empty file";
    std::string junk(100000, '\0');
    std::mt19937 rng(9);
    for (auto& c : junk) c = char(rng());
    spit(path, junk);
    frames_of(path, &opened);
    EXPECT_FALSE(opened) << "garbage";
    frames_of("/nonexistent/x.bin", &opened);
    EXPECT_FALSE(opened);
    frames_of("/tmp", &opened);
    EXPECT_FALSE(opened) << "a directory";
    // A recording without frames opens with zero frames.
    make_recording(path, 0);
    EXPECT_EQ(frames_of(path, &opened), 0u);
    EXPECT_TRUE(opened);
    // Garbage after a valid header: opens, no frames, nothing read.
    std::string hdr = slurp(path).substr(0, gx::kRecordingHeaderSize) + junk;
    spit(path, hdr);
    EXPECT_EQ(frames_of(path, &opened), 0u);
    EXPECT_TRUE(opened);
    std::remove(path.c_str());
}

TEST(recording, multi_echo_frames_round_trip) {
    const std::string path = temp_path("multi.bin");
    make_recording(path, 2, 3);
    DadodUz dev;
    ASSERT_TRUE(dev.connect_file(path));
    DadodUz::scene_t s;
    ASSERT_TRUE(dev.get_scene(s, 1));
    EXPECT_EQ(s.depth2.size(), 40000u);
    EXPECT_EQ(s.points2.size(), 40000u);
    EXPECT_EQ(s.timestamp[0], 11000000u);
    std::remove(path.c_str());
}
