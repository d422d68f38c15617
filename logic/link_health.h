// What the main window's status bar says about the link: the frame rate and
// the library's counters while streaming, the recording's counts, the file in
// play mode, the attempts while a silent sensor is sought again. Plain code
// fed by the window's slow tick; the numbers are in the C notation.
#pragma once

#include "device/DadodUz.h"

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace link_health {

// One piece of the status bar. `alert` pieces are shown in a warning colour.
struct field {
    std::string text;
    bool alert = false;
    bool operator==(const field& o) const { return text == o.text && alert == o.alert; }
};

// How long a count that grew keeps its warning colour.
constexpr std::int64_t kAlertMs = 3000;
// The span the frame rate is measured over.
constexpr std::int64_t kRateWindowMs = 2000;

class meter {
public:
    // A new connection: no rate, no warning, counts start again.
    void reset();

    // While streaming, from the library's counters:
    //   "<rate> fps", "Received <n>", "Dropped <n>", "Datagrams lost <n>",
    // and while recording "Recorded <n>", "Not recorded <n>".
    // Dropped counts frames that arrived incomplete and complete frames
    // overwritten before the window took them; it takes the warning colour for
    // kAlertMs after it grew. "Not recorded" keeps it while above zero.
    std::vector<field> stream(std::int64_t now_ms, const TAVRIN::DadodUz::link_statistics_t& s, bool recording);

private:
    std::deque<std::pair<std::int64_t, std::uint64_t>> samples_;
    std::uint64_t dropped_ = 0;
    bool seen_ = false;
    std::int64_t alert_until_ = 0;
};

// Play mode: "Play <file name>", "<n> frames", "Damaged <n>" (warning colour
// while above zero).
std::vector<field> play(const std::string& file_name, std::uint64_t frames, std::uint64_t damaged);

// While a silent sensor is sought: "No answer from the GX device for <s> s:
// reconnecting (attempt <n>)", in the warning colour.
std::vector<field> reconnecting(std::int64_t silent_ms, int attempts);

} // namespace link_health
