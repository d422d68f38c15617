// The administrator's settings dialog on its own: the form, every control
// bound to its field both ways, Apply, the zero-setting boxes, the
// calibration file on every copy, the preset chooser, preset and calibration
// saves, and the Update tab.
#include "device/ConfigManager.h"
#include "logic/calibration_file.h"
#include "menus/menu_device_admin.h"
#include "tests/support/patterned_record.h"
#include "tests/support/qt_fixtures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

#include <cstring>
#include <fstream>

namespace {

using cfg_t = TAVRIN::DadodUz::configurations_t;

class menu_device_admin_test : public widget_test {
protected:
    template <class T>
    T* get(const char* name) {
        return control<T>(&dialog, name);
    }
    void click(const char* name) { get<QPushButton>(name)->click(); }

    // Records every apply: the data-processing list and the record, in the
    // order they leave.
    void record_applies() {
        QObject::connect(&dialog, &menu_device_admin::send_menu_apply_data_procssing, &dialog,
                         [this](std::vector<int>& p) { sent.push_back("list"), lists.push_back(p); });
        QObject::connect(&dialog, &menu_device_admin::send_menu_apply_setting, &dialog,
                         [this](cfg_t& c) { sent.push_back("record"), records.push_back(c); });
    }

    // A record whose every shown field holds a value of its own that the
    // controls can hold; the rest is patterned.
    static cfg_t distinct_record() {
        cfg_t c = patterned_record(13, 1);
        c.vdp_voltage = 1.5f;
        c.vdn_voltage = 2.5f;
        c.hv_bias = 26.25f;
        c.vcsel_manual_cs = 17;
        c.prf_period = 3226; // 62 kHz
        c.intf_reject = 0;
        c.jitter_en = 1;
        c.target_samples = 250;
        c.start_column_index = 104;
        c.end_column_index = 295;
        c.start_row_index = 3;
        c.end_row_index = 96;
        c.pulse_inhibit = 1;
        c.pulse_edge = 0;
        c.pulse_delay = 587;
        c.pulse_duty = 2;
        c.stream_mode = 2;
        c.vcsel_timing = (c.vcsel_timing & 0xF8000000u) | 60u | (6u << 9) | (84u << 18);
        c.image_mode = (c.image_mode & ~0xFu) | 2u | (1u << 2);
        c.peak_separation_width = 33;
        c.fir_offset = 5;
        c.cog_tap_num = 11;
        c.fir_coef[0] = 0x1F2E3D4Cu;
        c.fir_coef[1] = 0x5B6A7988u;
        c.cog_tap_num = 11;
        for (int i = 0; i < 4; ++i) c.threshold_coe[i] = 10.5f + i;
        for (int i = 0; i < 12; ++i) c.lens_coe[i] = -5.25f + i;
        c.vcsel_type = 6;
        c.dual_channel = 0;
        c.global_offset = 4321;
        c.emitter_dwidth = 6.5f;
        for (int i = 0; i < 6; ++i) c.walkerror[i] = 1000.5f * (i - 2);
        c.h_cl_delay = 40;
        c.cls_duty = 41;
        for (int i = 0; i < 11; ++i) c.intensity_fir_coe[i] = 0.125f * (i + 1);
        c.sync_output_polarity = 1;
        c.rx_hv_ctrl_en = 1;
        c.sync_input_polarity = 0;
        c.sync_mode = 2;
        c.fps = 20;
        return c;
    }

    QString write_calibration(const char* name, calibration_file::tables t) {
        const QString path = temp_path(name);
        std::string error;
        EXPECT_TRUE(calibration_file::write(path.toStdString(), t, error)) << error;
        return path;
    }

    menu_device_admin dialog;
    std::vector<std::string> sent;
    std::vector<std::vector<int>> lists;
    std::vector<cfg_t> records;
};

} // namespace

