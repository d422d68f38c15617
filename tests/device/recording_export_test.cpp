// Recordings converted to point cloud files, pictures and an index: the files
// read back with PCL's readers as the library's own points, the selection of
// records, the image view's pictures, and gx_convert's exit statuses.
#include "device/c_numbers.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "emulator/gx_factory_registers.h"
#include "emulator/gx_synthetic_scene.h"
#include "logic/display_pipeline.h"
#include "logic/recording_export.h"
#include "tests/device/device_test_util.h"
#include "tests/support/comma_locale.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <pcl/console/print.h>
#include <pcl/io/pcd_io.h>
#include <pcl/io/ply_io.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

using TAVRIN::DadodUz;
using namespace device_test;
namespace fs = std::filesystem;

namespace {

// Runs gx_convert with `args` (words split at blanks).
run_result run_convert(const std::string& args, const temp_dir& scratch) {
    return run_command(std::string(GX_CONVERT_PATH) + " " + args, scratch);
}

std::vector<std::string> lines_of(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Differences between a loaded cloud and the library's frame: the cloud must
// be organised as the frame, each point the library's point in metres (float
// of mm / 1000) or NaN without a return, with the pixel's intensity.
std::string compare(const pcl::PointCloud<pcl::PointXYZI>& cloud, const DadodUz::scene_t& s) {
    if (cloud.width != s.cols || cloud.height != s.rows || cloud.size() != s.points.size())
        return "size " + std::to_string(cloud.width) + " x " + std::to_string(cloud.height);
    std::size_t bad = 0, nan = 0, first = 0;
    for (std::size_t i = 0; i < cloud.size(); ++i) {
        const auto& q = cloud[i];
        const auto& p = s.points[i];
        bool ok = q.intensity == float(s.intensity[i]);
        if (p.valid > 0) {
            ok = ok && q.x == float(p.x / 1000.0) && q.y == float(p.y / 1000.0) && q.z == float(p.z / 1000.0);
        } else {
            ok = ok && std::isnan(q.x) && std::isnan(q.y) && std::isnan(q.z);
            ++nan;
        }
        if (!ok && bad++ == 0) first = i;
    }
    if (bad) return std::to_string(bad) + " points differ, the first at " + std::to_string(first);
    if (nan == 0 || nan == cloud.size()) return "the frame should have points with and without a return";
    return "";
}

// PCL's PLY reader warns about every camera property it does not use; quiet
// while one lives.
struct quiet_pcl {
    const pcl::console::VERBOSITY_LEVEL before = pcl::console::getVerbosityLevel();
    quiet_pcl() { pcl::console::setVerbosityLevel(pcl::console::L_ERROR); }
    ~quiet_pcl() { pcl::console::setVerbosityLevel(before); }
};

bool load_csv(const std::string& path, pcl::PointCloud<pcl::PointXYZI>& cloud, std::uint32_t rows, std::uint32_t cols) {
    const auto lines = lines_of(path);
    if (lines.empty() || lines[0] != "row,col,x,y,z,intensity" || lines.size() != 1 + std::size_t(rows) * cols) return false;
    cloud.resize(std::size_t(rows) * cols);
    cloud.width = cols;
    cloud.height = rows;
    for (std::size_t k = 1; k < lines.size(); ++k) {
        std::stringstream fields(lines[k]);
        std::string f[6];
        for (auto& x : f)
            if (!std::getline(fields, x, ',')) return false;
        double v[6];
        for (int j = 0; j < 6; ++j)
            if (f[j] == "nan") v[j] = NAN;
            else if (!c_numbers::parse_finite(f[j], v[j])) return false;
        if (v[0] != double((k - 1) / cols) || v[1] != double((k - 1) % cols)) return false;
        cloud[k - 1].x = float(v[2]);
        cloud[k - 1].y = float(v[3]);
        cloud[k - 1].z = float(v[4]);
        cloud[k - 1].intensity = float(v[5]);
    }
    return true;
}

} // namespace

TEST(recording_export, every_format_reads_back_as_the_library_points) {
    temp_dir dir;
    const std::string rec = dir / "rec.bin";
    make_mixed_recording(rec, 4);
    DadodUz play;
    ASSERT_TRUE(play.connect_file(rec));
    const quiet_pcl quiet;
    using fmt = recording_export::cloud_format;
    const struct {
        fmt format;
        bool ascii;
        const char* folder;
    } cases[] = {{fmt::pcd, false, "pcd"}, {fmt::pcd, true, "pcd_ascii"}, {fmt::ply, false, "ply"}, {fmt::csv, false, "csv"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        recording_export::options o;
        o.format = c.format;
        o.ascii = c.ascii;
        {
            // Written under a decimal-comma locale: the files must not change.
            const comma_locale german;
            recording_export ex;
            std::string error;
            ASSERT_TRUE(ex.open(rec, error)) << error;
            ASSERT_TRUE(ex.begin(dir / c.folder, o, error)) << error;
            for (std::uint64_t i : recording_export::select(o, ex.records()))
                ASSERT_EQ(ex.convert(i, error), recording_export::frame_result::written) << error;
            ASSERT_TRUE(ex.finish(error)) << error;
        }
        for (std::uint64_t i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            DadodUz::scene_t s;
            ASSERT_TRUE(play.get_scene(s, i));
            const std::string file = dir / c.folder + "/" + recording_export::stem(i) + recording_export::extension(c.format);
            pcl::PointCloud<pcl::PointXYZI> cloud;
            if (c.format == fmt::pcd) {
                ASSERT_EQ(pcl::io::loadPCDFile(file, cloud), 0);
                std::ifstream head(file);
                std::string first_lines((std::istreambuf_iterator<char>(head)), {});
                EXPECT_NE(first_lines.find(c.ascii ? "DATA ascii" : "DATA binary"), std::string::npos);
            } else if (c.format == fmt::ply) {
                ASSERT_EQ(pcl::io::loadPLYFile(file, cloud), 0);
            } else {
                ASSERT_TRUE(load_csv(file, cloud, s.rows, s.cols));
            }
            EXPECT_EQ(compare(cloud, s), "");
        }
    }
}

TEST(recording_export, the_index_lists_the_selected_records) {
    temp_dir dir;
    const std::string rec = dir / "rec.bin";
    make_mixed_recording(rec, 6);
    const struct {
        const char* options;
        std::vector<int> records;
    } cases[] = {
        {"", {0, 1, 2, 3, 4, 5}},
        {"--from 2", {2, 3, 4, 5}},
        {"--to 3", {0, 1, 2, 3}},
        {"--from=1 --to=4 --every=2", {1, 3}},
        {"--every 4", {0, 4}},
        {"--from 5 --to 99", {5}},
        {"--format csv --from 3 --to 3", {3}},
    };
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const std::string out = dir / ("out" + std::to_string(run++));
        const run_result r = run_convert(rec + " " + out + " " + c.options, dir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(std::to_string(c.records.size()) + (c.records.size() == 1 ? " frame" : " frames") + " of 6 records"), std::string::npos) << r.out;
        const auto lines = lines_of(out + "/index.csv");
        ASSERT_EQ(lines.size(), c.records.size() + 1);
        EXPECT_EQ(lines[0], recording_export::index_header);
        const std::string ext = std::string(c.options).find("csv") != std::string::npos ? ".csv" : ".pcd";
        for (std::size_t k = 0; k < c.records.size(); ++k) {
            const int i = c.records[k];
            const std::string name = recording_export::stem(std::uint64_t(i)) + ext;
            EXPECT_EQ(lines[k + 1], std::to_string(i) + "," + std::to_string(100 + i) + ",1.0" + std::to_string(i) + "000000," +
                                        name + ",,,");
            EXPECT_TRUE(fs::is_regular_file(out + "/" + name));
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), std::ptrdiff_t(c.records.size() + 1))
            << "the clouds and the index, nothing else";
    }
    EXPECT_EQ(recording_export::seconds_text(123456789012ull), "1234.56789012");
    EXPECT_EQ(recording_export::stem(1234567), "frame_1234567");
}

