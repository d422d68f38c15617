// The emulator replaying a recording: recorded again live through the device
// library, every frame and status packet equals the original's, also across
// a loop and past a damaged record; files it cannot replay end its start-up.
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "emulator/gx_replay.h"
#include "emulator/gx_synthetic_scene.h"
#include "tests/device/device_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/wait.h>

using TAVRIN::DadodUz;
using namespace device_test;

namespace {

constexpr int kFrames = 8;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// kFrames frames 40 ms apart (25 frames/s), each under lens coefficients and
// with a status packet of its own; frame number 43 missing; two echoes in the
// second half.
void make_original(const std::string& path) {
    gx::synthetic_scene scene;
    gx::recording_writer w;
    ASSERT_TRUE(w.open(path));
    std::vector<std::uint16_t> a, in, in2;
    std::vector<std::int32_t> d, d2;
    for (int i = 0; i < kFrames; ++i) {
        const std::uint8_t two = i >= kFrames / 2, mode = two ? 3 : 1;
        scene.render(i * 0.1, mode, a, d, in, d2, in2);
        const gx::frame_info info{500000000ull + std::uint64_t(i) * 4000000ull, std::uint32_t(40 + i + (i > 2)), 100, 400,
                                  mode, std::uint8_t(1 + two), {300.0f + float(i), 300.0f, 200.0f, 50.0f, 0.01f}};
        const DadodUz::sensing_packet_t st{gx::kStatusPacketId, info.frame_number, std::uint32_t(7 * i), 40.5f + float(i)};
        ASSERT_TRUE(w.push(gx::encode_frame(info, a.data(), d.data(), in.data(), two ? d2.data() : nullptr, two ? in2.data() : nullptr), st));
    }
    ASSERT_TRUE(w.close());
}

// Flips a payload byte of record k: indexed, but it does not read.
void damage_record(const std::string& path, int k) {
    std::string b = slurp(path);
    std::size_t pos = gx::kRecordingHeaderSize;
    for (int i = 0; i < k; ++i) pos += gx::kRecordHeaderSize + gx::get_u32(reinterpret_cast<const std::uint8_t*>(&b[pos + 16]));
    b[pos + gx::kRecordHeaderSize + 50] ^= 0x55;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << b;
}

template <class T> bool same_bytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

struct replay_case {
    const char* name;
    bool loop;
    int damaged;               // record made unreadable, -1: none
    std::uint64_t frames;      // frames recorded again before the comparison
    std::vector<int> gaps_ms;  // pauses before the frames handed out (then the end, unless looping)
};
void PrintTo(const replay_case& c, std::ostream* os) { *os << c.name; }
class replay : public ::testing::TestWithParam<replay_case> {};

}  // namespace