TEST_F(menu_device_admin_test, FormHasEveryControlWithItsRangeAndInitialValue) {
    EXPECT_EQ(dialog.windowTitle(), "GX Device Settings (ADMIN)");
    auto* tabs = get<QTabWidget>("tabFunction");
    ASSERT_EQ(tabs->count(), 6);
    const char* tab_names[] = {"tab_VCSELSetting", "tap_SPADSetting", "tab_Calibration", "tab_DSP", "tab_Functions", "tabUpdate"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(tabs->widget(i)->objectName(), tab_names[i]);
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Functions");
    EXPECT_TRUE(get<QGroupBox>("gb_network")->isHidden()) << "the connection settings are hidden";
    EXPECT_EQ(get<QLineEdit>("le_netmask")->text(), "255.255.255.0");
    EXPECT_EQ(get<QPushButton>("btn_write_flash")->text(), "Write (RAM->FLASH)");

    const struct {
        const char* name;
        double min, max, value;
        int decimals; // -1: an integer spin box
    } spins[] = {
        {"sb_start_row", 0, 99, 0, -1},          {"sb_end_col", 0, 399, 0, -1},
        {"sb_samples", 0, 1023, 32, -1},         {"sb_prf", 3.052, 10000, 62, 3},
        {"sb_common_delay", 0, 5000, 2935, -1},  {"sb_common_duty", 0, 15, 10, -1},
        {"sb_vcsel_channel", 0, 500, 0, -1},     {"sb_ls_duty", 5, 2500, 2415, -1},
        {"sb_delay_low_high", 5, 2500, 30, -1},  {"sb_hs_duty", 5, 2500, 420, -1},
        {"sb_cl_duty", 0, 5000, 0, -1},          {"sb_hv", 0, 30, 27.5, 2},
        {"sb_vdn", 0, 3.3, 3.3, 2},              {"sb_global_offset", 0, 65535, 170, -1},
        {"sb_vcsel_emitter_width", -999.999999, 999.999999, 10, 10},
        {"sb_fx", -999, 999, 558.6528, 10},      {"sb_cx", -999, 999, 199.5, 10},
        {"sb_k3", -999, 999, -8.88, 10},         {"sb_peak_separation_width", 0, 255, 16, -1},
        {"sb_fir_offset", 0, 15, 7, -1},         {"sb_cog", 1, 16, 15, -1},
        {"sb_adaptive_val_a0", -999, 999, 80.1, 10}, {"sb_adaptive_val_a3", 0, 99.99, 15, 10},
        {"sb_walk_error_val_p1", -1e9, 1e9, -1288000, 6}, {"sb_walk_error_val_b", -1e9, 1e9, 15.51, 6},
        {"sb_retro", 0, 10000, 450, 0},          {"sb_smoothing_factor", 0, 10000, 600, 0},
        {"sb_FPS", 10, 25, 10, -1},
    };
    for (const auto& s : spins) {
        SCOPED_TRACE(s.name);
        if (s.decimals < 0) {
            auto* box = get<QSpinBox>(s.name);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->minimum(), s.min);
            EXPECT_EQ(box->maximum(), s.max);
            EXPECT_EQ(box->value(), s.value);
        } else {
            auto* box = get<QDoubleSpinBox>(s.name);
            ASSERT_NE(box, nullptr);
            EXPECT_DOUBLE_EQ(box->minimum(), s.min);
            EXPECT_DOUBLE_EQ(box->maximum(), s.max);
            EXPECT_DOUBLE_EQ(box->value(), s.value);
            EXPECT_EQ(box->decimals(), s.decimals);
        }
    }
    EXPECT_EQ(get<QSpinBox>("sb_FPS")->singleStep(), 5);
    EXPECT_EQ(get<QComboBox>("tg_input_sync")->itemText(1), QString::fromUtf8("Low \u2192 High"));
    EXPECT_EQ(get<QComboBox>("tg_vcsel_driver_id")->itemText(7), "GX-1.5 60ch Type-2");
    EXPECT_EQ(get<QComboBox>("tg_edge")->currentIndex(), 1);
    auto* fir = get<QTableWidget>("table_fir_coefficient");
    EXPECT_EQ(fir->verticalHeaderItem(0)->text(), "New Row");
    EXPECT_EQ(fir->item(0, 7)->text(), "8");
    auto* intensity = get<QTableWidget>("table_intensity_fir");
    EXPECT_EQ(intensity->horizontalHeaderItem(3)->text(), "FIR4");
    EXPECT_EQ(intensity->item(2, 3)->text(), "0");
}

