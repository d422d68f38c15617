// Numbers shown, written and read by the viewer's logic and the libraries keep
// the decimal point under a comma-decimal process locale.
#include "device/ConfigManager.h"
#include "device/gx_protocol.h"
#include "emulator/gx_factory_registers.h"
#include "logic/configuration_codec.h"
#include "logic/device_message.h"
#include "logic/playbar_text.h"
#include "tests/support/comma_locale.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(locale_independence, texts_formatted_and_parsed_by_the_logic) {
    comma_locale de;
    if (!de.active()) GTEST_SKIP() << comma_locale::missing();

    EXPECT_EQ(playbar_text::fps(24.9998), "24.9998 FPS");
    EXPECT_EQ(playbar_text::frame_counter(1234567, 2.5), "Frame : [1.23457e+06/2.5]");
    EXPECT_EQ(configuration_codec::format_fir_real(2.04353859762912f), "2.043539");
    EXPECT_FLOAT_EQ(configuration_codec::parse_real_cell("0.4295"), 0.4295f);

    TAVRIN::DadodUz::configurations_t cfg{};
    const auto result = device_message::parse_register_dump(
        "1234::RS::SN,STR,1,GX0001\nRXVDP,FLOAT,1,1.25\nTHRES,FLOAT,4,80.91,0.4295,54.35,15\n", cfg);
    EXPECT_EQ(result.records, 2);
    EXPECT_EQ(result.skipped, 0);
    EXPECT_FLOAT_EQ(cfg.vdp_voltage, 1.25f);
    EXPECT_FLOAT_EQ(cfg.threshold_coe[1], 0.4295f);
}

TEST(locale_independence, files_written_and_read_by_the_libraries) {
    comma_locale de;
    if (!de.active()) GTEST_SKIP() << comma_locale::missing();

    // Preset store: doubles keep the point on disk and come back exactly.
    QTemporaryDir tmp;
    const std::string path = tmp.filePath("preset.conf").toStdString();
    TAVRIN::ConfigManager out(4);
    ASSERT_TRUE(out.set<double>({0.5, 27.5}, "Device_settings-0", "hv_bias"));
    ASSERT_TRUE(out.save(path));
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("0.5, 27.5"));
    TAVRIN::ConfigManager in(4);
    ASSERT_TRUE(in.load(path));
    std::vector<double> back;
    ASSERT_TRUE(in.get<double>(back, "Device_settings-0", "hv_bias"));
    EXPECT_EQ(back, (std::vector<double>{0.5, 27.5}));

    // Register files: the device library reads its own text back.
    gx::register_set regs = gx::default_registers();
    regs.config.vdn_voltage = 3.3f;
    const std::string text = gx::format_registers(regs);
    std::vector<gx::register_record> records;
    std::string error;
    ASSERT_TRUE(gx::parse_register_text(text, records, error)) << error;
    gx::register_set again = gx::default_registers();
    again.config.vdn_voltage = 0;
    gx::apply_register_records(records, again);
    EXPECT_EQ(again.config.vdn_voltage, 3.3f);
}
