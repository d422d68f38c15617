// Main window: docks, title, start-up, connection failures, view relays.
#include "app/MainWindow.h"
#include "app/startup.h"
#include "interop/foxglove_server.h"
#include "device/ConfigManager.h"
#include "menus/menu_connection.h"
#include "menus/menu_device_admin.h"
#include "menus/menu_pointcloud.h"
#include "tests/support/comma_locale.h"
#include "tests/support/loopback.h"
#include "tests/support/qt_fixtures.h"
#include "tests/support/synthetic_frames.h"
#include "tools/tool_admin.h"
#include "tools/tool_log.h"
#include "tools/tool_playbar.h"
#include "tools/tool_user.h"
#include "viewers/viewer_image.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStatusBar>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextEdit>
#include <QTest>

namespace {

QStringList dock_names(const MainWindow& w) {
    QStringList names;
    for (QDockWidget* d : w.findChildren<QDockWidget*>()) names << d->objectName();
    names.sort();
    return names;
}

} // namespace

// Where the docks stand around the point cloud on screen: the user's tools
// on the left, the administrator's on the right, the pictures above the
// cloud, the play bar below it and the log below that.
void expect_docks_around_the_cloud(MainWindow& w) {
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const auto at = [&](const char* name) { return control<QDockWidget>(&w, name)->geometry(); };
    const QRect cloud = at("pointcloud_Dock"), user = at("user_Dock"), image = at("image_Dock");
    EXPECT_LT(user.right(), image.left());
    EXPECT_LT(user.right(), cloud.left());
    EXPECT_LE(user.top(), image.top());
    EXPECT_LT(image.bottom(), cloud.top());
    EXPECT_LT(cloud.bottom(), at("playbar_Dock").top());
    EXPECT_LT(at("playbar_Dock").bottom(), at("log_Dock").top());
    if (w.is_admin_mode()) {
        EXPECT_LT(cloud.right(), at("admin_Dock").left());
        EXPECT_LT(at("log_Dock").right(), at("admin_Dock").left());
    }
}

class MainWindowTest : public widget_test {};

TEST_F(MainWindowTest, UserModeHasFiveDocksAndThePlainTitle) {
    MainWindow w;
    EXPECT_EQ(w.windowTitle(), "RO Vezovad");
    EXPECT_FALSE(w.is_admin_mode());
    EXPECT_EQ(dock_names(w), (QStringList{"image_Dock", "log_Dock", "playbar_Dock", "pointcloud_Dock", "user_Dock"}));
    auto* cloud = control<QDockWidget>(&w, "pointcloud_Dock");
    ASSERT_NE(cloud, nullptr);
    EXPECT_EQ(w.centralWidget(), cloud);
    expect_docks_around_the_cloud(w);
    for (QDockWidget* d : w.findChildren<QDockWidget*>()) {
        EXPECT_TRUE(d->windowTitle().isEmpty()) << d->objectName().toStdString();
        EXPECT_NE(d->titleBarWidget(), nullptr) << d->objectName().toStdString();
        EXPECT_FALSE(d->isFloating());
    }
    EXPECT_EQ(w.pos(), QPoint(100, 100));
    EXPECT_EQ(w.device_handle(), nullptr);
}

TEST_F(MainWindowTest, AdminModeAddsTheRightDockAndTheTitleSuffix) {
    {
        MainWindow w(nullptr, true);
        EXPECT_EQ(w.windowTitle(), "RO Vezovad <ADMIN_MODE>");
        EXPECT_TRUE(dock_names(w).contains("admin_Dock"));
        EXPECT_EQ(dock_names(w).size(), 6);
        expect_docks_around_the_cloud(w);
    }
    EXPECT_TRUE(QFile::remove("device.conf")) << "the administrator's preset at exit";
}

