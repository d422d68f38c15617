// The programs as a script meets them: every program's --help names every
// option its parser is given (read from the program's source), an unknown or
// malformed option is named on stderr with status 2, and a viewer whose
// start-up connect or play fails says why on stderr and still ends with
// --quit-after, with a non-zero status.
#include "tests/device/device_test_util.h"
#include "tests/support/loopback.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <filesystem>
#include <set>
#include <type_traits>
#include <vector>

using namespace device_test;

namespace {

std::string source(const std::string& path) {
    std::ifstream in(std::string(VEZOVAD_SOURCE_DIR) + "/" + path);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The long names of the options a source file gives its parser: Boost's
// add_options() chains, or the viewer's QCommandLineOptions.
std::set<std::string> options_in(const std::string& text) {
    std::set<std::string> names;
    static const std::regex viewer(R"(QCommandLineOption\s+\w+\(\s*(?:QStringList\{"h",\s*)?"([a-z][a-z0-9-]*)\")");
    static const std::regex boost(R"(\(\"([a-z][a-z0-9-]*)(?:,[a-z])?\",)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), viewer); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    for (std::size_t at = text.find("add_options()"); at != std::string::npos; at = text.find("add_options()", at + 1)) {
        const std::string chain = text.substr(at, text.find(";\n", at) - at);
        for (auto it = std::sregex_iterator(chain.begin(), chain.end(), boost); it != std::sregex_iterator(); ++it)
            names.insert((*it)[1]);
    }
    return names;
}

// A command ended by the system after 60 s at most (status 124 then).
run_result run_bounded(const std::string& program, const std::string& args, const temp_dir& dir) {
    return run_command("timeout -k 5 60 env QT_QPA_PLATFORM=offscreen " + program + " " + args, dir);
}

} // namespace

TEST(programs, help_names_every_option_and_unknown_options_are_named) {
    const struct {
        const char* program;
        const char* source;
        const char* malformed;  // a malformed option and what its complaint names
        const char* named;
    } programs[] = {
        {VEZOVAD_VIEWER_PATH, "logic/startup_options.cpp", "--quit-after soon", "--quit-after"},
        {GX_EMULATOR_PATH, "emulator/gx_emulator.cpp", "--port 99999", "99999"},
        {GX_CONVERT_PATH, "converter/gx_convert.cpp", "in.bin out --every 0", "--every"},
        {GX_BRIDGE_PATH, "bridge/gx_bridge.cpp", "--device nowhere", "--device"},
        {GX_MONKEY_PATH, "monkey/gx_monkey.cpp", "--seconds many", "--seconds"},
    };
    std::vector<std::pair<std::string, std::string>> extra;  // (program, source), kept alive for `all`
    std::vector<std::remove_cv_t<std::remove_reference_t<decltype(programs[0])>>> all(std::begin(programs), std::end(programs));
    // The benchmarks and the build's icon generator: --help and an unknown option.
    const std::string built = VEZOVAD_BINARY_DIR;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VEZOVAD_SOURCE_DIR) + "/bench")) {
        const std::string name = entry.path().stem().string();
        if (entry.path().extension() == ".cpp" && name.rfind("bench_", 0) == 0 && std::filesystem::exists(built + "/bench/" + name))
            extra.push_back({built + "/bench/" + name, "bench/" + name + ".cpp"});
    }
    extra.push_back({built + "/resources/icon_generator", "resources/icon_generator.cpp"});
    for (const auto& e : extra) all.push_back({e.first.c_str(), e.second.c_str(), nullptr, nullptr});
    temp_dir dir;
    for (const auto& p : all) {
        SCOPED_TRACE(p.program);
        std::set<std::string> names = options_in(source(p.source));
        names.erase("file");  // gx_convert's positional arguments
        EXPECT_GE(names.size(), 1u) << "options read from " << p.source;
        const run_result help = run_bounded(p.program, "--help", dir);
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_EQ(help.err, "");
        for (const std::string& name : names) EXPECT_NE(help.out.find("--" + name), std::string::npos) << "--" << name;
        std::vector<std::string> wrong = {"--bogus-option"};
        if (p.malformed != nullptr) wrong.push_back(p.malformed);
        for (const std::string& w : wrong) {
            const run_result r = run_bounded(p.program, w, dir);
            EXPECT_EQ(r.status, 2) << w << ": " << r.err;
            EXPECT_NE(r.err.find(w == "--bogus-option" ? "bogus-option" : p.named), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "") << w;
        }
    }
}

TEST(programs, viewer_start_up_failures_reach_stderr_and_quit_after_ends_the_run) {
    temp_dir dir;
    std::ofstream(dir / "notes.txt") << "shopping list\n";
    const std::string box_file = "Cannot read the binary file. Please check the file path.";
    const struct {
        std::string args;
        std::string box;
        std::string reason;
    } cases[] = {
        {"--play " + (dir / "missing.bin"), box_file, "missing.bin: No such file or directory"},
        {"--play " + (dir / "notes.txt"), box_file, "notes.txt is not a GX recording (no recording header)"},
        {"--device 127.0.0.1:" + std::to_string(closed_loopback_port()) + " --local 127.0.0.1:0 --connect",
         "Cannot connect to device. Please check the connection informations.", "Connection refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const run_result r = run_command("cd " + dir.path + " && LC_ALL=C timeout -k 5 60 env QT_QPA_PLATFORM=offscreen " +
                                             VEZOVAD_VIEWER_PATH + " " + c.args + " --quit-after 2",
                                         dir);
        EXPECT_EQ(r.status, 1) << "124 would mean --quit-after did not end it: " << r.err;
        EXPECT_NE(r.err.find("ro_vezovad: " + c.box + " ("), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    }
}
