#include "logic/command_flow.h"
#include "logic/user_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace cf = command_flow;
using step = cf::step;

namespace {

// The text T of a message as the main window forms it.
std::string text_of(const std::string& type, const std::string& data) {
    return std::to_string(data.size()) + "::" + type + "::" + data;
}

cf::decision feed(cf::state& s, const std::string& type, const std::string& data) {
    return s.on_message(type[0], type[1], text_of(type, data), data);
}

std::string dump() {
    std::string body = "SN,GX-0001\nFPS,INT32,1,25\n";
    while (body.size() < 1000) body += "\n";
    return body;
}

} // namespace

TEST(CommandFlow, PlainMessagesFollowTheFlags) {
    // Flags before and after, in the order connect, setting, read follow-up, write pending.
    struct flags {
        bool connect, setting, follow_up, write;
    };
    struct row {
        const char* what;
        flags before;
        const char* type;
        std::string data;
        step expected;
        bool show, run, log_flash, chain_flash;
        flags after;
    };
    const flags none{false, false, false, false};
    const row rows[] = {
        {"a run acknowledgement stays out of the dialogs", none, "DO", "RUN", step::nothing, false, false, false, false,
         none},
        {"a DO with a two-digit length is shown", none, "DO", "0123456789", step::show_text, true, false, false, false,
         none},
        {"other acknowledgements are shown", none, "RF", "SAVED", step::show_text, true, false, false, false, none},
        {"the first message after a connect is shown unexamined", {true, false, false, false}, "DO", "RUN",
         step::show_text, true, false, false, false, none},
        {"a connect waits behind a flash answer", {true, false, false, false}, "MO", "FLASH", step::flash_written,
         false, false, true, false, {true, false, false, false}},
        {"and behind a register answer", {true, false, false, false}, "RO", "LOADED", step::registers_loaded, false,
         false, false, false, {true, false, false, false}},
        {"the register-read follow-up restarts the device", {false, false, true, false}, "RF", "SAVED",
         step::show_text, true, true, false, false, none},
        {"it restarts the device on a DO too", {false, false, true, false}, "DO", "STOP", step::nothing, false, true,
         false, false, none},
        {"a connect answer does not end the follow-up", {true, false, true, false}, "DO", "RUN", step::show_text, true,
         false, false, false, {false, false, true, false}},
        {"flash written by the user's command is logged", none, "MO", "FLASH", step::flash_written, false, false, true,
         false, none},
        {"flash written after a register write is not", {false, false, false, true}, "MO", "FLASH",
         step::flash_written, false, false, false, false, none},
        {"registers loaded from a file", none, "RO", "LOADED", step::registers_loaded, false, false, false, false, none},
        {"registers loaded for a network change chain the flash", {false, false, false, true}, "RO", "LOADED",
         step::registers_loaded, false, false, false, true, {false, false, false, true}},
        {"a dump that was asked for", {false, true, false, false}, "RS", dump(), step::register_dump, false, false,
         false, false, none},
        {"a read waits for its dump through other messages", {false, true, false, false}, "DO", "STOP", step::nothing,
         false, false, false, false, {false, true, false, false}},
        {"a dump nobody asked for is only shown", none, "RS", dump(), step::show_text, true, false, false, false, none},
        {"firmware messages without an upload are only shown", none, "FO", "DONE", step::show_text, true, false, false,
         false, none},
    };
    for (const row& r : rows) {
        cf::state s;
        s.connect_requested = r.before.connect;
        s.setting_requested = r.before.setting;
        s.register_read_follow_up = r.before.follow_up;
        s.register_write_pending = r.before.write;
        const cf::decision d = feed(s, r.type, r.data);
        EXPECT_EQ(d.what, r.expected) << r.what;
        EXPECT_EQ(d.show, r.show) << r.what;
        EXPECT_EQ(d.run_device, r.run) << r.what;
        EXPECT_EQ(d.log_flash, r.log_flash) << r.what;
        EXPECT_EQ(d.chain_flash, r.chain_flash) << r.what;
        EXPECT_EQ(s.connect_requested, r.after.connect) << r.what;
        EXPECT_EQ(s.setting_requested, r.after.setting) << r.what;
        EXPECT_EQ(s.register_read_follow_up, r.after.follow_up) << r.what;
        EXPECT_EQ(s.register_write_pending, r.after.write) << r.what;
        EXPECT_FALSE(s.firmware_updating) << r.what;
    }
}

