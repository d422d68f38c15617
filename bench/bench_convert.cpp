// Conversion figures: frames per second that recording_export (gx_convert)
// reads from a 400 x 100 recording and writes as binary PCD, binary PLY, CSV,
// binary PCD with the three PNG pictures, and MCAP (one file per 250
// frames). The files are really written,
// into a temporary folder; they are deleted batch by batch, outside the timed
// part, so that 10,000 frames do not fill the disk. Prints figures; asserts
// nothing.
//
//   bench_convert [FRAMES]            FRAMES for binary PCD (default 10000)
//   bench_convert --recording PATH [FRAMES]
//                                     only writes a synthetic recording to PATH
#include "bench/bench_options.h"
#include "device/DadodUz.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "emulator/gx_synthetic_scene.h"
#include "bench/synthetic_recording.h"
#include "interop/mcap_export.h"
#include "logic/recording_export.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using clk = std::chrono::steady_clock;

namespace {

// `frames` frames of the synthetic corridor.
bool make_recording(const std::string& path, int frames) {
    gx::recording_writer w;
    if (!w.open(path)) return false;
    push_synthetic_frames(w, synthetic_frame_pool(), frames);
    return w.close();
}

struct figure {
    double seconds = 0;
    std::uint64_t frames = 0, bytes = 0;
};

// Converts records 0 .. frames - 1 in batches into `out`, with one exporter
// as gx_convert uses it; only the conversion is timed.
bool convert(const std::string& rec, const std::string& out, const recording_export::options& base, int frames, figure& f) {
    constexpr int batch = 250;
    std::string error;
    const auto t0 = clk::now();
    recording_export ex;
    if (!ex.open(rec, error)) {
        std::printf("%s\n", error.c_str());
        return false;
    }
    f.seconds += std::chrono::duration<double>(clk::now() - t0).count();
    for (int first = 0; first < frames; first += batch) {
        recording_export::options o = base;
        o.from = std::uint64_t(first);
        o.to = std::uint64_t(std::min(frames, first + batch) - 1);
        const auto t1 = clk::now();
        if (!ex.begin(out, o, error)) {
            std::printf("%s\n", error.c_str());
            return false;
        }
        for (std::uint64_t i : recording_export::select(o, ex.records())) {
            if (ex.convert(i, error) != recording_export::frame_result::written) {
                std::printf("record %llu: %s\n", static_cast<unsigned long long>(i), error.c_str());
                return false;
            }
            ++f.frames;
        }
        if (!ex.finish(error)) return false;
        f.seconds += std::chrono::duration<double>(clk::now() - t1).count();
        for (const auto& e : fs::directory_iterator(out)) {
            f.bytes += e.file_size();
            fs::remove(e.path());
        }
    }
    return true;
}

// Exports records 0 .. frames - 1 as MCAP files of `batch` frames each, as
// gx_convert --format mcap does; only the export is timed. Each file is
// deleted after its batch, as the other formats' files are, so that the
// figure is the program's and not the disk's.
bool convert_mcap(const std::string& rec, const std::string& out, int frames, figure& f) {
    constexpr int batch = 250;
    std::string error;
    for (int first = 0; first < frames; first += batch) {
        const auto t0 = clk::now();
        mcap_export ex;
        if (!ex.open(rec, error) || !ex.begin(out, error)) {
            std::printf("%s\n", error.c_str());
            return false;
        }
        for (int i = first; i < std::min(frames, first + batch); ++i) {
            if (ex.convert(std::uint64_t(i), error) != mcap_export::frame_result::written) {
                std::printf("record %d: %s\n", i, error.c_str());
                return false;
            }
            ++f.frames;
        }
        if (!ex.finish(error)) return false;
        f.seconds += std::chrono::duration<double>(clk::now() - t0).count();
        f.bytes += fs::file_size(out);
        fs::remove(out);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string recording;
    int frames = 0;
    {
        namespace po = bench_options::po;
        po::options_description desc("usage: bench_convert [FRAMES]\n"
                                     "       bench_convert --recording PATH [FRAMES]\n"
                                     "Conversion figures of gx_convert's formats on a synthetic 400 x 100 recording.\noptions");
        desc.add_options()("help", "show this text")
            ("frames", po::value(&frames)->value_name("N"),
             "frames converted to binary PCD and MCAP (default 10000; at most 1000 for PLY, CSV and PCD with "
             "pictures); with --recording the frames written (default 100)")
            ("recording", po::value(&recording)->value_name("PATH"), "only write a synthetic recording to PATH");
        if (const int done = bench_options::read(argc, argv, "bench_convert", desc, {"frames"}); done >= 0) return done;
    }
    if (!recording.empty()) {
        const int n = frames > 0 ? frames : 100;
        const bool ok = make_recording(recording, n);
        std::printf("%s: %d frames %s\n", recording.c_str(), n, ok ? "written" : "NOT written");
        return ok ? 0 : 1;
    }
    frames = frames > 0 ? frames : 10000;
    char tmpl[] = "/tmp/bench_convert_XXXXXX";
    if (::mkdtemp(tmpl) == nullptr) return 1;
    const std::string dir = tmpl, rec = dir + "/rec.bin", out = dir + "/out";
    auto t0 = clk::now();
    if (!make_recording(rec, frames)) {
        std::printf("cannot write the recording\n");
        fs::remove_all(dir);
        return 1;
    }
    std::printf("recording: %d frames of 400 x 100 made in %.1f s\n", frames,
                std::chrono::duration<double>(clk::now() - t0).count());

    using fmt = recording_export::cloud_format;
    const int others = std::min(frames, 1000);
    const struct {
        const char* name;
        fmt format;
        bool images;
        int frames;
    } cases[] = {{"binary PCD", fmt::pcd, false, frames},
                 {"binary PLY", fmt::ply, false, others},
                 {"CSV", fmt::csv, false, others},
                 {"binary PCD + 3 PNG", fmt::pcd, true, others}};
    int status = 0;
    for (const auto& c : cases) {
        recording_export::options o;
        o.format = c.format;
        o.images = c.images;
        figure f;
        if (!convert(rec, out, o, c.frames, f)) {
            status = 1;
            break;
        }
        std::printf("%-20s %6llu frames in %6.2f s = %6.0f frames/s, %7.0f kB per frame\n", c.name,
                    static_cast<unsigned long long>(f.frames), f.seconds, double(f.frames) / f.seconds,
                    double(f.bytes) / double(f.frames) / 1000.0);
    }
    figure m;
    if (status == 0 && convert_mcap(rec, dir + "/out.mcap", frames, m)) {
        const double bin = double(fs::file_size(rec)) / double(frames);
        std::printf("%-20s %6llu frames in %6.2f s = %6.0f frames/s, %7.0f kB per frame (%.1f x the recording's %.0f kB)\n",
                    "MCAP (zstd chunks)", static_cast<unsigned long long>(m.frames), m.seconds,
                    double(m.frames) / m.seconds, double(m.bytes) / double(m.frames) / 1000.0,
                    double(m.bytes) / double(m.frames) / bin, bin / 1000.0);
    } else {
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
