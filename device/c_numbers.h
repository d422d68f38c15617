// Numbers as text in the C notation (a point for decimals, no grouping),
// whatever the process locale says. The C library's printf and strtod follow
// LC_NUMERIC, which a Qt program takes from the environment: "%g" of 24.9998
// is "24,9998" under a German locale. Everything this code base shows, writes
// or reads as a number goes through these instead.
#pragma once

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace c_numbers {

// printf's "%.<precision>g".
inline std::string general(double v, int precision = 6) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision);
    return std::string(buf, r.ptr);
}

// printf's "%.<precision>f" (values whose fixed form does not fit in 350
// characters are written in the general form).
inline std::string fixed(double v, int precision = 6) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
    if (r.ec != std::errc()) return general(v, precision);
    return std::string(buf, r.ptr);
}

// strtod in the C locale: the same syntax (leading blanks, sign, hexadecimal,
// inf and nan), with a point for decimals.
inline double parse(const char* text, char** end) {
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return strtod_l(text, end, c_locale);
}

// The whole text as a finite real in the C notation: blanks (space, tab,
// carriage return) around the number are allowed, anything else is not.
inline bool parse_finite(const std::string& text, double& v) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    const char* p = text.c_str();
    while (blank(*p)) ++p;
    if (*p == '\0') return false;
    char* end = nullptr;
    const double x = parse(p, &end);
    if (end == p) return false;
    while (blank(*end)) ++end;
    if (*end != '\0' || !std::isfinite(x)) return false;
    v = x;
    return true;
}

} // namespace c_numbers
