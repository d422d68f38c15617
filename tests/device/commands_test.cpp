// Device commands against the emulator: acknowledgements and messages as the
// viewer reads them, the register dump, register files, flash and reset,
// firmware upload and configuration.
#include "device/gx_protocol.h"
#include "emulator/gx_factory_registers.h"
#include "tests/device/device_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <utility>
#include <cstring>
#include <fstream>
#include <sstream>

using TAVRIN::DadodUz;
using namespace device_test;

namespace {

// The viewer's text of a message: "%d::%c%c::%s".
std::string message_text(const TAVRIN::_TCP_PROTOCOL_T& m) {
    std::string data(reinterpret_cast<const char*>(m.data), m.length);
    return std::to_string(m.length) + "::" + m.type[0] + m.type[1] + "::" + data;
}

bool next_message(DadodUz& dev, std::string& text, char type0 = 0, int timeout_ms = 5000) {
    static TAVRIN::_TCP_PROTOCOL_T msg;
    return wait_for([&] {
        while (dev.tcp_get_message(msg)) {
            if (type0 && msg.type[0] != type0) continue;
            text = message_text(msg);
            return true;
        }
        return false;
    }, timeout_ms);
}

void drain(DadodUz& dev) {
    static TAVRIN::_TCP_PROTOCOL_T msg;
    while (dev.tcp_get_message(msg)) {
    }
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Reads the register dump as the viewer does and returns its data.
std::string read_dump(DadodUz& dev) {
    drain(dev);
    if (!dev.tcp_register_read()) return {};
    std::string t;
    if (!next_message(dev, t, 'R')) return {};
    return t;
}

// Value list of the record whose name starts with prefix, or empty.
std::vector<std::string> record(const std::string& dump_text, const std::string& prefix) {
    std::istringstream in(dump_text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::vector<std::string> f;
        std::stringstream ls(line);
        std::string x;
        while (std::getline(ls, x, ',')) f.push_back(x);
        if (f.size() < 3) return {};
        return std::vector<std::string>(f.begin() + 3, f.end());
    }
    return {};
}

struct session {
    emulator_process emu;
    DadodUz dev;
    explicit session(std::vector<std::string> args = {}) : emu(std::move(args)) {}
    bool open() { return emu.start() && connect(dev, emu); }
};

}  // namespace

TEST(commands, run_and_stop_are_acknowledged_with_short_do_messages) {
    session s;
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.dev.tcp_device_run());
    std::string t;
    ASSERT_TRUE(next_message(s.dev, t));
    EXPECT_EQ(t, "3::DO::RUN");
    ASSERT_TRUE(s.dev.tcp_device_stop());
    ASSERT_TRUE(next_message(s.dev, t));
    EXPECT_EQ(t, "4::DO::STOP");
    EXPECT_EQ(t[1], ':');
    EXPECT_EQ(t[3], 'D');
}