TEST_F(menu_device_admin_test, EveryFieldIsShownAndTakenBackThroughItsControl) {
    record_applies();
    cfg_t in = distinct_record();
    dialog.get_menu_current_setting(in);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(get<QDoubleSpinBox>("sb_prf")->value(), 62);
    EXPECT_EQ(get<QSpinBox>("sb_common_delay")->value(), 2935);
    EXPECT_EQ(get<QComboBox>("tg_spad_channel_mode")->currentIndex(), 1) << "dual_channel 0 is \"100 Channels\"";
    EXPECT_EQ(get<QTableWidget>("table_fir_coefficient")->item(0, 0)->text(), "12");

    click("btn_apply_setting");
    ASSERT_EQ(sent, (std::vector<std::string>{"list", "record"})) << "the filters go first";
    EXPECT_EQ(lists[0], (std::vector<int>{1, 0, 0, 1, 0, 0, 450, 1400, 500, 600}));
    cfg_t expected = in;
    expected.prf_period = 3226; // 62 kHz -> 3225.8 -> 3226
    EXPECT_EQ(std::memcmp(&records[0], &expected, sizeof expected), 0)
        << "a control bound to the wrong field changes the record";

    // 62.5 kHz applied comes back as 63.
    get<QDoubleSpinBox>("sb_prf")->setValue(62.5);
    click("btn_apply_setting");
    EXPECT_EQ(records.back().prf_period, 3200);
    dialog.get_menu_current_setting(records.back());
    EXPECT_EQ(get<QDoubleSpinBox>("sb_prf")->value(), 63);
}

TEST_F(menu_device_admin_test, ValuesNoItemStandsForAreKept) {
    record_applies();
    cfg_t in = distinct_record();
    in.sync_output_polarity = 0;
    in.sync_input_polarity = 7;
    in.sync_mode = 1;
    in.stream_mode = 9;
    in.fps = 60;
    dialog.get_menu_current_setting(in);
    EXPECT_EQ(dialog.current_configuration().sync_input_polarity, 7);
    EXPECT_EQ(get<QComboBox>("tg_input_sync")->currentIndex(), -1);
    EXPECT_EQ(get<QSpinBox>("sb_FPS")->value(), 10) << "above 40 shows 10";
    click("btn_apply_setting");
    EXPECT_EQ(records[0].sync_input_polarity, 7);
    EXPECT_EQ(records[0].stream_mode, 9);

    in.sync_output_polarity = in.sync_input_polarity = in.sync_mode = 5;
    dialog.get_menu_current_setting(in);
    EXPECT_EQ(dialog.current_configuration().sync_mode, 0);
    EXPECT_EQ(get<QComboBox>("tg_sync_mode")->currentIndex(), 0);
}

TEST_F(menu_device_admin_test, FpsBoxHoldsOnlyTheFourRates) {
    auto* fps = get<QSpinBox>("sb_FPS");
    const struct { const char* typed; int value; } cases[] = {{"12", 10}, {"13", 15}, {"18", 20}, {"20", 20}};
    for (const auto& c : cases) {
        fps->setValue(25);
        fps->clear();
        QTest::keyClicks(fps, c.typed);
        QTest::keyClick(fps, Qt::Key_Return);
        EXPECT_EQ(fps->value(), c.value) << c.typed;
    }
    fps->setValue(12);
    EXPECT_EQ(fps->value(), 10) << "a value set from a record or a preset";
}

