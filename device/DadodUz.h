// Public interface of the GX device library (libtavrin_gx).
//
// One DadodUz object is one session with a GX sensor (stream mode) or with a
// recording file (play mode). Every call is made from the caller's thread and
// returns promptly; the library does its network and file work on threads of
// its own. No Qt types appear here: any C++17 program can link tavrin_gx.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace TAVRIN {

// Address of one end of a stream connection.
typedef struct _IP_ADDRESS_T {
    std::string ip;
    int port = 0;
} IP_ADDRESS_T;

// One device message: a length, two type characters, then `length` data bytes.
// The record is 65536 bytes; `length` never exceeds kMaxData so that the
// caller may always store a terminating zero at data[length].
typedef struct _TCP_PROTOCOL_T {
    static constexpr std::size_t kDataSize = 65532;
    static constexpr std::uint16_t kMaxData = 65531;
    std::uint16_t length;
    char type[2];
    std::uint8_t data[kDataSize];
} TCP_PROTOCOL_T;
static_assert(sizeof(_TCP_PROTOCOL_T) == 65536, "_TCP_PROTOCOL_T is a 65536-byte record");

class DadodUz {
public:
    // One 3D point per pixel; lengths in millimetres.
    typedef struct _GX1_POINT_T {
        double echo = 0;      // echo index the point belongs to (0 = first)
        double distance = 0;  // range from the sensor
        double azimuth = 0;   // horizontal angle of the pixel's ray, radians
        double elevation = 0; // vertical angle of the pixel's ray, radians
        double x = 0;
        double y = 0;
        double z = 0;
        double valid = 0;     // 1 when the pixel carries a return, else 0
    } point_t;
    static_assert(sizeof(point_t) == 64, "point_t is eight doubles");

    // One frame. Per-pixel arrays are row-major: index = row * cols + col.
    typedef struct _GX1_SCENE_T {
        std::vector<std::uint64_t> timestamp;  // [0]: frame time, 10 ns ticks of the sensor clock
        std::uint32_t frame_number = 0;        // sensor frame sequence number
        std::uint32_t rows = 0;
        std::uint32_t cols = 0;
        std::vector<std::uint16_t> ambient;
        std::vector<std::int32_t> depth;       // mm or bins, by the configured stream mode
        std::vector<std::uint16_t> intensity;
        std::vector<point_t> points;
        std::vector<std::int32_t> depth2;      // second echo (multi-echo modes)
        std::vector<std::uint16_t> intensity2;
        std::vector<point_t> points2;
        // Stream mode: when the library completed the frame (steady clock,
        // nanoseconds since its epoch); 0 in play mode. Not part of the wire
        // record.
        std::int64_t received_ns = 0;
    } scene_t;

    // Status record of the sensor's on-board monitor.
    typedef struct _GX1_SENSING_T {
        std::uint32_t packet_id = 0;     // constant tag of a status packet
        std::uint32_t frame_number = 0;  // frame the status was sampled with
        std::uint32_t xadc_scan_count = 0;
        float xadc_onchip_temp = 0;
        float xadc_vccint = 0;
        float xadc_vccaux = 0;
        float xadc_vccbram = 0;
        float xadc_vccpint = 0;
        float xadc_vccpaux = 0;
        float xadc_vcco_ddr = 0;
        float xadc_rd_ddr_vtt = 0;
        float xadc_rd_dp3v3 = 0;
        float xadc_rd_p12v = 0;
        float xadc_rd_heat = 0;
        float xadc_tx_0v5 = 0;
        float xadc_tx_5v0 = 0;
        float xadc_tx_12v = 0;
        float xadc_tx_hv = 0;
        float xadc_tx_temp = 0;
        float xadc_rx_vio = 0;
        float xadc_rx_vcore = 0;
        float xadc_rx_bias = 0;
        float xadc_rx_vdp = 0;
        float xadc_rx_vdn = 0;
        float xadc_rx_0v5 = 0;
        float rx_temp = 0;
    } sensing_packet_t;
    static_assert(sizeof(sensing_packet_t) == 104, "sensing_packet_t is 3 words and 23 floats");

    // The time histogram of one pixel (histogram stream mode).
    typedef struct _GX1_HISTOGRAM_T {
        std::uint32_t col = 0;
        std::uint32_t row = 0;
        std::uint32_t bin_count = 0;       // == bins.size()
        std::vector<std::uint16_t> bins;
        // When the library completed the histogram: steady clock, nanoseconds
        // since its epoch. Not part of the wire record.
        std::int64_t received_ns = 0;
    } histogram_t;

