// Every device command the operator's settings dialog can start, from the
// button press through the main window to the sensor's answer, against the
// emulator on loopback with the window's own timers running.
#include "app/MainWindow.h"
#include "device/gx_protocol.h"
#include "emulator/gx_factory_registers.h"
#include "tests/support/emulator_process.h"
#include "menus/menu_connection.h"
#include "menus/menu_device_user.h"
#include "tools/tool_admin.h"
#include "tests/support/qt_fixtures.h"
#include "tools/tool_user.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTextEdit>

#include <fstream>
#include <memory>
#include <sstream>

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class DeviceSettingsFlowTest : public widget_test {
protected:
    void SetUp() override {
        widget_test::SetUp();
        // The network change writes into the home directory: give it one of its own.
        old_home = qgetenv("HOME");
        ASSERT_TRUE(home.isValid());
        qputenv("HOME", home.path().toUtf8());
    }
    void TearDown() override { qputenv("HOME", old_home); }

    // Starts the emulator with a flash whose synchronisation and false
    // positive rate differ from the dialog's initial items.
    void start_sensor(std::vector<std::string> args = {}) {
        gx::register_set regs = gx::default_registers();
        regs.config.sync_mode = 1;
        regs.config.sync_input_polarity = 1;
        regs.config.sync_output_polarity = 0;
        regs.config.threshold_coe[0] = 65.87f; // "10%"
        emu = std::make_unique<emulator_process>(std::move(args));
        std::ofstream(emu->state_file()) << gx::format_registers(regs);
        ASSERT_TRUE(emu->start());
    }

    void connect_window() {
        w = std::make_unique<MainWindow>();
        dlg = w->user_tool()->device_user;
        w->user_tool()->connection->set_connection_values("127.0.0.1", emu->port(), "127.0.0.1", 0);
        w->get_main_connect_status(true);
        ASSERT_NE(w->device_handle(), nullptr);
        ASSERT_TRUE(wait_until([&] { return w->frames_emitted() > 0; }));
    }

    template <class T>
    T* in_dialog(const char* name) {
        return control<T>(dlg, name);
    }
    void click(const char* name) { in_dialog<QPushButton>(name)->click(); }
    int combo(const char* name) { return in_dialog<QComboBox>(name)->currentIndex(); }
    QString dialog_log() { return in_dialog<QTextEdit>("te_log")->toPlainText(); }

    // Opens the dialog from the user tool bar and waits until it shows the
    // sensor's configuration (the read has ended when no request is pending).
    void open_dialog_and_read() {
        const auto before = w->frames_emitted();
        w->user_tool()->findChild<QPushButton*>("btn_device_user")->click();
        ASSERT_TRUE(dlg->isVisible());
        ASSERT_TRUE(wait_until([&] { return !w->user_tool()->setting_requested; }));
        // The device runs again after the read.
        ASSERT_TRUE(wait_until([&] { return w->frames_emitted() > before + 3; }));
    }

    bool disconnected(int timeout_ms = 15000) {
        return wait_until([&] { return w->device_handle() == nullptr; }, timeout_ms);
    }

    QString firmware(const char* name, bool corrupt) {
        const QString path = temp_path(name);
        EXPECT_TRUE(emulator_process::make_firmware(path.toStdString(), corrupt, 100000));
        return path;
    }

    QTemporaryDir home;
    QByteArray old_home;
    std::unique_ptr<emulator_process> emu;
    std::unique_ptr<MainWindow> w;
    menu_device_user* dlg = nullptr;
};


} // namespace