TEST_F(menu_device_admin_test, ZeroSettingShowsNeutralValuesThenTheAppliedOnes) {
    cfg_t in = distinct_record();
    dialog.get_menu_current_setting(in);
    auto* table = get<QTableWidget>("table_fir_coefficient");
    table->item(0, 1)->setText("9"); // an edit never applied
    auto* box = get<QCheckBox>("cb_fir_coefficient_zerosetting");
    box->click();
    EXPECT_EQ(table->item(0, 0)->text(), "1");
    EXPECT_EQ(table->item(0, 1)->text(), "0");
    box->click();
    EXPECT_EQ(table->item(0, 1)->text(), "4") << "the applied coefficient, not the edit";

    get<QCheckBox>("cb_cog_zerosetting")->click();
    EXPECT_EQ(get<QSpinBox>("sb_cog")->value(), 1) << "0 is below the box's minimum";
    get<QCheckBox>("cb_walk_error_zerosetting")->click();
    EXPECT_EQ(get<QDoubleSpinBox>("sb_walk_error_val_p1")->value(), 0);
    get<QCheckBox>("cb_intensity_fir_zerosetting")->click();
    EXPECT_EQ(get<QTableWidget>("table_intensity_fir")->item(1, 0)->text(), "0");

    // Shown again: the boxes are unchecked, the values stay zeroed.
    dialog.hide();
    dialog.show();
    EXPECT_FALSE(get<QCheckBox>("cb_walk_error_zerosetting")->isChecked());
    EXPECT_EQ(get<QDoubleSpinBox>("sb_walk_error_val_p1")->value(), 0);
    EXPECT_EQ(get<QSpinBox>("sb_cog")->value(), 1);
}

TEST_F(menu_device_admin_test, TheCalibrationFileNamedInTheFormIsReadOnEveryApply) {
    record_applies();
    calibration_file::tables t;
    t.lens_coe[0] = 540.5f;
    t.spad_offset[10] = 77;
    t.emitter_width = 6.5;
    t.global_offset = 133;
    const QString good = write_calibration("good.csv", t);
    const QString bad = temp_path("bad.csv");
    std::ofstream(bad.toStdString()) << "1,2,3,4,5\n";
    const struct {
        QString path;
        float fx;
        const char* warning; // empty: none
    } cases[] = {
        {"", 123.25f, ""},
        {good, 540.5f, ""},
        {temp_path("missing.csv"), 123.25f, "Cannot find Calibration file."},
        {bad, 123.25f, "bad.csv was not loaded: it has 1 lines"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        dialog.get_tool_calibration_path(c.path);
        get<QDoubleSpinBox>("sb_fx")->setValue(123.25);
        dialogs.seen.clear();
        click("btn_apply_setting");
        EXPECT_FLOAT_EQ(records.back().lens_coe[0], c.fx);
        if (*c.warning) {
            ASSERT_NE(dialogs.last_box(), nullptr);
            EXPECT_EQ(dialogs.last_box()->title, "Warning");
            EXPECT_TRUE(dialogs.last_box()->text.contains(c.warning)) << dialogs.last_box()->text.toStdString();
        } else {
            EXPECT_EQ(dialogs.last_box(), nullptr);
        }
    }
    // The good file also filled the tables and the two controls.
    dialog.get_tool_calibration_path(good);
    click("btn_apply_setting");
    EXPECT_EQ(records.back().spad_offset[10], 77);
    EXPECT_FLOAT_EQ(records.back().emitter_dwidth, 6.5f);
    EXPECT_EQ(get<QSpinBox>("sb_global_offset")->value(), 133);
}

TEST_F(menu_device_admin_test, PresetChooserLoadsTheChosenSet) {
    QSignalSpy asked(&dialog, &menu_device_admin::send_menu_current_setting);
    auto choose = [&](int row, const char* button) {
        dialogs.answer_modal([=](QDialog* chooser) {
            ASSERT_NE(chooser, nullptr);
            EXPECT_EQ(chooser->windowTitle(), "Select Preset");
            EXPECT_EQ(chooser->size(), QSize(300, 280));
            if (row >= 0) chooser->findChild<QListWidget*>()->setCurrentRow(row);
            chooser->findChild<QPushButton*>(button)->click();
        });
        dialog.select_preset();
    };
    choose(1, "btn_preset_cancel");
    EXPECT_FALSE(dialog.isVisible()) << "Cancel does nothing";

    choose(1, "btn_preset_ok");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(get<QDoubleSpinBox>("sb_prf")->value(), 490);
    EXPECT_EQ(get<QSpinBox>("sb_cog")->value(), 7);
    EXPECT_EQ(get<QTableWidget>("table_intensity_fir")->item(1, 0)->text(), "2.04353859762912");
    EXPECT_EQ(dialog.preset_list()->currentRow(), 1) << "the row is kept for the next run";

    dialog.hide();
    choose(0, "btn_preset_ok");
    EXPECT_EQ(asked.count(), 1);
    EXPECT_TRUE(dialog.waiting_for_current_setting());
    EXPECT_FALSE(dialog.isVisible()) << "shown when the record arrives";
    cfg_t in = distinct_record();
    dialog.get_menu_current_setting(in);
    EXPECT_FALSE(dialog.waiting_for_current_setting());

    // A preset file: cancelled, then one the store cannot load, then a good one.
    dialog.hide();
    choose(2, "btn_preset_ok");
    EXPECT_FALSE(dialog.isVisible());
    const QString junk = temp_path("junk.conf");
    std::ofstream(junk.toStdString()) << "[unterminated\n";
    dialogs.answer_file(junk);
    choose(-1, "btn_preset_ok");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialogs.last_box()->text.contains("junk.conf"));
    const QString good = temp_path("good.conf");
    TAVRIN::ConfigManager store(4);
    store.set<int>({25}, "Device_settings-0", "fps");
    ASSERT_TRUE(store.save(good.toStdString()));
    dialogs.answer_file(good);
    choose(-1, "btn_preset_ok");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(get<QSpinBox>("sb_FPS")->value(), 25);
    EXPECT_EQ(dialog.current_configuration().fps, 25) << "the loaded controls are copied into the record";
}

