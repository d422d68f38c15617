#include "logic/device_message.h"

#include "device/c_numbers.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace device_message {

std::string text(const TAVRIN::_TCP_PROTOCOL_T& msg) {
    const std::size_t length = std::min<std::size_t>(msg.length, TAVRIN::_TCP_PROTOCOL_T::kMaxData);
    const char* data = reinterpret_cast<const char*>(msg.data);
    const std::size_t n = strnlen(data, length);
    std::string t = std::to_string(msg.length);
    t += "::";
    t += msg.type[0];
    t += msg.type[1];
    t += "::";
    t.append(data, n);
    return t;
}

bool is_short(const std::string& t, char a, char b) {
    return t.size() >= 5 && t[1] == ':' && t[2] == ':' && t[3] == a && t[4] == b;
}

bool is_register_dump(const std::string& t) {
    return t.size() >= 12 && t.compare(6, 2, "RS") == 0 && t.compare(10, 2, "SN") == 0;
}

namespace {

bool parse_integer(const std::string& s, long long& v) {
    const char* p = s.c_str();
    while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
    if (*p == '\0') return false;
    int base = 10;
    const char* digits = p;
    bool negative = false;
    if (*digits == '-' || *digits == '+') {
        negative = *digits == '-';
        ++digits;
    }
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits += 2;
    }
    if (!std::isxdigit(static_cast<unsigned char>(*digits))) return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long u = std::strtoull(digits, &end, base);
    while (*end == ' ' || *end == '\t' || *end == '\r') ++end;
    if (errno != 0 || *end != '\0') return false;
    if (negative) {
        if (u > 9223372036854775808ull) return false;
        v = static_cast<long long>(0 - u);
    } else {
        // Unsigned 32-bit words (packed registers) may exceed the signed range of
        // smaller types; anything up to 2^64 - 1 is kept as its bit pattern.
        v = static_cast<long long>(u);
    }
    return true;
}

enum class conv { real, real_trunc, integer, bytes, words, text };

struct target {
    const char* prefix;
    conv kind;
    std::function<void(configurations_t&, std::size_t index, double real, long long integer)> store;
    std::size_t capacity; // elements the field holds
};

template <typename F>
void put_int(F& field, long long v) {
    field = static_cast<F>(v);
}

const std::vector<target>& targets() {
    using C = configurations_t;
    static const std::vector<target> table = {
        {"RXVDP", conv::real, [](C& c, std::size_t, double r, long long) { c.vdp_voltage = static_cast<float>(r); }, 1},
        {"RXVDN", conv::real, [](C& c, std::size_t, double r, long long) { c.vdn_voltage = static_cast<float>(r); }, 1},
        {"RXHV,", conv::real, [](C& c, std::size_t, double r, long long) { c.hv_bias = static_cast<float>(r); }, 1},
        {"RXHVC", conv::real_trunc, [](C& c, std::size_t, double, long long i) { put_int(c.rx_hv_ctrl_en, i); }, 1},
        {"STREA", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.stream_mode, i); }, 1},
        {"THRES", conv::real, [](C& c, std::size_t k, double r, long long) { c.threshold_coe[k] = static_cast<float>(r); }, 4},
        {"LENSC", conv::real, [](C& c, std::size_t k, double r, long long) { c.lens_coe[k] = static_cast<float>(r); }, 12},
        {"GLBOF", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.global_offset, i); }, 1},
        {"PRI,", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.prf_period, i); }, 1},
        {"INTSR", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.intf_reject, i); }, 1},
        {"TGSAMPL", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.target_samples, i); }, 1},
        {"STARTCOL", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.start_column_index, i); }, 1},
        {"ENDCOL", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.end_column_index, i); }, 1},
        {"VCSELP", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.vcselp, i); }, 1},
        {"PULSEINH", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.pulse_inhibit, i); }, 1},
        {"PULSEEDG", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.pulse_edge, i); }, 1},
        {"PULSEDEL", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.pulse_delay, i); }, 1},
        {"PULSEDUT", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.pulse_duty, i); }, 1},
        {"VCSELCS", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.vcsel_manual_cs, i); }, 1},
        {"VCSELTYP", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.vcsel_type, i); }, 1},
        {"JITTEREN", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.jitter_en, i); }, 1},
        {"SPADOFSL", conv::bytes, [](C& c, std::size_t k, double, long long i) { put_int(c.spad_offset[k], i); }, 100},
        {"SPADOFSR", conv::bytes, [](C& c, std::size_t k, double, long long i) { put_int(c.spad_offset[100 + k], i); }, 100},
        {"DUALMODE", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.dual_channel, i); }, 1},
        {"COEGRPA", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.fir_coef[0], i); }, 1},
        {"COEGRPB", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.fir_coef[1], i); }, 1},
        {"FIROFS", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.fir_offset, i); }, 1},
        {"COGTAP", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.cog_tap_num, i); }, 1},
        {"STARTR", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.start_row_index, i); }, 1},
        {"ENDROW", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.end_row_index, i); }, 1},
        {"INTSMO", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.image_mode, i); }, 1},
        {"PEAKWI", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.peak_separation_width, i); }, 1},
        {"TYPEBP", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.vcsel_timing, i); }, 1},
        {"VCSELO", conv::words, [](C& c, std::size_t k, double, long long i) { put_int(c.vcsel_offset[k], i); }, 96},
        {"FWVER", conv::text, nullptr, 0},
        {"FILLI", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.filli, i); }, 1},
        {"EMITD", conv::real, [](C& c, std::size_t, double r, long long) { c.emitter_dwidth = static_cast<float>(r); }, 1},
        {"WALKE", conv::real, [](C& c, std::size_t k, double r, long long) { c.walkerror[k] = static_cast<float>(r); }, 6},
        {"CSCLS", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.h_cl_delay, i); }, 1},
        {"CLSDU", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.cls_duty, i); }, 1},
        {"INTSF", conv::real, [](C& c, std::size_t k, double r, long long) { c.intensity_fir_coe[k] = static_cast<float>(r); }, 11},
        {"OSYNC", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.sync_output_polarity, i); }, 1},
        {"ISYNC", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.sync_input_polarity, i); }, 1},
        {"SYNCM", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.sync_mode, i); }, 1},
        {"FPS,", conv::integer, [](C& c, std::size_t, double, long long i) { put_int(c.fps, i); }, 1},
    };
    return table;
}