TEST_F(MainWindowTest, OnlyAnAdministratorsSessionLeavesAPresetInTheWorkingDirectory) {
    const QString preset = QDir::current().filePath("device.conf");
    ASSERT_FALSE(QFile::exists(preset));
    {
        MainWindow w;
        EXPECT_FALSE(w.admin_tool()->device_admin->writes_preset_at_exit());
    }
    EXPECT_FALSE(QFile::exists(preset)) << "user mode writes nothing at exit";

    {
        MainWindow w(nullptr, true);
        std::vector<QString> network = {"127.0.0.1", "2001", "127.0.0.1", "5001"};
        emit w.send_main_current_network(network);
        TAVRIN::DadodUz::configurations_t cfg{};
        cfg.fps = 25;
        cfg.hv_bias = 27.5f;
        cfg.prf_period = 408; // 490 kHz
        w.admin_tool()->device_admin->get_menu_current_setting(cfg);
    }
    ASSERT_TRUE(QFile::exists(preset)) << "administrator mode writes the preset at exit";
    TAVRIN::ConfigManager store(4);
    ASSERT_TRUE(store.load(preset.toStdString()));
    std::vector<std::string> ip;
    std::vector<int> port, fps;
    std::vector<double> hv, prf;
    EXPECT_TRUE(store.get<std::string>(ip, "Connection-0", "device_ip_address"));
    EXPECT_TRUE(store.get<int>(port, "Connection-0", "local_port"));
    EXPECT_TRUE(store.get<int>(fps, "Device_settings-0", "fps"));
    EXPECT_TRUE(store.get<double>(hv, "Device_settings-0", "hv_bias"));
    EXPECT_TRUE(store.get<double>(prf, "Device_settings-0", "prf"));
    EXPECT_EQ(ip, std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(port, std::vector<int>{5001});
    EXPECT_EQ(fps, std::vector<int>{25});
    EXPECT_EQ(hv, std::vector<double>{27.5});
    EXPECT_EQ(prf, std::vector<double>{490});
    QFile::remove(preset);
}

TEST_F(MainWindowTest, MissingStyleSheetPrintsOneLineAndTheWindowStillOpens) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    testing::internal::CaptureStdout();
    const bool loaded = startup::load_style_sheet(*app, ":/no/such/style.qss");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(out, "Unable to set stylesheet, file not found\n");
    MainWindow w;
    w.show();
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindowTest, TheDarkStyleSheetIsCompiledIn) {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(startup::load_style_sheet(*app));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(app->styleSheet().contains("qss_icons/dark/rc/"));
    EXPECT_TRUE(QFile::exists(":/qss_icons/dark/rc/arrow_down.png")) << "the sheet's images resolve";
    EXPECT_TRUE(QFile::exists(":/icon/tavrin_logo.ico"));
    EXPECT_TRUE(QFile::exists(":/icon/icon/icon_play.png"));
    app->setStyleSheet(QString());
}

TEST_F(MainWindowTest, ConnectToAClosedPortWarnsAndLeavesNoDevice) {
    MainWindow w;
    menu_connection* c = w.user_tool()->connection;
    c->set_connection_values("127.0.0.1", closed_loopback_port(), "127.0.0.1", 0);
    QSignalSpy buttons(&w, &MainWindow::send_main_btn_connect_control);
    QSignalSpy failed(&w, &MainWindow::send_main_open_failed);
    QSignalSpy log(&w, &MainWindow::send_main_log_message);
    QElapsedTimer t;
    t.start();
    w.get_main_connect_status(true);
    EXPECT_LT(t.elapsed(), 5000) << "a refused connection must fail promptly";
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_EQ(dialogs.last_box()->title, "Warning");
    EXPECT_EQ(dialogs.last_box()->text, "Cannot connect to device. Please check the connection informations.");
    // The library's reason, beside the box: in the log pane and to whoever listens (standard error at start-up).
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString(), dialogs.last_box()->text);
    const QString reason = failed.at(0).at(1).toString();
    EXPECT_TRUE(reason.startsWith("127.0.0.1:")) << reason.toStdString();
    ASSERT_GE(log.count(), 1);
    EXPECT_EQ(log.at(0).at(0).toString(), "[Stream mode] Cannot connect: " + reason);
    EXPECT_EQ(w.device_handle(), nullptr);
    EXPECT_FALSE(w.message_tick_timer()->isActive());
    // The dialog is told it is not connected, never that it is.
    for (const auto& call : buttons) EXPECT_FALSE(call.at(0).toBool());
}

