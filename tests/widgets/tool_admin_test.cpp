// The administrator tool bar: its buttons, the one receiver of each fetched
// record, the offset calibration's zeroing, what closing a tool puts back,
// and the lens calibration tool's life. Then the administrator's whole path
// against the emulator: the chooser, the sensor's settings, apply, flash.
#include "app/MainWindow.h"
#include "device/gx_protocol.h"
#include "emulator/gx_factory_registers.h"
#include "menus/menu_board_align.h"
#include "menus/menu_connection.h"
#include "menus/menu_depth_quality.h"
#include "menus/menu_device_admin.h"
#include "menus/menu_histogram.h"
#include "menus/menu_image_analysis.h"
#include "menus/menu_lens_cal.h"
#include "menus/menu_offset_cal.h"
#include "logic/filter_list.h"
#include "logic/user_settings.h"
#include "tests/support/emulator_process.h"
#include "tests/support/qt_fixtures.h"
#include "tools/tool_admin.h"
#include "tools/tool_user.h"

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;
using receiver = tool_admin::receiver;

class tool_admin_test : public widget_test {
protected:
    void SetUp() override {
        widget_test::SetUp();
        QObject::connect(&bar, &tool_admin::send_tool_apply_admin, &bar, [this](cfg_t& c) { applied.push_back(c); });
        QObject::connect(&bar, &tool_admin::send_tool_apply_data_processing, &bar,
                         [this](std::vector<int>& p) { lists.push_back(p); });
    }

    static cfg_t sensor_record() {
        cfg_t c{};
        c.dual_channel = 1;
        for (int i = 0; i < 96; ++i) c.vcsel_offset[i] = static_cast<std::uint16_t>(i + 1);
        for (int i = 0; i < 200; ++i) c.spad_offset[i] = static_cast<std::uint8_t>(i + 1);
        c.filli = 1234;
        c.emitter_dwidth = 6.5f;
        c.fps = 25;
        return c;
    }

    tool_admin bar;
    std::vector<cfg_t> applied;
    std::vector<std::vector<int>> lists;
};

} // namespace

TEST_F(tool_admin_test, ButtonsInOrderWithTheirTipsAndIcons) {
    const struct {
        const char* name;
        const char* tip;
        const char* icon;
    } buttons[] = {
        {"btn_device_admin", "Device Setting(Admin)", "icon_device"},
        {"btn_status", "Status", "icon_status"},
        {"btn_histogram", "Histogram Viewer", "icon_histogram_viewer"},
        {"btn_image_analysis", "Image Analysis", "icon_image_analysis"},
        {"btn_board_align", "Board Align", "icon_board_align"},
        {"btn_offset_cal", "Offset Calibration", "icon_offset_cal"},
        {"btn_lens_cal", "Lens-SPAD Calibration", "icon_lens_cal"},
        {"btn_depth_quality", "Depth Quality", "icon_depth_quality"},
    };
    const auto found = bar.findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(found.size(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(found[i]->objectName(), buttons[i].name);
        EXPECT_EQ(found[i]->toolTip(), buttons[i].tip);
        EXPECT_EQ(found[i]->styleSheet(),
                  QString("QPushButton{image: url(:/icon/icon/%1.png)}").arg(buttons[i].icon));
    }
}

TEST_F(tool_admin_test, EachRecordReachesExactlyOneReceiverByPriority) {
    enum tool { device = 1, histogram = 2, image = 4, board = 8, offset = 16, lens = 32, quality = 64 };
    const struct {
        int open;
        receiver expected;
    } cases[] = {
        {0, receiver::none},
        {histogram, receiver::histogram},
        {device | histogram, receiver::device_admin},
        {image | board | offset, receiver::image_analysis},
        {board | offset, receiver::board_align},
        {offset | lens, receiver::offset_cal},
        {lens | quality, receiver::lens_cal},
        {quality, receiver::depth_quality},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.expected));
        tool_admin t;
        QSignalSpy requests(&t, &tool_admin::send_tool_current_setting);
        if (c.open & device) t.device_admin->load_preset(menu_device_admin::current_row);
        if (c.open & histogram) t.histogram->show();
        if (c.open & image) t.image_analysis->show();
        if (c.open & board) t.board_align->show();
        if (c.open & offset) t.offset_cal->show();
        if (c.open & lens) t.findChild<QPushButton*>("btn_lens_cal")->click();
        if (c.open & quality) t.findChild<QPushButton*>("btn_depth_quality")->click();
        EXPECT_EQ(requests.count(), __builtin_popcount(static_cast<unsigned>(c.open))) << "every tool asks once";
        EXPECT_EQ(t.setting_requested, c.open != 0);
        cfg_t record = sensor_record();
        EXPECT_EQ(t.receive_current_setting(record), c.expected);
        EXPECT_FALSE(t.setting_requested);
        EXPECT_EQ(t.lens_cal_mode, c.expected == receiver::lens_cal);
        EXPECT_EQ(t.has_record(), c.expected != receiver::none && c.expected != receiver::device_admin);
        if (c.open & device) {
            EXPECT_TRUE(t.device_admin->isVisible());
        }
    }
}

