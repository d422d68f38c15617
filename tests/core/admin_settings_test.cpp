// The administrator settings without widgets: the calibration table file
// byte for byte, the preset's keys both ways, the copies between the
// controls and the record, the zero-setting groups and the default set.
#include "device/ConfigManager.h"
#include "logic/admin_settings.h"
#include "logic/calibration_file.h"
#include "logic/configuration_codec.h"
#include "logic/preset_file.h"
#include "tests/support/patterned_record.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;
using admin_settings::controls;
namespace cal = calibration_file;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

cal::tables sample_tables() {
    cal::tables t;
    for (int i = 0; i < 96; ++i) t.vcsel_offset[i] = static_cast<std::uint16_t>(1000 + i);
    for (int i = 0; i < 200; ++i) t.spad_offset[i] = static_cast<std::uint8_t>(i);
    t.lens_coe = {558.6528f, 558.6528f, 199.5f, 49.5f, 1e-06f, 0.4295f, -0.8435f, 1.099f, -8.88f, 0, 0, 0};
    t.emitter_width = 6;
    t.global_offset = 133;
    return t;
}

// A default set copied into a record, as the dialog holds it after an apply.
controls default_controls() {
    controls c;
    admin_settings::load_defaults(c);
    c.intensity_fir_cells[0] = "0";
    c.processing = {0, 0, 450, 1400, 500, 600};
    c.gateway = "192.168.1.1";
    c.netmask = "255.255.255.0";
    return c;
}

} // namespace

TEST(CalibrationFile, EveryLineHasItsColumnsAndSeparators) {
    const std::string text = cal::format(sample_tables());
    ASSERT_EQ(text.back(), '\n');
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 200u);
    const struct {
        int line;
        const char* text;
    } expected[] = {
        {1, "1000,0,558.653,6,133"},       // five values, four commas
        {2, "1001,1,558.653,,,"},         // lines 2-12: three values, three commas
        {5, "1004,4,1e-06,,,"},
        {6, "1005,5,0.4295,,,"},
        {12, "1011,11,0,,,"},
        {13, "1012,12,,,,"},              // lines 13-96: two values, four commas
        {96, "1095,95,,,,"},
        {97, ",96,,,,"},                  // lines 97-200: the SPAD offset only
        {200, ",199,,,,"},
    };
    for (const auto& e : expected) EXPECT_EQ(lines[e.line - 1], e.text) << "line " << e.line;
}

TEST(CalibrationFile, ReadsBackWhatItWritesAndTheRecordCarriesIt) {
    cal::tables t = sample_tables();
    t.emitter_width = 6.5; // read as a real, so a fraction survives
    const cal::read_result r = cal::parse(cal::format(t));
    ASSERT_EQ(r.result, cal::status::ok) << r.problem;
    EXPECT_EQ(r.values.vcsel_offset, t.vcsel_offset);
    EXPECT_EQ(r.values.spad_offset, t.spad_offset);
    EXPECT_FLOAT_EQ(r.values.lens_coe[0], 558.653f) << "six significant digits";
    EXPECT_FLOAT_EQ(r.values.lens_coe[5], 0.4295f);
    EXPECT_DOUBLE_EQ(r.values.emitter_width, 6.5);
    EXPECT_EQ(r.values.global_offset, 133);

    cfg_t cfg;
    std::memset(&cfg, 0x5A, sizeof cfg);
    const cfg_t before = cfg;
    cal::to_record(r.values, cfg);
    EXPECT_EQ(cfg.vcsel_offset[95], 1095);
    EXPECT_EQ(cfg.spad_offset[199], 199);
    EXPECT_FLOAT_EQ(cfg.emitter_dwidth, 6.5f);
    EXPECT_EQ(cfg.filli, before.filli) << "nothing but the tables changes";
    EXPECT_EQ(cfg.fps, before.fps);
    EXPECT_EQ(cal::from_record(cfg).spad_offset, t.spad_offset);
}

TEST(CalibrationFile, CellsAreReadLeniently) {
    std::string text = cal::format(sample_tables());
    auto lines = lines_of(text);
    lines[0] = "70000,-3,x,junk,133";   // kept to the width of each field; junk counts 0
    lines[1] = "12,7,2.5\r";            // carriage returns are tolerated, fewer than six fields are fine
    lines[1] += ",,";
    lines[2] = "1,2,1e300,,,"; // beyond a float: unparsable
    std::string joined;
    for (const auto& l : lines) joined += l + "\n";
    joined += "\n\ntrailing lines past 200 are ignored\n";
    const cal::read_result r = cal::parse(joined);
    ASSERT_EQ(r.result, cal::status::ok) << r.problem;
    EXPECT_EQ(r.values.vcsel_offset[0], 70000 & 0xFFFF);
    EXPECT_EQ(r.values.spad_offset[0], 253);
    EXPECT_EQ(r.values.lens_coe[0], 0.0f);
    EXPECT_EQ(r.values.emitter_width, 0.0);
    EXPECT_EQ(r.values.vcsel_offset[1], 12);
    EXPECT_FLOAT_EQ(r.values.lens_coe[1], 2.5f);
    EXPECT_EQ(r.values.lens_coe[2], 0.0f);
}

