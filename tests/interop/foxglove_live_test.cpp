// The Foxglove WebSocket server as Foxglove's own client sees it
// (foxglove_live.cjs under Node.js): gx_bridge against the emulated sensor
// with two clients and one sending garbage, and the viewer's --serve-foxglove
// playing a recording.
#include "tests/interop/node_script.h"

#include <gtest/gtest.h>

using namespace device_test;

TEST(foxglove_live, gx_bridge_serves_every_frame_to_each_client_and_refuses_garbage) {
    temp_dir dir;
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    const run_result r =
        run_node_script("foxglove_live.cjs", std::string("bridge ") + GX_BRIDGE_PATH + " " + std::to_string(emu.port()), dir);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

TEST(foxglove_live, the_viewer_serves_the_frames_it_plays) {
    temp_dir dir;
    const std::string rec = dir / "rec.bin";
    make_mixed_recording(rec, 120);
    const run_result r =
        run_node_script("foxglove_live.cjs", std::string("viewer ") + VEZOVAD_VIEWER_PATH + " " + rec, dir);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}
