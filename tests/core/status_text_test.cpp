#include "logic/status_text.h"
#include "tests/support/comma_locale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using packet_t = TAVRIN::DadodUz::sensing_packet_t;

TEST(status_text, values_as_the_record_carries_them_in_any_locale) {
    struct row {
        float value;
        const char* shown;
    };
    const row rows[] = {{45.5f, "45.5"},  {0.0001f, "0.0001"}, {0.00001f, "1e-05"},       {3.3f, "3.3"},
                        {1.0005f, "1.0005"}, {0.f, "0"},       {-12.25f, "-12.25"},       {123456789.f, "1.23457e+08"},
                        {1000000.f, "1e+06"}, {999999.f, "999999"}};
    comma_locale comma;
    if (!comma.active()) GTEST_SKIP() << comma_locale::missing();
    for (const row& r : rows) {
        packet_t p;
        p.xadc_scan_count = 4294967295u;
        p.xadc_onchip_temp = r.value;
        p.rx_temp = r.value;
        p.xadc_rx_bias = 2.f;
        const auto v = status_text::values(p);
        EXPECT_EQ(v[0], "4294967295");
        EXPECT_EQ(v[1], r.shown) << r.value;
        EXPECT_EQ(v[23], r.shown) << r.value;
        EXPECT_EQ(v[19], "2") << "xadc_rx_bias is the 20th value";
        EXPECT_EQ(v[2], "0");
    }
}

TEST(status_text, header_and_data_lines_byte_for_byte) {
    const std::string header = status_text::header_line();
    EXPECT_EQ(header,
              "time,xadc_scan_count,xadc_onchip_temp,xadc_vccint,xadc_vccaux,xadc_vccbram,xadc_vccpint,xadc_vccpaux,"
              "xadc_vcco_ddr,xadc_rd_ddr_vtt,xadc_rd_dp3v3,xadc_rd_p12v,xadc_rd_heat,xadc_tx_0v5,xadc_tx_5v0,"
              "xadc_tx_12v,xadc_tx_hv,xadc_tx_temp,xadc_rx_vio,xadc_rx_vcore,xadc_rx_bias,xadc_rx_vdp,xadc_rx_vdn,"
              "xadc_rx_0v5,rx_temp,\n");

    packet_t p;
    float* f = &p.xadc_onchip_temp;
    p.xadc_scan_count = 7;
    for (int i = 0; i < 23; ++i) f[i] = float(i) + 0.5f; // the floats are contiguous after the count
    const std::string line = status_text::data_line("09:05:03:007", p);
    EXPECT_EQ(line, "09:05:03:007,7,0.5,1.5,2.5,3.5,4.5,5.5,6.5,7.5,8.5,9.5,10.5,11.5,12.5,13.5,14.5,15.5,16.5,17.5,"
                    "18.5,19.5,20.5,21.5,22.5,\n");
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 25);
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), 25);
}

TEST(status_text, clock_pads_every_part) {
    EXPECT_EQ(status_text::clock(0, 0, 0, 0), "00:00:00:000");
    EXPECT_EQ(status_text::clock(9, 5, 3, 7), "09:05:03:007");
    EXPECT_EQ(status_text::clock(23, 59, 59, 999), "23:59:59:999");
    EXPECT_EQ(status_text::clock(12, 34, 56, 78), "12:34:56:078");
}

} // namespace