TEST_F(DeviceSettingsFlowTest, ShowingTheDialogReadsTheSensorsSettingsAndKeepsAcknowledgementsOut) {
    start_sensor();
    connect_window();
    // Both tool bars waiting: the user tool bar, whose dialog asked, is served first.
    w->admin_tool()->setting_requested = true;
    open_dialog_and_read();
    EXPECT_TRUE(w->admin_tool()->setting_requested) << "the dump went to one tool bar only";
    EXPECT_EQ(combo("tg_sync_mode"), 1);
    EXPECT_EQ(combo("tg_input_sync"), 1);
    EXPECT_EQ(combo("tg_output_sync"), 0);
    EXPECT_EQ(combo("tg_fpr_adaptive"), 4);
    EXPECT_EQ(dlg->current_configuration().fps, gx::default_registers().config.fps);
    EXPECT_TRUE(dialogs.seen.empty());
    // The first message after the connect reaches the dialog as it is; the
    // stop and run acknowledgements of the read never do.
    EXPECT_EQ(dialog_log(), "3::DO::RUN");

    // The register-read follow-up: saving the registers to a file restarts
    // the device, and its acknowledgement reaches the dialog.
    QSignalSpy logs(w.get(), &MainWindow::send_main_log_message);
    const QString regs = temp_path("registers.txt");
    w->get_main_register_read(regs);
    EXPECT_TRUE(spied_texts(logs).contains("[Device Setting] Save GX Register File : " + regs));
    const auto before = w->frames_emitted();
    ASSERT_TRUE(wait_until([&] { return dialog_log().contains("::RF::"); }));
    ASSERT_TRUE(wait_until([&] { return w->frames_emitted() > before + 3; })) << "the device runs again";
    EXPECT_NE(read_file(regs.toStdString()).find("SYNCMODE,INT32,1,1"), std::string::npos);
    EXPECT_FALSE(dialog_log().contains("::DO::STOP"));
}

TEST_F(DeviceSettingsFlowTest, ApplyReachesTheSensorAndARefusedRecordIsReported) {
    start_sensor();
    connect_window();
    open_dialog_and_read();
    QSignalSpy logs(w.get(), &MainWindow::send_main_log_message);
    in_dialog<QComboBox>("tg_sync_mode")->setCurrentIndex(2);
    in_dialog<QComboBox>("tg_fpr_adaptive")->setCurrentIndex(3);
    click("btn_apply");
    EXPECT_TRUE(spied_texts(logs).contains("[Device Setting] GX setting is updated"));
    EXPECT_TRUE(dialogs.seen.empty());

    // Read back from the sensor: the dialog shows what the sensor now holds,
    // not what was left in the combos.
    in_dialog<QComboBox>("tg_sync_mode")->setCurrentIndex(0);
    in_dialog<QComboBox>("tg_fpr_adaptive")->setCurrentIndex(0);
    dlg->hide();
    open_dialog_and_read();
    EXPECT_EQ(combo("tg_sync_mode"), 2);
    EXPECT_EQ(combo("tg_fpr_adaptive"), 3);
    EXPECT_EQ(dlg->current_configuration().threshold_coe[3], 8.43f);
    EXPECT_EQ(dlg->current_configuration().sync_input_polarity, 1);

    // A record the sensor refuses.
    cfg_t bad = dlg->current_configuration();
    bad.stream_mode = 9;
    dlg->get_menu_current_setting(bad);
    in_dialog<QComboBox>("tg_sync_mode")->setCurrentIndex(0);
    click("btn_apply");
    EXPECT_EQ(dialogs.boxes_with_text("Configuration is failed."), 1);
    EXPECT_NE(w->device_handle(), nullptr) << "a refused configuration keeps the connection";
}

TEST_F(DeviceSettingsFlowTest, NetworkChangeWritesTheFileLoadsItFlashesAndDisconnects) {
    start_sensor();
    connect_window();
    open_dialog_and_read();
    QSignalSpy close_all(w.get(), &MainWindow::send_main_close_all);
    in_dialog<QLineEdit>("le_pc_port")->setText("5000");
    click("btn_change_network");

    const QString path = QDir::homePath() + "/GX_connect_setting.txt";
    ASSERT_TRUE(path.startsWith(home.path()));
    const std::string port = std::to_string(emu->port());
    EXPECT_EQ(read_file(path.toStdString()), "GX_IP,UINT8,4,127,0,0,1\nGX_PORT,UINT16,1," + port +
                                                 "\nPC_IP,UINT8,4,127,0,0,1\nPC_PORT,UINT16,1,5000\n");
    ASSERT_TRUE(disconnected());
    ASSERT_EQ(dialogs.seen.size(), 2u);
    EXPECT_EQ(dialogs.seen[0].title, "notice");
    EXPECT_EQ(dialogs.seen[0].text, "GX Reigster Update Complete!\r\nPlease restart GX device .");
    EXPECT_EQ(dialogs.seen[1].text, "GX Flash Update Complete!\r\nPlease restart GX device .");
    EXPECT_EQ(close_all.count(), 1);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_TRUE(dialog_log().contains("::RO::"));
    EXPECT_TRUE(dialog_log().contains("::MO::"));
    // The sensor keeps the new addresses in its flash (and never uses them here).
    const std::string flash = read_file(emu->state_file());
    EXPECT_NE(flash.find("PC_PORT,UINT16,1,5000"), std::string::npos) << flash;
    EXPECT_NE(flash.find("GX_PORT,UINT16,1," + port), std::string::npos);

    // A network change without a connection writes the file and sends nothing.
    in_dialog<QLineEdit>("le_pc_port")->setText("6000");
    click("btn_change_network");
    EXPECT_NE(read_file(path.toStdString()).find("PC_PORT,UINT16,1,6000\n"), std::string::npos);
    EXPECT_EQ(dialogs.seen.size(), 2u);
}