    // The sensor configuration: a 632-byte little-endian wire record with
    // natural alignment. Reserved bytes are carried through untouched.
    typedef struct _GX1_CONFIGURATIONS_T {
        float vdp_voltage;                 //   0
        float vdn_voltage;                 //   4
        float hv_bias;                     //   8
        std::uint8_t vcsel_manual_cs;      //  12
        std::uint8_t reserved_13[3];       //  13
        std::uint32_t vcselp;              //  16
        std::uint16_t prf_period;          //  20  5 ns steps
        std::uint8_t intf_reject;          //  22
        std::uint8_t reserved_23;          //  23
        std::uint16_t target_samples;      //  24
        std::uint16_t start_column_index;  //  26
        std::uint16_t end_column_index;    //  28
        std::uint8_t start_row_index;      //  30
        std::uint8_t end_row_index;        //  31
        std::uint8_t pulse_inhibit;        //  32
        std::uint8_t pulse_edge;           //  33
        std::uint16_t pulse_delay;         //  34  5 ns steps
        std::uint8_t pulse_duty;           //  36  5 ns steps
        std::uint8_t stream_mode;          //  37  0..4
        std::uint8_t reserved_38[2];       //  38
        std::uint32_t vcsel_timing;        //  40  packed 9-bit fields, 5 ns steps
        std::uint32_t image_mode;          //  44  bits 0-1 intensity, 2-3 ambient
        std::uint32_t peak_separation_width; // 48
        std::uint8_t fir_offset;           //  52
        std::uint8_t reserved_53[3];       //  53
        std::uint32_t fir_coef[2];         //  56  sixteen 4-bit taps
        std::uint8_t cog_tap_num;          //  64
        std::uint8_t jitter_en;            //  65
        std::uint8_t reserved_66[2];       //  66
        float threshold_coe[4];            //  68
        float lens_coe[12];                //  84  fx fy cx cy p1 p2 k1..k6
        std::uint8_t vcsel_type;           // 132
        std::uint8_t dual_channel;         // 133  1 = 50 channels
        std::uint16_t global_offset;       // 134
        std::uint16_t vcsel_offset[96];    // 136
        std::int32_t filli;                // 328
        float emitter_dwidth;              // 332
        float walkerror[6];                // 336  p1 p2 q1 q2 a b
        std::uint32_t h_cl_delay;          // 360  5 ns steps
        std::uint32_t cls_duty;            // 364  5 ns steps
        float intensity_fir_coe[11];       // 368
        std::int32_t sync_output_polarity; // 412
        std::int32_t rx_hv_ctrl_en;        // 416
        std::int32_t sync_input_polarity;  // 420
        std::int32_t sync_mode;            // 424
        std::int32_t fps;                  // 428
        std::uint8_t spad_offset[200];     // 432
    } configurations_t;

    // Link counters for status displays.
    struct link_statistics_t {
        std::uint64_t frames_received = 0;   // complete frames assembled
        std::uint64_t frames_dropped = 0;    // frames abandoned with fragments missing
        std::uint64_t frames_overwritten = 0; // complete frames dropped unread: waited past the bound, or the queue was full
        std::uint64_t fragments_lost = 0;    // fragments never received of dropped frames
        std::uint64_t datagrams_discarded = 0; // malformed, foreign, stale or duplicate datagrams
        std::uint64_t frames_recorded = 0;   // frames written by the current or last recording
        std::uint64_t frames_not_recorded = 0; // frames of the current or last recording lost to a full queue or a failed write
        std::uint64_t histograms_received = 0; // histograms completed while delivering
        std::uint64_t histograms_dropped = 0;  // histograms discarded unread (queue full or too old)
        std::uint64_t histograms_queued = 0;   // histograms waiting for get_histogram now
        std::uint64_t frames_damaged = 0;    // play mode: records skipped as damaged or cut off
        std::uint64_t answers_received = 0;  // stream mode: records from the sensor on the command channel
        bool link_up = false;                // stream mode: the command channel to the sensor is open
    };

    DadodUz();
    ~DadodUz();
    DadodUz(const DadodUz&) = delete;
    DadodUz& operator=(const DadodUz&) = delete;

    // Session.
    bool connect(IP_ADDRESS_T device, IP_ADDRESS_T local);
    bool connect_file(std::string path);
    bool get_logging_file_size(std::uint64_t& frames);
    bool start();
    bool stop();
    bool disconnect();
    bool configuration(const configurations_t& configuration);
    // The number of the first frame the sensor makes with the configuration
    // it last accepted; frames numbered before it were made with the old one.
    // 0 when the sensor does not say.
    std::uint32_t get_configuration_frame() const;

    // Data. Stream mode: the oldest frame not yet taken (frames wait at most
    // 200 ms, eight at most; docs/protocol.md), refilling the record in
    // place; false when none waits. Play mode: frame `index` of the file.
    bool get_scene(scene_t& scene);
    bool get_scene(scene_t& scene, std::uint64_t index);
    // Stream mode: as get_scene(scene), but waits up to timeout_ms for a frame
    // when none is new. False on time-out or when the session ends.
    bool wait_scene(scene_t& scene, int timeout_ms);
    bool get_histogram(histogram_t& histogram);
    bool get_sensing_packet(sensing_packet_t& packet);
    bool get_sensing_packet(sensing_packet_t& packet, std::uint64_t index);

    // Recording of the live stream.
    bool start_recording(std::string path);
    bool stop_recording();

