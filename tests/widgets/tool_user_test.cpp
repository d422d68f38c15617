#include "menus/menu_connection.h"
#include "menus/menu_device_user.h"
#include "menus/menu_image.h"
#include "menus/menu_pointcloud.h"
#include "tests/support/qt_fixtures.h"
#include "tools/tool_user.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSignalSpy>

#include <cstring>
#include <vector>

namespace {

class tool_user_test : public widget_test {
protected:
    QPushButton* button(const char* name) { return control<QPushButton>(&tools, name); }

    tool_user tools;
};

TEST_F(tool_user_test, buttons_and_size) {
    struct expected_button {
        const char* name;
        const char* tip;
        const char* icon;
    };
    const expected_button buttons[] = {
        {"btn_connect", "Connection", "icon_connect"},
        {"btn_load", "Data Load", "icon_load"},
        {"btn_device_user", "Device Setting", "icon_device"},
        {"btn_pointcloud", "Point Cloud Setting", "icon_pointcloud_viewer"},
        {"btn_image", "Image Setting", "icon_image_viewer"},
        {"btn_grid", "Grid On/Off", "icon_grid"},
        {"btn_xy_axis", "View : XY-axis", "icon_xy_axis"},
        {"btn_yz_axis", "View : YZ-axis", "icon_yz_axis"},
        {"btn_zx_axis", "View : ZX-axis", "icon_zx_axis"},
    };
    int previous_y = -1;
    tools.show();
    for (const auto& b : buttons) {
        QPushButton* w = button(b.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->toolTip(), b.tip);
        EXPECT_EQ(w->styleSheet(), QString("QPushButton{image: url(:/icon/icon/%1.png)}").arg(b.icon));
        EXPECT_TRUE(w->text().isEmpty());
        EXPECT_FALSE(w->isCheckable());
        EXPECT_GT(w->y(), previous_y) << b.name << " is out of order";
        previous_y = w->y();
    }
    EXPECT_EQ(tools.objectName(), "tool_user");
    EXPECT_EQ(tools.windowTitle(), "Form");
    EXPECT_EQ(tools.minimumSize(), QSize(62, 450));
    EXPECT_EQ(tools.maximumSize(), QSize(62, 450));
}

TEST_F(tool_user_test, cancelled_load_only_closes_play_mode) {
    QSignalSpy spy(&tools, &tool_user::send_tool_play_mode);
    tools.file_path = "/old/recording.bin";
    button("btn_load")->click();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_FALSE(spy.at(0).at(0).toBool());
    EXPECT_TRUE(tools.file_path.isEmpty());
    ASSERT_EQ(dialogs.seen.size(), 1u);
    const dialog_seam::request& req = dialogs.seen[0];
    EXPECT_EQ(req.type, dialog_seam::kind::open_file);
    EXPECT_EQ(req.title, "Load GX Data");
    EXPECT_EQ(req.filter, "Record GX Data(*.bin)");
    EXPECT_EQ(req.dir, QDir::homePath());
}

TEST_F(tool_user_test, chosen_file_closes_then_opens_play_mode) {
    const QString path = temp_path("record.bin");
    // MainWindow reads the path when play mode opens: it must be stored by then.
    std::vector<std::pair<bool, QString>> seen;
    QObject::connect(&tools, &tool_user::send_tool_play_mode,
                     [&](bool on) { seen.emplace_back(on, tools.file_path); });
    dialogs.answer_file(path);
    button("btn_load")->click();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].first);
    EXPECT_TRUE(seen[1].first);
    EXPECT_EQ(seen[1].second, path);
    EXPECT_EQ(tools.file_path, path);
}

TEST_F(tool_user_test, load_is_disabled_while_streaming) {
    tools.get_tool_connection_status(true);
    EXPECT_FALSE(button("btn_load")->isEnabled());
    EXPECT_TRUE(button("btn_connect")->isEnabled());
    tools.get_tool_connection_status(false);
    EXPECT_TRUE(button("btn_load")->isEnabled());
}

TEST_F(tool_user_test, grid_and_axis_buttons_send_true) {
    QSignalSpy grid(&tools, &tool_user::send_tool_grid);
    QSignalSpy xy(&tools, &tool_user::send_tool_xy_axis);
    QSignalSpy yz(&tools, &tool_user::send_tool_yz_axis);
    QSignalSpy zx(&tools, &tool_user::send_tool_zx_axis);
    button("btn_grid")->click();
    button("btn_grid")->click();
    button("btn_xy_axis")->click();
    button("btn_yz_axis")->click();
    button("btn_zx_axis")->click();
    ASSERT_EQ(grid.count(), 2);
    EXPECT_TRUE(grid.at(0).at(0).toBool());
    EXPECT_TRUE(grid.at(1).at(0).toBool());
    for (QSignalSpy* s : {&xy, &yz, &zx}) {
        ASSERT_EQ(s->count(), 1);
        EXPECT_TRUE(s->at(0).at(0).toBool());
    }
}

TEST_F(tool_user_test, buttons_show_their_dialogs_and_close_all_hides_two) {
    button("btn_connect")->click();
    button("btn_device_user")->click();
    EXPECT_TRUE(tools.connection->isVisible());
    EXPECT_TRUE(tools.device_user->isVisible());
    tools.get_tool_close_all();
    EXPECT_FALSE(tools.connection->isVisible());
    EXPECT_FALSE(tools.device_user->isVisible());

    button("btn_pointcloud")->click();
    EXPECT_TRUE(tools.pointcloud_menu->isVisible());
    tools.pointcloud_menu->close();
    button("btn_image")->click();
    EXPECT_TRUE(tools.image_menu->isVisible());
    tools.image_menu->close();
    // Closed dialogs are hidden, not destroyed.
    EXPECT_EQ(tools.findChildren<menu_image*>().size(), 1);
}