TEST_F(MainWindowTest, OpeningAFileThatIsNotARecordingWarns) {
    MainWindow w;
    const QString junk = temp_path("junk.bin");
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("definitely not a recording");
    f.close();
    w.user_tool()->file_path = junk;
    w.get_main_playmode_status(true);
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_EQ(dialogs.last_box()->text, "Cannot read the binary file. Please check the file path.");
    EXPECT_FALSE(w.frame_tick_timer()->isActive());
    // The user tool bar disconnects before the next file; that releases the handle.
    w.get_main_playmode_status(false);
    EXPECT_EQ(w.device_handle(), nullptr);
}

TEST_F(MainWindowTest, ViewRelaysEmitStoredValuesInOrder) {
    MainWindow w;
    std::vector<QString> order;
    QObject::connect(&w, &MainWindow::send_main_pointcloud_point_color, [&](int v) { order.push_back(QString("color %1").arg(v)); });
    QObject::connect(&w, &MainWindow::send_main_pointcloud_point_size, [&](double v) { order.push_back(QString("size %1").arg(v)); });
    QObject::connect(&w, &MainWindow::send_main_pointcloud_max_dist, [&](double v) { order.push_back(QString("max %1").arg(v)); });
    QObject::connect(&w, &MainWindow::send_main_pointcloud_min_dist, [&](double v) { order.push_back(QString("min %1").arg(v)); });
    tool_user* t = w.user_tool();
    t->pointcloud.point_color = 6;
    t->pointcloud.point_size = 3;
    t->pointcloud.max_distance = 12.5;
    t->pointcloud.min_distance = 0.5;
    w.get_main_pointcloud(false); // not applied: the stored (initial) values go out
    w.get_main_pointcloud(true);
    EXPECT_EQ(order, (std::vector<QString>{"color 4", "size 2", "max 200", "min 0", "color 6", "size 3", "max 12.5",
                                           "min 0.5"}));

    QSignalSpy grid(&w, &MainWindow::send_main_grid);
    QSignalSpy xy(&w, &MainWindow::send_main_xy_axis);
    w.get_main_grid(false);
    w.get_main_xy_axis(false);
    EXPECT_EQ(grid.count(), 0) << "a false request is ignored";
    EXPECT_EQ(xy.count(), 0);
    w.get_main_grid(true);
    w.get_main_xy_axis(true);
    EXPECT_EQ(grid.count(), 1);
    EXPECT_EQ(xy.count(), 1);
}

