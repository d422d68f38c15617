// The wire protocol module: datagrams and reassembly, command records,
// messages, frames, register text, firmware images and lens rays.
#include "device/gx_lens.h"
#include "device/gx_protocol.h"
#include "device/gx_registers.h"
#include "device/gx_reassembler.h"
#include "emulator/gx_factory_registers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace gx;

TEST(protocol, crc32_matches_the_ieee_check_value) {
    EXPECT_EQ(crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc32("", 0), 0u);
}

TEST(protocol, datagrams_are_validated_against_their_size) {
    std::vector<std::uint8_t> obj(3000);
    for (std::size_t i = 0; i < obj.size(); ++i) obj[i] = std::uint8_t(i * 7);
    std::vector<std::vector<std::uint8_t>> dgs;
    fragment_object(kind_frame, 42, 7, obj.data(), std::uint32_t(obj.size()), dgs);
    ASSERT_EQ(dgs.size(), 3u);
    for (const auto& d : dgs) EXPECT_LT(d.size(), 1500u);
    datagram_header h;
    const std::uint8_t* p;
    ASSERT_TRUE(decode_datagram(dgs[2].data(), dgs[2].size(), h, p));
    EXPECT_EQ(h.fragment_index, 2);
    EXPECT_EQ(h.payload_length, 3000 - 2 * 1440);
    auto bad = dgs[2];
    EXPECT_FALSE(decode_datagram(bad.data(), bad.size() - 1, h, p)) << "truncated";
    bad.push_back(0);
    EXPECT_FALSE(decode_datagram(bad.data(), bad.size(), h, p)) << "oversized";
    bad = dgs[0];
    put_u32(bad.data() + 20, 5u << 20);
    EXPECT_FALSE(decode_datagram(bad.data(), bad.size(), h, p)) << "object too large";
    bad = dgs[0];
    put_u16(bad.data() + 16, 3);
    EXPECT_FALSE(decode_datagram(bad.data(), bad.size(), h, p)) << "index beyond count";
    bad = dgs[0];
    bad[4] = 9;
    EXPECT_FALSE(decode_datagram(bad.data(), bad.size(), h, p)) << "unknown kind";
    EXPECT_FALSE(decode_datagram(nullptr, 0, h, p));
}

TEST(protocol, reassembler_discards_foreign_stale_and_duplicate_datagrams) {
    std::vector<std::uint8_t> a(4000, 1), b(4000, 2);
    std::vector<std::vector<std::uint8_t>> fa, fb, ff;
    fragment_object(kind_frame, 5, 10, a.data(), 4000, fa);
    fragment_object(kind_frame, 5, 11, b.data(), 4000, fb);
    fragment_object(kind_frame, 6, 12, b.data(), 4000, ff);
    reassembler r(5);
    reassembler::object out;
    EXPECT_FALSE(r.feed(ff[0].data(), ff[0].size(), out)) << "other session";
    EXPECT_FALSE(r.feed(fa[0].data(), fa[0].size(), out));
    EXPECT_FALSE(r.feed(fa[0].data(), fa[0].size(), out)) << "duplicate";
    EXPECT_FALSE(r.feed(fa[1].data(), fa[1].size(), out));
    // Frame 11 completes while 10 still misses its last fragment: 10 is dropped.
    for (std::size_t i = 0; i + 1 < fb.size(); ++i) EXPECT_FALSE(r.feed(fb[i].data(), fb[i].size(), out));
    ASSERT_TRUE(r.feed(fb.back().data(), fb.back().size(), out));
    EXPECT_EQ(out.sequence, 11u);
    EXPECT_EQ(out.data, b);
    EXPECT_FALSE(r.feed(fa[2].data(), fa[2].size(), out)) << "stale";
    EXPECT_FALSE(r.feed(fb[0].data(), fb[0].size(), out)) << "repeat of a completed frame";
    const auto& s = r.statistics();
    EXPECT_EQ(s.frames_completed, 1u);
    EXPECT_EQ(s.frames_dropped, 1u);
    EXPECT_EQ(s.fragments_lost, 1u);
    EXPECT_EQ(s.datagrams_discarded, 4u);
}

