#include "device/ConfigManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <unistd.h>

using TAVRIN::ConfigManager;

namespace {

std::string temp_file(const char* name) {
    return std::string("/tmp/cfgmgr_") + std::to_string(::getpid()) + "_" + name;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

} // namespace

TEST(ConfigManager, RoundTripsHostileStringsIntsAndDoubles) {
    const std::string path = temp_file("roundtrip.conf");
    const std::vector<std::string> strings = {"plain",
                                              "a,b,c",
                                              "\"quoted\" and 'single'",
                                              "key = value",
                                              "; not a comment",
                                              "# not a comment either",
                                              "   leading blanks",
                                              "trailing blanks   ",
                                              "",
                                              "Ümlaut – 日本語 ✓",
                                              "back\\slash\nnew line\ttab\r",
                                              std::string("nul\0byte", 8),
                                              "[section] like"};
    const std::vector<int> ints = {0, -1, 1, 2147483647, -2147483647 - 1};
    const std::vector<double> doubles = {0.1,
                                         -0.0,
                                         1.0 / 3.0,
                                         1e-310,
                                         6.02214076e23,
                                         std::numeric_limits<double>::max(),
                                         std::numeric_limits<double>::min(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity()};
    std::vector<int> many(500);
    for (int i = 0; i < 500; ++i) many[i] = i * 7 - 300;
    {
        ConfigManager cm(4);
        ASSERT_TRUE(cm.set(strings, "Device_settings-0", "names"));
        ASSERT_TRUE(cm.set(ints, "Device_settings-0", "ints"));
        ASSERT_TRUE(cm.set(doubles, "Connection-0", "doubles"));
        ASSERT_TRUE(cm.set(many, "Connection-0", "many"));
        ASSERT_TRUE(cm.set(std::vector<int>{}, "Connection-0", "empty"));
        ASSERT_TRUE(cm.set(std::vector<std::string>{""}, "Connection-0", "one_empty_string"));
        ASSERT_TRUE(cm.save(path));
    }
    ConfigManager back(4);
    ASSERT_TRUE(back.load(path));
    std::vector<std::string> s;
    std::vector<int> i;
    std::vector<double> d;
    ASSERT_TRUE(back.get(s, "Device_settings-0", "names"));
    EXPECT_EQ(s, strings);
    ASSERT_TRUE(back.get(i, "Device_settings-0", "ints"));
    EXPECT_EQ(i, ints);
    ASSERT_TRUE(back.get(d, "Connection-0", "doubles"));
    ASSERT_EQ(d.size(), doubles.size());
    for (std::size_t k = 0; k < d.size(); ++k)
        EXPECT_EQ(0, std::memcmp(&d[k], &doubles[k], sizeof(double))) << "element " << k << " changed bits";
    ASSERT_TRUE(back.get(i, "Connection-0", "many"));
    EXPECT_EQ(i, many);
    ASSERT_TRUE(back.get(i, "Connection-0", "empty"));
    EXPECT_TRUE(i.empty());
    ASSERT_TRUE(back.get(s, "Connection-0", "one_empty_string"));
    EXPECT_EQ(s, std::vector<std::string>{""});
    std::remove(path.c_str());
}

TEST(ConfigManager, FileIsAnOrdinaryIniFile) {
    const std::string path = temp_file("plain.conf");
    ConfigManager cm(4);
    cm.set(std::vector<int>{490}, "Device_settings-0", "prf");
    cm.set(std::vector<std::string>{"192.168.1.10"}, "Connection-0", "gx_ip");
    ASSERT_TRUE(cm.save(path));
    const std::string text = slurp(path);
    EXPECT_NE(text.find("[Device_settings-0]\n"), std::string::npos);
    EXPECT_NE(text.find("prf=490\n"), std::string::npos);
    EXPECT_NE(text.find("[Connection-0]\n"), std::string::npos);
    EXPECT_NE(text.find("gx_ip=\"192.168.1.10\"\n"), std::string::npos);
    std::remove(path.c_str());
}

TEST(ConfigManager, MissingKeysAndWrongTypesReturnFalseAndLeaveOutputAlone) {
    ConfigManager cm(4);
    cm.set(std::vector<std::string>{"word"}, "S-0", "text");
    cm.set(std::vector<double>{2.5}, "S-0", "real");
    cm.set(std::vector<int>{7}, "S-0", "whole");
    std::vector<int> ints = {42};
    EXPECT_FALSE(cm.get(ints, "S-0", "missing"));
    EXPECT_FALSE(cm.get(ints, "Nope-0", "text"));
    EXPECT_FALSE(cm.get(ints, "S-0", "text")) << "a word is not an int";
    EXPECT_FALSE(cm.get(ints, "S-0", "real")) << "2.5 is not an int";
    EXPECT_EQ(ints, std::vector<int>{42});
    std::vector<double> reals;
    EXPECT_TRUE(cm.get(reals, "S-0", "whole")) << "an int reads as a double";
    EXPECT_EQ(reals, std::vector<double>{7.0});
    std::vector<std::string> strings;
    EXPECT_TRUE(cm.get(strings, "S-0", "whole")) << "a number reads as its text";
    EXPECT_EQ(strings, std::vector<std::string>{"7"});
    EXPECT_FALSE(cm.set(std::vector<int>{1}, "bad]section", "k"));
    EXPECT_FALSE(cm.set(std::vector<int>{1}, "S-0", "k=ey"));
    EXPECT_FALSE(cm.set(std::vector<int>{1}, "S-0", ""));
    EXPECT_FALSE(cm.set(std::vector<int>{1}, nullptr, "k"));
    EXPECT_FALSE(cm.get(ints, nullptr, "k"));
}

TEST(ConfigManager, BadFilesLoadNothingAndKeepWhatWasThere) {
    ConfigManager cm(4);
    cm.set(std::vector<int>{1}, "Keep-0", "k");
    EXPECT_FALSE(cm.load(temp_file("does-not-exist.conf")));
    EXPECT_FALSE(cm.load("/"));
    const char* broken[] = {"[Device_settings-0]\nprf=490\nthis line has no equals sign\n",
                            "[unterminated\nk=1\n",
                            "[A]\nk=1\nk=2\n",
                            "[A]\nk=\"unterminated\n",
                            "[A]\nk=\"bad escape \\q\"\n",
                            "[A]\nk=\"x\" trailing\n"};
    for (const char* text : broken) {
        const std::string path = temp_file("broken.conf");
        write(path, text);
        EXPECT_FALSE(cm.load(path)) << text;
        std::vector<int> v;
        EXPECT_TRUE(cm.get(v, "Keep-0", "k")) << "contents lost after a failed load of: " << text;
        std::remove(path.c_str());
    }
}

TEST(ConfigManager, HandWrittenFilesAreRead) {
    const std::string path = temp_file("hand.conf");
    write(path, "; comment\n# another\n[Device_settings-0]\n  prf = 490  \nthreshold = 80.91 , 0.4295\nname = GX unit\n");
    ConfigManager cm(4);
    ASSERT_TRUE(cm.load(path));
    std::vector<int> prf;
    ASSERT_TRUE(cm.get(prf, "Device_settings-0", "prf"));
    EXPECT_EQ(prf, std::vector<int>{490});
    std::vector<double> t;
    ASSERT_TRUE(cm.get(t, "Device_settings-0", "threshold"));
    EXPECT_EQ(t, (std::vector<double>{80.91, 0.4295}));
    std::vector<std::string> name;
    ASSERT_TRUE(cm.get(name, "Device_settings-0", "name"));
    EXPECT_EQ(name, std::vector<std::string>{"GX unit"});
    std::remove(path.c_str());
}

TEST(ConfigManager, FailedSaveLeavesTheOldFile) {
    ConfigManager cm(4);
    cm.set(std::vector<int>{1}, "A-0", "k");
    EXPECT_FALSE(cm.save("/nonexistent-dir/x.conf"));
    const std::string path = temp_file("keep.conf");
    write(path, "[Old-0]\nk=1\n");
    ASSERT_TRUE(cm.save(path));
    ConfigManager back(4);
    ASSERT_TRUE(back.load(path));
    EXPECT_TRUE(back.has("A-0", "k"));
    EXPECT_FALSE(back.has("Old-0", "k"));
    std::remove(path.c_str());
}