TEST_F(DeviceSettingsFlowTest, FirmwareFromTheDialogCompletesOrFails) {
    for (const bool corrupt : {false, true}) {
        SCOPED_TRACE(corrupt ? "invalid image" : "valid image");
        start_sensor();
        connect_window();
        open_dialog_and_read();
        dialogs.seen.clear();
        const QString image = firmware(corrupt ? "bad.bin" : "good.bin", corrupt);
        dialogs.answer_file(image);
        click("btn_fw_file");
        std::vector<int> progress;
        QObject::connect(w.get(), &MainWindow::send_main_firmware_progress, [&](int v) { progress.push_back(v); });
        click("btn_fw_upload");
        ASSERT_TRUE(disconnected(30000));
        ASSERT_GE(dialogs.seen.size(), 3u);
        EXPECT_EQ(dialogs.seen[1].text, "Do you want to upload firmware?\n" + image);
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.front(), -1);
        EXPECT_EQ(progress.back(), -2);
        EXPECT_TRUE(in_dialog<QProgressBar>("pb_firmware_update")->isHidden()) << "-2 hides the bar";
        if (corrupt) {
            EXPECT_EQ(dialogs.boxes_with_text("Firmware Update Failed."), 1);
        } else {
            EXPECT_EQ(dialogs.boxes_with_text("Update Complete!\r\nDevice will automatically restart now."), 1);
            EXPECT_EQ(progress[progress.size() - 2], 100);
            EXPECT_FALSE(dlg->isVisible()) << "completion closes the dialogs";
        }
        w.reset();
        emu.reset();
    }
}

TEST_F(DeviceSettingsFlowTest, ResetAndAFailedRunBothDisconnect) {
    start_sensor();
    connect_window();
    open_dialog_and_read();
    click("btn_reset");
    ASSERT_EQ(dialogs.seen.size(), 1u);
    EXPECT_EQ(dialogs.seen[0].title, "notice");
    EXPECT_EQ(dialogs.seen[0].text, "Device is automatically restarted.");
    EXPECT_EQ(w->device_handle(), nullptr);
    EXPECT_FALSE(w->message_tick_timer()->isActive());

    // A sensor that answers the hello but no command: the run fails.
    w.reset();
    emu.reset();
    dialogs.seen.clear();
    start_sensor({"--mute-commands"});
    w = std::make_unique<MainWindow>();
    w->user_tool()->connection->set_connection_values("127.0.0.1", emu->port(), "127.0.0.1", 0);
    QSignalSpy buttons(w.get(), &MainWindow::send_main_btn_connect_control);
    // The window's event loop turns while the run command waits for its answer.
    int ticks_while_waiting = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] { ++ticks_while_waiting; });
    beat.start(10);
    w->get_main_connect_status(true);
    EXPECT_GT(ticks_while_waiting, 0) << "the window froze while the sensor was silent";
    EXPECT_EQ(dialogs.boxes_with_text("TCP device run command is failed."), 1);
    EXPECT_EQ(w->device_handle(), nullptr);
    ASSERT_FALSE(buttons.isEmpty());
    EXPECT_FALSE(buttons.last().at(0).toBool()) << "Connect is offered again";
}
