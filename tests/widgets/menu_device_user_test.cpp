// The operator's device settings dialog on its own: the form, Apply, the
// configuration it shows, the network change with its checks, firmware file
// choice, progress and the message log.
#include "menus/menu_device_user.h"
#include "tests/support/patterned_record.h"
#include "tests/support/qt_fixtures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTextEdit>

#include <cstring>

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;

class menu_device_user_test : public widget_test {
protected:
    template <class T>
    T* get(const char* name) {
        return control<T>(&dialog, name);
    }
    void click(const char* name) { get<QPushButton>(name)->click(); }

    // A record with every byte patterned, so that any byte the dialog touches shows.
    static cfg_t patterned() {
        cfg_t c = patterned_record();
        c.sync_output_polarity = 1;
        c.sync_input_polarity = 0;
        c.sync_mode = 2;
        c.threshold_coe[0] = 80.91f;
        return c;
    }

    menu_device_user dialog;
};

} // namespace

TEST_F(menu_device_user_test, FormMatchesTheOperatorsDialog) {
    EXPECT_EQ(dialog.windowTitle(), "GX Device Settings");
    auto* tabs = get<QTabWidget>("tabFunction");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "Functions");
    EXPECT_EQ(tabs->tabText(1), "Update");
    EXPECT_EQ(tabs->currentWidget()->objectName(), "tabUpdate") << "opens on Update";
    EXPECT_EQ(tabs->widget(0)->objectName(), "tabFunctions");

    struct check_row { const char* name; const char* text; bool checked; };
    for (const auto& r : {check_row{"cb_zigzag_filling", "Zigzag Filling", true}, {"cb_real_ambient", "Real Ambient", false},
                          {"cb_line_filling", "Line Filling", true}, {"cb_deflaring", "Deflaring", false}}) {
        auto* c = get<QCheckBox>(r.name);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->text(), r.text);
        EXPECT_EQ(c->isChecked(), r.checked) << r.name;
    }
    struct spin_row { const char* name; const char* label; const char* text; double lo, hi, value; };
    for (const auto& r : {spin_row{"sb_left_offset", "lel_left_offset", "left_offset", 0, 1000, 0},
                          {"sb_right_offset", "lel_right_offset", "right_offset", -1000, 1000, 0},
                          {"sb_retro", "lel_retro", "retro_", 1, 1000, 450},
                          {"sb_depth_diff_deflaring", "lel_depth_diff_deflaring", "depth_diff", 1, 10000, 1400},
                          {"sb_depth_diff_zig", "lel_depth_diff_zig", "depth_diff", 1, 10000, 500},
                          {"sb_smoothing_factor", "lel_smoothing_factor", "smoothing_factor", 1, 1000, 600}}) {
        auto* s = get<QDoubleSpinBox>(r.name);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->minimum(), r.lo) << r.name;
        EXPECT_EQ(s->maximum(), r.hi) << r.name;
        EXPECT_EQ(s->decimals(), 0) << r.name;
        EXPECT_EQ(s->value(), r.value) << r.name;
        EXPECT_EQ(get<QLabel>(r.label)->text(), r.text);
    }
    const QString hl = QString("High") + QChar(0x2192) + "Low";
    const QString lh = QString("Low") + QChar(0x2192) + "High";
    struct combo_row { const char* name; QStringList items; int index; };
    for (const auto& r : {combo_row{"tg_sync_mode", {"Master", "Slave", "Capture"}, 0},
                          combo_row{"tg_input_sync", {hl, lh}, 0}, combo_row{"tg_output_sync", {hl, lh}, 0},
                          combo_row{"tg_fpr_adaptive", {"0%", "0.1%", "1%", "5%", "10%"}, 1}}) {
        auto* c = get<QComboBox>(r.name);
        ASSERT_NE(c, nullptr);
        QStringList items;
        for (int i = 0; i < c->count(); ++i) items << c->itemText(i);
        EXPECT_EQ(items, r.items) << r.name;
        EXPECT_EQ(c->currentIndex(), r.index) << r.name;
    }
    struct edit_row { const char* name; const char* text; bool read_only; };
    for (const auto& r : {edit_row{"le_gx_ip", "192.168.1.10", false}, {"le_gx_port", "2000", false},
                          {"le_pc_ip", "192.168.1.15", false}, {"le_pc_port", "2000", false},
                          {"le_gateway", "192.168.1.1", true}, {"le_network", "255.255.255.0", true},
                          {"le_fw_file", "", false}}) {
        auto* e = get<QLineEdit>(r.name);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->text(), r.text);
        EXPECT_EQ(e->isReadOnly(), r.read_only) << r.name;
    }
    struct button_row { const char* name; const char* text; };
    for (const auto& r : {button_row{"btn_apply", "Apply"}, {"btn_change_network", "Change Connection Settings"},
                          {"btn_fw_file", "..."}, {"btn_fw_upload", "Upload"}, {"btn_reset", "GX LiDAR Reset"},
                          {"btn_clear", "Clear"}})
        EXPECT_EQ(get<QPushButton>(r.name)->text(), r.text);
    EXPECT_EQ(get<QLabel>("lel_function")->text(), "Fucntions");
    EXPECT_EQ(get<QLabel>("lel_fpr_adaptive")->text(), "False Positive Rate");
    EXPECT_EQ(get<QLabel>("lel_connection_settings")->text(), "Connection Settings");
    EXPECT_EQ(get<QLabel>("lel_firmware_update")->text(), "Firmware Update (.bin)");
    auto* bar = get<QProgressBar>("pb_firmware_update");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_TRUE(get<QTextEdit>("te_log")->toPlainText().isEmpty());
}