TEST_F(MainWindowTest, ImageRelayEmitsFifteenValuesInTheDocumentedOrder) {
    MainWindow w;
    QStringList order;
    auto watch_bool = [&](void (MainWindow::*signal)(bool), const QString& name) {
        QObject::connect(&w, signal, [&order, name](bool v) { order << QString("%1 %2").arg(name).arg(v); });
    };
    auto watch_double = [&](void (MainWindow::*signal)(double), const QString& name) {
        QObject::connect(&w, signal, [&order, name](double v) { order << QString("%1 %2").arg(name).arg(v); });
    };
    watch_bool(&MainWindow::send_main_image_auto_norm_ambient, "an_a");
    watch_bool(&MainWindow::send_main_image_auto_norm_depth, "an_d");
    watch_bool(&MainWindow::send_main_image_auto_norm_intensity, "an_i");
    watch_double(&MainWindow::send_main_image_min_val_ambient, "min_a");
    watch_double(&MainWindow::send_main_image_min_val_depth, "min_d");
    watch_double(&MainWindow::send_main_image_min_val_intensity, "min_i");
    watch_double(&MainWindow::send_main_image_max_val_ambient, "max_a");
    watch_double(&MainWindow::send_main_image_max_val_depth, "max_d");
    watch_double(&MainWindow::send_main_image_max_val_intensity, "max_i");
    watch_bool(&MainWindow::send_main_image_hist_mode_ambient, "h_a");
    watch_bool(&MainWindow::send_main_image_hist_mode_depth, "h_d");
    watch_bool(&MainWindow::send_main_image_hist_mode_intensity, "h_i");
    watch_bool(&MainWindow::send_main_image_grey_mode_ambient, "g_a");
    watch_bool(&MainWindow::send_main_image_grey_mode_depth, "g_d");
    watch_bool(&MainWindow::send_main_image_grey_mode_intensity, "g_i");

    // Not applied: the stored (initial) values go out.
    w.get_main_image(false);
    EXPECT_EQ(order, (QStringList{"an_a 0", "an_d 0", "an_i 0", "min_a 0", "min_d 0", "min_i 0", "max_a 500",
                                  "max_d 20000", "max_i 400", "h_a 0", "h_d 0", "h_i 0", "g_a 0", "g_d 0", "g_i 0"}));

    // Applied: every value of the tool bar's copy, each to its own signal.
    tool_user* t = w.user_tool();
    t->image.ambient = {true, 1, 11, false, true};
    t->image.depth = {false, 2, 22, true, false};
    t->image.intensity = {true, 3, 33, true, true};
    order.clear();
    w.get_main_image(true);
    EXPECT_EQ(order, (QStringList{"an_a 1", "an_d 0", "an_i 1", "min_a 1", "min_d 2", "min_i 3", "max_a 11",
                                  "max_d 22", "max_i 33", "h_a 0", "h_d 1", "h_i 1", "g_a 1", "g_d 0", "g_i 1"}));
    // ... and the image view holds them.
    const viewer_image* view = w.image_view();
    EXPECT_TRUE(view->settings(viewer_image::intensity).auto_norm);
    EXPECT_EQ(view->settings(viewer_image::depth).max_val, 22);
    EXPECT_TRUE(view->settings(viewer_image::ambient).grey_mode);
}

TEST_F(MainWindowTest, NetworkChangeWritesTheRegisterFileWithoutAConnection) {
    const QString home = tmp.path();
    const QByteArray old_home = qgetenv("HOME");
    qputenv("HOME", home.toUtf8());
    {
        QFile stale(home + "/GX_connect_setting.txt");
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("old contents that must go\nline 2\nline 3\nline 4\nline 5\n");
    }
    MainWindow w;
    std::vector<QString> msg = {"192.168.1.10", "2000", "192.168.1.15", "5000"};
    w.get_main_network_change(msg);
    QFile f(home + "/GX_connect_setting.txt");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
    EXPECT_EQ(QString::fromUtf8(f.readAll()),
              "GX_IP,UINT8,4,192,168,1,10\nGX_PORT,UINT16,1,2000\nPC_IP,UINT8,4,192,168,1,15\nPC_PORT,UINT16,1,5000\n");
    EXPECT_EQ(msg[0], "192,168,1,10") << "the caller's list is changed in place";
    EXPECT_TRUE(dialogs.seen.empty()) << "no message without a connection";
    qputenv("HOME", old_home);
}

TEST_F(MainWindowTest, CommandsWithoutADeviceSayWhatToDo) {
    MainWindow w;
    TAVRIN::DadodUz::configurations_t cfg{};
    w.get_main_apply_device(cfg);
    EXPECT_EQ(dialogs.boxes_with_text("Please, try again after connection."), 1);
    w.get_main_current_setting();
    EXPECT_EQ(dialogs.boxes_with_text("Please retry after connect GX device."), 1);
    const auto before = dialogs.seen.size();
    w.get_main_write_flash();
    w.get_main_device_reset();
    w.get_main_register_read("x");
    w.get_main_firmware_upload("x");
    std::vector<int> params(10, 1);
    w.get_main_apply_data_processing(params);
    EXPECT_EQ(dialogs.seen.size(), before) << "the other commands do nothing without a device";
}