    // Device commands.
    bool tcp_device_run();
    bool tcp_device_stop();
    bool tcp_software_reset();
    bool tcp_memory_upload();
    bool tcp_register_read();
    bool tcp_register_read(const char* path);
    bool tcp_register_write(const char* path);
    bool tcp_fw_upload(const char* path);
    bool tcp_get_message(_TCP_PROTOCOL_T& message);

    // Host-side filters applied to every live frame.
    bool set_zigzag_filling_enable(bool enable);
    bool set_deflaring_enable(bool enable);
    bool set_real_ambient_enable(bool enable);
    bool set_line_filling_enable(bool enable);
    bool set_line_filling_left_offset(int value);
    bool set_line_filling_right_offset(int value);
    bool set_deflaring_retro_threshold(int value);
    bool set_deflaring_depth_diff(int value);
    bool set_zigzag_depth_diff(int value);
    bool set_zigzag_smoothing_factor(int value);

    // Counters of the stream connection or recording.
    link_statistics_t get_link_statistics() const;

    // How long connect waits for the sensor to accept the command channel and
    // to answer the hello, each (default 1500 ms; 100 ms at least).
    void set_connect_timeout(int milliseconds);
    // The sensor's serial number, which its answer to the hello carries
    // ("GX0-EMU-0001"); "" in play mode, before a connect, or when the sensor
    // sent none.
    std::string get_serial_number() const;
    // Why the last connect or connect_file failed, in words ("" after success).
    std::string get_last_error() const;
    // The system's error number behind that failure (ECONNREFUSED, ETIMEDOUT,
    // EADDRINUSE, ...); 0 when the library refused on its own account.
    int get_last_errno() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TAVRIN

// The configuration record is a wire format: pin its layout.
#define TAVRIN_CFG_AT(field, offset) \
    static_assert(offsetof(TAVRIN::DadodUz::configurations_t, field) == (offset), "configurations_t::" #field " must sit at byte " #offset)
static_assert(sizeof(TAVRIN::DadodUz::configurations_t) == 632, "configurations_t is 632 bytes");
static_assert(alignof(TAVRIN::DadodUz::configurations_t) == 4, "configurations_t has 4-byte alignment");
static_assert(std::is_trivially_copyable<TAVRIN::DadodUz::configurations_t>::value, "configurations_t is copied as 632 bytes");
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the GX wire records are little-endian; this host is not"
#endif
TAVRIN_CFG_AT(vdp_voltage, 0);
TAVRIN_CFG_AT(vdn_voltage, 4);
TAVRIN_CFG_AT(hv_bias, 8);
TAVRIN_CFG_AT(vcsel_manual_cs, 12);
TAVRIN_CFG_AT(vcselp, 16);
TAVRIN_CFG_AT(prf_period, 20);
TAVRIN_CFG_AT(intf_reject, 22);
TAVRIN_CFG_AT(target_samples, 24);
TAVRIN_CFG_AT(start_column_index, 26);
TAVRIN_CFG_AT(end_column_index, 28);
TAVRIN_CFG_AT(start_row_index, 30);
TAVRIN_CFG_AT(end_row_index, 31);
TAVRIN_CFG_AT(pulse_inhibit, 32);
TAVRIN_CFG_AT(pulse_edge, 33);
TAVRIN_CFG_AT(pulse_delay, 34);
TAVRIN_CFG_AT(pulse_duty, 36);
TAVRIN_CFG_AT(stream_mode, 37);
TAVRIN_CFG_AT(vcsel_timing, 40);
TAVRIN_CFG_AT(image_mode, 44);
TAVRIN_CFG_AT(peak_separation_width, 48);
TAVRIN_CFG_AT(fir_offset, 52);
TAVRIN_CFG_AT(fir_coef, 56);
TAVRIN_CFG_AT(cog_tap_num, 64);
TAVRIN_CFG_AT(jitter_en, 65);
TAVRIN_CFG_AT(threshold_coe, 68);
TAVRIN_CFG_AT(lens_coe, 84);
TAVRIN_CFG_AT(vcsel_type, 132);
TAVRIN_CFG_AT(dual_channel, 133);
TAVRIN_CFG_AT(global_offset, 134);
TAVRIN_CFG_AT(vcsel_offset, 136);
TAVRIN_CFG_AT(filli, 328);
TAVRIN_CFG_AT(emitter_dwidth, 332);
TAVRIN_CFG_AT(walkerror, 336);
TAVRIN_CFG_AT(h_cl_delay, 360);
TAVRIN_CFG_AT(cls_duty, 364);
TAVRIN_CFG_AT(intensity_fir_coe, 368);
TAVRIN_CFG_AT(sync_output_polarity, 412);
TAVRIN_CFG_AT(rx_hv_ctrl_en, 416);
TAVRIN_CFG_AT(sync_input_polarity, 420);
TAVRIN_CFG_AT(sync_mode, 424);
TAVRIN_CFG_AT(fps, 428);
TAVRIN_CFG_AT(spad_offset, 432);
#undef TAVRIN_CFG_AT