TEST_P(replay, recorded_again_live_it_equals_the_original) {
    const replay_case& c = GetParam();
    // In the test's private working directory, which is cleared after it.
    const std::string original = "original.bin", copy = "copy.bin", err = "stderr.txt";
    make_original(original);
    if (c.damaged >= 0) damage_record(original, c.damaged);
    std::vector<std::uint64_t> want;  // records of the original in the order they go out
    for (int k = 0; k < kFrames; ++k)
        if (k != c.damaged) want.push_back(std::uint64_t(k));
    gx::replay_source source;  // the pauses it asks for
    gx::replay_source::frame f;
    ASSERT_TRUE(source.open(original, c.loop));
    for (std::size_t j = 0; j < c.gaps_ms.size(); ++j)
        EXPECT_TRUE(source.next(f) && f.gap_ns == c.gaps_ms[j] * 1000000LL && f.record == want[j % want.size()]) << j;
    EXPECT_EQ(source.next(f), c.loop);

    std::vector<std::string> args{"--replay", original};
    if (c.loop) args.push_back("--loop");
    emulator_process emu(args);
    emu.set_stderr_file(err);
    ASSERT_TRUE(emu.start());
    {
        DadodUz dev;
        ASSERT_TRUE(connect(dev, emu) && dev.start_recording(copy) && dev.tcp_device_run());
        ASSERT_TRUE(wait_for([&] { return dev.get_link_statistics().frames_recorded >= c.frames; }, 30000));
        const std::string end = "replay finished after " + std::to_string(want.size()) + " frames";
        ASSERT_TRUE(c.loop || wait_for([&] { return slurp(err).find(end) != std::string::npos; })) << slurp(err);
        ASSERT_TRUE(dev.stop_recording());
    }
    const std::string skipped = "record " + std::to_string(c.damaged) + " is damaged, skipped (1 damaged so far)";
    EXPECT_EQ(slurp(err).find(skipped) != std::string::npos, c.damaged >= 0) << slurp(err);

    // Frame i of the copy is record want[i % n] of the original: through the
    // library (pixels, points, number, stamp) and byte for byte (lens
    // coefficients included), with the same status packet.
    DadodUz o, r;
    gx::recording_reader ro, rr;
    ASSERT_TRUE(o.connect_file(original) && r.connect_file(copy) && ro.open(original) && rr.open(copy));
    EXPECT_TRUE(c.loop ? rr.frames() >= c.frames : rr.frames() == want.size()) << rr.frames() << " frames";
    DadodUz::scene_t a, b;
    DadodUz::sensing_packet_t sa, sb;
    std::vector<std::uint8_t> fa, fb;
    for (std::uint64_t i = 0; i < rr.frames(); ++i) {
        const std::uint64_t k = want[i % want.size()];
        ASSERT_TRUE(o.get_scene(a, k) && r.get_scene(b, i) && ro.read(k, fa, &sa) && rr.read(i, fb, &sb)) << i;
        EXPECT_TRUE(a.frame_number == b.frame_number && a.timestamp == b.timestamp && a.ambient == b.ambient &&
                    a.depth == b.depth && a.intensity == b.intensity && a.depth2 == b.depth2 && a.intensity2 == b.intensity2 &&
                    a.depth2.size() == (k >= kFrames / 2 ? 40000u : 0u)) << i;
        EXPECT_TRUE(same_bytes(a.points, b.points) && same_bytes(a.points2, b.points2)) << i;
        EXPECT_TRUE(fa == fb && std::memcmp(&sa, &sb, sizeof sa) == 0) << i;
    }
    for (const auto& p : {original, copy, err}) std::remove(p.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    emulator, replay,
    ::testing::Values(replay_case{"once", false, -1, kFrames, {0, 40, 40, 40, 40, 40, 40, 40}},
                      replay_case{"looping", true, -1, 2 * kFrames + 2, {0, 40, 40, 40, 40, 40, 40, 40, 40, 40}},
                      replay_case{"past_a_damaged_record", false, 3, kFrames - 1, {0, 40, 40, 80, 40, 40, 40}}),
    [](const ::testing::TestParamInfo<replay_case>& i) { return std::string(i.param.name); });

TEST(replay, refuses_to_start_on_a_file_it_cannot_replay) {
    const std::string path = "bad.bin";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { std::remove(path.c_str()); }, ": No such file or directory"},
        {[&] { std::ofstream(path) << "x,y,z\n1,2,3\n"; }, " is not a GX recording (no recording header)"},
        {[&] { gx::recording_writer w; w.open(path); w.close(); }, " holds no frames"},
        {[&] { make_original(path); for (int k = 0; k < kFrames; ++k) damage_record(path, k); }, ": none of its 8 records reads"},
    };
    for (const auto& [make, says] : cases) {
        make();
        FILE* p = ::popen(("timeout 20 " GX_EMULATOR_PATH " --port 0 --replay " + path + " 2>&1 >/dev/null").c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        for (int ch; (ch = std::fgetc(p)) != EOF;) out += char(ch);
        const int status = ::pclose(p);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << says << ": status " << status;
        EXPECT_EQ(out, "gx_emulator: cannot replay: " + path + says + "\n");
    }
    std::remove(path.c_str());
}
