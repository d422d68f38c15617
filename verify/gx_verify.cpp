// gx_verify: the acceptance check of a GX sensor, or of a recording of one,
// against limits; writes the report (HTML, and its data as JSON) and says in
// one line on standard output whether the unit passed, failed, or could not
// be measured or reached, with the exit status 0, 1 or 2. docs/acceptance.md.
#include "device/c_numbers.h"
#include "device/command_line.h"
#include "logic/acceptance_check.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

namespace po = boost::program_options;

int refuse(const std::string& why) {
    std::fprintf(stderr, "gx_verify: %s (gx_verify --help lists the options)\n", why.c_str());
    return 2;
}

// A bar on the terminal: "[#########...........]  12/30 frames".
void draw_bar(int done, int total) {
    constexpr int kWidth = 30;
    const int filled = total > 0 ? done * kWidth / total : 0;
    std::string bar = "\r[" + std::string(std::size_t(filled), '#') + std::string(std::size_t(kWidth - filled), '.') + "] " +
                      std::to_string(done) + "/" + std::to_string(total) + " frames";
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
}

} // namespace

int main(int argc, char** argv) {
    std::string device, local, recording, target, range, region, limits_path, report, json;
    int frames = 30, channels = 0;
    po::options_description desc(
        "usage: gx_verify --device IP:PORT [--local IP:PORT] --target wall|sphere --range MM --report OUT.html [options]\n"
        "       gx_verify --recording REC.bin --channels N --target wall|sphere --range MM --report OUT.html [options]\n"
        "Exit status: 0 pass, 1 fail, 2 could not measure or could not connect (one line on standard output says "
        "which and why).\noptions");
    desc.add_options()
        ("help", "show this text")
        ("version", "print the version and exit")
        ("device", po::value(&device)->value_name("IP:PORT"), "the sensor to check")
        ("local", po::value(&local)->value_name("IP:PORT"), "this end of the stream (default: any address, a free port)")
        ("recording", po::value(&recording)->value_name("REC.bin"), "check a recording's first frames instead of a sensor")
        ("target", po::value(&target)->value_name("KIND"), "wall (a flat wall) or sphere (a range sphere: every pixel at one range)")
        ("range", po::value(&range)->value_name("MM"), "the target's range in millimetres: the ground truth of Z accuracy")
        ("region", po::value(&region)->value_name("X,Y,W,H"),
         "columns X .. X+W-1, rows Y .. Y+H-1 (default: the depth quality tool's, the central half of the frame)")
        ("frames", po::value(&frames)->value_name("N"), "frames of the check, 2 .. 1000 (default 30)")
        ("channels", po::value(&channels)->value_name("N"),
         "VCSEL channels the channel spread groups the columns by (default: the sensor's driver's; a recording needs it)")
        ("limits", po::value(&limits_path)->value_name("FILE"), "limits file (default: the shipped limits, docs/acceptance.md)")
        ("report", po::value(&report)->value_name("OUT.html"), "the report to write")
        ("json", po::value(&json)->value_name("OUT.json"), "its data as JSON too");
    po::variables_map vm;
    if (const int answered = command_line::read_or_answer(argc, argv, desc, "gx_verify", vm); answered >= 0) return answered;

    if (device.empty() == recording.empty()) return refuse("give either --device or --recording");
    if (!local.empty() && device.empty()) return refuse("--local goes with --device");
    acceptance_check::options o;
    o.device = device;
    o.local = local;
    o.recording = recording;
    if (!acceptance_check::parse_target(target, o.target))
        return refuse(target.empty() ? "--target is needed (wall or sphere)" : "--target is wall or sphere, not " + target);
    if (range.empty()) return refuse("--range is needed (the target's range in millimetres)");
    if (!c_numbers::parse_finite(range, o.range_mm)) return refuse("--range takes 100 .. 100000 millimetres, not " + range);
    if (!region.empty()) {
        depth_quality::region r;
        if (!acceptance_check::parse_region(region, r)) return refuse("--region takes X,Y,W,H, not " + region);
        o.roi = r;
    }
    o.frames = frames;
    o.channels = channels;
    if (vm.count("channels") && channels < 1) return refuse("--channels takes 1 .. 400");
    if (const std::string wrong = acceptance_check::out_of_range(o); !wrong.empty()) return refuse(wrong);
    if (report.empty()) return refuse("--report is needed (the HTML file to write)");

    const acceptance_limits::chosen limits = acceptance_limits::choose(limits_path);
    if (!limits.ok) {
        std::fprintf(stderr, "gx_verify: the limits file %s is refused: %s\n", limits_path.c_str(), limits.error.c_str());
        return 2;
    }

    const bool bar = ::isatty(STDERR_FILENO) == 1;
    acceptance_check::progress_fn progress;
    if (bar) progress = draw_bar;
    const acceptance_check::result r = acceptance_check::run(o, limits.values, limits.from, "gx_verify", progress);
    if (bar) std::fputs("\r\033[K", stderr);

    std::string error;
    if (!acceptance::write(r.report, report, json, error)) {
        std::printf("COULD NOT MEASURE: %s\n", error.c_str());
        return 2;
    }
    std::printf("%s\n", acceptance_check::summary_line(r).c_str());
    return acceptance::exit_status(r.report.result);
}