TEST(recording_export, pictures_are_the_image_view_defaults) {
    temp_dir dir;
    const std::string rec = dir / "rec.bin";
    make_mixed_recording(rec, 2);
    const run_result r = run_convert(rec + " " + (dir / "out") + " --images", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = lines_of(dir / "out/index.csv");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "1,101,1.01000000,frame_000001.pcd,frame_000001_ambient.png,frame_000001_depth.png,"
                        "frame_000001_intensity.png");
    DadodUz play;
    ASSERT_TRUE(play.connect_file(rec));
    DadodUz::scene_t s;
    ASSERT_TRUE(play.get_scene(s, 1));
    // The image view as it starts: fixed ranges 0-500, 0-20000 and 0-400;
    // ambient and intensity in the palette, depth inverted in JET.
    display::pipeline_params ambient, depth, intensity;
    ambient.max_value = 500;
    ambient.colour = display::colour_map::palette;
    depth.max_value = 20000;
    depth.invert = true;
    depth.colour = display::colour_map::jet;
    intensity.max_value = 400;
    intensity.colour = display::colour_map::palette;
    const struct {
        const char* suffix;
        cv::Mat raw;
        display::pipeline_params params;
    } cases[] = {{"_ambient.png", display::wrap(s.ambient, s.rows, s.cols), ambient},
                 {"_depth.png", display::wrap(s.depth, s.rows, s.cols), depth},
                 {"_intensity.png", display::wrap(s.intensity, s.rows, s.cols), intensity}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        cv::Mat grey8, expected;
        ASSERT_TRUE(display::render(c.raw, c.params, grey8, expected));
        const cv::Mat bgr = cv::imread(dir / "out/frame_000001" + c.suffix, cv::IMREAD_UNCHANGED);
        ASSERT_EQ(bgr.type(), CV_8UC3);
        cv::Mat rgb;
        cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
        ASSERT_EQ(rgb.size(), expected.size());
        EXPECT_EQ(cv::norm(rgb, expected, cv::NORM_INF), 0.0);
        EXPECT_GT(cv::countNonZero(grey8), 0) << "a picture with content";
    }
}

