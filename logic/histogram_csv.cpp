#include "logic/histogram_csv.h"

#include <charconv>

namespace histogram_csv {

namespace {

template <class T>
void field(std::string& out, T v) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
    out.push_back(',');
}

} // namespace

void append_line(std::string& out, std::uint32_t row, std::uint32_t col, const std::uint16_t* bins, std::size_t n) {
    out.reserve(out.size() + 24 + n * 6);
    field(out, row);
    field(out, col);
    for (std::size_t i = 0; i < n; ++i) field(out, bins[i]);
    out.push_back('\n');
}

} // namespace histogram_csv
