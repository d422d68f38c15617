// The program's own care for a streaming sensor: the watch that notices a
// sensor gone silent (link_watch decides when the link is lost and when an
// attempt is due) and the attempts to reach it again, each made in the
// background. Fed by the main window's slow tick with a monotonic clock in
// milliseconds; the window keeps the handle, the log and the status bar.
#pragma once

#include "device/DadodUz.h"
#include "logic/link_watch.h"

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <vector>

class link_keeper {
public:
    using handle = std::unique_ptr<TAVRIN::DadodUz>;
    // One connection attempt: a connected handle, or null when it failed.
    using attempt = std::function<handle()>;
    // Runs an attempt; by default on a thread of its own (std::async).
    using launcher = std::function<std::future<handle>(attempt)>;

    explicit link_keeper(launcher launch = {});
    // Attempts still running are waited for.
    ~link_keeper();
    link_keeper(const link_keeper&) = delete;
    link_keeper& operator=(const link_keeper&) = delete;

    // A connection that streams: from a connect or from an attempt that answered.
    void start(std::int64_t now_ms);
    // Nothing is watched or sought any more; an attempt still running is let
    // go of (and waited for only when it is dropped).
    void stop();

    // One slow tick while streaming, with the count of everything the sensor
    // sent. True once, when it fell silent: the search begins, and the window
    // closes the dead connection.
    bool streaming_tick(std::int64_t now_ms, std::uint64_t activity);
    // One slow tick while reconnecting: collects the attempt that ended (its
    // handle, when it connected: streaming is to resume on it), and starts
    // `connect` when the next attempt is due.
    handle search_tick(std::int64_t now_ms, const attempt& connect);
    // Attempts given up on are dropped once they have ended.
    void drop_finished();

    bool reconnecting() const { return watch_.reconnecting(); }
    const link_watch& watch() const { return watch_; }

private:
    launcher launch_;
    link_watch watch_;
    std::future<handle> running_;
    std::vector<std::future<handle>> abandoned_;
};
