// Live streaming from the emulator: frames, points, status packets, link
// statistics and the behaviour of get_scene.
#include "device/gx_address.h"
#include "device/gx_protocol.h"
#include "emulator/gx_factory_registers.h"
#include "tests/device/device_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>
#include <unistd.h>

using TAVRIN::DadodUz;
using namespace device_test;

TEST(stream, connects_runs_and_delivers_complete_frames) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    DadodUz::scene_t s;
    EXPECT_FALSE(dev.get_scene(s)) << "no frames before the run command";
    ASSERT_TRUE(dev.tcp_device_run());
    ASSERT_TRUE(next_scene(dev, s));
    EXPECT_EQ(s.rows, 100u);
    EXPECT_EQ(s.cols, 400u);
    ASSERT_EQ(s.depth.size(), 40000u);
    EXPECT_EQ(s.ambient.size(), 40000u);
    EXPECT_EQ(s.intensity.size(), 40000u);
    EXPECT_EQ(s.points.size(), 40000u);
    EXPECT_TRUE(s.depth2.empty()) << "single echo by default";
    const std::uint64_t t0 = s.timestamp.at(0);
    const std::uint32_t n0 = s.frame_number;
    ASSERT_TRUE(next_scene(dev, s));
    EXPECT_GT(s.frame_number, n0);
    const double fps = 1e8 / double(s.timestamp[0] - t0) * double(s.frame_number - n0);
    EXPECT_NEAR(fps, 25.0, 5.0);
    // A frame is handed out once: the next one taken is a later frame.
    const std::uint32_t n1 = s.frame_number;
    ASSERT_TRUE(next_scene(dev, s));
    EXPECT_GT(s.frame_number, n1);
    DadodUz::sensing_packet_t st;
    ASSERT_TRUE(wait_for([&] { return dev.get_sensing_packet(st); }));
    EXPECT_GT(st.xadc_scan_count, 0u);
    EXPECT_GT(st.rx_temp, 20.0f);
    EXPECT_TRUE(dev.stop());
    EXPECT_TRUE(dev.disconnect());
}

TEST(stream, points_follow_the_sensor_frame_and_the_depth_unit) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    ASSERT_TRUE(dev.tcp_device_run());
    DadodUz::scene_t s;
    ASSERT_TRUE(next_scene(dev, s));
    // Factory stream mode 0: depth in millimetres.
    for (std::size_t i = 0; i < s.points.size(); ++i) {
        if (s.depth[i] > 0) {
            ASSERT_NEAR(s.points[i].distance, double(s.depth[i]), 1e-6);
        }
    }
    // Stream mode 1: depth in 50 mm bins.
    gx::configurations_t cfg = gx::default_registers().config;
    cfg.stream_mode = 1;
    ASSERT_TRUE(dev.configuration(cfg));
    // Frames made before the change may still arrive; the first frame the
    // sensor stamped with the new mode turns its first return into 50 mm bins.
    const auto in_bins = [](const DadodUz::scene_t& f) {
        for (std::size_t i = 0; i < f.depth.size() && i < f.points.size(); ++i)
            if (f.depth[i] > 0) return std::fabs(f.points[i].distance - f.depth[i] * 50.0) < 1e-6;
        return false;
    };
    ASSERT_TRUE(wait_for([&] { return dev.get_scene(s) && in_bins(s); }, 30000));
    int valid = 0, sky = 0;
    for (std::size_t i = 0; i < s.points.size(); ++i) {
        const auto& p = s.points[i];
        if (s.depth[i] <= 0) {
            EXPECT_EQ(p.valid, 0);
            ++sky;
            continue;
        }
        ++valid;
        EXPECT_NEAR(p.distance, s.depth[i] * 50.0, 1e-6);
        EXPECT_NEAR(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), p.distance, 1e-3 * p.distance);
        EXPECT_GT(p.x, 0) << "the sensor looks along +x";
    }
    EXPECT_GT(valid, 30000);
    EXPECT_GT(sky, 100) << "sky above the back wall has no returns";
    // The bottom row sees the floor 1.5 m below the sensor; left image columns are +y.
    std::vector<double> zs;
    for (int c = 0; c < 400; ++c)
        if (s.points[99 * 400 + c].valid) zs.push_back(s.points[99 * 400 + c].z);
    ASSERT_GT(zs.size(), 100u);
    std::nth_element(zs.begin(), zs.begin() + zs.size() / 2, zs.end());
    EXPECT_NEAR(zs[zs.size() / 2], -1500, 150) << "median height of the bottom row";
    const auto& left = s.points[50 * 400 + 5];
    const auto& right = s.points[50 * 400 + 395];
    if (left.valid && right.valid) {
        EXPECT_GT(left.y, 0);
        EXPECT_LT(right.y, 0);
    }
}