TEST_F(menu_device_admin_test, SavedPresetsCountUpAndLoadBackWithTheirCalibration) {
    cfg_t in = distinct_record();
    dialog.get_menu_current_setting(in);
    get<QDoubleSpinBox>("sb_fx")->setValue(321.5); // kept: no calibration file is named yet
    const QString base = temp_path("run");
    dialogs.answer_file(base);
    click("btn_save_preset");
    dialogs.answer_file(base);
    click("btn_save_preset");
    for (const char* name : {"run.conf", "run.csv", "run_0.conf", "run_0.csv"})
        EXPECT_TRUE(QFile::exists(temp_path(name))) << name;
    EXPECT_EQ(get<QLineEdit>("le_calibration_file")->text(), temp_path("run_0.csv"));
    const auto cal = calibration_file::read(temp_path("run.csv").toStdString());
    ASSERT_EQ(cal.result, calibration_file::status::ok);
    EXPECT_FLOAT_EQ(cal.values.lens_coe[0], 321.5f);
    EXPECT_EQ(cal.values.global_offset, 4321);

    menu_device_admin other;
    dialogs.answer_modal([](QDialog* chooser) {
        chooser->findChild<QListWidget*>()->setCurrentRow(menu_device_admin::file_row);
        chooser->findChild<QPushButton*>("btn_preset_ok")->click();
    });
    dialogs.answer_file(temp_path("run.conf"));
    other.select_preset();
    ASSERT_TRUE(other.isVisible());
    // The preset holds the controls; the .csv the tables and the calibration controls.
    const cfg_t& a = dialog.current_configuration();
    const cfg_t& b = other.current_configuration();
    EXPECT_EQ(std::memcmp(a.spad_offset, b.spad_offset, sizeof a.spad_offset), 0);
    EXPECT_EQ(std::memcmp(a.vcsel_offset, b.vcsel_offset, sizeof a.vcsel_offset), 0);
    cfg_t pa = a, pb = a;
    admin_settings::controls ca = dialog.form_values(), cb = other.form_values();
    admin_settings::to_record(ca, pa);
    admin_settings::to_record(cb, pb);
    EXPECT_EQ(std::memcmp(&pa, &pb, sizeof pa), 0) << "every control comes back";
    EXPECT_EQ(cb.calibration_path, temp_path("run.csv").toStdString());
    EXPECT_FLOAT_EQ(static_cast<float>(control<QDoubleSpinBox>(&other, "sb_fx")->value()), 321.5f);

    // Saving a calibration file over an existing one writes it; an unwritable one is reported.
    get<QSpinBox>("sb_global_offset")->setValue(77);
    dialog.get_tool_calibration_path("");
    dialogs.answer_file(temp_path("run.csv"));
    click("btn_save_calibration_file");
    EXPECT_EQ(calibration_file::read(temp_path("run.csv").toStdString()).values.global_offset, 77);
    dialogs.answer_file(temp_path("no/such/dir/x.csv"));
    click("btn_save_calibration_file");
    ASSERT_NE(dialogs.last_box(), nullptr);
    EXPECT_TRUE(dialogs.last_box()->text.startsWith("Cannot write the calibration file"));
}