TEST_F(tool_admin_test, OffsetCalibrationMeasuresWithoutTablesAndClosingPutsThemBack) {
    bar.findChild<QPushButton*>("btn_offset_cal")->click();
    ASSERT_TRUE(bar.offset_cal->is_open());
    ASSERT_EQ(lists.size(), 1u);
    const auto filters = filter_list::read(lists[0]);
    ASSERT_TRUE(filters.has_value());
    EXPECT_FALSE(filters->any()) << "every filter off first";
    cfg_t record = sensor_record();
    bar.receive_current_setting(record);
    ASSERT_EQ(applied.size(), 1u);
    const cfg_t& zeroed = applied[0];
    EXPECT_EQ(zeroed.dual_channel, 0);
    EXPECT_EQ(zeroed.vcsel_offset[95], 0);
    EXPECT_EQ(zeroed.spad_offset[199], 0);
    EXPECT_EQ(zeroed.filli, 1234) << "only the tables are cleared";
    EXPECT_EQ(zeroed.emitter_dwidth, 6.5f);
    EXPECT_EQ(zeroed.fps, 25);
    EXPECT_EQ(zeroed.threshold_coe[0], user_settings::kFalsePositiveRates[0][0]) << "and no false returns";
    EXPECT_EQ(bar.offset_cal->current_configuration().threshold_coe[3], user_settings::kFalsePositiveRates[0][3]);

    bar.offset_cal->close();
    ASSERT_EQ(applied.size(), 2u);
    const cfg_t original = sensor_record();
    EXPECT_EQ(std::memcmp(&applied[1], &original, sizeof original), 0) << "the record as received";
}

TEST_F(tool_admin_test, AToolClosedBeforeAnyRecordPutsNothingBack) {
    for (const char* button :
         {"btn_histogram", "btn_image_analysis", "btn_board_align", "btn_offset_cal", "btn_depth_quality"})
        bar.findChild<QPushButton*>(button)->click();
    bar.depth_quality->close();
    bar.histogram->close();
    bar.image_analysis->hide();
    bar.board_align->close();
    bar.offset_cal->close();
    EXPECT_TRUE(applied.empty());
    EXPECT_EQ(lists.size(), 5u);
}

TEST_F(tool_admin_test, LensCalibrationToolLivesFromItsButtonToItsClose) {
    auto* button = bar.findChild<QPushButton*>("btn_lens_cal");
    button->click();
    QPointer<menu_lens_cal> first = bar.lens_cal;
    ASSERT_TRUE(first && first->isVisible());
    EXPECT_EQ(first->windowModality(), Qt::WindowModal);
    cfg_t record = sensor_record();
    bar.receive_current_setting(record);
    EXPECT_TRUE(bar.lens_cal_mode) << "frames now go to the lens tool alone";

    // A second tool; the older one closing goes alone.
    button->click();
    QPointer<menu_lens_cal> second = bar.lens_cal;
    ASSERT_NE(first, second);
    first->close();
    pump(20);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(bar.lens_cal, second);
    ASSERT_EQ(applied.size(), 1u) << "the record the tool started from is put back";

    second->close();
    pump(20);
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(bar.lens_cal, nullptr);
    EXPECT_FALSE(bar.lens_cal_mode);
    EXPECT_EQ(applied.size(), 2u);
}