TEST(commands, register_dump_is_one_rs_message_with_every_prefix) {
    session s;
    ASSERT_TRUE(s.open());
    const std::string t = read_dump(s.dev);
    ASSERT_GT(t.size(), 12u);
    EXPECT_EQ(t.substr(6, 2), "RS");
    EXPECT_EQ(t.substr(10, 2), "SN");
    const int len = std::atoi(t.c_str());
    EXPECT_GE(len, 1000);
    EXPECT_LE(len, 9999);
    EXPECT_EQ(t[4], ':') << "four-digit length";
    // The viewer matches names by these prefixes, in this order; every one must
    // be hit by exactly the record meant for it.
    const char* prefixes[] = {"RXVDP", "RXVDN", "RXHV,", "RXHVC", "STREA", "THRES", "LENSC", "GLBOF", "PRI,",
                              "INTSR", "TGSAMPL", "STARTCOL", "ENDCOL", "VCSELP", "PULSEINH", "PULSEEDG", "PULSEDEL",
                              "PULSEDUT", "VCSELCS", "VCSELTYP", "JITTEREN", "SPADOFSL", "SPADOFSR", "DUALMODE",
                              "COEGRPA", "COEGRPB", "FIROFS", "COGTAP", "STARTR", "ENDROW", "INTSMO", "PEAKWI",
                              "TYPEBP", "VCSELO", "FWVER", "FILLI", "EMITD", "WALKE", "CSCLS", "CLSDU", "INTSF",
                              "OSYNC", "ISYNC", "SYNCM", "FPS,"};
    std::map<std::string, int> hits;
    std::istringstream in(t.substr(10));
    std::string line;
    std::getline(in, line);  // SN line
    int records = 0;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        ++records;
        for (const char* p : prefixes)
            if (line.compare(0, std::strlen(p), p) == 0) {
                ++hits[p];
                break;
            }
    }
    for (const char* p : prefixes) EXPECT_EQ(hits[p], 1) << p;
    EXPECT_EQ(records, 49);
    // Values in device units of the default set.
    EXPECT_EQ(record(t, "PRI,"), std::vector<std::string>{"408"});
    EXPECT_EQ(record(t, "PULSEDEL"), std::vector<std::string>{"400"});
    EXPECT_EQ(record(t, "COEGRPA"), std::vector<std::string>{"2271560481"});
    EXPECT_EQ(record(t, "STREA"), std::vector<std::string>{"0"});
    EXPECT_EQ(record(t, "LENSC").size(), 12u);
    EXPECT_EQ(record(t, "SPADOFSL").size(), 100u);
    EXPECT_EQ(record(t, "VCSELO").size(), 96u);
    EXPECT_EQ(record(t, "GX_IP,"), (std::vector<std::string>{"192", "168", "1", "10"}));
    EXPECT_EQ(record(t, "PC_PORT"), std::vector<std::string>{"2000"});
}