TEST_F(menu_device_admin_test, CancelledCalibrationSaveStillCopiesTheControls) {
    dialog.get_tool_calibration_path(temp_path("missing.csv"));
    get<QSpinBox>("sb_samples")->setValue(123);
    click("btn_save_calibration_file"); // nothing queued: the file dialog is cancelled
    EXPECT_EQ(dialog.current_configuration().target_samples, 123);
    ASSERT_EQ(dialogs.seen.size(), 2u);
    EXPECT_EQ(dialogs.seen[1].text, "Cannot find Calibration file.") << "the copy, after the dialog, reloads the named file";
}

TEST_F(menu_device_admin_test, UpdateTabSendsTheTypedPathsAndShowsProgress) {
    QSignalSpy write(&dialog, &menu_device_admin::send_menu_register_write);
    QSignalSpy read(&dialog, &menu_device_admin::send_menu_register_read);
    QSignalSpy upload(&dialog, &menu_device_admin::send_menu_firmware_upload);
    QSignalSpy flash(&dialog, &menu_device_admin::send_menu_write_setting);
    dialogs.answer_file("/x/regs.txt");
    click("btn_write_mode_dir");
    click("btn_write_mode");
    click("btn_read_mode"); // empty paths are sent as they are
    dialogs.answer_file("/x/fw.bin");
    click("btn_upload_dir");
    click("btn_upload");
    click("btn_write_flash");
    EXPECT_EQ(spied_texts(write), QStringList{"/x/regs.txt"});
    EXPECT_EQ(spied_texts(read), QStringList{""});
    EXPECT_EQ(spied_texts(upload), QStringList{"/x/fw.bin"});
    EXPECT_EQ(flash.count(), 1);
    EXPECT_EQ(dialogs.seen[0].title, "Choose register write file");
    EXPECT_EQ(dialogs.seen[1].title, "Choose register firmware upload file");

    dialog.show();
    auto* bar = get<QProgressBar>("pb_firmware_update");
    dialog.get_menu_firmware_progress(-1);
    EXPECT_FALSE(bar->isHidden());
    dialog.get_menu_firmware_progress(40);
    EXPECT_EQ(bar->value(), 40);
    dialog.get_menu_firmware_progress(-2);
    EXPECT_TRUE(bar->isHidden());
    dialog.get_menu_tcp_message("3::DO::RUN");
    std::vector<QString> net = {"127.0.0.1", "7000", "127.0.0.1", "7001"};
    dialog.get_menu_current_network(net);
    EXPECT_EQ(get<QLineEdit>("le_pc_port")->text(), "7001");
}
