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
#include <set>

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
    temp_dir dir;
    for (const auto& p : programs) {
        SCOPED_TRACE(p.program);
        std::set<std::string> names = options_in(source(p.source));
        names.erase("file");  // gx_convert's positional arguments
        EXPECT_GE(names.size(), 4u) << "options read from " << p.source;
        const run_result help = run_bounded(p.program, "--help", dir);
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_EQ(help.err, "");
        for (const std::string& name : names) EXPECT_NE(help.out.find("--" + name), std::string::npos) << "--" << name;
        for (const std::string& wrong : {std::string("--bogus-option"), std::string(p.malformed)}) {
            const run_result r = run_bounded(p.program, wrong, dir);
            EXPECT_EQ(r.status, 2) << wrong << ": " << r.err;
            EXPECT_NE(r.err.find(wrong == "--bogus-option" ? "bogus-option" : p.named), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "") << wrong;
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