TEST_F(MainWindowTest, SpeedChangeWithoutARecordingKeepsTheInterval) {
    MainWindow w;
    w.frame_tick_timer()->setInterval(100);
    QSignalSpy fps(&w, &MainWindow::send_main_playmode_FPS);
    w.get_main_playmode_speed(2.0);
    EXPECT_EQ(w.frame_tick_timer()->interval(), 100);
    ASSERT_EQ(fps.count(), 1);
    EXPECT_EQ(fps.at(0).at(0).toDouble(), 0.0);
}

// ---- connection dialog ----------------------------------------------------

TEST_F(MainWindowTest, ConnectionDialogParsesPortsAndRequests) {
    menu_connection dlg;
    EXPECT_EQ(dlg.windowTitle(), "GX Connection");
    EXPECT_TRUE(dlg.isModal() || dlg.windowModality() == Qt::ApplicationModal);
    auto* device_ip = control<QLineEdit>(&dlg, "le_device_ip");
    auto* device_port = control<QLineEdit>(&dlg, "le_device_port");
    auto* pc_ip = control<QLineEdit>(&dlg, "le_pc_ip");
    auto* pc_port = control<QLineEdit>(&dlg, "le_pc_port");
    auto* connect_btn = control<QPushButton>(&dlg, "btn_connect");
    auto* disconnect_btn = control<QPushButton>(&dlg, "btn_disconnect");
    ASSERT_TRUE(device_ip && device_port && pc_ip && pc_port && connect_btn && disconnect_btn);
    EXPECT_EQ(device_ip->text(), "192.168.1.10");
    EXPECT_EQ(device_port->text(), "2000");
    EXPECT_EQ(pc_ip->text(), "0.0.0.0");
    EXPECT_EQ(pc_port->text(), "0");
    EXPECT_EQ(device_ip->placeholderText(), "IP address");
    EXPECT_EQ(pc_port->placeholderText(), "port number");
    EXPECT_TRUE(connect_btn->isEnabled());
    EXPECT_FALSE(disconnect_btn->isEnabled());

    QSignalSpy status(&dlg, &menu_connection::send_menu_connect_status);
    device_port->setText("abc");
    device_ip->setText("127.0.0.1");
    pc_port->setText("6000");
    QTest::mouseClick(connect_btn, Qt::LeftButton);
    ASSERT_EQ(status.count(), 1);
    EXPECT_TRUE(status.at(0).at(0).toBool());
    EXPECT_EQ(dlg.device_port, 0) << "\"abc\" gives port 0";
    EXPECT_EQ(dlg.device_ip, "127.0.0.1");
    EXPECT_EQ(dlg.local_port, 6000);
    EXPECT_EQ(menu_connection::parse_port(" 12"), 12);
    EXPECT_EQ(menu_connection::parse_port("12x"), 0);
    EXPECT_EQ(menu_connection::parse_port(""), 0);

    dlg.get_menu_btn_connect_control(true);
    EXPECT_FALSE(connect_btn->isEnabled());
    EXPECT_TRUE(disconnect_btn->isEnabled());

    // Disconnect leaves the stored values alone; the edits stay visible.
    device_ip->setText("10.0.0.99");
    QTest::mouseClick(disconnect_btn, Qt::LeftButton);
    ASSERT_EQ(status.count(), 2);
    EXPECT_FALSE(status.at(1).at(0).toBool());
    EXPECT_EQ(dlg.device_ip, "127.0.0.1");
    EXPECT_EQ(device_ip->text(), "10.0.0.99");
    dlg.get_menu_btn_connect_control(false);
    EXPECT_TRUE(connect_btn->isEnabled());
    EXPECT_FALSE(disconnect_btn->isEnabled());
}

// ---- log pane -------------------------------------------------------------

TEST_F(MainWindowTest, LogLinesCarryTheTimePrefix) {
    EXPECT_EQ(tool_log::format_line(QTime(9, 5, 3), "hello"), "[09:05:03] hello");
    EXPECT_EQ(tool_log::format_line(QTime(23, 59, 59), ""), "[23:59:59] ");
    tool_log log;
    log.append_log("[Stream mode] Connect GX device");
    log.append_log("second");
    const QStringList lines = log.text().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(QRegularExpression("^\\[\\d\\d:\\d\\d:\\d\\d\\] \\[Stream mode\\] Connect GX device$").match(lines[0]).hasMatch())
        << lines[0].toStdString();
}

