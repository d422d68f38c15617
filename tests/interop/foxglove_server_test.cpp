// The Foxglove server with a client that keeps up and one that reads
// nothing: the first gets every frame in order while the second's queue
// drops the oldest, and once it reads again it gets the newest.
#include "interop/foxglove_server.h"
#include "tests/device/device_test_util.h"
#include "tests/support/foxglove_client.h"
#include "tests/support/synthetic_frames.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using device_test::wait_for;

TEST(foxglove_server, a_stalled_client_loses_its_oldest_frames_and_costs_the_others_nothing) {
    foxglove::server server;
    std::string error;
    ASSERT_TRUE(server.start({"127.0.0.1", 0}, error)) << error;
    foxglove_client fast, stalled;
    ASSERT_TRUE(fast.connect(server.port(), error)) << error;
    ASSERT_TRUE(stalled.connect(server.port(), error)) << error;
    EXPECT_EQ(fast.protocol(), foxglove::subprotocol);
    // Both use subscription id 0, each for its own connection. The status
    // answering the empty message that follows shows the subscription done.
    foxglove_client::message m;
    for (foxglove_client* c : {&fast, &stalled}) {
        c->subscribe({{0, 1}, {1, 5}});
        c->send_text("{}");
        ASSERT_TRUE(c->read_until_status(m));
    }

    std::atomic<std::uint64_t> received{0}, last_stamp{0};
    std::atomic<bool> in_order{true};
    std::thread reader([&] {
        foxglove_client::message f;
        while (fast.read(f)) {
            if (!f.binary || f.subscription != 0) continue;  // the status topic (1) too
            if (f.stamp_ns != ros_messages::nanoseconds(received + 1)) in_order = false;
            last_stamp = f.stamp_ns;
            ++received;
        }
    });
    TAVRIN::DadodUz::scene_t scene = synthetic::make_scene();
    TAVRIN::DadodUz::sensing_packet_t status{};
    constexpr std::uint64_t frames = 120;
    for (std::uint64_t i = 1; i <= frames; ++i) {
        scene.timestamp[0] = i;
        server.publish(scene, status);
        ASSERT_TRUE(wait_for([&] { return received == i; })) << "frame " << i;
    }
    EXPECT_TRUE(in_order);
    const foxglove::server_counters c = server.counters();
    ASSERT_EQ(c.clients.size(), 2u);
    EXPECT_EQ(c.frames_published, frames);
    EXPECT_EQ(c.frames_serialised, frames);
    EXPECT_EQ(c.frames_overwritten, 0u);
    EXPECT_EQ(c.clients[0].frames_dropped, 0u);
    EXPECT_GT(c.clients[1].frames_dropped, 0u);
    EXPECT_EQ(c.frames_dropped, c.clients[1].frames_dropped);

    // The stalled client reads again: its frames rise and end with the newest.
    std::uint64_t previous = 0, newest = 0;
    while (newest != ros_messages::nanoseconds(frames) && stalled.read(m)) {
        if (!m.binary || m.subscription != 0) continue;
        EXPECT_GT(m.stamp_ns, previous);
        previous = newest = m.stamp_ns;
    }
    EXPECT_EQ(newest, ros_messages::nanoseconds(frames));
    server.stop();
    reader.join();
}