TEST(CommandFlow, NetworkChangeChainsRegisterWriteFlashAndDisconnect) {
    cf::state s;
    s.register_write_pending = true;
    const auto loaded = feed(s, "RO", "LOADED");
    EXPECT_TRUE(loaded.chain_flash);
    EXPECT_TRUE(s.register_write_pending) << "pending until the flash is written";
    EXPECT_EQ(feed(s, "DO", "STOP").what, step::nothing);
    const auto flashed = feed(s, "MO", "FLASH");
    EXPECT_EQ(flashed.what, step::flash_written);
    EXPECT_FALSE(flashed.log_flash);
    EXPECT_FALSE(s.register_write_pending);
    // A second MO (a plain flash write later) is logged.
    EXPECT_TRUE(feed(s, "MO", "FLASH").log_flash);
}

TEST(CommandFlow, FirmwareMessagesGiveProgressAndOneEnding) {
    struct row {
        const char* type;
        const char* data;
        step expected;
        int progress;
        bool still_updating;
    };
    const row rows[] = {
        {"FA", "START", step::firmware_progress, -1, true},  {"FR", "42", step::firmware_progress, 42, true},
        {"FR", " 7 ", step::firmware_progress, 7, true},     {"FR", "150", step::firmware_progress, 0, true},
        {"FR", "x1", step::firmware_progress, 0, true},      {"FR", "-2", step::firmware_progress, 0, true},
        {"FP", "-1", step::firmware_progress, 0, true},      {"FP", "42", step::firmware_progress, 42, true},
        {"FP", "100", step::firmware_finished, 0, false},    {"FO", "", step::firmware_finished, 0, false},
        {"FX", "BAD", step::firmware_failed, 0, false},      {"FZ", "?", step::nothing, 0, true},
    };
    for (const row& r : rows) {
        cf::state s;
        s.firmware_started();
        s.firmware_watchdog = 50;
        const auto d = feed(s, r.type, r.data);
        EXPECT_EQ(d.what, r.expected) << r.type << r.data;
        if (r.expected == step::firmware_progress) EXPECT_EQ(d.progress.signal_value(), r.progress) << r.type << r.data;
        EXPECT_EQ(s.firmware_updating, r.still_updating) << r.type;
        EXPECT_EQ(s.firmware_watchdog, 0) << "every firmware message feeds the watchdog";
    }
    EXPECT_EQ(cf::firmware_percent("99999999999999999999"), 0);
    EXPECT_EQ(cf::firmware_percent("+5"), 5);
    EXPECT_EQ(cf::firmware_percent(""), 0);
}

TEST(CommandFlow, WatchdogGivesUpAfterThreeHundredSilentTicksOnce) {
    cf::state s;
    EXPECT_EQ(s.watchdog_tick().what, step::nothing) << "no upload, no watchdog";
    s.firmware_started();
    for (int i = 0; i < 150; ++i) ASSERT_EQ(s.watchdog_tick().what, step::nothing);
    feed(s, "FR", "10"); // progress restarts the count
    int ticks = 0;
    while (s.watchdog_tick().what == step::nothing && ticks < 1000) ++ticks;
    EXPECT_EQ(ticks, cf::kFirmwareTimeoutTicks);
    EXPECT_FALSE(s.firmware_updating);
    EXPECT_EQ(s.firmware_watchdog, 0);
    EXPECT_EQ(s.watchdog_tick().what, step::nothing) << "gives up once";
    // A late completion after the time-out is only a message.
    EXPECT_EQ(feed(s, "FO", "DONE").what, step::show_text);
    // A new upload waits the full time again.
    s.firmware_started();
    for (int i = 0; i < cf::kFirmwareTimeoutTicks; ++i) ASSERT_EQ(s.watchdog_tick().what, step::nothing);
    EXPECT_EQ(s.watchdog_tick().what, step::firmware_timeout);
}

