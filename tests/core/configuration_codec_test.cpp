#include "logic/configuration_codec.h"

#include <gtest/gtest.h>

#include <cstring>

namespace cc = configuration_codec;
using cfg_t = TAVRIN::DadodUz::configurations_t;

TEST(ConfigurationCodec, PrfRoundsHalfAwayFromZeroBothWays) {
    EXPECT_EQ(cc::prf_khz_to_period(62.5), 3200);
    EXPECT_EQ(cc::prf_period_to_khz(3200), 63) << "62.5 kHz shows as 63";
    EXPECT_EQ(cc::prf_period_to_khz(3226), 62);
    EXPECT_EQ(cc::prf_khz_to_period(490), 408) << "200000/490 = 408.16";
    EXPECT_EQ(cc::prf_khz_to_period(533.333), 375);
    EXPECT_EQ(cc::prf_period_to_khz(408), 490);
    EXPECT_EQ(cc::prf_khz_to_period(80), 2500);
    // 200000 / 64 = 3125 exactly; 200000 / 3 = 66666.67 does not fit 16 bits.
    EXPECT_EQ(cc::prf_khz_to_period(64), 3125);
    EXPECT_EQ(cc::prf_khz_to_period(3), 0xFFFF);
}

TEST(ConfigurationCodec, PrfGuardsZero) {
    EXPECT_EQ(cc::prf_period_to_khz(0), 0) << "a period of 0 must not divide by zero";
    EXPECT_EQ(cc::prf_khz_to_period(0), 0xFFFF);
    EXPECT_EQ(cc::prf_khz_to_period(-5), 0xFFFF);
}

TEST(ConfigurationCodec, FiveNanosecondFieldsDropTheRemainder) {
    EXPECT_EQ(cc::ns_to_steps(2935), 587u);
    EXPECT_EQ(cc::steps_to_ns(587), 2935);
    EXPECT_EQ(cc::ns_to_steps(2937), 587u);
    EXPECT_EQ(cc::ns_to_steps(4), 0u);
    EXPECT_EQ(cc::ns_to_steps(-10), 0u);
}

TEST(ConfigurationCodec, VcselTimingPartsTouchOnlyTheirBits) {
    const std::uint32_t high_bits = 0xF8000000u; // bits 27-31 belong to nobody
    std::uint32_t t = high_bits;
    t = cc::set_ls_duty(t, 300);
    t = cc::set_low_high_delay(t, 30);
    t = cc::set_hs_duty(t, 1600);
    EXPECT_EQ(t & high_bits, high_bits);
    EXPECT_EQ(t & cc::kLsDutyMask, 60u);
    EXPECT_EQ((t & cc::kLowHighDelayMask) >> 9, 6u);
    EXPECT_EQ((t & cc::kHsDutyMask) >> 18, 320u);
    EXPECT_EQ(cc::ls_duty_ns(t), 300);
    EXPECT_EQ(cc::low_high_delay_ns(t), 30);
    EXPECT_EQ(cc::hs_duty_ns(t), 1600);
    // A value too large for 9 bits is cut by the mask, never spilling into a neighbour.
    std::uint32_t u = cc::set_ls_duty(0, 5 * 0x3FF);
    EXPECT_EQ(u, 0x1FFu);
    u = cc::set_low_high_delay(0, 5 * 0x3FF);
    EXPECT_EQ(u, 0x3FE00u);
    EXPECT_EQ(cc::set_hs_duty(0xFFFFFFFFu, 0), 0xFFFFFFFFu & ~cc::kHsDutyMask);
}

TEST(ConfigurationCodec, ImageModeBitGroupsKeepOtherBits) {
    std::uint32_t m = 0xABCDEF00u | 0x3u;
    m = cc::set_image_mode(m, 2, 1);
    EXPECT_EQ(m & ~0xFu, 0xABCDEF00u);
    EXPECT_EQ(cc::intensity_mode_index(m), 2);
    EXPECT_EQ(cc::ambient_mode_index(m), 1);
    EXPECT_EQ(cc::set_image_mode(0, 0, 2), 0x8u);
}

TEST(ConfigurationCodec, FirCoefficientNibbleOrder) {
    std::uint32_t coef[2];
    cc::fir_cells_to_coef({"1", "2", "3", "4", "5", "6", "7", "8", "7", "6", "5", "4", "3", "2", "1", "0"}, coef);
    EXPECT_EQ(coef[0], 0x87654321u);
    EXPECT_EQ(coef[1], 0x01234567u);
    const auto cells = cc::fir_coef_to_cells(coef);
    ASSERT_EQ(cells.size(), 16u);
    EXPECT_EQ(cells[0], "1");
    EXPECT_EQ(cells[7], "8");
    EXPECT_EQ(cells[15], "0");
}

