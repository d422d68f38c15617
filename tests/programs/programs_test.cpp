// The programs as a script meets them: --help names every option the
// program's source gives its parser, an unknown or malformed option is named
// on stderr with status 2, and a viewer whose start-up connect or play fails
// says why on stderr and still ends with --quit-after, with status 1.
#include "tests/device/device_test_util.h"
#include "tests/support/loopback.h"

#include <regex>
#include <set>

using namespace device_test;
namespace fs = std::filesystem;

namespace {

// The long option names in a source file: the viewer's QCommandLineOptions
// and the words that open each entry of Boost's add_options() chains.
std::set<std::string> options_in(const std::string& file) {
    std::ifstream in(std::string(VEZOVAD_SOURCE_DIR) + "/" + file);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    static const std::regex viewer(R"(QCommandLineOption\s+\w+\(\s*(?:QStringList\{"h",\s*)?"([a-z-]+)\")"),
        boost(R"(\(\"([a-z][a-z-]*)(?:,[a-z])?\",)");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), viewer); it != std::sregex_iterator(); ++it) names.insert((*it)[1]);
    for (std::size_t at = text.find("add_options()"); at != std::string::npos; at = text.find("add_options()", at + 1)) {
        const std::string chain = text.substr(at, text.find(";\n", at) - at);
        for (auto it = std::sregex_iterator(chain.begin(), chain.end(), boost); it != std::sregex_iterator(); ++it) names.insert((*it)[1]);
    }
    names.erase("file");  // gx_convert's positional arguments
    return names;
}

// Runs a program, ended by the system after 60 s at most (status 124 then).
run_result run(const std::string& program, const std::string& args, const temp_dir& dir) {
    return run_command("cd " + dir.path + " && LC_ALL=C QT_QPA_PLATFORM=offscreen timeout -k 5 60 " + program + " " + args, dir);
}

} // namespace

TEST(programs, help_names_every_option_and_unknown_options_are_named) {
    struct program { std::string path, source, malformed, named; };
    std::vector<program> programs = {
        {VEZOVAD_VIEWER_PATH, "logic/startup_options.cpp", "--quit-after soon", "--quit-after"},
        {GX_EMULATOR_PATH, "emulator/gx_emulator.cpp", "--port 99999", "99999"},
        {GX_CONVERT_PATH, "converter/gx_convert.cpp", "in.bin out --every 0", "--every"},
        {GX_BRIDGE_PATH, "bridge/gx_bridge.cpp", "--device nowhere", "--device"},
        {GX_MONKEY_PATH, "monkey/gx_monkey.cpp", "--seconds many", "--seconds"},
        {GX_VERIFY_PATH, "verify/gx_verify.cpp", "--frames many", "--frames"},
        {std::string(VEZOVAD_BINARY_DIR) + "/resources/icon_generator", "resources/icon_generator.cpp", "", ""}};
    for (const auto& e : fs::directory_iterator(std::string(VEZOVAD_SOURCE_DIR) + "/bench")) {
        const std::string name = e.path().stem().string(), built = std::string(VEZOVAD_BINARY_DIR) + "/bench/" + name;
        if (e.path().extension() == ".cpp" && fs::exists(built)) programs.push_back({built, "bench/" + name + ".cpp", "", ""});
    }
    temp_dir dir;
    for (const auto& p : programs) {
        SCOPED_TRACE(p.path);
        const run_result help = run(p.path, "--help", dir);
        EXPECT_EQ(help.status, 0) << help.err;
        const std::set<std::string> names = options_in(p.source);
        EXPECT_GT(names.size(), p.malformed.empty() ? 0u : 3u) << "options read from " << p.source;
        for (const std::string& name : names) EXPECT_NE(help.out.find("--" + name), std::string::npos) << name;
        for (const auto& [args, named] : {std::pair{std::string("--bogus-option"), std::string("bogus-option")}, {p.malformed, p.named}}) {
            if (args.empty()) continue;
            const run_result r = run(p.path, args, dir);
            EXPECT_EQ(r.status, 2) << args;
            EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        }
    }
}

TEST(programs, viewer_start_up_failures_reach_stderr_and_quit_after_ends_the_run) {
    temp_dir dir;
    std::ofstream(dir / "notes.txt") << "shopping list\n";
    const std::string file_box = "Cannot read the binary file. Please check the file path.",
                      closed = "127.0.0.1:" + std::to_string(closed_loopback_port());
    const struct { std::string args, box, reason; } cases[] = {
        {"--play missing.bin", file_box, "missing.bin: No such file or directory"},
        {"--play notes.txt", file_box, "notes.txt is not a GX recording (no recording header)"},
        {"--device " + closed + " --local 127.0.0.1:0 --connect",
         "Cannot connect to device. Please check the connection informations.", closed + ": Connection refused"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const run_result r = run(VEZOVAD_VIEWER_PATH, c.args + " --quit-after 2", dir);
        EXPECT_EQ(r.status, 1) << "124: --quit-after did not end it. " << r.err;
        EXPECT_NE(r.err.find("ro_vezovad: " + c.box + " (" + c.reason), std::string::npos) << r.err;
    }
}