TEST(UserSettings, FalsePositiveRowsMatchInSinglePrecisionOnly) {
    EXPECT_EQ(user_settings::false_positive_row(65.87f), 4);
    EXPECT_EQ(user_settings::false_positive_row(170.3f), 0);
    EXPECT_EQ(user_settings::false_positive_row(80.91f), -1) << "the default set matches no row";
    EXPECT_EQ(user_settings::false_positive_row(float(65.87 + 1e-5)), -1);
    EXPECT_EQ(user_settings::kFalsePositiveRates[0][2], 0.00000227f);
}

TEST(UserSettings, ApplySendsTheRecordOnlyForAChangedSelection) {
    TAVRIN::DadodUz::configurations_t cfg;
    std::memset(&cfg, 0xA5, sizeof cfg);
    const auto before = cfg;
    user_settings::selection last{0, 0, 0, 1};
    EXPECT_FALSE(user_settings::apply_selection({0, 0, 0, 1}, last, cfg));
    EXPECT_EQ(std::memcmp(&cfg, &before, sizeof cfg), 0);

    ASSERT_TRUE(user_settings::apply_selection({2, 1, 0, 3}, last, cfg));
    EXPECT_EQ(cfg.sync_mode, 2);
    EXPECT_EQ(cfg.sync_input_polarity, 1);
    EXPECT_EQ(cfg.sync_output_polarity, 0);
    EXPECT_EQ(cfg.threshold_coe[0], 70.51f);
    EXPECT_EQ(cfg.threshold_coe[3], 8.43f);
    // Every other byte is as received.
    auto masked = cfg;
    auto expect = before;
    for (auto* c : {&masked, &expect}) {
        c->sync_mode = c->sync_input_polarity = c->sync_output_polarity = 0;
        std::memset(c->threshold_coe, 0, sizeof c->threshold_coe);
    }
    EXPECT_EQ(std::memcmp(&masked, &expect, sizeof cfg), 0);

    // A combo showing no item keeps its field; an unknown rate keeps the thresholds.
    cfg.sync_input_polarity = 7;
    ASSERT_TRUE(user_settings::apply_selection({1, -1, 1, 9}, last, cfg));
    EXPECT_EQ(cfg.sync_input_polarity, 7);
    EXPECT_EQ(cfg.threshold_coe[0], 70.51f);
}

TEST(UserSettings, TypedAddressesAndPorts) {
    for (const char* ok : {"192.168.1.10", "0.0.0.0", "255.255.255.255", "127.0.0.1"})
        EXPECT_TRUE(user_settings::valid_ipv4(ok)) << ok;
    for (const char* bad : {"192.168.1", "192.168.1.10.", "256.1.1.1", "abc", "", "1..2.3", " 1.2.3.4", "1.2.3.4 ",
                            "1.2.3.-4", "1.2.3.0004", "1,2,3,4"})
        EXPECT_FALSE(user_settings::valid_ipv4(bad)) << bad;
    for (const char* ok : {"1", "2000", "65535"}) EXPECT_TRUE(user_settings::valid_port(ok)) << ok;
    for (const char* bad : {"0", "70000", "abc", "", "-1", "20 00", "123456", "+80"})
        EXPECT_FALSE(user_settings::valid_port(bad)) << bad;
    EXPECT_EQ(user_settings::network_error({"192.168.1.10", "2000", "192.168.1.15", "5000"}), "");
    EXPECT_EQ(user_settings::network_error({"192.168.1.10", "2000", "192.168.1", "5000"}),
              "PC IP \"192.168.1\" is not a valid IPv4 address (four numbers 0-255 separated by dots).");
    EXPECT_EQ(user_settings::network_error({"192.168.1.10", "70000", "192.168.1.15", "5000"}),
              "GX Port \"70000\" is not a valid port (a number from 1 to 65535).");
}