TEST(ConfigurationCodec, FirCellsKeepLowNibbleAndTreatJunkAsZero) {
    std::uint32_t coef[2];
    cc::fir_cells_to_coef({"17"}, coef); // 17 = 0x11 -> 1; the other 15 cells are missing
    EXPECT_EQ(coef[0], 1u);
    EXPECT_EQ(coef[1], 0u);
    cc::fir_cells_to_coef({"", "abc", "3x", " 4 ", "-1"}, coef);
    EXPECT_EQ(coef[0], (4u << 12) | (0xFu << 16)) << "-1 keeps its low nibble (15)";
}

TEST(ConfigurationCodec, IntensityFirCellsRunColumnByColumnSkippingTheCorner) {
    ASSERT_EQ(cc::kIntensityFirCells.size(), 11u);
    EXPECT_EQ(cc::kIntensityFirCells[0], std::make_pair(1, 0));
    EXPECT_EQ(cc::kIntensityFirCells[2], std::make_pair(0, 1));
    EXPECT_EQ(cc::kIntensityFirCells[10], std::make_pair(2, 3));
    EXPECT_EQ(cc::format_fir_real(2.04353859762912f), "2.043539");
    EXPECT_FLOAT_EQ(cc::parse_real_cell("0.566775630549352"), 0.566775630549352f);
    EXPECT_EQ(cc::parse_real_cell(""), 0.0f);
    EXPECT_EQ(cc::parse_real_cell("nope"), 0.0f);
    EXPECT_EQ(cc::parse_real_cell("inf"), 0.0f);
}

TEST(ConfigurationCodec, PulseEdgeAndDualChannelEncodings) {
    EXPECT_EQ(cc::pulse_edge_from_index(0), 0);
    EXPECT_EQ(cc::pulse_edge_from_index(1), 1);
    EXPECT_EQ(cc::pulse_edge_from_index(7), 1);
    EXPECT_EQ(cc::pulse_edge_to_index(0), 0);
    EXPECT_EQ(cc::pulse_edge_to_index(9), 1);
    // dual_channel is inverted against the combo: index 0 is "50 Channels" = 1.
    EXPECT_EQ(cc::dual_channel_from_index(0), 1);
    EXPECT_EQ(cc::dual_channel_from_index(1), 0);
    EXPECT_EQ(cc::dual_channel_to_index(1), 0);
    EXPECT_EQ(cc::dual_channel_to_index(0), 1);
    EXPECT_EQ(cc::dual_channel_to_index(2), 1);
}

TEST(ConfigurationCodec, CheckBoxes) {
    EXPECT_EQ(cc::checkbox_to_field(true), 1);
    EXPECT_EQ(cc::checkbox_to_field(false), 0);
    EXPECT_TRUE(cc::field_to_checkbox(255));
    EXPECT_TRUE(cc::field_to_checkbox(-1));
    EXPECT_FALSE(cc::field_to_checkbox(0));
}

TEST(ConfigurationCodec, SyncGuardResetsOnlyWhenAllThreeAreOutOfRange) {
    cfg_t cfg{};
    cfg.sync_output_polarity = 0;
    cfg.sync_input_polarity = 7;
    cfg.sync_mode = 1;
    EXPECT_FALSE(cc::apply_sync_guard(cfg));
    EXPECT_EQ(cfg.sync_input_polarity, 7);
    cfg.sync_output_polarity = cfg.sync_input_polarity = cfg.sync_mode = 5;
    EXPECT_TRUE(cc::apply_sync_guard(cfg));
    EXPECT_EQ(cfg.sync_output_polarity, 0);
    EXPECT_EQ(cfg.sync_input_polarity, 0);
    EXPECT_EQ(cfg.sync_mode, 0);
    cfg.sync_output_polarity = cfg.sync_input_polarity = 4;
    cfg.sync_mode = 3;
    EXPECT_FALSE(cc::apply_sync_guard(cfg));
}

TEST(ConfigurationCodec, FpsGuard) {
    EXPECT_EQ(cc::fps_to_control(41), 10);
    EXPECT_EQ(cc::fps_to_control(40), 40);
    EXPECT_EQ(cc::fps_to_control(25), 25);
}

TEST(ConfigurationRecord, IsA632ByteLittleEndianRecord) {
    cfg_t cfg{};
    cfg.prf_period = 0x1234;
    cfg.fps = 25;
    cfg.spad_offset[199] = 0xAB;
    unsigned char bytes[632];
    static_assert(sizeof bytes == sizeof cfg, "record size");
    std::memcpy(bytes, &cfg, sizeof cfg);
    EXPECT_EQ(bytes[20], 0x34);
    EXPECT_EQ(bytes[21], 0x12);
    EXPECT_EQ(bytes[428], 25);
    EXPECT_EQ(bytes[631], 0xAB);
}
