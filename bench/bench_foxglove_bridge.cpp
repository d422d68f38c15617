// The Foxglove WebSocket server with two clients subscribed to all five
// topics, against gx_emulator on 127.0.0.1 at 25 frames/s, under an X server
// (scripts/xvfb.sh):
//   1. the cost of one frame's messages: serialising each topic, and
//      publish() on the producer's thread (the copy into the mailbox);
//   2. the bridge's loop (the device library and the server, as gx_bridge
//      runs them): frames received, frames each client got and lost, and the
//      server thread's serialisation time per frame;
//   3. the administrator's main window live with --serve-foxglove and the two
//      clients: frames shown per second, frames the library overwrote, and
//      what the clients got.
//   bench_foxglove_bridge [seconds]     (each live stretch; 10 by default)
// Prints figures; asserts nothing. The machine is shared: figures are rough.
#include "bench/bench_options.h"
#include "bench/bench_timing.h"
#include "bench/gui_bench.h"
#include "bench/live_admin_window.h"
#include "interop/foxglove_server.h"
#include "tests/support/foxglove_client.h"
#include "tests/support/synthetic_frames.h"

#include <QApplication>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// A client on its own thread, subscribed to the five topics, counting the
// frames (point clouds) it receives.
struct counting_client {
    foxglove_client client;
    std::atomic<std::uint64_t> clouds{0}, bytes{0};
    std::thread reader;

    bool start(std::uint16_t port) {
        std::string error;
        if (!client.connect(port, error)) {
            std::printf("client: %s\n", error.c_str());
            return false;
        }
        client.subscribe({{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}});
        reader = std::thread([this] {
            foxglove_client::message m;
            while (client.read(m)) {
                if (!m.binary) continue;
                bytes += m.payload_bytes;
                if (m.subscription == 0) ++clouds;
            }
        });
        return true;
    }
    ~counting_client() {
        client.close();
        if (reader.joinable()) reader.join();
    }
};