TEST(stream, connect_to_a_closed_port_fails_quickly) {
    // Find a port nobody listens on: start and stop an emulator.
    int port;
    {
        emulator_process emu;
        ASSERT_TRUE(emu.start());
        port = emu.port();
    }
    DadodUz dev;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(dev.connect({"127.0.0.1", port}, {"127.0.0.1", 0}));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
    EXPECT_EQ(dev.get_last_errno(), ECONNREFUSED) << dev.get_last_error();
    DadodUz::scene_t s;
    EXPECT_FALSE(dev.get_scene(s));
    EXPECT_FALSE(dev.tcp_device_run());
    EXPECT_FALSE(dev.start());
    EXPECT_FALSE(dev.stop());
    EXPECT_FALSE(dev.disconnect());
}

TEST(stream, rejects_bad_addresses_without_sending) {
    DadodUz dev;
    EXPECT_FALSE(dev.connect({"not-an-ip", 2000}, {"127.0.0.1", 0}));
    EXPECT_FALSE(dev.connect({"127.0.0.1", 0}, {"127.0.0.1", 0}));
    EXPECT_FALSE(dev.connect({"127.0.0.1", 70000}, {"127.0.0.1", 0}));
    EXPECT_FALSE(dev.connect({"127.0.0.1", 2000}, {"999.1.1.1", 0}));
    EXPECT_EQ(dev.get_last_errno(), 0) << "a refusal of the library's own has no system error";
}

TEST(stream, address_text_splits_at_the_last_colon_into_ip_and_a_port) {
    struct row { const char* text; bool ok; const char* ip; int port; };
    const row rows[] = {
        {"127.0.0.1:2000", true, "127.0.0.1", 2000}, {"localhost:0", true, "localhost", 0},
        {"a:b:65535", true, "a:b", 65535},           {"127.0.0.1:65536", false, "", 0},
        {"127.0.0.1:", false, "", 0},                {":2000", false, "", 0},
        {"127.0.0.1", false, "", 0},                 {"127.0.0.1:-1", false, "", 0},
        {"127.0.0.1:+80", false, "", 0},             {"127.0.0.1: 80", false, "", 0},
        {"127.0.0.1:000080", false, "", 0},          {"127.0.0.1:99999999999999999999", false, "", 0},
    };
    for (const row& r : rows) {
        std::string ip = "unchanged";
        int port = -7;
        EXPECT_EQ(gx_address::split(r.text, ip, port), r.ok) << r.text;
        EXPECT_EQ(ip, r.ok ? r.ip : "unchanged") << r.text;
        EXPECT_EQ(port, r.ok ? r.port : -7) << r.text;
    }
}

TEST(stream, sensor_vanishing_mid_stream_is_survived) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    ASSERT_TRUE(dev.tcp_device_run());
    DadodUz::scene_t s;
    ASSERT_TRUE(next_scene(dev, s));
    emu.kill_hard();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    while (dev.get_scene(s)) {
    }
    EXPECT_FALSE(next_scene(dev, s, 300));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(dev.tcp_device_stop());
    EXPECT_FALSE(dev.tcp_register_read());
    EXPECT_TRUE(dev.stop());
    EXPECT_TRUE(dev.disconnect());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

TEST(stream, an_idle_sensor_keeps_answering_and_a_vanished_one_falls_silent) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    // Never told to run: no frames, but the channel is kept alive about once a second.
    const auto first = dev.get_link_statistics();
    EXPECT_TRUE(first.link_up);
    std::this_thread::sleep_for(std::chrono::milliseconds(2600));
    const auto idle = dev.get_link_statistics();
    EXPECT_EQ(idle.frames_received, 0u);
    EXPECT_GE(idle.answers_received, first.answers_received + 2);
    emu.kill_hard();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto gone = dev.get_link_statistics();
    EXPECT_FALSE(gone.link_up);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(dev.get_link_statistics().answers_received, gone.answers_received);
}

