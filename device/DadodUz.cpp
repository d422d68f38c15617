// Placeholder of the device library: every operation reports failure.
#include "device/DadodUz.h"

namespace TAVRIN {

struct DadodUz::Impl {};

DadodUz::DadodUz() : d(new Impl) {}
DadodUz::~DadodUz() = default;

bool DadodUz::connect(IP_ADDRESS_T, IP_ADDRESS_T) { return false; }
bool DadodUz::connect_file(std::string) { return false; }
bool DadodUz::get_logging_file_size(std::uint64_t& frames) { frames = 0; return false; }
bool DadodUz::start() { return false; }
bool DadodUz::stop() { return false; }
bool DadodUz::disconnect() { return false; }
bool DadodUz::configuration(const configurations_t&) { return false; }
bool DadodUz::get_scene(scene_t&) { return false; }
bool DadodUz::get_scene(scene_t&, std::uint64_t) { return false; }
bool DadodUz::get_histogram(histogram_t&) { return false; }
bool DadodUz::get_sensing_packet(sensing_packet_t&) { return false; }
bool DadodUz::get_sensing_packet(sensing_packet_t&, std::uint64_t) { return false; }
bool DadodUz::start_recording(std::string) { return false; }
bool DadodUz::stop_recording() { return false; }
bool DadodUz::tcp_device_run() { return false; }
bool DadodUz::tcp_device_stop() { return false; }
bool DadodUz::tcp_software_reset() { return false; }
bool DadodUz::tcp_memory_upload() { return false; }
bool DadodUz::tcp_register_read() { return false; }
bool DadodUz::tcp_register_read(const char*) { return false; }
bool DadodUz::tcp_register_write(const char*) { return false; }
bool DadodUz::tcp_fw_upload(const char*) { return false; }
bool DadodUz::tcp_get_message(_TCP_PROTOCOL_T&) { return false; }
bool DadodUz::set_zigzag_filling_enable(bool) { return false; }
bool DadodUz::set_deflaring_enable(bool) { return false; }
bool DadodUz::set_real_ambient_enable(bool) { return false; }
bool DadodUz::set_line_filling_enable(bool) { return false; }
bool DadodUz::set_line_filling_left_offset(int) { return false; }
bool DadodUz::set_line_filling_right_offset(int) { return false; }
bool DadodUz::set_deflaring_retro_threshold(int) { return false; }
bool DadodUz::set_deflaring_depth_diff(int) { return false; }
bool DadodUz::set_zigzag_depth_diff(int) { return false; }
bool DadodUz::set_zigzag_smoothing_factor(int) { return false; }
DadodUz::link_statistics_t DadodUz::get_link_statistics() const { return {}; }

} // namespace TAVRIN
