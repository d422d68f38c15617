// gx_convert: converts a GX recording (*.bin) into one point cloud file per
// frame (PCD, PLY or CSV), optionally the image view's PNG pictures, and an
// index. The conversion itself is recording_export (logic/); this file reads
// the command line and reports progress.
//
// Exit status: 0 done, 1 the input is not a readable recording, 2 a command
// line it does not take (as every program of the project), 3 the output
// could not be written.
#include "device/c_numbers.h"
#include "device/command_line.h"
#include "interop/mcap_export.h"
#include "logic/recording_export.h"

#include <pcl/console/print.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int exit_input = 1;
constexpr int exit_usage = 2;
constexpr int exit_output = 3;

const char* const usage_head =
    "Usage: gx_convert REC.bin OUTDIR [options]\n"
    "       gx_convert REC.bin OUT.mcap --format mcap [--from N] [--to M] [--every K]\n"
    "Converts a GX recording into one point cloud file per frame, written to\n"
    "OUTDIR (created when missing) with an index, OUTDIR/index.csv; or into one\n"
    "MCAP file (ROS 2 messages) for Foxglove, ros2 bag and other robotics tools.\n"
    "\n"
    "Options";
const char* const usage_tail =
    "\n"
    "Clouds are organised (width = columns, height = rows), in metres, with the\n"
    "fields x y z intensity; pixels without a return are NaN.\n"
    "MCAP: topics /gx/points (PointCloud2), /gx/ambient, /gx/depth, /gx/intensity\n"
    "(Image) and /gx/status, stamped with the frame's sensor time.\n"
    "Exit status: 0 done, 1 not a readable recording, 2 usage error, 3 output not written.\n";

struct arguments {
    std::string input, output;
    recording_export::options options;
    bool mcap = false;
    bool from_given = false, to_given = false;
};