TEST(commands, register_read_to_file_writes_records_and_queues_rf) {
    session s;
    ASSERT_TRUE(s.open());
    const std::string path = temp_path("regs.txt");
    drain(s.dev);
    ASSERT_TRUE(s.dev.tcp_register_read(path.c_str()));
    const std::string text = read_file(path);
    EXPECT_NE(text.find("GX_IP,UINT8,4,192,168,1,10\n"), std::string::npos);
    EXPECT_NE(text.find("FPS,INT32,1,10\n"), std::string::npos);
    std::string t;
    ASSERT_TRUE(next_message(s.dev, t));
    EXPECT_EQ(t, "5::RF::SAVED") << "the dump itself is not queued";
    EXPECT_FALSE(s.dev.tcp_register_read(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(s.dev.tcp_register_read("/nonexistent-dir/x.txt"));
    std::remove(path.c_str());
}

TEST(commands, register_write_changes_running_registers) {
    session s;
    ASSERT_TRUE(s.open());
    const std::string path = temp_path("write.txt");
    write_file(path, "FPS,INT32,1,20\r\nGX_IP,UINT8,4,192,168,1,77\nGX_PORT,UINT16,1,2001\n\nNEWTHING,UINT8,1,5\n");
    drain(s.dev);
    ASSERT_TRUE(s.dev.tcp_register_write(path.c_str()));
    std::string t;
    ASSERT_TRUE(next_message(s.dev, t));
    EXPECT_EQ(t, "6::RO::LOADED");
    const std::string dump = read_dump(s.dev);
    EXPECT_EQ(record(dump, "FPS,"), std::vector<std::string>{"20"});
    EXPECT_EQ(record(dump, "GX_IP,"), (std::vector<std::string>{"192", "168", "1", "77"}));
    EXPECT_EQ(record(dump, "GX_PORT"), std::vector<std::string>{"2001"});
    // A file written by a register read loads back unchanged.
    const std::string saved = temp_path("saved.txt");
    ASSERT_TRUE(s.dev.tcp_register_read(saved.c_str()));
    ASSERT_TRUE(s.dev.tcp_register_write(saved.c_str()));
    EXPECT_EQ(read_dump(s.dev), dump);
    std::remove(path.c_str());
    std::remove(saved.c_str());
}

TEST(commands, malformed_register_files_are_refused_and_change_nothing) {
    session s;
    ASSERT_TRUE(s.open());
    const std::string before = read_dump(s.dev);
    ASSERT_FALSE(before.empty());
    const std::string path = temp_path("bad.txt");
    const std::vector<std::string> bad = {
        "",                                   // no records at all
        "FPS,INT32,2,20\n",                   // count does not match
        "FPS,INT32,1,20,21\n",                // more values than the count
        "FPS,INT32,1,twenty\n",               // not a number
        "LENSCOE,FLOAT,3,1,2,3\n",            // known register, wrong count
        "FPS,FLOAT,1,20\n",                   // known register, wrong type
        "GX_IP,UINT8,4,192,168,1,300\n",      // out of range
        "FPS,INT32\n",                        // missing fields
        "FPS,BLOB,1,1\n",                     // unknown type
        std::string("FPS,INT32,1,2\0\x01\xff\n", 16),  // binary garbage
        std::string(2 << 20, 'A'),            // huge
    };
    for (const auto& text : bad) {
        write_file(path, text);
        EXPECT_FALSE(s.dev.tcp_register_write(path.c_str())) << text.substr(0, 40);
    }
    EXPECT_FALSE(s.dev.tcp_register_write("/nonexistent/file.txt"));
    EXPECT_FALSE(s.dev.tcp_register_write(nullptr));
    EXPECT_EQ(read_dump(s.dev), before);
    std::remove(path.c_str());
}

TEST(commands, flash_write_persists_across_a_software_reset) {
    session s;
    ASSERT_TRUE(s.open());
    const std::string path = temp_path("fps.txt");
    write_file(path, "FPS,INT32,1,15\nPC_PORT,UINT16,1,5000\n");
    ASSERT_TRUE(s.dev.tcp_register_write(path.c_str()));
    drain(s.dev);
    ASSERT_TRUE(s.dev.tcp_memory_upload());
    std::string t;
    ASSERT_TRUE(next_message(s.dev, t));
    EXPECT_EQ(t, "5::MO::FLASH");
    // A change after the flash write lives only in the running registers.
    write_file(path, "FPS,INT32,1,25\n");
    ASSERT_TRUE(s.dev.tcp_register_write(path.c_str()));
    ASSERT_TRUE(s.dev.tcp_software_reset());
    ASSERT_TRUE(s.dev.disconnect());
    // The sensor is back after 1-2 s, from its flash.
    DadodUz again;
    ASSERT_TRUE(wait_for([&] { return connect(again, s.emu); }, 6000));
    const std::string dump = read_dump(again);
    EXPECT_EQ(record(dump, "FPS,"), std::vector<std::string>{"15"});
    EXPECT_EQ(record(dump, "PC_PORT"), std::vector<std::string>{"5000"});
    EXPECT_NE(read_file(s.emu.state_file()).find("FPS,INT32,1,15"), std::string::npos);
    std::remove(path.c_str());
}

TEST(commands, firmware_upload_reports_progress_and_validates_the_image) {
    session s;
    ASSERT_TRUE(s.open());
    const std::string good = temp_path("fw_good.bin"), bad = temp_path("fw_bad.bin");
    ASSERT_EQ(std::system((std::string(GX_EMULATOR_PATH) + " --make-firmware " + good + " --firmware-size 300000").c_str()), 0);
    ASSERT_EQ(std::system((std::string(GX_EMULATOR_PATH) + " --make-firmware " + bad + " --corrupt").c_str()), 0);
    drain(s.dev);
    ASSERT_TRUE(s.dev.tcp_fw_upload(good.c_str()));
    std::vector<std::string> seen;
    std::string t;
    while (next_message(s.dev, t, 'F', 5000)) {
        seen.push_back(t.substr(t.find("::") + 2));
        if (seen.back().compare(0, 2, "FO") == 0 || seen.back().compare(0, 2, "FX") == 0) break;
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "FA::START");
    EXPECT_EQ(seen.back(), "FO::OK");
    int last_r = -1, last_p = -1;
    bool saw_r = false, saw_p = false;
    for (const auto& m : seen) {
        if (m.compare(0, 2, "FR") == 0) {
            const int n = std::atoi(m.c_str() + 4);
            EXPECT_GT(n, last_r);
            EXPECT_LE(n, 100);
            last_r = n;
            saw_r = true;
        }
        if (m.compare(0, 2, "FP") == 0) {
            const int n = std::atoi(m.c_str() + 4);
            EXPECT_GT(n, last_p);
            last_p = n;
            saw_p = true;
        }
    }
    EXPECT_TRUE(saw_r && saw_p);
    EXPECT_EQ(last_r, 100);

    ASSERT_TRUE(s.dev.tcp_fw_upload(bad.c_str()));
    std::string end;
    while (next_message(s.dev, t, 'F', 5000)) {
        end = t.substr(t.find("::") + 2);
        if (end.compare(0, 2, "FO") == 0 || end.compare(0, 2, "FX") == 0) break;
    }
    EXPECT_EQ(end.substr(0, 2), "FX");
    EXPECT_FALSE(s.dev.tcp_fw_upload("/nonexistent/fw.bin"));
    std::remove(good.c_str());
    std::remove(bad.c_str());
}

TEST(commands, stalled_firmware_upload_goes_silent_but_nothing_hangs) {
    session s({"--stall-firmware"});
    ASSERT_TRUE(s.open());
    const std::string good = temp_path("fw_stall.bin");
    ASSERT_EQ(std::system((std::string(GX_EMULATOR_PATH) + " --make-firmware " + good).c_str()), 0);
    ASSERT_TRUE(s.dev.tcp_fw_upload(good.c_str()));
    std::string t;
    ASSERT_TRUE(next_message(s.dev, t, 'F'));
    EXPECT_NE(t.find("FA"), std::string::npos);
    bool finished = false;
    while (next_message(s.dev, t, 'F', 1500))
        if (t.find("FO") != std::string::npos || t.find("FX") != std::string::npos) finished = true;
    EXPECT_FALSE(finished);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(s.dev.tcp_software_reset());
    s.dev.disconnect();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
    std::remove(good.c_str());
}

TEST(commands, a_mute_sensor_makes_commands_fail_in_bounded_time) {
    session s({"--mute-commands"});
    ASSERT_TRUE(s.open());
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.dev.tcp_device_run());
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_FALSE(s.dev.tcp_register_read());
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_TRUE(s.dev.stop());
    EXPECT_TRUE(s.dev.disconnect());
    EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::milliseconds(1500));
}