TEST(protocol, tcp_records_and_messages) {
    const auto rec = encode_tcp_record("RN", 9, std::string("xy"));
    tcp_header h;
    ASSERT_TRUE(decode_tcp_header(rec.data(), h));
    EXPECT_TRUE(type_is(h.type, "RN"));
    EXPECT_EQ(h.seq, 9u);
    EXPECT_EQ(h.length, 2u);
    auto bad = rec;
    put_u32(bad.data() + 8, kMaxTcpPayload + 1);
    EXPECT_FALSE(decode_tcp_header(bad.data(), h)) << "length beyond the limit";
    bad = rec;
    bad[0] = 'Q';
    EXPECT_FALSE(decode_tcp_header(bad.data(), h));
    device_message m;
    bool trunc = false;
    const std::string big = encode_message_payload("ZZ", std::string(70000, 'a'));
    ASSERT_TRUE(decode_message_payload(reinterpret_cast<const std::uint8_t*>(big.data()), big.size(), m, 65531, &trunc));
    EXPECT_TRUE(trunc);
    EXPECT_EQ(m.data.size(), 65531u);
    EXPECT_FALSE(decode_message_payload(reinterpret_cast<const std::uint8_t*>("Z"), 1, m, 10));
}

TEST(protocol, frames_round_trip_and_reject_inconsistent_sizes) {
    frame_info info;
    info.rows = 2;
    info.cols = 3;
    info.timestamp = 123456789012ull;
    info.frame_number = 77;
    info.stream_mode = 2;
    info.echoes = 2;
    info.lens[0] = 540;
    std::vector<std::uint16_t> a = {1, 2, 3, 4, 5, 6}, in = {7, 8, 9, 10, 11, 12}, in2(6, 3);
    std::vector<std::int32_t> d = {100, 0, 300, 400, 500, 600}, d2(6, 9);
    const auto bytes = encode_frame(info, a.data(), d.data(), in.data(), d2.data(), in2.data());
    TAVRIN::DadodUz::scene_t s;
    frame_info back;
    ASSERT_TRUE(decode_frame(bytes.data(), bytes.size(), back, s));
    EXPECT_EQ(s.timestamp[0], info.timestamp);
    EXPECT_EQ(s.frame_number, 77u);
    EXPECT_EQ(s.depth, d);
    EXPECT_EQ(s.depth2, d2);
    EXPECT_EQ(back.lens[0], 540.0f);
    EXPECT_FALSE(decode_frame(bytes.data(), bytes.size() - 1, back, s));
    auto bad = bytes;
    put_u16(bad.data() + 16, 60000);  // rows that do not fit the size
    EXPECT_FALSE(decode_frame(bad.data(), bad.size(), back, s));
}