TEST(stream, stop_pauses_delivery_and_start_resumes_it) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    ASSERT_TRUE(dev.tcp_device_run());
    DadodUz::scene_t s;
    ASSERT_TRUE(next_scene(dev, s));
    ASSERT_TRUE(dev.stop());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    while (dev.get_scene(s)) {
    }
    EXPECT_FALSE(next_scene(dev, s, 300));
    ASSERT_TRUE(dev.start());
    EXPECT_TRUE(next_scene(dev, s));
}

TEST(stream, dropped_fragments_drop_whole_frames_and_are_counted) {
    emulator_process emu({"--fps", "25", "--drop-fragments", "0.002"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    ASSERT_TRUE(dev.tcp_device_run());
    DadodUz::scene_t s;
    std::uint32_t last = 0;
    int got = 0;
    wait_for([&] {
        if (dev.get_scene(s)) {
            EXPECT_EQ(s.depth.size(), 40000u) << "only complete frames are delivered";
            if (got) {
                EXPECT_GT(s.frame_number, last);
            }
            last = s.frame_number;
            ++got;
        }
        return got >= 25;
    }, 8000);
    EXPECT_GE(got, 5);
    const auto st = dev.get_link_statistics();
    EXPECT_GT(st.frames_dropped, 0u);
    EXPECT_GT(st.fragments_lost, 0u);
}

TEST(stream, malformed_datagrams_and_messages_are_discarded) {
    emulator_process emu({"--fps", "25", "--malformed"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    ASSERT_TRUE(dev.tcp_device_run());
    DadodUz::scene_t s;
    int got = 0;
    wait_for([&] { return dev.get_scene(s) && ++got >= 10; }, 8000);
    EXPECT_GE(got, 10);
    const auto st = dev.get_link_statistics();
    EXPECT_GT(st.datagrams_discarded, 40u);
    EXPECT_EQ(st.frames_dropped, 0u) << "bad datagrams must not spoil good frames";
    // The oversized message arrived truncated to what the record can carry.
    static TAVRIN::_TCP_PROTOCOL_T msg;
    bool saw_long = false;
    while (dev.tcp_get_message(msg))
        if (msg.type[0] == 'Z') {
            saw_long = true;
            EXPECT_EQ(msg.length, TAVRIN::_TCP_PROTOCOL_T::kMaxData);
            EXPECT_EQ(msg.data[msg.length], 0);
        }
    EXPECT_TRUE(saw_long);
    EXPECT_TRUE(dev.tcp_device_stop()) << "the command channel still works";
}

TEST(stream, twenty_five_fps_stream_loses_nothing) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    ASSERT_TRUE(dev.tcp_device_run());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto st = dev.get_link_statistics();
    EXPECT_GE(st.frames_received, 40u);
    EXPECT_EQ(st.frames_dropped, 0u);
    EXPECT_EQ(st.datagrams_discarded, 0u);
}

// Frames that arrive while nobody takes them wait in order: a caller held up
// for two frame periods gets every one of them; one held up for a second
// gets the newest within the bound, and the older ones are counted as
// overwritten.
TEST(stream, frames_wait_in_order_and_only_those_past_the_bound_are_lost) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    ASSERT_TRUE(dev.tcp_device_run());
    DadodUz::scene_t s;
    ASSERT_TRUE(next_scene(dev, s));
    while (dev.get_scene(s)) {
    }
    for (const std::uint64_t held : {2u, 25u}) {
        SCOPED_TRACE(held);
        const std::uint32_t last = s.frame_number;
        const auto before = dev.get_link_statistics();
        ASSERT_TRUE(wait_for([&] { return dev.get_link_statistics().frames_received >= before.frames_received + held; }));
        std::vector<std::uint32_t> taken;
        while (dev.get_scene(s)) taken.push_back(s.frame_number);
        const auto after = dev.get_link_statistics();
        ASSERT_FALSE(taken.empty());
        const std::uint64_t lost = after.frames_overwritten - before.frames_overwritten;
        for (std::size_t i = 1; i < taken.size(); ++i) EXPECT_EQ(taken[i], taken[i - 1] + 1) << "in order, none skipped";
        EXPECT_EQ(taken.back() - last, taken.size() + lost) << "every frame since is taken or counted";
        if (held == 2) {
            EXPECT_EQ(lost, 0u);
            EXPECT_EQ(taken.front(), last + 1);
        } else {
            EXPECT_LE(taken.size(), 8u) << "no frame older than the bound";
            EXPECT_GE(lost, held - 8);
        }
    }
}