TEST(commands, configuration_changes_what_the_sensor_streams) {
    session s({"--max-fps", "1000"});
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.dev.tcp_device_run());
    DadodUz::scene_t f;
    ASSERT_TRUE(next_scene(s.dev, f));
    auto cfg = gx::default_registers().config;

    // Multi-echo in millimetres.
    cfg.stream_mode = 2;
    cfg.fps = 25;
    ASSERT_TRUE(s.dev.stop());
    ASSERT_TRUE(s.dev.configuration(cfg));
    ASSERT_TRUE(s.dev.start());
    // Frames sent before the change may come first; the sensor names the
    // first frame made with it, and that one has a second echo.
    EXPECT_GT(s.dev.get_configuration_frame(), 0u);
    ASSERT_TRUE(next_scene_with_last_configuration(s.dev, f, 30000));
    ASSERT_EQ(f.depth2.size(), 40000u);
    EXPECT_EQ(f.points2.size(), 40000u);
    std::int64_t sum = 0;
    int n = 0;
    for (std::size_t i = 0; i < f.depth.size(); ++i)
        if (f.depth[i] > 0) {
            EXPECT_NEAR(f.points[i].distance, f.depth[i], 1e-9) << "millimetres";
            sum += f.depth[i];
            ++n;
        }
    ASSERT_GT(n, 0);
    EXPECT_GT(sum / n, 3000) << "mm, not bins";

    // A different focal length reshapes the cloud.
    const std::size_t probe = 20 * 400 + 30;
    DadodUz::scene_t before = f;
    cfg.lens_coe[0] = 400;
    cfg.lens_coe[1] = 400;
    for (int k = 4; k < 12; ++k) cfg.lens_coe[k] = 0;
    ASSERT_TRUE(s.dev.stop());
    ASSERT_TRUE(s.dev.configuration(cfg));
    ASSERT_TRUE(s.dev.start());
    const double angle_before = before.points[probe].azimuth;
    // Frames made with the old lens may still arrive: wait for the first ray that changed.
    ASSERT_TRUE(wait_for([&] { return s.dev.get_scene(f) && f.points.size() > probe &&
                                      f.points[probe].azimuth != angle_before; }, 30000));
    const double angle_after = f.points[probe].azimuth;
    EXPECT_NEAR(angle_after, std::atan((210.5 - 30) / 400.0), 1e-4) << "pinhole ray of column 30";
    EXPECT_GT(std::fabs(angle_after - angle_before), 0.05);
    int moved = 0, compared = 0;
    for (std::size_t i = 0; i < f.points.size(); i += 97) {
        if (!f.points[i].valid || !before.points[i].valid) continue;
        ++compared;
        const double da = std::atan2(f.points[i].y, f.points[i].x) - std::atan2(before.points[i].y, before.points[i].x);
        if (std::fabs(da) > 0.01) ++moved;
    }
    EXPECT_GT(moved, compared / 2) << "most points change direction";

    // Histogram mode over a small window.
    cfg = gx::default_registers().config;
    cfg.stream_mode = 4;
    cfg.start_row_index = 40;
    cfg.end_row_index = 41;
    cfg.start_column_index = 100;
    cfg.end_column_index = 104;
    ASSERT_TRUE(s.dev.stop());
    ASSERT_TRUE(s.dev.configuration(cfg));
    ASSERT_TRUE(s.dev.start());
    DadodUz::histogram_t h;
    ASSERT_TRUE(wait_for([&] { return s.dev.get_histogram(h); }));
    EXPECT_GE(h.row, 40u);
    EXPECT_LE(h.row, 41u);
    EXPECT_GE(h.col, 100u);
    EXPECT_LE(h.col, 104u);
    ASSERT_EQ(h.bin_count, h.bins.size());
    EXPECT_EQ(h.bins.size(), 1024u);
    // Unread histograms do not pile up: after 60 more arrive without a read
    // (ten pixels a frame at 10 frames/s: 600 ms) at most one per pixel of
    // the window waits, the newest of its pixel.
    const auto unread_from = std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
    const auto received = s.dev.get_link_statistics().histograms_received;
    ASSERT_TRUE(wait_for([&] { return s.dev.get_link_statistics().histograms_received >= received + 60; }));
    const auto waiting = s.dev.get_link_statistics();
    EXPECT_LE(waiting.histograms_queued, 10u);
    ASSERT_TRUE(s.dev.get_histogram(h));
    EXPECT_GT(h.received_ns, std::int64_t(unread_from)) << "taken from the last frames, not from the start of the pause";
    const auto after = s.dev.get_link_statistics();
    EXPECT_GE(after.histograms_dropped, 30u);
    EXPECT_GE(after.histograms_received, after.histograms_dropped + 1);

    // Frame rate.
    // Frame rate, read from the sensor's stamps of three frames in a row,
    // evenly spaced (10 ns ticks): the default 10 frames/s are 100 ms apart,
    // 25 frames/s 40 ms. They are counted from the first frame made at 25.
    cfg = gx::default_registers().config;
    ASSERT_EQ(cfg.fps, 10);
    cfg.fps = 25;
    ASSERT_TRUE(s.dev.stop());
    ASSERT_TRUE(s.dev.configuration(cfg));
    ASSERT_TRUE(s.dev.start());
    DadodUz::scene_t prev;
    std::uint64_t spacing = 0, last_spacing = 1;
    ASSERT_TRUE(next_scene_with_last_configuration(s.dev, prev));
    ASSERT_TRUE(wait_for([&] {
        if (!s.dev.get_scene(f)) return false;
        const bool in_a_row = f.frame_number == prev.frame_number + 1 && !f.timestamp.empty() && !prev.timestamp.empty();
        last_spacing = spacing;
        spacing = in_a_row ? f.timestamp[0] - prev.timestamp[0] : 0;
        std::swap(prev, f);
        return in_a_row && spacing == last_spacing && spacing != 10000000u;
    }, 30000)) << "no three frames in a row at another rate than 10 frames/s";
    EXPECT_EQ(spacing, 4000000u) << "25 frames/s";

    // A new session starts with no configuration accepted.
    ASSERT_TRUE(s.dev.disconnect());
    ASSERT_TRUE(connect(s.dev, s.emu));
    EXPECT_EQ(s.dev.get_configuration_frame(), 0u);
}
