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
    //  - watching: `activity` is a counter that grows with every piece of data
    //    from the sensor (frames, histograms); `link_up` tells that the command
    //    channel is open; `expect_data` that the sensor was told to run;
    //    `frame_period_ms` the last known time between frames (0: unknown).
    //    Returns `lost` once, when nothing came for the silence time (at least
    //    three frame periods) while data was expected or the channel closed.
    //    A sensor stopped on purpose with its channel open is not silent: its
    //    silence starts when it is expected to run again.
    //  - reconnecting: returns `retry` when an attempt is due (the first one
    //    on the tick after the loss, then every kRetryMs) and none is running.
    action tick(std::int64_t now_ms, std::uint64_t activity, bool link_up, bool expect_data, double frame_period_ms = 0);
    // The result of the attempt asked for by the last `retry`.
    void attempt_done(std::int64_t now_ms, bool ok);

    state current() const { return state_; }
    bool reconnecting() const { return state_ == state::reconnecting; }
    bool attempt_running() const { return attempt_running_; }
    int attempts() const { return attempts_; }
    // When data last came (or, while reconnecting, when the silence began).
    std::int64_t last_data_ms() const { return last_data_; }

private:
    state state_ = state::idle;
    std::uint64_t activity_ = 0;
    bool seen_activity_ = false;
    bool paused_ = false;  // stopped on purpose with the channel open
    std::int64_t last_data_ = 0;
    std::int64_t next_attempt_ = 0;
    bool attempt_running_ = false;
    int attempts_ = 0;
};