TEST_F(tool_user_test, point_cloud_apply_reaches_the_tool_bar_before_it_is_relayed) {
    menu_pointcloud* dlg = tools.pointcloud_menu;
    control<QComboBox>(dlg, "cb_PointColor")->setCurrentIndex(2);
    control<QDoubleSpinBox>(dlg, "sb_PointSize")->setValue(5);
    control<QDoubleSpinBox>(dlg, "sb_MaxDistance")->setValue(12.5);
    control<QDoubleSpinBox>(dlg, "sb_MinDistance")->setValue(0.75);

    int relayed = 0;
    const auto watch = QObject::connect(&tools, &tool_user::send_tool_pointcloud, [&](bool on) {
        ++relayed;
        EXPECT_TRUE(on);
        // MainWindow copies these members during the emission.
        EXPECT_EQ(tools.pointcloud.point_color, 2);
        EXPECT_DOUBLE_EQ(tools.pointcloud.point_size, 5.0);
        EXPECT_DOUBLE_EQ(tools.pointcloud.max_distance, 12.5);
        EXPECT_DOUBLE_EQ(tools.pointcloud.min_distance, 0.75);
    });
    control<QPushButton>(dlg, "btn_apply")->click();
    EXPECT_EQ(relayed, 1);
    QObject::disconnect(watch);

    // A false request is relayed without touching the copy.
    dlg->pointcloud.point_color = 6;
    QSignalSpy spy(&tools, &tool_user::send_tool_pointcloud);
    tools.get_tool_pointcloud(false);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_FALSE(spy.at(0).at(0).toBool());
    EXPECT_EQ(tools.pointcloud.point_color, 2);
}

TEST_F(tool_user_test, image_apply_copies_all_fifteen_values) {
    menu_image* dlg = tools.image_menu;
    // Held settings of the other kinds, as if applied earlier.
    dlg->image.ambient.auto_norm = true;
    dlg->image.ambient.min_val = 11;
    dlg->image.ambient.max_val = 111;
    dlg->image.ambient.grey_mode = true;
    dlg->image.intensity.hist_mode = true;
    dlg->image.intensity.min_val = 33;
    dlg->image.intensity.max_val = 333;

    control<QComboBox>(dlg, "tg_image_type")->setCurrentIndex(1);
    control<QCheckBox>(dlg, "cb_auto_normal")->setChecked(true);
    control<QDoubleSpinBox>(dlg, "sb_min_val")->setValue(22);
    control<QDoubleSpinBox>(dlg, "sb_max_val")->setValue(2222);
    control<QCheckBox>(dlg, "cb_hist_equal")->setChecked(true);
    control<QCheckBox>(dlg, "cb_grey")->setChecked(false);

    QSignalSpy spy(&tools, &tool_user::send_tool_image);
    control<QPushButton>(dlg, "btn_apply")->click();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(spy.at(0).at(0).toBool());

    EXPECT_TRUE(tools.image.ambient.auto_norm);
    EXPECT_TRUE(tools.image.depth.auto_norm);
    EXPECT_FALSE(tools.image.intensity.auto_norm);
    EXPECT_DOUBLE_EQ(tools.image.ambient.min_val, 11);
    EXPECT_DOUBLE_EQ(tools.image.depth.min_val, 22);
    EXPECT_DOUBLE_EQ(tools.image.intensity.min_val, 33);
    EXPECT_DOUBLE_EQ(tools.image.ambient.max_val, 111);
    EXPECT_DOUBLE_EQ(tools.image.depth.max_val, 2222);
    EXPECT_DOUBLE_EQ(tools.image.intensity.max_val, 333);
    EXPECT_FALSE(tools.image.ambient.hist_mode);
    EXPECT_TRUE(tools.image.depth.hist_mode);
    EXPECT_TRUE(tools.image.intensity.hist_mode);
    EXPECT_TRUE(tools.image.ambient.grey_mode);
    EXPECT_FALSE(tools.image.depth.grey_mode);
    EXPECT_FALSE(tools.image.intensity.grey_mode);
}

TEST_F(tool_user_test, device_settings_requests_are_relayed) {
    QSignalSpy asked(&tools, &tool_user::send_tool_current_setting);
    emit tools.device_user->send_menu_current_setting();
    EXPECT_EQ(asked.count(), 1);
    EXPECT_TRUE(tools.setting_requested);

    tool_user::configurations_t cfg{};
    tools.receive_current_setting(cfg);
    EXPECT_FALSE(tools.setting_requested);

    // The record and the parameter list travel by reference, unchanged.
    const tool_user::configurations_t* applied = nullptr;
    QObject::connect(&tools, &tool_user::send_tool_apply_user,
                     [&](tool_user::configurations_t& c) { applied = &c; });
    emit tools.device_user->send_menu_apply_setting(cfg);
    EXPECT_EQ(applied, &cfg);

    std::vector<int> params = {1, 0, 1, 0, 2, 3, 4, 5, 6, 7};
    const std::vector<int>* relayed = nullptr;
    QObject::connect(&tools, &tool_user::send_tool_apply_data_processing,
                     [&](std::vector<int>& p) { relayed = &p; });
    emit tools.device_user->send_menu_apply_data_procssing(params);
    EXPECT_EQ(relayed, &params);
}

} // namespace