TEST_F(tool_admin_test, ARequestNobodyAnswersLeavesNothingWaiting) {
    {
        MainWindow w(nullptr, true);
        tool_admin* admin = w.admin_tool();
        admin->device_admin->load_preset(menu_device_admin::current_row); // "GX (Current)" without a sensor
        EXPECT_EQ(dialogs.boxes_with_text("Please retry after connect GX device."), 1);
        EXPECT_FALSE(admin->device_admin->waiting_for_current_setting());
        EXPECT_FALSE(admin->setting_requested);
        admin->histogram->show();
        cfg_t record = sensor_record();
        EXPECT_EQ(admin->receive_current_setting(record), receiver::histogram)
            << "a later record goes to the tool that asked for it";
    }
    QFile::remove("device.conf");
}

// ------------------------------------------------------------------ end to end

TEST_F(tool_admin_test, AdministratorReadsChangesAppliesAndFlashesTheSensor) {
    emulator_process emu; // a unit with its factory calibration tables
    ASSERT_TRUE(emu.start());
    {
        MainWindow w(nullptr, true);
        w.user_tool()->connection->set_connection_values("127.0.0.1", emu.port(), "127.0.0.1", 0);
        w.get_main_connect_status(true);
        ASSERT_NE(w.device_handle(), nullptr);
        ASSERT_TRUE(wait_until([&] { return w.frames_emitted() > 0; }));
        tool_admin* admin = w.admin_tool();
        menu_device_admin* dlg = admin->device_admin;

        auto read_current = [&] {
            dialogs.answer_modal([](QDialog* chooser) {
                chooser->findChild<QListWidget*>()->setCurrentRow(menu_device_admin::current_row);
                chooser->findChild<QPushButton*>("btn_preset_ok")->click();
            });
            admin->findChild<QPushButton*>("btn_device_admin")->click();
            return wait_until([&] { return dlg->isVisible() && !dlg->waiting_for_current_setting(); }, 10000);
        };
        ASSERT_TRUE(read_current());
        ASSERT_NE(control<QSpinBox>(dlg, "sb_samples")->value(), 300);

        control<QSpinBox>(dlg, "sb_samples")->setValue(300);
        control<QComboBox>(dlg, "tg_sync_mode")->setCurrentIndex(2);
        control<QPushButton>(dlg, "btn_apply_setting")->click();
        dlg->hide();
        ASSERT_TRUE(read_current()) << "the settings are read back from the sensor";
        EXPECT_EQ(control<QSpinBox>(dlg, "sb_samples")->value(), 300);
        EXPECT_EQ(control<QComboBox>(dlg, "tg_sync_mode")->currentIndex(), 2);

        // Opening the offset calibration clears the sensor's tables; closing puts them back.
        admin->findChild<QPushButton*>("btn_offset_cal")->click();
        ASSERT_TRUE(wait_until([&] { return admin->has_record(); }, 10000));
        EXPECT_NE(admin->tool_record().spad_offset[0] | admin->tool_record().spad_offset[150], 0)
            << "the sensor had tables to clear";
        admin->offset_cal->close();

        control<QPushButton>(dlg, "btn_write_flash")->click();
        ASSERT_TRUE(wait_until([&] { return w.device_handle() == nullptr; }, 15000)) << "a flash write disconnects";
        std::ifstream in(emu.state_file());
        std::stringstream text;
        text << in.rdbuf();
        std::vector<gx::register_record> records;
        std::string error;
        ASSERT_TRUE(gx::parse_register_text(text.str(), records, error)) << error;
        gx::register_set flash = gx::default_registers();
        gx::apply_register_records(records, flash);
        EXPECT_EQ(flash.config.target_samples, 300);
        EXPECT_EQ(flash.config.sync_mode, 2);
        EXPECT_EQ(std::memcmp(flash.config.spad_offset, admin->tool_record().spad_offset, 200), 0)
            << "the tables were put back before the flash write";
    }
    EXPECT_TRUE(QFile::remove("device.conf")) << "an administrator's session leaves its preset";
}
