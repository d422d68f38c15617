// gx_bridge: a live GX sensor served to Foxglove (or any client of the
// Foxglove WebSocket protocol) as ROS 2 messages: the point cloud, the three
// images and the status record (interop/ros_messages.h).
//
//   gx_bridge --device IP:PORT [--local IP:PORT] [--listen [HOST:]PORT]
//
// It prints the address it serves on, then every 10 s one line of counters:
// frames received from the sensor and, per client, frames sent and dropped.
// SIGINT or SIGTERM ends it cleanly (exit 0).
#include "device/DadodUz.h"
#include "device/command_line.h"
#include "device/gx_address.h"
#include "interop/foxglove_server.h"
#include "interop/listen_address.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

namespace {

std::atomic<bool> stop_requested{false};

extern "C" void on_signal(int) { stop_requested = true; }

bool read_address(const std::string& text, TAVRIN::IP_ADDRESS_T& out) {
    in_addr ip{};
    return gx_address::split(text, out.ip, out.port) && ::inet_pton(AF_INET, out.ip.c_str(), &ip) == 1;
}

std::string counters_line(std::uint64_t received, const foxglove::server_counters& c) {
    std::string line = "frames received " + std::to_string(received) + ", overwritten before serving " +
                       std::to_string(c.frames_overwritten) + "; " + std::to_string(c.clients.size()) +
                       (c.clients.size() == 1 ? " client" : " clients");
    for (const foxglove::client_counters& k : c.clients)
        line += "; client " + std::to_string(k.id) + " (" + k.remote + ") sent " + std::to_string(k.frames_sent) +
                ", dropped " + std::to_string(k.frames_dropped);
    return line + "; dropped in all " + std::to_string(c.frames_dropped);
}

}  // namespace

int main(int argc, char** argv) {
    namespace po = command_line::po;
    std::string device_text, local_text = "0.0.0.0:0", listen_text = "127.0.0.1:8765";
    po::options_description desc(
        "gx_bridge: a live GX sensor served over the Foxglove WebSocket protocol (" + std::string(foxglove::subprotocol) +
        ")\n\nUsage: gx_bridge --device IP:PORT [--local IP:PORT] [--listen [HOST:]PORT]\n\nOptions");
    desc.add_options()("help", "show this help")
        ("version", "print the version and exit")
        ("device", po::value(&device_text)->value_name("IP:PORT"), "the sensor's address (required)")
        ("local", po::value(&local_text)->value_name("IP:PORT"), "the local address to receive on (default 0.0.0.0:0)")
        ("listen", po::value(&listen_text)->value_name("[HOST:]PORT"),
         "where clients connect (default 127.0.0.1:8765; another interface only when named; port 0: any free port)");
    po::variables_map vm;
    if (const int answered = command_line::read_or_answer(argc, argv, desc, "gx_bridge", vm); answered >= 0)
        return answered;

    TAVRIN::IP_ADDRESS_T device, local;
    foxglove::listen_address listen;
    std::string error;
    if (device_text.empty()) error = "--device IP:PORT is required";
    else if (!read_address(device_text, device)) error = "--device takes IP:PORT, not " + device_text;
    else if (!read_address(local_text, local)) error = "--local takes IP:PORT, not " + local_text;
    else if (!foxglove::parse_listen_address(listen_text, listen, error)) error = "--listen: " + error;
    if (!error.empty()) {
        std::fprintf(stderr, "gx_bridge: %s (gx_bridge --help lists the options)\n", error.c_str());
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    TAVRIN::DadodUz sensor;
    if (!sensor.connect(device, local) || !sensor.start() || !sensor.tcp_device_run()) {
        std::fprintf(stderr, "gx_bridge: cannot stream from %s: %s\n", device_text.c_str(),
                     sensor.get_last_error().empty() ? "the sensor did not start" : sensor.get_last_error().c_str());
        sensor.disconnect();
        return 1;
    }
    foxglove::server server;
    if (!server.start(listen, error)) {
        std::fprintf(stderr, "gx_bridge: %s\n", error.c_str());
        sensor.stop();
        sensor.disconnect();
        return 1;
    }
    std::printf("gx_bridge: serving ws://%s:%u from the sensor at %s\n", listen.host.c_str(), unsigned(server.port()),
                device_text.c_str());
    std::fflush(stdout);

    TAVRIN::DadodUz::scene_t scene;
    TAVRIN::DadodUz::sensing_packet_t status;
    std::uint64_t received = 0;
    using clock = std::chrono::steady_clock;
    auto next_report = clock::now() + std::chrono::seconds(10);
    while (!stop_requested) {
        if (sensor.wait_scene(scene, 100)) {
            ++received;
            sensor.get_sensing_packet(status);  // the newest status record goes with the frame
            server.publish(scene, status);
        }
        if (clock::now() >= next_report) {
            next_report += std::chrono::seconds(10);
            std::printf("%s\n", counters_line(received, server.counters()).c_str());
            std::fflush(stdout);
        }
    }
    const foxglove::server_counters last = server.counters();
    server.stop();
    sensor.stop();
    sensor.disconnect();
    std::printf("%s\ngx_bridge: stopped\n", counters_line(received, last).c_str());
    return 0;
}
