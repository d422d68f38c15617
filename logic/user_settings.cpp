#include "logic/user_settings.h"

namespace user_settings {

const std::array<threshold_set, 5> kFalsePositiveRates = {{
    {170.3f, 0.5691f, 0.00000227f, 16.86f},
    {93.64f, 0.5031f, 56.1f, 14.02f},
    {77.81f, 0.4587f, 63.41f, 9.007f},
    {70.51f, 0.4904f, 60.87f, 8.43f},
    {65.87f, 0.4976f, 61.03f, 8.002f},
}};

int false_positive_row(float a0) {
    for (std::size_t i = 0; i < kFalsePositiveRates.size(); ++i)
        if (kFalsePositiveRates[i][0] == a0) return int(i);
    return -1;
}

bool apply_selection(const selection& now, selection& last, configurations_t& cfg) {
    if (now == last) return false;
    last = now;
    // A combo that shows no item (the sensor reported a value it has no item
    // for) leaves its field as the sensor reported it.
    if (now.output_sync >= 0) cfg.sync_output_polarity = now.output_sync;
    if (now.input_sync >= 0) cfg.sync_input_polarity = now.input_sync;
    if (now.sync_mode >= 0) cfg.sync_mode = now.sync_mode;
    if (now.false_positive >= 0 && now.false_positive < int(kFalsePositiveRates.size()))
        for (int i = 0; i < 4; ++i) cfg.threshold_coe[i] = kFalsePositiveRates[std::size_t(now.false_positive)][std::size_t(i)];
    return true;
}

namespace {

// A run of 1-`max_digits` decimal digits whose value is at most `max`.
bool decimal(const std::string& s, std::size_t max_digits, unsigned long max, unsigned long& value) {
    if (s.empty() || s.size() > max_digits) return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + unsigned(c - '0');
    }
    return value <= max;
}

} // namespace

bool valid_ipv4(const std::string& text) {
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find('.', start);
        const bool last = part == 3;
        if (last != (dot == std::string::npos)) return false;
        const std::string byte = text.substr(start, last ? std::string::npos : dot - start);
        unsigned long v = 0;
        if (!decimal(byte, 3, 255, v)) return false;
        start = dot + 1;
    }
    return true;
}

bool valid_port(const std::string& text) {
    unsigned long v = 0;
    return decimal(text, 5, 65535, v) && v >= 1;
}

std::string network_error(const std::vector<std::string>& entries) {
    static const char* const names[4] = {"GX IP", "GX Port", "PC IP", "PC Port"};
    if (entries.size() != 4) return "Four network settings are needed.";
    for (std::size_t i = 0; i < 4; ++i) {
        const bool address = i % 2 == 0;
        const bool ok = address ? valid_ipv4(entries[i]) : valid_port(entries[i]);
        if (!ok)
            return std::string(names[i]) + " \"" + entries[i] + "\" is not a valid " +
                   (address ? "IPv4 address (four numbers 0-255 separated by dots)." : "port (a number from 1 to 65535).");
    }
    return {};
}

} // namespace user_settings