TEST_F(MainWindowTest, LogSaveClearAndFailures) {
    tool_log log;
    auto* save = control<QPushButton>(&log, "btn_save_log_file");
    auto* clear = control<QPushButton>(&log, "btn_clear");
    ASSERT_TRUE(save && clear);
    EXPECT_EQ(save->text(), "Save Log File (.txt)");

    // Saving an empty log creates an empty file.
    const QString empty = temp_path("empty.txt");
    dialogs.answer_file(empty);
    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_TRUE(QFile::exists(empty));
    EXPECT_EQ(QFileInfo(empty).size(), 0);
    EXPECT_EQ(dialogs.seen.back().title, "Save log file");
    EXPECT_EQ(dialogs.seen.back().filter, "Log File (*.txt");

    log.append_log("one");
    log.append_log("two");
    const QString path = temp_path("log.txt");
    dialogs.answer_file(path);
    QTest::mouseClick(save, Qt::LeftButton);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString saved = QString::fromUtf8(f.readAll());
    f.close();
    EXPECT_TRUE(saved.endsWith("] one\n" + saved.section('\n', 1)));
    EXPECT_EQ(saved.count('\n'), 1);

    // Clearing does not touch the saved file.
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_TRUE(log.text().isEmpty());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), saved);
    f.close();

    // A cancelled dialog writes nothing and says nothing.
    const auto seen = dialogs.seen.size();
    QTest::mouseClick(save, Qt::LeftButton); // no answer queued: cancelled
    EXPECT_EQ(dialogs.seen.size(), seen + 1);
    EXPECT_EQ(dialogs.last_box(), nullptr);

    // A file that cannot be written is reported.
    dialogs.answer_file(temp_path("no-such-dir/log.txt"));
    QTest::mouseClick(save, Qt::LeftButton);
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_EQ(dialogs.last_box()->title, "Warning");
}

TEST_F(MainWindowTest, ACaptureThatCannotBeWrittenIsReportedInTheLog) {
    MainWindow w;
    synthetic::scene_t frame = synthetic::make_scene(10, 40, 1);
    emit w.send_main_data(frame);
    auto* capture = control<QPushButton>(w.playbar_tool(), "btn_capture");
    ASSERT_NE(capture, nullptr);

    // A capture that is written says nothing.
    dialogs.answer_file(temp_path("saved"));
    capture->click();
    EXPECT_TRUE(QFile::exists(temp_path("saved.pcd")));
    EXPECT_TRUE(w.log_tool()->text().isEmpty()) << w.log_tool()->text().toStdString();

    // One that cannot be written names every file that is missing.
    const QString prefix = temp_path("no-such-dir/frame");
    dialogs.answer_file(prefix);
    capture->click();
    const QStringList lines = w.log_tool()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << w.log_tool()->text().toStdString();
    QStringList files;
    for (const QString& line : lines) {
        const int at = line.indexOf("] [Capture] Cannot save the ");
        ASSERT_GT(at, 0) << line.toStdString();
        files << line.section(" : ", 1);
    }
    files.sort();
    EXPECT_EQ(files, (QStringList{prefix + ".pcd", prefix + "_ambient.png", prefix + "_depth.png",
                                  prefix + "_intensity.png"}));
    EXPECT_TRUE(dialogs.last_box() == nullptr) << "reported in the log pane, not in a box";
}

