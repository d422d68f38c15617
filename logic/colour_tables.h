// The 256-entry colour tables that turn an 8-bit display image into colour.
// Every table maps a value v to the bytes R, G, B (in that order); the tables
// are built once and shared read-only.
#pragma once

#include <array>
#include <cstdint>

namespace display {

// Which table colours an 8-bit image.
enum class colour_map {
    grey,    // v -> (v, v, v)
    palette, // the ambient / intensity table: dark blue through green to yellow
    jet,     // OpenCV's COLORMAP_JET, turned to R, G, B order
};

// One table: entry v holds R | G << 8 | B << 16, so that on this little-endian
// host the first three bytes of the 32-bit word are R, G, B.
struct colour_lut {
    std::array<std::uint32_t, 256> entry;

    std::uint8_t r(int v) const { return static_cast<std::uint8_t>(entry[v] & 0xff); }
    std::uint8_t g(int v) const { return static_cast<std::uint8_t>((entry[v] >> 8) & 0xff); }
    std::uint8_t b(int v) const { return static_cast<std::uint8_t>((entry[v] >> 16) & 0xff); }
};

// The table for `map`; with `inverted` entry v is the plain table's entry 255 - v.
const colour_lut& lookup_table(colour_map map, bool inverted = false);

// The raw palette: 256 red, then 256 green, then 256 blue values.
const std::array<std::uint8_t, 768>& palette_channels();

} // namespace display