TEST(CalibrationFile, FilesThatCannotFillTheTablesAreRefused) {
    const std::string good = cal::format(sample_tables());
    auto lines = lines_of(good);
    std::string short_line;
    for (int i = 0; i < 200; ++i) short_line += (i == 41 ? std::string("1,2,3,4") : lines[i]) + "\n";
    const struct {
        std::string text;
        const char* problem;
    } cases[] = {
        {"", "0 lines"},
        {good.substr(0, good.find("\n,150,")), "150 lines"},
        {short_line, "line 42 has 4 fields"},
        {std::string(3000, '\n'), "line 1 has 1 fields"},
    };
    for (const auto& c : cases) {
        const cal::read_result r = cal::parse(c.text);
        EXPECT_EQ(r.result, cal::status::malformed);
        EXPECT_NE(r.problem.find(c.problem), std::string::npos) << r.problem;
    }
}

TEST(CalibrationFile, WritesWholeFilesOrNone) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("cal.csv").toStdString();
    std::string error;
    put(path, "an older file\n");
    ASSERT_TRUE(cal::write(path, sample_tables(), error)) << error;
    EXPECT_EQ(slurp(path), cal::format(sample_tables())) << "an existing file is replaced";
    EXPECT_EQ(cal::read(path).result, cal::status::ok);

    EXPECT_FALSE(cal::write(dir.filePath("no/such/dir/cal.csv").toStdString(), sample_tables(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(cal::read(dir.filePath("missing.csv").toStdString()).result, cal::status::cannot_open);
    EXPECT_EQ(cal::read("").result, cal::status::cannot_open);
    put(path, std::string(2 << 20, '1'));
    EXPECT_EQ(cal::read(path).result, cal::status::malformed) << "a huge file is not read whole";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file is left behind";
}

TEST(AdminSettings, RecordShownAndTakenBackChangesOnlyWhatTheConversionsChange) {
    // Every byte patterned, reserved ones included; the fields a control
    // shows are then given values the controls can hold.
    cfg_t in = patterned_record();
    in.vdp_voltage = 1.25f;
    in.vdn_voltage = 3.0f;
    in.hv_bias = 27.5f;
    in.prf_period = 3200;
    in.pulse_edge = 1;
    in.stream_mode = 3;
    in.vcsel_type = 5;
    in.dual_channel = 1;
    in.peak_separation_width = 200;
    in.fir_offset = 9;
    in.cog_tap_num = 12;
    in.h_cl_delay = 77;
    in.cls_duty = 78;
    for (int i = 0; i < 4; ++i) in.threshold_coe[i] = 1.5f + i;
    for (int i = 0; i < 12; ++i) in.lens_coe[i] = 0.25f * (i + 1);
    in.emitter_dwidth = 6.5f;
    for (int i = 0; i < 6; ++i) in.walkerror[i] = -100.5f * i;
    for (int i = 0; i < 11; ++i) in.intensity_fir_coe[i] = 0.5f * i;
    in.intf_reject = in.jitter_en = in.pulse_inhibit = 1;
    in.rx_hv_ctrl_en = 1;
    in.sync_output_polarity = 1;
    in.sync_input_polarity = 0;
    in.sync_mode = 2;
    in.fps = 25;

    cfg_t held = in;
    controls c;
    admin_settings::from_record(held, c);
    EXPECT_EQ(std::memcmp(&held, &in, sizeof in), 0) << "showing changes nothing in the held record";
    EXPECT_EQ(c.prf_khz, 63);
    cfg_t out = in;
    admin_settings::to_record(c, out);

    cfg_t expected = in;
    expected.prf_period = 3175; // 63 kHz
    EXPECT_EQ(std::memcmp(&out, &expected, sizeof out), 0);
    EXPECT_EQ(out.vcsel_timing >> 27, in.vcsel_timing >> 27);
    EXPECT_EQ(out.image_mode & ~0xFu, in.image_mode & ~0xFu);
}

TEST(AdminSettings, GuardsAndBlankCombos) {
    cfg_t cfg{};
    cfg.sync_output_polarity = cfg.sync_input_polarity = cfg.sync_mode = 5;
    cfg.fps = 50;
    controls c;
    admin_settings::from_record(cfg, c);
    EXPECT_EQ(cfg.sync_mode, 0) << "all three 4 or more: reset in the held record";
    EXPECT_EQ(c.output_sync, 0);
    EXPECT_EQ(c.fps, 10);

    cfg.sync_output_polarity = 0;
    cfg.sync_input_polarity = 7;
    cfg.sync_mode = 1;
    admin_settings::from_record(cfg, c);
    EXPECT_EQ(cfg.sync_input_polarity, 7);
    c.input_sync = -1; // the combo has no item for 7 and shows none
    c.stream_mode = -1;
    cfg.stream_mode = 9;
    admin_settings::to_record(c, cfg);
    EXPECT_EQ(cfg.sync_input_polarity, 7) << "a blank combo leaves its field alone";
    EXPECT_EQ(cfg.stream_mode, 9);
}

TEST(AdminSettings, ZeroSettingGroupsAndTheDataProcessingList) {
    cfg_t cfg{};
    cfg.fir_offset = 6;
    cfg.cog_tap_num = 9;
    cfg.fir_coef[0] = 0x87654321u;
    cfg.threshold_coe[2] = 54.35f;
    cfg.intensity_fir_coe[0] = 2.5f;
    cfg.walkerror[5] = 15.5f;
    controls c;
    admin_settings::from_record(cfg, c);
    c.fir_cells[3] = "11"; // an edit that was never applied
    using g = admin_settings::zero_group;
    for (g group : {g::fir_offset, g::cog, g::fir_coefficient, g::adaptive, g::intensity_fir, g::walk_error})
        admin_settings::zero_setting(group, true, cfg, c);
    EXPECT_EQ(c.fir_offset, 0);
    EXPECT_EQ(c.cog, 0);
    EXPECT_EQ(c.fir_cells[0], "1");
    EXPECT_EQ(c.fir_cells[3], "0");
    EXPECT_EQ(c.adaptive[2], 0.0);
    EXPECT_EQ(c.intensity_fir_cells[4], "0"); // cell (1, 0)
    EXPECT_EQ(c.walk_error[5], 0.0);
    for (g group : {g::fir_offset, g::cog, g::fir_coefficient, g::adaptive, g::intensity_fir, g::walk_error})
        admin_settings::zero_setting(group, false, cfg, c);
    EXPECT_EQ(c.fir_offset, 6);
    EXPECT_EQ(c.cog, 9);
    EXPECT_EQ(c.fir_cells[3], "4") << "the applied coefficients come back, not the edit";
    EXPECT_FLOAT_EQ(static_cast<float>(c.adaptive[2]), 54.35f);
    EXPECT_EQ(c.intensity_fir_cells[4], "2.500000");
    EXPECT_EQ(c.walk_error[5], 15.5);

    c.zigzag_filling = true;
    c.line_filling = true;
    c.processing = {3, 5, 450.9, 1400, -2.7, 600};
    EXPECT_EQ(admin_settings::data_processing(c), (std::vector<int>{1, 0, 0, 1, 3, 5, 450, 1400, -2, 600}));
}

TEST(AdminSettings, DefaultSetBecomesTheRecordTheSensorIsSentTo) {
    controls c = default_controls();
    cfg_t cfg{};
    admin_settings::to_record(c, cfg);
    EXPECT_EQ(cfg.prf_period, 408);
    EXPECT_EQ(cfg.pulse_delay, 400);
    EXPECT_EQ(cfg.stream_mode, 1);
    EXPECT_EQ(cfg.dual_channel, 1) << "\"50 Channels\"";
    EXPECT_EQ(cfg.fir_coef[0], 0x87654321u);
    EXPECT_EQ(cfg.fir_coef[1], 0x01234567u);
    EXPECT_EQ(cfg.vcsel_timing & 0x7FFFFFFu, (60u) | (6u << 9) | (320u << 18));
    EXPECT_FLOAT_EQ(cfg.intensity_fir_coe[0], 2.04353859762912f);
    EXPECT_FLOAT_EQ(cfg.intensity_fir_coe[10], 1.70032689164806f);
    EXPECT_FLOAT_EQ(cfg.threshold_coe[0], 80.91f);
    EXPECT_FLOAT_EQ(cfg.lens_coe[2], 210.5f);
    EXPECT_EQ(cfg.global_offset, 133);
}

TEST(PresetFile, WrittenPresetReadsBackIntoEveryControlButTheCalibrationOnes) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("run.conf").toStdString();
    controls c = default_controls();
    c.calibration_path = "/some/where/run.csv";
    c.prf_khz = 62.5;
    c.common_delay_ns = 2937;
    cfg_t cfg{};
    admin_settings::to_record(c, cfg);
    ASSERT_TRUE(preset_file::write(path, cfg, c));

    TAVRIN::ConfigManager store(4);
    ASSERT_TRUE(store.load(path));
    std::vector<double> prf;
    std::vector<int> delay;
    std::vector<std::string> fir;
    ASSERT_TRUE(store.get<double>(prf, "Device_settings-0", "prf"));
    ASSERT_TRUE(store.get<int>(delay, "Device_settings-0", "pulse_delay"));
    ASSERT_TRUE(store.get<std::string>(fir, "Device_settings-0", "fir_coef"));
    EXPECT_EQ(prf, std::vector<double>{62.5}) << "the PRF as the control shows it";
    EXPECT_EQ(delay, std::vector<int>{2937}) << "nanoseconds as the control shows them";
    EXPECT_EQ(fir.size(), 16u);

    controls back; // every field differs from what the preset holds...
    back.lens = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    back.emitter_width = 9;
    back.global_offset = 9;
    back.gateway = c.gateway;
    back.netmask = c.netmask;
    back.processing = c.processing;
    back.intensity_fir_cells[0] = "0";
    ASSERT_EQ(preset_file::read(path, back).result, preset_file::status::loaded);
    // ...except the three quantities that come from the calibration file.
    controls expected = c;
    expected.lens = back.lens;
    expected.emitter_width = 9;
    expected.global_offset = 9;
    expected.intensity_fir_cells = back.intensity_fir_cells; // "%f" of the record's floats
    EXPECT_EQ(back.intensity_fir_cells[4], "2.043539");
    cfg_t a{}, b{};
    admin_settings::to_record(expected, a);
    admin_settings::to_record(back, b);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_EQ(back.calibration_path, c.calibration_path);
    EXPECT_EQ(back.gx_ip, "192.168.1.10");
    EXPECT_EQ(back.pc_port, "2000");
}

TEST(PresetFile, ShortTablesAreRefusedAndOddValuesHandled) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("p.conf").toStdString();
    auto preset = [&](auto fill) {
        TAVRIN::ConfigManager store(4);
        fill(store);
        ASSERT_TRUE(store.save(path));
    };
    const controls start = default_controls();
    const struct {
        const char* key;
        std::size_t count;
        const char* problem;
    } short_tables[] = {{"fir_coef", 15, "16 are needed"}, {"intensity_fir_coe", 10, "11 are needed"}};
    for (const auto& t : short_tables) {
        preset([&](TAVRIN::ConfigManager& s) {
            s.set<int>({25}, "Device_settings-0", "fps");
            s.set<std::string>(std::vector<std::string>(t.count, "1"), "Device_settings-0", t.key);
        });
        controls c = start;
        const auto r = preset_file::read(path, c);
        EXPECT_EQ(r.result, preset_file::status::refused);
        EXPECT_NE(r.problem.find(t.problem), std::string::npos) << r.problem;
        EXPECT_EQ(c.fps, 10) << "nothing changes";
    }

    for (int dual : {0, 1, 2}) {
        preset([&](TAVRIN::ConfigManager& s) { s.set<int>({dual}, "Device_settings-0", "dual_channel"); });
        controls c = start;
        ASSERT_EQ(preset_file::read(path, c).result, preset_file::status::loaded);
        EXPECT_EQ(c.spad_channel_mode, dual == 1 ? 0 : 1) << dual;
        EXPECT_EQ(c.fps, 10) << "a missing key keeps its control";
    }

    preset([&](TAVRIN::ConfigManager& s) {
        s.set<double>({std::nan("")}, "Device_settings-0", "hv_bias");
        s.set<std::string>({"text"}, "Device_settings-0", "fps");
    });
    controls c = start;
    ASSERT_EQ(preset_file::read(path, c).result, preset_file::status::loaded);
    EXPECT_EQ(c.hv, 27.5) << "a value that is not a finite number is skipped";
    EXPECT_EQ(c.fps, 10) << "a value of the wrong type is skipped";

    put(path, "not [ an ini file");
    EXPECT_EQ(preset_file::read(path, c).result, preset_file::status::not_loaded);
    EXPECT_EQ(preset_file::read(dir.filePath("none.conf").toStdString(), c).result, preset_file::status::not_loaded);
}

TEST(PresetFile, NamesCountUpPerExtension) {
    QTemporaryDir dir;
    const std::string base = dir.filePath("run").toStdString();
    EXPECT_EQ(preset_file::free_name(base, ".conf"), base + ".conf");
    put(base + ".conf", "");
    EXPECT_EQ(preset_file::free_name(base, ".conf"), base + "_0.conf");
    EXPECT_EQ(preset_file::free_name(base, ".csv"), base + ".csv") << "each extension counts on its own";
    put(base + ".csv", "");
    put(base + "_0.conf", "");
    put(base + "_0.csv", "");
    EXPECT_EQ(preset_file::free_name(base, ".conf"), base + "_1.conf");
    EXPECT_EQ(preset_file::free_name(base, ".csv"), base + "_1.csv");
}
