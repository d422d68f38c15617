#include "logic/device_message.h"
#include "logic/frame_rate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace dm = device_message;
using cfg_t = TAVRIN::DadodUz::configurations_t;

namespace {

std::unique_ptr<TAVRIN::_TCP_PROTOCOL_T> message(const char type[2], const std::string& data) {
    auto m = std::make_unique<TAVRIN::_TCP_PROTOCOL_T>();
    m->length = static_cast<std::uint16_t>(data.size());
    m->type[0] = type[0];
    m->type[1] = type[1];
    std::memcpy(m->data, data.data(), data.size());
    m->data[data.size()] = 0;
    return m;
}

// A dump text T as the main window forms it: a four-digit length.
std::string dump_text(std::string body) {
    while (body.size() < 1000) body += "\n";
    return std::to_string(body.size()) + "::RS::" + body;
}

} // namespace

TEST(DeviceMessage, TextFollowsTheLengthTypeDataPattern) {
    EXPECT_EQ(dm::text(*message("DO", "RUN")), "3::DO::RUN");
    EXPECT_EQ(dm::text(*message("MO", "")), "0::MO::");
    const auto t = dm::text(*message("RO", "OK"));
    EXPECT_TRUE(dm::is_short(t, 'R', 'O'));
    EXPECT_FALSE(dm::is_short(t, 'M', 'O'));
    EXPECT_FALSE(dm::is_short(dm::text(*message("DO", "0123456789")), 'D', 'O')) << "two-digit length";
    // Data stops at a zero byte, as "%s" does.
    EXPECT_EQ(dm::text(*message("XX", std::string("ab\0cd", 5))), "5::XX::ab");
    // A length that would overrun the record is cut to the data area.
    auto big = message("ZZ", "x");
    big->length = 65535;
    std::memset(big->data, 'a', TAVRIN::_TCP_PROTOCOL_T::kDataSize);
    EXPECT_EQ(dm::text(*big).size(), std::string("65535::ZZ::").size() + TAVRIN::_TCP_PROTOCOL_T::kMaxData);
}

TEST(DeviceMessage, RegisterDumpIsRecognisedByTypeAndSerialPositions) {
    const std::string t = dump_text("SN,GX-0001\nFPS,INT32,1,25\n");
    EXPECT_TRUE(dm::is_register_dump(t));
    EXPECT_EQ(t.substr(6, 2), "RS");
    EXPECT_EQ(t.substr(10, 2), "SN");
    EXPECT_FALSE(dm::is_register_dump("12::RS::SN"));
    EXPECT_FALSE(dm::is_register_dump(""));
}

TEST(DeviceMessage, RegisterDumpFillsTheRecordInDeviceUnits) {
    cfg_t cfg{};
    cfg.hv_bias = 99;
    const std::string body =
        "SN,GX-0001\n"
        "RXVDP,FLOAT,1,1.5\n"
        "RXVDN,FLOAT,1,3.3\n"
        "RXHV,FLOAT,1,27.5\n"
        "RXHVC,FLOAT,1,1.9\n"
        "STREAM,UINT8,1,1\n"
        "THRES,FLOAT,4,80.91,0.4295,54.35,15\n"
        "LENSCOE,FLOAT,12,540,540,210.5,49.5,0,0,-0.8435,1.099,-8.88,0,0,0\n"
        "GLBOFS,INT64,1,133\n"
        "PRI,UINT16,1,408\n"
        "COEGRPA,UINT32,1,2271560481\n"
        "COEGRPB,UINT32,1,0x01234567\n"
        "SPADOFSL,UINT8,3,1,2,3\n"
        "SPADOFSR,UINT8,2,7,8\n"
        "VCSELOFS,UINT16,2,300,65535\n"
        "FWVER,STRING,1,v1.2.3\n"
        "WALKERR,FLOAT,6,-10531,34330,-193.9,645.8,309.8,156.9\n"
        "INTSFIR,FLOAT,11,0,1,2,3,4,5,6,7,8,9,10\n"
        "OSYNC,INT32,1,1\n"
        "ISYNC,INT32,1,0\n"
        "SYNCMODE,INT32,1,2\n"
        "FPS,INT32,1,25\n"
        "GX_IP,UINT8,4,127,0,0,1\n";
    const auto r = dm::parse_register_dump(dump_text(body), cfg);
    EXPECT_EQ(r.skipped, 1) << "GX_IP names no configuration field";
    EXPECT_FLOAT_EQ(cfg.vdp_voltage, 1.5f);
    EXPECT_FLOAT_EQ(cfg.hv_bias, 27.5f) << "\"RXHV,\" is matched with its comma, not by RXHVC";
    EXPECT_EQ(cfg.rx_hv_ctrl_en, 1) << "truncated toward zero";
    EXPECT_EQ(cfg.stream_mode, 1);
    EXPECT_FLOAT_EQ(cfg.threshold_coe[1], 0.4295f);
    EXPECT_FLOAT_EQ(cfg.lens_coe[2], 210.5f);
    EXPECT_FLOAT_EQ(cfg.lens_coe[8], -8.88f);
    EXPECT_EQ(cfg.global_offset, 133);
    EXPECT_EQ(cfg.prf_period, 408);
    EXPECT_EQ(cfg.fir_coef[0], 0x87654321u);
    EXPECT_EQ(cfg.fir_coef[1], 0x01234567u);
    EXPECT_EQ(cfg.spad_offset[2], 3);
    EXPECT_EQ(cfg.spad_offset[100], 7);
    EXPECT_EQ(cfg.spad_offset[101], 8);
    EXPECT_EQ(cfg.vcsel_offset[1], 65535);
    EXPECT_FLOAT_EQ(cfg.walkerror[5], 156.9f);
    EXPECT_FLOAT_EQ(cfg.intensity_fir_coe[10], 10.0f);
    EXPECT_EQ(cfg.sync_output_polarity, 1);
    EXPECT_EQ(cfg.sync_mode, 2);
    EXPECT_EQ(cfg.fps, 25);
}

