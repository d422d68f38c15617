// The acceptance check over a recording of 100 frames of the calibrated
// wall at 2 m (rendered as the emulator renders it, status records in their
// bands):
//  - gx_verify as a program, start to end (reading, figures, maps, the HTML
//    and JSON files): wall time of each of a few runs;
//  - its parts in one process: reading the frames, the window and its
//    figures, the per-pixel maps (total and per frame), the report's two
//    files.
//   bench_verify [runs]
#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "device/gx_protocol.h"
#include "device/gx_recording.h"
#include "device/gx_status_fields.h"
#include "emulator/gx_synthetic_scene.h"
#include "logic/acceptance_report.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using clock_type = std::chrono::steady_clock;
using scene_t = TAVRIN::DadodUz::scene_t;

double ms_since(clock_type::time_point t) { return std::chrono::duration<double, std::milli>(clock_type::now() - t).count(); }

void write_recording(const std::string& path, int frames) {
    gx::synthetic_scene scene(gx::scene_options{gx::scene_kind::wall, 2.0f});
    const auto cfg = scene.factory_configuration();
    TAVRIN::DadodUz::sensing_packet_t status{};
    const auto& limits = acceptance_limits::built_in();
    for (std::size_t i = 0; i < status_limits::kBands; ++i)
        status.*gx::kStatusValues[i].member = float(0.5 * (limits.status[i].low + limits.status[i].high));
    gx::recording_writer w;
    if (!w.open(path)) std::exit(1);
    std::vector<std::uint16_t> a, in, in2;
    std::vector<std::int32_t> d, d2;
    for (int i = 0; i < frames; ++i) {
        scene.render(i * 0.04, cfg, a, d, in, d2, in2);
        gx::frame_info info;
        info.rows = std::uint16_t(scene.rows());
        info.cols = std::uint16_t(scene.cols());
        info.stream_mode = cfg.stream_mode;
        info.frame_number = std::uint32_t(i);
        info.timestamp = 100000000ull + std::uint64_t(i) * 4000000ull;
        std::copy(cfg.lens_coe, cfg.lens_coe + 12, info.lens.begin());
        auto rec = gx::encode_frame(info, a.data(), d.data(), in.data(), nullptr, nullptr);
        while (!w.push(std::move(rec), status)) usleep(200);
    }
    w.close();
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    namespace po = bench_options::po;
    po::options_description desc("usage: bench_verify [RUNS] [options]\n"
                                 "gx_verify over a 100-frame recording of the calibrated wall, and its parts.\noptions");
    desc.add_options()("help", "show this text")("runs", po::value(&runs)->value_name("N"), "runs of gx_verify (default 5)");
    if (const int done = bench_options::read(argc, argv, "bench_verify", desc, {"runs"}); done >= 0) return done;
    runs = std::max(1, runs);
    const int frames = 100;
    char dir_template[] = "/tmp/bench_verify_XXXXXX";
    const std::string dir = mkdtemp(dir_template) ? dir_template : "/tmp";
    const std::string rec = dir + "/wall.bin";
    write_recording(rec, frames);

    // gx_verify start to end.
    std::vector<double> wall;
    std::string line;
    for (int i = 0; i < runs; ++i) {
        const std::string cmd = std::string(GX_VERIFY_PATH) + " --recording " + rec + " --channels 64 --frames 100 --target wall " +
                                "--range 2000 --report " + dir + "/r.html --json " + dir + "/r.json > " + dir + "/line.txt";
        const auto t = clock_type::now();
        const int status = std::system(cmd.c_str());
        wall.push_back(ms_since(t));
        if (i == 0) {
            FILE* f = std::fopen((dir + "/line.txt").c_str(), "r");
            char buf[512] = {0};
            if (f && std::fgets(buf, sizeof buf, f)) line = buf;
            if (f) std::fclose(f);
            std::printf("gx_verify over %d frames: exit status %d, %s", frames, WEXITSTATUS(status), line.c_str());
        }
    }
    std::printf("%-58s median %8.1f ms   fastest %8.1f ms   (%d runs)\n", "gx_verify --recording, 100 frames, start to end",
                median(wall), quantile(wall, 0.0), runs);

    // Its parts, in this process.
    TAVRIN::DadodUz device;
    if (!device.connect_file(rec)) return 1;
    std::vector<scene_t> scenes(frames);
    auto t = clock_type::now();
    for (int i = 0; i < frames; ++i) device.get_scene(scenes[std::size_t(i)], std::uint64_t(i));
    const double read_ms = ms_since(t);
    std::vector<double> window_ms, measure_ms, maps_ms, report_ms;
    for (int i = 0; i < runs; ++i) {
        depth_quality::window w;
        w.set_region(depth_quality::default_region(400, 100));
        w.set_frames(frames);
        t = clock_type::now();
        for (const auto& s : scenes) w.push(s);
        window_ms.push_back(ms_since(t));
        t = clock_type::now();
        const depth_quality::metrics m = depth_quality::measure(w, 64, 2000);
        measure_ms.push_back(ms_since(t));
        t = clock_type::now();
        const pixel_maps::maps maps = pixel_maps::compute(w, m);
        maps_ms.push_back(ms_since(t));
        acceptance::setup set;
        set.range_mm = 2000, set.channels = 64, set.frames = frames, set.roi = w.roi();
        acceptance::status_span st;
        TAVRIN::DadodUz::sensing_packet_t p;
        device.get_sensing_packet(p, 0);
        st.add(p);
        const acceptance::report r = acceptance::evaluate(w, set, {}, st, acceptance_limits::built_in(), "bench");
        t = clock_type::now();
        std::string error;
        acceptance::write(r, dir + "/p.html", dir + "/p.json", error);
        report_ms.push_back(ms_since(t));
        if (i == 0)
            std::printf("maps: %zu dead, %zu noisy pixels, median sigma %.2f mm; report %s\n", maps.dead.size(), maps.noisy.size(),
                        maps.median_sigma, acceptance::summary_line(r).c_str());
    }
    std::printf("%-58s %8.1f ms (%.2f ms per frame)\n", "reading 100 frames of the recording", read_ms, read_ms / frames);
    std::printf("%-58s median %8.1f ms (%.2f ms per frame)\n", "the window: 100 frames judged as they come", median(window_ms),
                median(window_ms) / frames);
    std::printf("%-58s median %8.1f ms\n", "the figures of the window (measure)", median(measure_ms));
    std::printf("%-58s median %8.1f ms (%.3f ms per frame)\n", "the per-pixel maps of 200 x 50 pixels over 100 frames",
                median(maps_ms), median(maps_ms) / frames);
    std::printf("%-58s median %8.1f ms (HTML %.0f KiB, JSON %.0f KiB)\n", "the report's HTML and JSON files", median(report_ms),
                double(std::filesystem::file_size(dir + "/p.html")) / 1024, double(std::filesystem::file_size(dir + "/p.json")) / 1024);
    std::filesystem::remove_all(dir);
    return 0;
}
