// gx_convert's MCAP files read by Foxglove's own readers (@mcap/core and the
// ROS 2 CDR decoder, run by read_mcap.cjs under Node.js): the summary, every
// message, and frame by frame the same points as the CSV files of the same
// records; and the file a failed write leaves behind.
#include "tests/interop/node_script.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace device_test;

TEST(mcap_export, foxglove_reads_the_frames_of_the_csv_files) {
    temp_dir dir;
    const std::string rec = dir / "rec.bin", mcap = dir / "out.mcap", csv = dir / "csv";
    make_mixed_recording(rec, 12);
    const std::string selection = " --from 1 --to 10 --every 2";
    const run_result m = run_command(std::string(GX_CONVERT_PATH) + " " + rec + " " + mcap + " --format mcap" + selection, dir);
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_NE(m.out.find("5 frames of 12 records"), std::string::npos) << m.out;
    const run_result c = run_command(std::string(GX_CONVERT_PATH) + " " + rec + " " + csv + " --format csv" + selection, dir);
    ASSERT_EQ(c.status, 0) << c.err;
    const run_result r = run_node_script("read_mcap.cjs", "full " + mcap + " " + csv, dir);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

// A write that fails midway (here the file size limit, at 60 % of the whole
// file) leaves a file that opens with its whole chunks, or, when not even the
// summary fits (a limit of 1 KiB), no file.
TEST(mcap_export, a_failed_write_leaves_whole_chunks_or_no_file) {
    temp_dir dir;
    const std::string rec = dir / "rec.bin", mcap = dir / "out.mcap";
    make_mixed_recording(rec, 12);
    const std::string convert = std::string(GX_CONVERT_PATH) + " " + rec + " " + mcap + " --format mcap";
    ASSERT_EQ(run_command(convert, dir).status, 0);
    const auto whole = std::filesystem::file_size(mcap);
    const struct {
        std::uintmax_t limit;
        bool kept;
    } cases[] = {{whole * 6 / 10, true}, {1024, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        std::filesystem::remove(mcap);
        const run_result m = run_command("trap '' XFSZ; prlimit --fsize=" + std::to_string(c.limit) + " " + convert, dir);
        EXPECT_EQ(m.status, 3) << m.out << m.err;
        EXPECT_NE(m.err.find(c.kept ? "messages written before, in whole chunks" : "was removed"), std::string::npos) << m.err;
        ASSERT_EQ(std::filesystem::exists(mcap), c.kept);
        if (!c.kept) continue;
        const run_result r = run_node_script("read_mcap.cjs", "partial " + mcap, dir);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
    }
}