bool parse_count(const std::string& text, std::uint64_t& v) {
    if (text.empty() || text.size() > 19) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

namespace po = command_line::po;

po::options_description option_table(std::string& format, std::string& from, std::string& to, std::string& every,
                                     arguments& a) {
    po::options_description desc(usage_head);
    desc.add_options()
        ("format", po::value(&format)->value_name("pcd|ply|csv|mcap"),
         "output format (default pcd: binary PCD; ply: binary little-endian PLY; csv: one line per point; "
         "mcap: one MCAP file of the whole selection)")
        ("ascii", po::bool_switch(&a.options.ascii), "PCD in ASCII instead of binary")
        ("from", po::value(&from)->value_name("N"), "first record to convert, counted from 0 (default 0)")
        ("to", po::value(&to)->value_name("M"), "last record to convert, inclusive (default: the last)")
        ("every", po::value(&every)->value_name("K"), "convert every K-th record from N on (default 1)")
        ("images", po::bool_switch(&a.options.images),
         "also write the ambient, depth and intensity pictures as PNG, coloured as the image view shows them")
        ("help,h", "show this text")
        ("version", "print the version and exit");
    return desc;
}

bool check(const po::variables_map& vm, const std::string& format, const std::string& from, const std::string& to,
           const std::string& every, const std::vector<std::string>& positional, arguments& a, std::string& error) {
    if (vm.count("format")) {
        if (format == "pcd") a.options.format = recording_export::cloud_format::pcd;
        else if (format == "ply") a.options.format = recording_export::cloud_format::ply;
        else if (format == "csv") a.options.format = recording_export::cloud_format::csv;
        else if (format == "mcap") a.mcap = true;
        else {
            error = "--format must be pcd, ply, csv or mcap, not \"" + format + "\"";
            return false;
        }
    }
    const std::pair<std::string, const std::string*> counts[] = {{"from", &from}, {"to", &to}, {"every", &every}};
    for (const auto& [name, text] : counts) {
        if (!vm.count(name)) continue;
        std::uint64_t n = 0;
        if (!parse_count(*text, n)) {
            error = "--" + name + " needs a whole number of " + (text == &every ? "1" : "0") + " or more, not \"" + *text + "\"";
            return false;
        }
        if (text == &from) {
            a.options.from = n;
            a.from_given = true;
        } else if (text == &to) {
            a.options.to = n;
            a.to_given = true;
        } else {
            if (n == 0) {
                error = "--every must be 1 or more";
                return false;
            }
            a.options.every = n;
        }
    }
    if (positional.size() != 2) {
        error = positional.size() < 2 ? (a.mcap ? "a recording and an output file are needed"
                                                 : "a recording and an output folder are needed")
                                      : "too many arguments";
        return false;
    }
    if (a.mcap && (a.options.ascii || a.options.images)) {
        error = a.options.ascii ? "--ascii applies to PCD files only" : "--images does not apply to MCAP";
        return false;
    }
    if (a.options.ascii && a.options.format != recording_export::cloud_format::pcd) {
        error = "--ascii applies to PCD files only";
        return false;
    }
    if (a.options.from > a.options.to) {
        error = "--from " + std::to_string(a.options.from) + " is after --to " + std::to_string(a.options.to);
        return false;
    }
    a.input = positional[0];
    a.output = positional[1];
    return true;
}

// "frame 120/10000 (1.2%) 310 fps", redrawn in place on a terminal.
class progress_line {
public:
    explicit progress_line(std::uint64_t total) : total_(total), on_(::isatty(STDERR_FILENO) == 1) {}
    void update(std::uint64_t done, double seconds, bool force = false) {
        if (!on_ || (!force && seconds - last_ < 0.1)) return;
        last_ = seconds;
        std::string s = "frame " + std::to_string(done) + "/" + std::to_string(total_) + " (" +
                        c_numbers::fixed(total_ ? 100.0 * double(done) / double(total_) : 100.0, 1) + "%)";
        if (seconds >= 0.2) s += " " + c_numbers::fixed(double(done) / seconds, 0) + " fps";
        const std::size_t len = s.size();
        if (len < width_) s.append(width_ - len, ' ');
        width_ = len;
        std::fprintf(stderr, "\r%s", s.c_str());
        std::fflush(stderr);
    }
    void clear() {
        if (!on_ || width_ == 0) return;
        std::fprintf(stderr, "\r%s\r", std::string(width_, ' ').c_str());
        std::fflush(stderr);
        width_ = 0;
    }

private:
    std::uint64_t total_;
    bool on_;
    double last_ = -1;
    std::size_t width_ = 0;
};

void complain(const std::string& text) { std::fprintf(stderr, "gx_convert: %s\n", text.c_str()); }

// Reads the command line into a. Returns -1 to go on, else the exit status:
// 0 after --help, exit_usage after a complaint on stderr.
int parse(int argc, char** argv, arguments& a) {
    std::string format, from, to, every;
    std::vector<std::string> positional;
    po::options_description desc = option_table(format, from, to, every, a);
    po::options_description all;
    all.add(desc).add_options()("file", po::value(&positional));
    po::positional_options_description files;
    files.add("file", -1);
    po::variables_map vm;
    if (const int answered = command_line::read_or_answer(argc, argv, all, "gx_convert", vm, &files, {&desc, usage_tail});
        answered >= 0)
        return answered;
    std::string error;
    if (!check(vm, format, from, to, every, positional, a, error)) {
        complain(error);
        std::fprintf(stderr, "Try 'gx_convert --help'.\n");
        return exit_usage;
    }
    return -1;
}



// Converts the chosen records with `ex` (recording_export or mcap_export,
// opened and begun) and prints the summary line.
template <class exporter>
int convert_all(exporter& ex, const arguments& a, const std::vector<std::uint64_t>& chosen, const char* format) {
    using result = typename exporter::frame_result;
    using clock = std::chrono::steady_clock;
    std::string error;
    const auto t0 = clock::now();
    const auto elapsed = [&] { return std::chrono::duration<double>(clock::now() - t0).count(); };
    progress_line progress(chosen.size());
    std::uint64_t written = 0;
    std::vector<std::uint64_t> unreadable;
    for (std::uint64_t i : chosen) {
        const result r = ex.convert(i, error);
        if (r == result::write_failed) {
            progress.clear();
            complain(error);
            std::string ignored;
            ex.finish(ignored);
            return exit_output;
        }
        if (r == result::unreadable) unreadable.push_back(i);
        else ++written;
        progress.update(written + unreadable.size(), elapsed());
    }
    const double seconds = elapsed();
    progress.update(chosen.size(), seconds, true);
    progress.clear();
    if (!ex.finish(error)) {
        complain(error);
        return exit_output;
    }
    if (!unreadable.empty()) {
        std::string list;
        for (std::size_t k = 0; k < unreadable.size() && k < 10; ++k) list += (k ? ", " : "") + std::to_string(unreadable[k]);
        if (unreadable.size() > 10) list += ", ...";
        complain("warning: " + std::to_string(unreadable.size()) + " damaged records skipped (" + list + ")");
    }
    std::printf("gx_convert: %s %s of %s %s written to %s as %s%s in %s s (%s frames/s)\n",
                std::to_string(written).c_str(), written == 1 ? "frame" : "frames", std::to_string(ex.records()).c_str(),
                ex.records() == 1 ? "record" : "records",
                a.output.c_str(), format, a.options.images ? " with PNG pictures" : "",
                c_numbers::fixed(seconds, 2).c_str(),
                c_numbers::fixed(seconds > 0 ? double(written) / seconds : 0.0, 0).c_str());
    return 0;
}

// Opens the recording with `ex`, checks the selection and begins the output.
template <class exporter, class begin_fn>
int run(exporter& ex, const arguments& a, begin_fn begin, const char* format) {
    std::string error;
    if (!ex.open(a.input, error)) {
        complain(error);
        return exit_input;
    }
    const std::uint64_t records = ex.records();
    if (ex.index_was_rebuilt())
        complain("note: " + a.input + " has no valid index (cut off or not closed); converting the " +
                 std::to_string(records) + " complete records found in it");
    const std::vector<std::uint64_t> chosen = recording_export::select(a.options, records);
    if (chosen.empty() && records > 0) {
        complain("--from " + std::to_string(a.options.from) + " is past the last record (" + std::to_string(records - 1) + ")");
        return exit_usage;
    }
    if (!begin(error)) {
        complain(error);
        return exit_output;
    }
    return convert_all(ex, a, chosen, format);
}

} // namespace

int main(int argc, char** argv) {
    arguments a;
    if (const int done = parse(argc, argv, a); done >= 0) return done;
    if (a.mcap) {
        mcap_export ex;
        return run(ex, a, [&](std::string& error) { return ex.begin(a.output, error); }, "MCAP");
    }
    // Failures are reported here, in one line each; PCL's own messages would
    // only repeat them.
    pcl::console::setVerbosityLevel(pcl::console::L_ALWAYS);
    recording_export ex;
    const char* format = a.options.format == recording_export::cloud_format::ply ? "binary PLY"
                       : a.options.format == recording_export::cloud_format::csv ? "CSV"
                       : a.options.ascii                                          ? "ASCII PCD"
                                                                                  : "binary PCD";
    return run(ex, a, [&](std::string& error) { return ex.begin(a.output, a.options, error); }, format);
}
