#include "menus/menu_image.h"
#include "menus/menu_pointcloud.h"
#include "tests/support/qt_fixtures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSignalSpy>

namespace {

class menu_pointcloud_test : public widget_test {
protected:
    menu_pointcloud dlg;
};

TEST_F(menu_pointcloud_test, controls_start_from_the_held_settings) {
    EXPECT_EQ(dlg.windowTitle(), "GX Point-Cloud Setting");
    EXPECT_EQ(dlg.windowModality(), Qt::ApplicationModal);
    auto* color = control<QComboBox>(&dlg, "cb_PointColor");
    ASSERT_EQ(color->count(), 7);
    EXPECT_EQ(color->itemText(0), "White");
    EXPECT_EQ(color->itemText(6), "Intensity");
    EXPECT_EQ(color->currentIndex(), 4);
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>(&dlg, "sb_PointSize")->value(), 2.0);
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>(&dlg, "sb_MaxDistance")->value(), 200.0);
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>(&dlg, "sb_MinDistance")->value(), 0.0);
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>(&dlg, "sb_MinDistance")->maximum(), 200.0);
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>(&dlg, "sb_MaxDistance")->maximum(), 500.0);
}

TEST_F(menu_pointcloud_test, apply_stores_values_and_stays_open) {
    dlg.show();
    control<QComboBox>(&dlg, "cb_PointColor")->setCurrentIndex(0);
    control<QDoubleSpinBox>(&dlg, "sb_PointSize")->setValue(3.4); // 0 decimals
    control<QDoubleSpinBox>(&dlg, "sb_MaxDistance")->setValue(1.0);
    control<QDoubleSpinBox>(&dlg, "sb_MinDistance")->setValue(5.0); // above max: allowed
    QSignalSpy spy(&dlg, &menu_pointcloud::send_menu_pointcloud);
    control<QPushButton>(&dlg, "btn_apply")->click();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_EQ(dlg.pointcloud.point_color, 0);
    EXPECT_DOUBLE_EQ(dlg.pointcloud.point_size, 3.0);
    EXPECT_DOUBLE_EQ(dlg.pointcloud.max_distance, 1.0);
    EXPECT_DOUBLE_EQ(dlg.pointcloud.min_distance, 5.0);
    EXPECT_TRUE(dlg.isVisible());
}

class menu_image_test : public widget_test {
protected:
    QComboBox* type() { return control<QComboBox>(&dlg, "tg_image_type"); }
    QDoubleSpinBox* min_val() { return control<QDoubleSpinBox>(&dlg, "sb_min_val"); }
    QDoubleSpinBox* max_val() { return control<QDoubleSpinBox>(&dlg, "sb_max_val"); }
    QCheckBox* check(const char* name) { return control<QCheckBox>(&dlg, name); }

    menu_image dlg;
};

TEST_F(menu_image_test, controls_start_from_the_ambient_settings) {
    EXPECT_EQ(dlg.windowTitle(), "GX Image Setting");
    EXPECT_EQ(dlg.windowModality(), Qt::ApplicationModal);
    ASSERT_EQ(type()->count(), 3);
    EXPECT_EQ(type()->currentText(), "Ambient Image");
    EXPECT_EQ(dlg.image_type, 0);
    EXPECT_DOUBLE_EQ(min_val()->value(), 0);
    EXPECT_DOUBLE_EQ(max_val()->value(), 500); // not the form's 50000
    EXPECT_FALSE(check("cb_auto_normal")->isChecked());
    EXPECT_FALSE(check("cb_hist_equal")->isChecked());
    EXPECT_FALSE(check("cb_grey")->isChecked());

    type()->setCurrentIndex(1);
    EXPECT_DOUBLE_EQ(max_val()->value(), 20000);
    type()->setCurrentIndex(2);
    EXPECT_DOUBLE_EQ(max_val()->value(), 400);
}

TEST_F(menu_image_test, switching_type_discards_unapplied_edits) {
    type()->setCurrentIndex(1);
    min_val()->setValue(1234);
    check("cb_grey")->setChecked(true);
    type()->setCurrentIndex(2);
    EXPECT_DOUBLE_EQ(min_val()->value(), 0);
    type()->setCurrentIndex(1);
    EXPECT_DOUBLE_EQ(min_val()->value(), 0);
    EXPECT_FALSE(check("cb_grey")->isChecked());
    EXPECT_DOUBLE_EQ(dlg.image.depth.min_val, 0);
    EXPECT_FALSE(dlg.image.depth.grey_mode);
}

TEST_F(menu_image_test, apply_writes_only_the_selected_type) {
    type()->setCurrentIndex(2);
    check("cb_auto_normal")->setChecked(true);
    min_val()->setValue(7);
    max_val()->setValue(70);
    check("cb_hist_equal")->setChecked(true);
    check("cb_grey")->setChecked(true);
    QSignalSpy spy(&dlg, &menu_image::send_menu_image);
    control<QPushButton>(&dlg, "btn_apply")->click();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(spy.at(0).at(0).toBool());

    EXPECT_TRUE(dlg.image.intensity.auto_norm);
    EXPECT_DOUBLE_EQ(dlg.image.intensity.min_val, 7);
    EXPECT_DOUBLE_EQ(dlg.image.intensity.max_val, 70);
    EXPECT_TRUE(dlg.image.intensity.hist_mode);
    EXPECT_TRUE(dlg.image.intensity.grey_mode);
    // The other kinds keep their held values.
    EXPECT_FALSE(dlg.image.ambient.auto_norm);
    EXPECT_FALSE(dlg.image.depth.auto_norm);
    EXPECT_DOUBLE_EQ(dlg.image.ambient.max_val, 500);
    EXPECT_DOUBLE_EQ(dlg.image.depth.max_val, 20000);
    EXPECT_FALSE(dlg.image.depth.grey_mode);

    // Applied values come back when the type is selected again.
    type()->setCurrentIndex(0);
    EXPECT_DOUBLE_EQ(max_val()->value(), 500);
    type()->setCurrentIndex(2);
    EXPECT_DOUBLE_EQ(max_val()->value(), 70);
    EXPECT_TRUE(check("cb_grey")->isChecked());
}

} // namespace