TEST(recording_export, exit_statuses) {
    temp_dir dir;
    const std::string rec = dir / "rec.bin", cut = dir / "cut.bin", junk = dir / "junk.bin", file = dir / "file.txt",
                      damaged = dir / "damaged.bin";
    make_mixed_recording(rec, 6);
    {
        std::ifstream in(rec, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() * 3 / 5);
        bytes[gx::kRecordingHeaderSize + gx::kRecordHeaderSize + 50] ^= 0x55;  // inside the first record's payload
        std::ofstream(damaged, std::ios::binary) << bytes;
        std::ofstream(junk, std::ios::binary) << std::string(5000, 'x');
        std::ofstream(file) << "a file";
    }
    std::uint64_t cut_frames = 0;
    {
        DadodUz play;
        ASSERT_TRUE(play.connect_file(cut));
        play.get_logging_file_size(cut_frames);
        ASSERT_GT(cut_frames, 0u);
        ASSERT_LT(cut_frames, 6u);
    }
    fs::create_directories(dir / "blocked/frame_000000.pcd");  // a folder where a cloud goes
    const std::string out = dir / "out";
    const struct {
        std::string args;
        int status;
        const char* says;  // on stdout for 0, stderr otherwise
    } cases[] = {
        {"", 2, "needed"},
        {rec, 2, "needed"},
        {rec + " " + out + " extra", 2, "too many"},
        {rec + " " + out + " --format xyz", 2, "--format"},
        {rec + " " + out + " --format", 2, "needs a value"},
        {rec + " " + out + " --every 0", 2, "--every"},
        {rec + " " + out + " --every -1", 2, "--every needs a whole number of 1 or more"},
        {rec + " " + out + " --from -1", 2, "--from needs a whole number"},
        {rec + " " + out + " --to 2x", 2, "--to"},
        {rec + " " + out + " --from 99999999999999999999", 2, "--from"},
        {rec + " " + out + " --from 4 --to 2", 2, "after"},
        {rec + " " + out + " --from 6", 2, "past the last record (5)"},
        {rec + " " + out + " --bogus", 2, "unknown option --bogus"},
        {rec + " " + out + " --images=yes", 2, "no value"},
        {rec + " " + out + " --format ply --ascii", 2, "PCD files only"},
        {"--help", 0, "Usage: gx_convert"},
        {junk + " " + out, 1, "not a GX recording"},
        {dir / "missing.bin " + out, 1, "cannot open"},
        {dir.path + " " + out, 1, "directory"},
        {rec + " " + file + "/sub", 3, "cannot create"},
        {rec + " " + file, 3, "cannot create"},
        {rec + " " + (dir / "blocked"), 3, "cannot write"},
        {cut + " " + (dir / "from_cut"), 0, "frames of"},
        {damaged + " " + (dir / "from_damaged"), 0, "5 frames of 6 records"},
        {rec + " " + (dir / "new/deeper") + " --format ply --every 3", 0, "2 frames of 6 records"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const run_result r = run_convert(c.args, dir);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE((c.status == 0 ? r.out : r.err).find(c.says), std::string::npos) << r.out << r.err;
        EXPECT_EQ(r.err.find("\r"), std::string::npos) << "no progress line when not on a terminal";
    }
    // The cut-off recording: every complete frame, and a word about the cut.
    const run_result r = run_convert(cut + " " + (dir / "from_cut2"), dir);
    EXPECT_NE(r.err.find("cut off"), std::string::npos) << r.err;
    EXPECT_EQ(lines_of(dir / "from_cut2/index.csv").size(), cut_frames + 1);
    EXPECT_EQ(lines_of(dir / "new/deeper/index.csv").size(), 3u);
    const run_result d = run_convert(damaged + " " + (dir / "from_damaged"), dir);
    EXPECT_NE(d.err.find("1 damaged records skipped (0)"), std::string::npos) << d.err;
    const auto damaged_index = lines_of(dir / "from_damaged/index.csv");
    ASSERT_EQ(damaged_index.size(), 6u);
    EXPECT_EQ(damaged_index[1].substr(0, 6), "1,101,") << "record 0 left out";
}

TEST(recording_export, a_recording_of_the_emulator_stream_converts) {
    emulator_process emu({"--fps", "25"});
    ASSERT_TRUE(emu.start());
    temp_dir dir;
    const std::string rec = dir / "live.bin";
    {
        DadodUz dev;
        ASSERT_TRUE(connect(dev, emu));
        ASSERT_TRUE(dev.tcp_device_run());
        DadodUz::scene_t s;
        ASSERT_TRUE(next_scene(dev, s));
        ASSERT_TRUE(dev.start_recording(rec));
        wait_for([&] { return dev.get_link_statistics().frames_recorded >= 8; });
        ASSERT_TRUE(dev.stop_recording());
    }
    const run_result r = run_convert(rec + " " + (dir / "out") + " --format ply", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    DadodUz play;
    ASSERT_TRUE(play.connect_file(rec));
    std::uint64_t n = 0;
    ASSERT_TRUE(play.get_logging_file_size(n));
    ASSERT_GE(n, 8u);
    const quiet_pcl quiet;
    const auto lines = lines_of(dir / "out/index.csv");
    ASSERT_EQ(lines.size(), n + 1);
    for (std::uint64_t i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        DadodUz::scene_t s;
        ASSERT_TRUE(play.get_scene(s, i));
        EXPECT_EQ(lines[i + 1], std::to_string(i) + "," + std::to_string(s.frame_number) + "," +
                                    recording_export::seconds_text(s.timestamp[0]) + "," + recording_export::stem(i) + ".ply,,,");
        pcl::PointCloud<pcl::PointXYZI> cloud;
        ASSERT_EQ(pcl::io::loadPLYFile(dir / "out/" + recording_export::stem(i) + ".ply", cloud), 0);
        EXPECT_EQ(compare(cloud, s), "");
    }
}