TEST_F(menu_device_user_test, ApplySendsParametersEveryTimeAndTheRecordOnlyAfterAChange) {
    std::vector<std::vector<int>> lists;
    QObject::connect(&dialog, &menu_device_user::send_menu_apply_data_procssing,
                     [&](std::vector<int>& p) { lists.push_back(p); });
    std::vector<cfg_t> sent;
    QObject::connect(&dialog, &menu_device_user::send_menu_apply_setting, [&](cfg_t& c) { sent.push_back(c); });
    cfg_t received = patterned();
    dialog.get_menu_current_setting(received);

    get<QDoubleSpinBox>("sb_right_offset")->setValue(-12);
    get<QDoubleSpinBox>("sb_retro")->setValue(77);
    get<QCheckBox>("cb_deflaring")->setChecked(true);
    click("btn_apply");
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0], (std::vector<int>{1, 1, 0, 1, 0, -12, 77, 1400, 500, 600}));
    EXPECT_TRUE(sent.empty()) << "untouched combos send no record";

    get<QComboBox>("tg_fpr_adaptive")->setCurrentIndex(3);
    get<QComboBox>("tg_input_sync")->setCurrentIndex(1);
    click("btn_apply");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(lists.size(), 2u);
    const cfg_t& out = sent[0];
    EXPECT_EQ(out.threshold_coe[0], 70.51f);
    EXPECT_EQ(out.threshold_coe[1], 0.4904f);
    EXPECT_EQ(out.threshold_coe[2], 60.87f);
    EXPECT_EQ(out.threshold_coe[3], 8.43f);
    EXPECT_EQ(out.sync_output_polarity, 1);
    EXPECT_EQ(out.sync_input_polarity, 1) << "re-read from the combo";
    EXPECT_EQ(out.sync_mode, 2);
    // Everything else, reserved bytes and offset tables included, as received.
    cfg_t a = out, b = received;
    std::memset(a.threshold_coe, 0, sizeof a.threshold_coe);
    std::memset(b.threshold_coe, 0, sizeof b.threshold_coe);
    a.sync_input_polarity = b.sync_input_polarity = 0;
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);

    click("btn_apply");
    EXPECT_EQ(sent.size(), 1u) << "the same selection is not sent twice";
}

TEST_F(menu_device_user_test, ShownConfigurationSelectsRateAndGuardsSync) {
    struct row { float a0; int sync[3]; int expected_rate; int expected_sync[3]; };
    const row rows[] = {
        {65.87f, {1, 1, 1}, 4, {1, 1, 1}},
        {80.91f, {0, 1, 2}, 2, {0, 1, 2}}, // no row matches: the combo keeps its item (set to 2 below)
        {170.3f, {5, 5, 5}, 0, {0, 0, 0}},  // all three out of range: reset to 0
    };
    for (const row& r : rows) {
        get<QComboBox>("tg_fpr_adaptive")->setCurrentIndex(2);
        cfg_t c = patterned();
        c.threshold_coe[0] = r.a0;
        c.sync_output_polarity = r.sync[0];
        c.sync_input_polarity = r.sync[1];
        c.sync_mode = r.sync[2];
        dialog.get_menu_current_setting(c);
        EXPECT_EQ(get<QComboBox>("tg_fpr_adaptive")->currentIndex(), r.expected_rate) << r.a0;
        EXPECT_EQ(get<QComboBox>("tg_output_sync")->currentIndex(), r.expected_sync[0]) << r.a0;
        EXPECT_EQ(get<QComboBox>("tg_input_sync")->currentIndex(), r.expected_sync[1]) << r.a0;
        EXPECT_EQ(get<QComboBox>("tg_sync_mode")->currentIndex(), r.expected_sync[2]) << r.a0;
        EXPECT_EQ(dialog.current_configuration().sync_mode, r.expected_sync[2]);
        EXPECT_FALSE(dialog.isVisible()) << "receiving a record does not show the dialog";
    }
    // Mixed values pass unguarded: 0, 7, 1 keeps the 7.
    cfg_t c = patterned();
    c.sync_output_polarity = 0;
    c.sync_input_polarity = 7;
    c.sync_mode = 1;
    dialog.get_menu_current_setting(c);
    EXPECT_EQ(dialog.current_configuration().sync_input_polarity, 7);
}