TEST(protocol, register_text_parser_reports_the_faulty_line) {
    std::vector<register_record> recs;
    std::string err;
    ASSERT_TRUE(parse_register_text("SN,X\nFPS,INT32,1,20\r\n\n  GX_IP,UINT8,4,1,2,3,4  \n\n", recs, err, true));
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[1].values, (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_FALSE(parse_register_text("SN,X\n", recs, err, false));
    EXPECT_FALSE(parse_register_text("FPS,INT32,1,20\nFPS,INT32,1,x\n", recs, err));
    EXPECT_EQ(err.substr(0, 6), "line 2");
    EXPECT_FALSE(parse_register_text("FPS,INT32,-1\n", recs, err));
    EXPECT_FALSE(parse_register_text("FPS,INT32,1,99999999999\n", recs, err));
    EXPECT_FALSE(parse_register_text("F PS,INT32,1,1\n", recs, err));
    bool unknown = false;
    register_record r{"MYSTERY", "UINT16", {"5"}};
    EXPECT_TRUE(validate_register_record(r, unknown, err));
    EXPECT_TRUE(unknown);
    register_record l{"LENSCOE", "FLOAT", {"1", "2"}};
    EXPECT_FALSE(validate_register_record(l, unknown, err));
}

TEST(protocol, register_set_formats_and_parses_back_exactly) {
    register_set regs = default_registers();
    regs.config.lens_coe[6] = -0.123456789f;
    regs.config.spad_offset[150] = 77;
    regs.config.vcsel_offset[95] = 65535;
    regs.config.sync_mode = -3;
    regs.net.pc_port = 5000;
    std::vector<register_record> recs;
    std::string err;
    ASSERT_TRUE(parse_register_text(format_registers(regs), recs, err));
    register_set back = default_registers();
    std::memset(&back.config, 0, sizeof back.config);
    int rejected = -1;
    EXPECT_EQ(apply_register_records(recs, back, &rejected), 49);
    EXPECT_EQ(rejected, 0);
    EXPECT_EQ(std::memcmp(&back.config, &regs.config, sizeof regs.config), 0);
    EXPECT_EQ(back.net.pc_port, 5000);
    const std::string dump = format_register_dump(regs);
    EXPECT_GE(dump.size(), 1000u);
    EXPECT_LE(dump.size(), 9999u);
    EXPECT_EQ(dump.substr(0, 2), "SN");
}

TEST(protocol, firmware_images_carry_a_checked_header) {
    std::vector<std::uint8_t> payload(1000, 0x5A);
    auto img = make_firmware_image(payload, "t");
    std::string why;
    EXPECT_TRUE(validate_firmware_image(img.data(), img.size(), &why));
    img[40] ^= 1;
    EXPECT_FALSE(validate_firmware_image(img.data(), img.size(), &why));
    EXPECT_EQ(why, "checksum mismatch");
    EXPECT_FALSE(validate_firmware_image(img.data(), img.size() - 1, &why));
    EXPECT_FALSE(validate_firmware_image(img.data(), 10, &why));
}

TEST(protocol, lens_rays_undistort_and_make_points) {
    lens_rays rays;
    std::array<float, 12> pinhole{};
    pinhole[0] = pinhole[1] = 100;
    pinhole[2] = 1;
    pinhole[3] = 1;
    rays.update(pinhole, 3, 3);
    const auto& centre = rays.at(4);
    EXPECT_NEAR(centre.dx, 1, 1e-6);
    const auto& right = rays.at(5);  // column 2: 0.01 to the right
    EXPECT_NEAR(right.dy / right.dx, -0.01, 1e-6);
    const auto& top = rays.at(1);  // row 0: up
    EXPECT_NEAR(top.dz / top.dx, 0.01, 1e-6);
    // Distortion: the undistorted ray, pushed through the forward model, lands on the pixel.
    std::array<float, 12> lens = {540, 540, 210.5f, 49.5f, 0.001f, -0.002f, -0.8435f, 1.099f, -8.88f, 0, 0, 0};
    rays.update(lens, 100, 400);
    const auto& r = rays.at(99 * 400 + 399);
    const double x = -r.dy / r.dx, y = -r.dz / r.dx, r2 = x * x + y * y;
    const double radial = 1 + lens[6] * r2 + lens[7] * r2 * r2 + lens[8] * r2 * r2 * r2;
    const double xd = x * radial + 2 * lens[4] * x * y + lens[5] * (r2 + 2 * x * x);
    const double yd = y * radial + lens[4] * (r2 + 2 * y * y) + 2 * lens[5] * x * y;
    EXPECT_NEAR(xd * 540 + 210.5, 399.0, 1e-3);
    EXPECT_NEAR(yd * 540 + 49.5, 99.0, 1e-3);
    // The far-left columns lie beyond the turning point of these coefficients:
    // their rays are clamped, so the row never folds back on itself.
    for (int c = 1; c < 400; ++c) {
        EXPECT_LE(rays.at(std::size_t(c)).azimuth, rays.at(std::size_t(c - 1)).azimuth + 1e-7) << c;
        EXPECT_TRUE(std::isfinite(rays.at(std::size_t(c)).azimuth));
    }
    // Unusable lenses fall back to a pinhole rather than producing NaN.
    std::array<float, 12> zero{};
    rays.update(zero, 2, 2);
    EXPECT_TRUE(std::isfinite(rays.at(3).dx));
    TAVRIN::DadodUz::scene_t s;
    s.rows = 2;
    s.cols = 2;
    s.depth = {0, 10, 20, 30};
    rays.make_points(s, 1);
    EXPECT_EQ(s.points[0].valid, 0);
    EXPECT_NEAR(s.points[1].distance, 500, 1e-9);
}
