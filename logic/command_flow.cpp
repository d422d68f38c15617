#include "logic/command_flow.h"

#include "logic/device_message.h"

#include <charconv>
#include <climits>

namespace command_flow {

int firmware_percent(const std::string& data) {
    std::size_t b = 0;
    std::size_t e = data.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (b < e && blank(data[b])) ++b;
    while (e > b && blank(data[e - 1])) --e;
    const char* first = data.data() + b;
    const char* last = data.data() + e;
    if (first != last && *first == '+') ++first;
    long long v = 0;
    const auto r = std::from_chars(first, last, v);
    if (r.ec != std::errc() || r.ptr != last || first == last) return 0;
    // -1 and -2 mean "acknowledged" and "ended" to the dialogs: a sensor's
    // percentage never takes those meanings.
    if (v < 0 || v > INT_MAX) return 0;
    return int(v);
}

decision state::watchdog_tick() {
    decision d;
    if (!firmware_updating) return d;
    if (++firmware_watchdog > kFirmwareTimeoutTicks) {
        firmware_updating = false;
        firmware_watchdog = 0;
        d.what = step::firmware_timeout;
    }
    return d;
}

int firmware_progress::signal_value() const {
    switch (what) {
    case stage::acknowledged: return -1;
    case stage::ended: return -2;
    case stage::running: break;
    }
    return percent;
}

decision state::on_message(char type0, char type1, const std::string& text, const std::string& data) {
    decision d;
    if (firmware_updating && type0 == 'F') {
        firmware_watchdog = 0;
        const int n = firmware_percent(data);
        switch (type1) {
        case 'A':
            d.what = step::firmware_progress;
            d.progress = firmware_progress::acknowledged();
            break;
        case 'R':
            d.what = step::firmware_progress;
            d.progress = firmware_progress::at(n < 100 ? n : 0);
            break;
        case 'P':
            if (n < 100) {
                d.what = step::firmware_progress;
                d.progress = firmware_progress::at(n);
                break;
            }
            [[fallthrough]];
        case 'O':
            firmware_updating = false;
            d.what = step::firmware_finished;
            break;
        case 'X':
            firmware_updating = false;
            d.what = step::firmware_failed;
            break;
        default: break;
        }
        return d;
    }

    if (setting_requested && device_message::is_register_dump(text)) {
        setting_requested = false;
        d.what = step::register_dump;
        return d;
    }
    if (device_message::is_short(text, 'M', 'O')) {
        d.what = step::flash_written;
        d.log_flash = !register_write_pending;
        register_write_pending = false;
        return d;
    }
    if (device_message::is_short(text, 'R', 'O')) {
        d.what = step::registers_loaded;
        d.chain_flash = register_write_pending;
        return d;
    }
    if (connect_requested) {
        connect_requested = false;
        d.what = step::show_text;
        d.show = true;
        return d;
    }
    d.run_device = register_read_follow_up;
    register_read_follow_up = false;
    d.show = !device_message::is_short(text, 'D', 'O');
    d.what = d.show ? step::show_text : step::nothing;
    return d;
}

} // namespace command_flow