TEST_F(menu_device_user_test, ShowingTheDialogAsksForTheConfigurationEveryTime) {
    QSignalSpy asks(&dialog, &menu_device_user::send_menu_current_setting);
    dialog.show();
    dialog.hide();
    dialog.show();
    EXPECT_EQ(asks.count(), 2);
}

TEST_F(menu_device_user_test, NetworkChangeSendsOnlyValidChangedSettings) {
    std::vector<std::vector<QString>> sent;
    QObject::connect(&dialog, &menu_device_user::send_menu_current_network,
                     [&](std::vector<QString>& m) { sent.push_back(m); });
    auto* pc_port = get<QLineEdit>("le_pc_port");
    pc_port->setText("5000");
    click("btn_change_network");
    EXPECT_TRUE(sent.empty()) << "nothing before the main window reported a network";

    std::vector<QString> current = {"192.168.1.10", "2000", "192.168.1.15", "2000"};
    dialog.get_menu_current_network(current);
    EXPECT_EQ(pc_port->text(), "2000");
    click("btn_change_network");
    EXPECT_TRUE(sent.empty()) << "unchanged fields send nothing";

    struct bad { const char* field; const char* text; };
    for (const auto& b : {bad{"le_pc_ip", "192.168.1"}, {"le_gx_port", "abc"}, {"le_pc_port", "70000"},
                          {"le_gx_ip", "300.1.1.1"}}) {
        auto* e = get<QLineEdit>(b.field);
        const QString old = e->text();
        e->setText(b.text);
        dialogs.seen.clear();
        click("btn_change_network");
        EXPECT_TRUE(sent.empty()) << b.text;
        ASSERT_EQ(dialogs.seen.size(), 1u) << b.text;
        EXPECT_EQ(dialogs.seen[0].title, "Warning");
        EXPECT_TRUE(dialogs.seen[0].text.contains(b.text)) << dialogs.seen[0].text.toStdString();
        e->setText(old);
    }

    pc_port->setText("5000");
    click("btn_change_network");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], (std::vector<QString>{"192.168.1.10", "2000", "192.168.1.15", "5000"}));
    EXPECT_EQ(dialog.current_network()[3], "5000");
    click("btn_change_network");
    EXPECT_EQ(sent.size(), 1u) << "the new values are now the current ones";
}

TEST_F(menu_device_user_test, FirmwareFileUploadProgressLogAndReset) {
    QSignalSpy uploads(&dialog, &menu_device_user::send_menu_firmware_upload);
    QSignalSpy resets(&dialog, &menu_device_user::send_menu_device_reset);
    dialogs.answer_file("/some/where/fw.bin");
    click("btn_fw_file");
    ASSERT_EQ(dialogs.seen.size(), 1u);
    EXPECT_EQ(dialogs.seen[0].type, dialog_seam::kind::open_file);
    EXPECT_EQ(dialogs.seen[0].title, "Choose the firmware upload file.");
    EXPECT_EQ(dialogs.seen[0].filter, "Firmware binary(*.bin)");
    EXPECT_EQ(dialogs.seen[0].dir, QDir::homePath());
    EXPECT_EQ(get<QLineEdit>("le_fw_file")->text(), "/some/where/fw.bin");
    click("btn_fw_upload");
    ASSERT_EQ(uploads.count(), 1);
    EXPECT_EQ(uploads[0][0].toString(), "/some/where/fw.bin");
    click("btn_fw_file"); // cancelled: the field is emptied
    EXPECT_TRUE(get<QLineEdit>("le_fw_file")->text().isEmpty());

    dialog.show();
    auto* bar = get<QProgressBar>("pb_firmware_update");
    dialog.get_menu_firmware_progress(-2);
    EXPECT_FALSE(bar->isVisible());
    dialog.get_menu_firmware_progress(40);
    EXPECT_EQ(bar->value(), 40);
    dialog.get_menu_firmware_progress(-1);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->value(), 0);

    dialog.get_menu_tcp_message("6::RO::LOADED");
    dialog.get_menu_tcp_message("5::MO::FLASH");
    EXPECT_EQ(get<QTextEdit>("te_log")->toPlainText(), "6::RO::LOADED\n5::MO::FLASH");
    click("btn_clear");
    EXPECT_TRUE(get<QTextEdit>("te_log")->toPlainText().isEmpty());
    click("btn_reset");
    EXPECT_EQ(resets.count(), 1);
}
