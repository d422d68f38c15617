// A Foxglove WebSocket server (protocol foxglove.websocket.v1) that serves the
// GX frame and status record as the five ROS 2 topics of ros_messages.h to
// any number of clients (Foxglove, or anything speaking the protocol).
//
// Threads: the server runs its sockets on a thread of its own. publish() is
// called from the producer's thread (the viewer's window thread, the bridge's
// acquisition loop); it copies the frame into a buffer the server keeps for
// the purpose (its arrays' capacity is reused), puts it into a small mailbox
// (four frames, so that a burst from the sensor library is served whole) and
// returns: it never waits for a socket or for serialisation. When the mailbox
// is full the oldest frame in it is replaced (counted as overwritten). The
// server's thread serialises each frame once, only the
// topics someone subscribed to, and hands the same bytes to every subscribed
// client.
//
// Slow clients: each client has a queue of at most `client_queue_frames`
// frames waiting to be sent. A frame that finds it full pushes out the
// oldest waiting one (counted for that client), so a slow client sees the
// newest frames, and no client, nor the producer, waits for another.
#pragma once

#include "interop/listen_address.h"
#include "interop/ros_messages.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace foxglove {

constexpr const char* subprotocol = "foxglove.websocket.v1";

struct client_counters {
    std::uint64_t id = 0;         // numbered from 1 in order of connection
    std::string remote;           // "address:port"
    std::uint64_t frames_sent = 0;
    std::uint64_t frames_dropped = 0;  // pushed out of its queue unsent
};

struct server_counters {
    std::uint64_t frames_published = 0;    // publish() calls
    std::uint64_t frames_overwritten = 0;  // replaced in the mailbox before the server took them
    std::uint64_t frames_serialised = 0;   // frames serialised (some topic was subscribed)
    std::uint64_t frames_dropped = 0;      // all clients' drops, including clients gone
    std::uint64_t serialise_ns = 0;        // time spent serialising, in total
    std::vector<client_counters> clients;  // the clients connected now
};

// "Foxglove: 2 clients, 0 frames dropped" for a status bar (numbers without
// the locale's grouping).
std::string summary_text(const server_counters& c);

class server {
public:
    struct options {
        std::string name = "gx";                 // serverInfo's name
        std::size_t client_queue_frames = 4;     // frames waiting per client
        std::size_t max_message_bytes = 65536;   // larger client messages close the connection
    };

    server();
    explicit server(options o);
    ~server();  // stop()
    server(const server&) = delete;
    server& operator=(const server&) = delete;

    // Binds and listens, then starts the server's thread. False with a
    // sentence in `error` when the address cannot be used.
    bool start(const listen_address& where, std::string& error);
    // The port listened on (the one chosen when 0 was asked for).
    std::uint16_t port() const;
    // Closes every connection and joins the thread. Safe to call twice.
    void stop();

    // Hands a frame and the status record that goes with it to the server's
    // thread; returns at once. Cheap when no client subscribed to anything.
    void publish(const ros_messages::scene_t& scene, const ros_messages::status_t& status);

    server_counters counters() const;

    struct impl;

private:
    std::shared_ptr<impl> d;
};

}  // namespace foxglove
