// The emulator as a process: announcing its port, serving one client after
// another, ending promptly on SIGTERM, and its state file.
#include "device/gx_protocol.h"
#include "tests/device/device_test_util.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>

using TAVRIN::DadodUz;
using namespace device_test;

TEST(emulator, serves_the_next_client_after_a_disconnect) {
    emulator_process emu;
    ASSERT_TRUE(emu.start());
    EXPECT_GT(emu.port(), 0);
    for (int round = 0; round < 3; ++round) {
        DadodUz dev;
        ASSERT_TRUE(connect(dev, emu)) << round;
        ASSERT_TRUE(dev.tcp_device_run());
        DadodUz::scene_t s;
        EXPECT_TRUE(next_scene(dev, s)) << round;
        dev.stop();
        dev.disconnect();
    }
    EXPECT_TRUE(emu.running());
}

TEST(emulator, sigterm_ends_it_promptly_even_while_streaming) {
    emulator_process emu({"--max-fps", "500", "--fps", "500"});
    ASSERT_TRUE(emu.start());
    DadodUz dev;
    ASSERT_TRUE(connect(dev, emu));
    ASSERT_TRUE(dev.tcp_device_run());
    DadodUz::scene_t s;
    ASSERT_TRUE(next_scene(dev, s));
    const auto t0 = std::chrono::steady_clock::now();
    ::kill(emu.pid(), SIGTERM);
    EXPECT_TRUE(wait_for([&] { return !emu.running(); }, 2000));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    const auto t1 = std::chrono::steady_clock::now();
    dev.disconnect();
    EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::seconds(1));
}

TEST(emulator, starts_from_its_state_file_and_ignores_a_broken_one) {
    const std::string state = temp_path("state.txt");
    {
        std::ofstream out(state);
        out << "FPS,INT32,1,20\nSTREAMMODE,UINT8,1,0\n";
    }
    {
        emulator_process emu;
        emu.set_state_file(state);
        ASSERT_TRUE(emu.start());
        DadodUz dev;
        ASSERT_TRUE(connect(dev, emu));
        ASSERT_TRUE(dev.tcp_device_run());
        DadodUz::scene_t s;
        ASSERT_TRUE(next_scene(dev, s));
        std::int64_t sum = 0;
        int n = 0;
        for (auto d : s.depth)
            if (d > 0) {
                sum += d;
                ++n;
            }
        EXPECT_GT(sum / std::max(n, 1), 3000) << "stream mode 0 from the state file: millimetres";
    }
    {
        std::ofstream out(state, std::ios::binary);
        out << std::string("\x01\x02garbage,,,\n", 13);
    }
    emulator_process emu;
    emu.set_state_file(state);
    ASSERT_TRUE(emu.start()) << "a broken state file falls back to the defaults";
    DadodUz dev;
    EXPECT_TRUE(connect(dev, emu));
    std::remove(state.c_str());
}

TEST(emulator, makes_valid_firmware_images) {
    const std::string path = temp_path("fw.bin");
    ASSERT_EQ(std::system((std::string(GX_EMULATOR_PATH) + " --make-firmware " + path + " --firmware-size 1000").c_str()), 0);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> img((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(img.size(), 1000u + gx::kFirmwareHeaderSize);
    EXPECT_TRUE(gx::validate_firmware_image(img.data(), img.size()));
    std::remove(path.c_str());
}

TEST(emulator, ends_when_the_process_that_started_it_is_killed) {
    // This test process adopts the orphans of its children, so that it can
    // see the emulator end once the process that started it is gone.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int ids[2];
    ASSERT_EQ(::pipe(ids), 0);
    const pid_t starter = ::fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        emulator_process emu;
        const pid_t emulator = emu.start() ? emu.pid() : -1;
        (void)!::write(ids[1], &emulator, sizeof emulator);
        for (;;) ::pause();  // killed by the test
    }
    ::close(ids[1]);
    pid_t emulator = -1;
    ASSERT_EQ(::read(ids[0], &emulator, sizeof emulator), ssize_t(sizeof emulator));
    ::close(ids[0]);
    ASSERT_GT(emulator, 0);
    ASSERT_EQ(::kill(starter, SIGKILL), 0);
    ASSERT_EQ(::waitpid(starter, nullptr, 0), starter);
    const bool ended = wait_for([&] { return ::waitpid(emulator, nullptr, WNOHANG) == emulator; });
    if (!ended) {
        ::kill(emulator, SIGKILL);
        ::waitpid(emulator, nullptr, 0);
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_TRUE(ended) << "the emulator outlived the process that started it";
}