TEST(DeviceMessage, MalformedDumpLinesAreSkippedAndNeverOverrunAField) {
    cfg_t cfg{};
    cfg.fps = 10;
    cfg.prf_period = 408;
    std::memset(cfg.lens_coe, 0, sizeof cfg.lens_coe);
    std::string body = "SN,GX-0001\n";
    body += "FPS,INT32,1,twenty\n";           // not a number: record skipped
    body += "PRI,UINT16\n";                   // no values
    body += "THRES,FLOAT,4,1,2,x,4\n";        // one bad value: the whole record is skipped
    body += "LENSCOE,FLOAT,20";               // more values than the field holds
    for (int i = 0; i < 20; ++i) body += "," + std::to_string(i + 1);
    body += "\nSPADOFSR,UINT8,150";
    for (int i = 0; i < 150; ++i) body += ",9";
    body += "\nVCSELOFS,UINT16,200";
    for (int i = 0; i < 200; ++i) body += ",5";
    body += "\n\n\r\nGARBAGE LINE WITHOUT COMMAS\n,,,\nEMITD,FLOAT,1,1e400\n";
    const float walk_before = cfg.walkerror[0];
    dm::parse_register_dump(dump_text(body), cfg);
    EXPECT_EQ(cfg.fps, 10);
    EXPECT_EQ(cfg.prf_period, 408);
    EXPECT_EQ(cfg.threshold_coe[0], 0.0f);
    EXPECT_FLOAT_EQ(cfg.lens_coe[11], 12.0f);
    EXPECT_EQ(cfg.spad_offset[199], 9);
    EXPECT_EQ(cfg.vcsel_offset[95], 5);
    EXPECT_EQ(cfg.filli, 0) << "VCSELO must stop at its 96 elements";
    EXPECT_EQ(cfg.emitter_dwidth, 0.0f) << "an overflowing real is refused";
    EXPECT_EQ(cfg.walkerror[0], walk_before);
    // Texts too short to hold anything.
    dm::parse_register_dump("", cfg);
    dm::parse_register_dump("1::R", cfg);
}

TEST(DeviceMessage, NetworkFileLines) {
    const auto lines = dm::network_file_lines({"192.168.1.10", "2000", "192.168.1.15", "5000"});
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "GX_IP,UINT8,4,192,168,1,10");
    EXPECT_EQ(lines[1], "GX_PORT,UINT16,1,2000");
    EXPECT_EQ(lines[2], "PC_IP,UINT8,4,192,168,1,15");
    EXPECT_EQ(lines[3], "PC_PORT,UINT16,1,5000");
}

TEST(FrameRate, StampsThatDoNotAdvanceKeepTheLastRate) {
    EXPECT_DOUBLE_EQ(frame_rate::between(0, 10000000, 0), 10.0);
    EXPECT_DOUBLE_EQ(frame_rate::between(10000000, 14000000, 0), 25.0);
    EXPECT_DOUBLE_EQ(frame_rate::between(5, 5, 12.5), 12.5) << "equal stamps";
    EXPECT_DOUBLE_EQ(frame_rate::between(9, 5, 12.5), 12.5) << "a stamp going backwards";
    EXPECT_EQ(frame_rate::play_interval_ms(10, 2), 50);
    EXPECT_EQ(frame_rate::play_interval_ms(10, 1), 100);
    EXPECT_EQ(frame_rate::play_interval_ms(30, 1), 33);
    EXPECT_EQ(frame_rate::play_interval_ms(0, 1), -1);
    EXPECT_EQ(frame_rate::play_interval_ms(NAN, 1), -1);
    EXPECT_EQ(frame_rate::play_interval_ms(1e-9, 0.1), 2147483647);
}
