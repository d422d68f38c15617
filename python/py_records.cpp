#include "python/py_records.h"

namespace py = pybind11;

namespace vezovad_py {
namespace {

template <typename T>
py::object value(const T& v) {
    return py::cast(v);
}

// Tables become lists; uint8 values stay numbers.
template <typename T, std::size_t N>
py::object value(const T (&a)[N]) {
    py::list l(N);
    for (std::size_t i = 0; i < N; ++i) l[i] = py::cast(a[i]);
    return l;
}

}  // namespace

// The named fields of each record, in record order; reserved bytes are left out.
#define VEZOVAD_CONFIGURATION_FIELDS(X)                                                                                 \
    X(vdp_voltage) X(vdn_voltage) X(hv_bias) X(vcsel_manual_cs) X(vcselp) X(prf_period) X(intf_reject) X(target_samples) \
    X(start_column_index) X(end_column_index) X(start_row_index) X(end_row_index) X(pulse_inhibit) X(pulse_edge)         \
    X(pulse_delay) X(pulse_duty) X(stream_mode) X(vcsel_timing) X(image_mode) X(peak_separation_width) X(fir_offset)     \
    X(fir_coef) X(cog_tap_num) X(jitter_en) X(threshold_coe) X(lens_coe) X(vcsel_type) X(dual_channel) X(global_offset) \
    X(vcsel_offset) X(filli) X(emitter_dwidth) X(walkerror) X(h_cl_delay) X(cls_duty) X(intensity_fir_coe)              \
    X(sync_output_polarity) X(rx_hv_ctrl_en) X(sync_input_polarity) X(sync_mode) X(fps) X(spad_offset)

#define VEZOVAD_STATUS_FIELDS(X)                                                                                        \
    X(packet_id) X(frame_number) X(xadc_scan_count) X(xadc_onchip_temp) X(xadc_vccint) X(xadc_vccaux) X(xadc_vccbram)   \
    X(xadc_vccpint) X(xadc_vccpaux) X(xadc_vcco_ddr) X(xadc_rd_ddr_vtt) X(xadc_rd_dp3v3) X(xadc_rd_p12v) X(xadc_rd_heat) \
    X(xadc_tx_0v5) X(xadc_tx_5v0) X(xadc_tx_12v) X(xadc_tx_hv) X(xadc_tx_temp) X(xadc_rx_vio) X(xadc_rx_vcore)          \
    X(xadc_rx_bias) X(xadc_rx_vdp) X(xadc_rx_vdn) X(xadc_rx_0v5) X(rx_temp)

#define VEZOVAD_LINK_FIELDS(X)                                                                                          \
    X(frames_received) X(frames_dropped) X(frames_overwritten) X(fragments_lost) X(datagrams_discarded)                 \
    X(frames_recorded) X(frames_not_recorded) X(histograms_received) X(histograms_dropped) X(histograms_queued)         \
    X(frames_damaged) X(answers_received) X(link_up)

#define VEZOVAD_PUT(field) d[#field] = value(r.field);

py::dict configuration_dict(const TAVRIN::DadodUz::configurations_t& r) {
    py::dict d;
    VEZOVAD_CONFIGURATION_FIELDS(VEZOVAD_PUT)
    return d;
}

py::dict status_dict(const TAVRIN::DadodUz::sensing_packet_t& r) {
    py::dict d;
    VEZOVAD_STATUS_FIELDS(VEZOVAD_PUT)
    return d;
}

py::dict link_statistics_dict(const TAVRIN::DadodUz::link_statistics_t& r) {
    py::dict d;
    VEZOVAD_LINK_FIELDS(VEZOVAD_PUT)
    return d;
}

#undef VEZOVAD_PUT

}  // namespace vezovad_py