void print_server(const foxglove::server_counters& c, std::uint64_t got_a, std::uint64_t got_b) {
    const double us = c.frames_serialised ? double(c.serialise_ns) / double(c.frames_serialised) / 1e3 : 0.0;
    std::printf("  server: published %llu, overwritten in the mailbox %llu, serialised %llu (%.0f us per frame, all "
                "five topics), dropped for slow clients %llu\n",
                static_cast<unsigned long long>(c.frames_published), static_cast<unsigned long long>(c.frames_overwritten),
                static_cast<unsigned long long>(c.frames_serialised), us,
                static_cast<unsigned long long>(c.frames_dropped));
    for (const auto& k : c.clients)
        std::printf("  client %llu: sent %llu, dropped %llu\n", static_cast<unsigned long long>(k.id),
                    static_cast<unsigned long long>(k.frames_sent), static_cast<unsigned long long>(k.frames_dropped));
    std::printf("  clients received point clouds: %llu and %llu\n", static_cast<unsigned long long>(got_a),
                static_cast<unsigned long long>(got_b));
}

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10.0;
    {
        namespace po = bench_options::po;
        po::options_description desc("usage: bench_foxglove_bridge [SECONDS]\nThe Foxglove WebSocket server with two clients against gx_emulator (under scripts/xvfb.sh).\noptions");
        desc.add_options()("help", "show this text")
            ("seconds", po::value(&seconds)->value_name("S"), "length of the live run (at least 2, default 10)");
        if (const int done = bench_options::read(argc, argv, "bench_foxglove_bridge", desc, {"seconds"}); done >= 0) return done;
        seconds = std::max(2.0, seconds);
    }
    if (!prepare_gui_bench()) return 1;
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    printed_figures_in_c_notation();

    // 1. One frame of 100 x 400 pixels.
    std::printf("one frame, 100 x 400 pixels (median of 200):\n");
    const TAVRIN::DadodUz::scene_t scene = synthetic::make_scene();
    const TAVRIN::DadodUz::sensing_packet_t status{};
    std::vector<std::uint8_t> out;
    for (const ros_messages::topic t : ros_messages::all_topics) {
        const std::string name = std::string("  serialise ") + ros_messages::info(t).name;
        report(name.c_str(), measure(200, [&] { ros_messages::serialize(t, scene, status, 1, out); }));
    }
    report("  serialise all five", measure(200, [&] {
               for (const ros_messages::topic t : ros_messages::all_topics) ros_messages::serialize(t, scene, status, 1, out);
           }));
    {
        foxglove::server server;
        std::string error;
        if (!server.start({"127.0.0.1", 0}, error)) return std::printf("%s\n", error.c_str()), 1;
        counting_client a;
        if (!a.start(server.port())) return 1;
        QElapsedTimer waited;
        waited.start();
        while (server.counters().frames_serialised == 0 && waited.elapsed() < 5000) {
            server.publish(scene, status);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::vector<double> us;
        for (int i = 0; i < 200; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            server.publish(scene, status);
            us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the server serialises and sends meanwhile
        }
        std::printf("  publish() on the producer's thread, one client subscribed: median %.1f us, p90 %.1f us\n",
                    median(us), quantile(us, 0.9));
    }

    // 2. The bridge's loop.
    {
        emulator_process emu({"--fps", "25"});
        if (!emu.start()) return std::printf("cannot start the emulator\n"), 1;
        TAVRIN::DadodUz sensor;
        if (!sensor.connect({"127.0.0.1", emu.port()}, {"127.0.0.1", 0}) || !sensor.start() || !sensor.tcp_device_run())
            return std::printf("cannot connect to the emulator\n"), 1;
        foxglove::server server;
        std::string error;
        if (!server.start({"127.0.0.1", 0}, error)) return std::printf("%s\n", error.c_str()), 1;
        counting_client a, b;
        if (!a.start(server.port()) || !b.start(server.port())) return 1;
        TAVRIN::DadodUz::scene_t frame;
        TAVRIN::DadodUz::sensing_packet_t packet{};
        std::uint64_t received = 0;
        const double cpu0 = cpu_seconds();
        QElapsedTimer run;
        run.start();
        while (run.elapsed() < seconds * 1000) {
            if (!sensor.wait_scene(frame, 100)) continue;
            ++received;
            sensor.get_sensing_packet(packet);
            server.publish(frame, packet);
        }
        const double cpu = cpu_seconds() - cpu0;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last frames on their way
        std::printf("bridge loop, %.1f s at 25 frames/s, two clients on all five topics: %llu frames received, "
                    "process CPU %.1f ms per frame (library, server and both clients)\n",
                    double(run.elapsed()) / 1e3, static_cast<unsigned long long>(received),
                    received ? cpu * 1e3 / double(received) : 0.0);
        print_server(server.counters(), a.clouds, b.clouds);
        sensor.stop();
        sensor.disconnect();
    }

    // 3. The viewer.
    {
        live_admin_window live;
        if (!live.started) return 1;
        MainWindow& w = live.w;
        std::string error;
        if (!w.serve_foxglove({"127.0.0.1", 0}, error)) return std::printf("%s\n", error.c_str()), 1;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 300) app.processEvents(QEventLoop::AllEvents, 10);
        if (!live.connect()) return 1;
        t.restart();
        while (t.elapsed() < 1500) app.processEvents(QEventLoop::AllEvents, 10);  // the first paint
        const auto stretch = [&](const char* what) {
            const auto s0 = w.device_handle()->get_link_statistics();
            const auto shown0 = w.frames_emitted();
            t.restart();
            while (t.elapsed() < seconds * 1000) app.processEvents(QEventLoop::AllEvents, 10);
            const double s = double(t.elapsed()) / 1e3;
            const auto s1 = w.device_handle()->get_link_statistics();
            std::printf("viewer (administrator window 1400x900) live with --serve-foxglove, %s, %.1f s: shown %.2f "
                        "frames/s, received %llu, overwritten %llu, dropped %llu\n",
                        what, s, double(w.frames_emitted() - shown0) / s,
                        static_cast<unsigned long long>(s1.frames_received - s0.frames_received),
                        static_cast<unsigned long long>(s1.frames_overwritten - s0.frames_overwritten),
                        static_cast<unsigned long long>(s1.frames_dropped - s0.frames_dropped));
        };
        stretch("no client");
        counting_client a, b;
        if (!a.start(w.foxglove_server()->port()) || !b.start(w.foxglove_server()->port())) return 1;
        stretch("two clients on all five topics");
        w.get_main_device_disconnect();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        print_server(w.foxglove_server()->counters(), a.clouds, b.clouds);
    }
    return 0;
}
