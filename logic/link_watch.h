// Watches a stream connection for a sensor that has gone silent, and paces the
// attempts to reach it again. A plain state machine fed by the window's slow
// tick with a monotonic clock in milliseconds.
//
//   idle --start--> watching --(silence)--> reconnecting --attempt ok--> watching
//   any --stop--> idle    (the operator disconnected, or a command closes the
//                          connection on purpose: reset, firmware update)
#pragma once

#include <cstdint>

class link_watch {
public:
    enum class state { idle, watching, reconnecting };
    enum class action { none, lost, retry };

    // Silence that ends a connection, and the pace of the attempts after it.
    static constexpr std::int64_t kSilenceMs = 3000;
    static constexpr std::int64_t kRetryMs = 2000;

    // A connection that streams: from a connect or a successful attempt.
    void start(std::int64_t now_ms);
    // Nothing is watched or retried any more.
    void stop();

    // One slow tick.
    //  - watching: `activity` is a counter that grows with everything the
    //    sensor sends: frames, histograms, and the answers on its command
    //    channel (the library keeps that channel alive, so a sensor that sends
    //    no frames still answers). Returns `lost` once, when the counter did
    //    not move for kSilenceMs: no frame and no answer.
    //  - reconnecting: returns `retry` when an attempt is due (the first one
    //    on the tick after the loss, then every kRetryMs) and none is running.
    action tick(std::int64_t now_ms, std::uint64_t activity);
    // The result of the attempt asked for by the last `retry`.
    void attempt_done(std::int64_t now_ms, bool ok);

    state current() const { return state_; }
    bool reconnecting() const { return state_ == state::reconnecting; }
    int attempts() const { return attempts_; }
    // When the sensor was last heard (while reconnecting: when the silence began).
    std::int64_t last_heard_ms() const { return last_heard_; }

private:
    state state_ = state::idle;
    std::uint64_t activity_ = 0;
    bool seen_activity_ = false;
    std::int64_t last_heard_ = 0;
    std::int64_t next_attempt_ = 0;
    bool attempt_running_ = false;
    int attempts_ = 0;
};