TEST_F(MainWindowTest, NumbersKeepThePointUnderACommaLocale) {
    comma_locale de;
    if (!de.active()) GTEST_SKIP() << comma_locale::missing();
    MainWindow w;
    emit w.send_main_playmode_FPS(24.9998);
    tool_playbar* bar = w.playbar_tool();
    EXPECT_EQ(control<QLineEdit>(bar, "le_fps")->text(), "24.9998 FPS");
    auto* speed = control<QDoubleSpinBox>(bar, "sb_speed");
    speed->setValue(2.5);
    EXPECT_EQ(speed->text(), "2.5");
    auto* min_distance = control<QDoubleSpinBox>(w.user_tool()->pointcloud_menu, "sb_MinDistance");
    ASSERT_NE(min_distance, nullptr);
    EXPECT_EQ(min_distance->text(), "0.00");
    // Typed values are read with the point too.
    EXPECT_EQ(min_distance->valueFromText("1.25"), 1.25);
}

TEST(StartupOptions, ParsesTheOperatorsOptions) {
    startup::options o;
    QString error;
    bool help = false;
    ASSERT_TRUE(startup::parse({"ro_vezovad"}, o, error, help)) << error.toStdString();
    EXPECT_FALSE(o.connect || o.admin || o.has_device || o.has_local || o.print_first_frame || help);
    EXPECT_TRUE(o.play_file.isEmpty());

    startup::options p;
    ASSERT_TRUE(startup::parse({"ro_vezovad", "--device", "127.0.0.1:4567", "--local", "127.0.0.1:0", "--connect",
                                "--admin", "--print-first-frame"},
                               p, error, help));
    EXPECT_TRUE(p.has_device && p.has_local && p.connect && p.admin && p.print_first_frame);
    EXPECT_EQ(p.device_ip, "127.0.0.1");
    EXPECT_EQ(p.device_port, 4567);
    EXPECT_EQ(p.local_port, 0);

    startup::options q;
    EXPECT_FALSE(startup::parse({"ro_vezovad", "--device", "127.0.0.1"}, q, error, help));
    EXPECT_FALSE(startup::parse({"ro_vezovad", "--device", "127.0.0.1:99999"}, q, error, help));
    EXPECT_FALSE(startup::parse({"ro_vezovad", "--bogus"}, q, error, help));
    EXPECT_FALSE(startup::parse({"ro_vezovad", "--connect", "--play", "x.bin"}, q, error, help));
    EXPECT_FALSE(startup::parse({"ro_vezovad", "--open", "status"}, q, error, help)) << "--open needs --admin";
    EXPECT_FALSE(startup::parse({"ro_vezovad", "--admin", "--open", "oven"}, q, error, help));
    ASSERT_TRUE(startup::parse({"ro_vezovad", "--admin", "--open", "offset-cal"}, q, error, help));
    EXPECT_EQ(q.open_tool, "offset-cal");
    EXPECT_FALSE(q.serve_foxglove);
    ASSERT_TRUE(startup::parse({"ro_vezovad", "--serve-foxglove", "9001"}, q, error, help));
    EXPECT_TRUE(q.serve_foxglove);
    EXPECT_EQ(q.foxglove.host, "127.0.0.1") << "loopback unless a host is named";
    EXPECT_EQ(q.foxglove.port, 9001);
    EXPECT_FALSE(startup::parse({"ro_vezovad", "--serve-foxglove", "ws://x"}, q, error, help));
    ASSERT_TRUE(startup::parse({"ro_vezovad", "--help"}, q, error, help));
    EXPECT_TRUE(help);
    EXPECT_TRUE(error.contains("--play"));
}

// Serving to Foxglove: the status bar names the clients; a port in use is
// refused with a sentence and the window goes on without it.
TEST_F(MainWindowTest, ServingToFoxgloveShowsItsClientsAndRefusesAPortInUse) {
    MainWindow first, second;
    std::string error;
    ASSERT_TRUE(first.serve_foxglove({"127.0.0.1", 0}, error)) << error;
    const auto labels = first.statusBar()->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                            [](QLabel* l) { return l->text() == "Foxglove: 0 clients, 0 frames dropped"; }));
    EXPECT_FALSE(second.serve_foxglove({"127.0.0.1", first.foxglove_server()->port()}, error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1:"), std::string::npos) << error;
    EXPECT_EQ(second.foxglove_server(), nullptr);
}