std::vector<std::string> split_commas(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = line.find(',', start);
        if (comma == std::string::npos) {
            out.push_back(line.substr(start));
            return out;
        }
        out.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

} // namespace

dump_result parse_register_dump(const std::string& t, configurations_t& cfg) {
    dump_result result;
    if (t.size() <= 6) return result;
    const std::string body = t.substr(6);
    std::size_t pos = 0;
    bool first = true;
    while (pos <= body.size()) {
        std::size_t nl = body.find('\n', pos);
        if (nl == std::string::npos) nl = body.size();
        std::string line = body.substr(pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (first) {
            first = false;
            continue;
        }
        if (line.empty()) continue;
        const target* match = nullptr;
        for (const auto& tg : targets())
            if (line.compare(0, std::strlen(tg.prefix), tg.prefix) == 0) {
                match = &tg;
                break;
            }
        if (match == nullptr) {
            ++result.skipped;
            continue;
        }
        if (match->kind == conv::text) continue; // read, not stored
        const auto fields = split_commas(line);
        if (fields.size() < 4) {
            ++result.skipped;
            continue;
        }
        const std::size_t n = std::min(fields.size() - 3, match->capacity);
        std::vector<double> reals(n);
        std::vector<long long> ints(n);
        bool ok = true;
        for (std::size_t k = 0; k < n && ok; ++k) {
            const std::string& f = fields[3 + k];
            switch (match->kind) {
            case conv::real: ok = c_numbers::parse_finite(f, reals[k]); break;
            case conv::real_trunc:
                ok = c_numbers::parse_finite(f, reals[k]) && std::fabs(reals[k]) < 9.2e18;
                if (ok) ints[k] = static_cast<long long>(std::trunc(reals[k]));
                break;
            default: ok = parse_integer(f, ints[k]); break;
            }
        }
        if (!ok) {
            ++result.skipped;
            continue;
        }
        for (std::size_t k = 0; k < n; ++k) match->store(cfg, k, reals[k], ints[k]);
        ++result.records;
    }
    return result;
}

std::vector<std::string> network_file_lines(const network_settings& net) {
    auto commas = [](std::string s) {
        std::replace(s.begin(), s.end(), '.', ',');
        return s;
    };
    return {"GX_IP,UINT8,4," + commas(net.device_ip), "GX_PORT,UINT16,1," + net.device_port,
            "PC_IP,UINT8,4," + commas(net.pc_ip), "PC_PORT,UINT16,1," + net.pc_port};
}

identity dump_identity(const std::string& t) {
    identity id;
    if (t.size() <= 6) return id;
    const std::string body = t.substr(6);
    const auto printable = [](std::string v) {
        while (!v.empty() && (v.back() == '\r' || v.back() == ' ')) v.pop_back();
        std::string out;
        for (char c : v)
            if (c >= 0x20 && c < 0x7F) out.push_back(c);
        return out;
    };
    std::size_t pos = 0;
    bool first = true;
    while (pos < body.size()) {
        std::size_t nl = body.find('\n', pos);
        if (nl == std::string::npos) nl = body.size();
        const std::string line = body.substr(pos, nl - pos);
        pos = nl + 1;
        const auto fields = split_commas(line);
        if (first) {
            // "RS::SN,<serial>": the serial follows the first comma.
            first = false;
            if (fields.size() >= 2 && fields[0].size() >= 2 && fields[0].compare(fields[0].size() - 2, 2, "SN") == 0)
                id.serial = printable(line.substr(line.find(',') + 1));
            continue;
        }
        if (line.compare(0, 5, "FWVER") == 0 && fields.size() >= 4) id.firmware_version = printable(fields.back());
    }
    return id;
}

} // namespace device_message
