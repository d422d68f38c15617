// The calibration table file (.csv): the VCSEL and SPAD offset tables, the
// lens coefficients, the emitter width and the global offset, 200 lines of
// comma-separated columns. One reader and one writer for every tool that
// keeps calibration tables.
#pragma once

#include "device/DadodUz.h"

#include <array>
#include <cstdint>
#include <string>

namespace calibration_file {

using configurations_t = TAVRIN::DadodUz::configurations_t;

constexpr int kLines = 200;

struct tables {
    std::array<std::uint16_t, 96> vcsel_offset{};
    std::array<std::uint8_t, 200> spad_offset{};
    std::array<float, 12> lens_coe{};
    double emitter_width = 0;
    std::uint16_t global_offset = 0;
};

// The tables as the record holds them.
tables from_record(const configurations_t& cfg);
// Puts the tables into the record's fields; nothing else changes.
void to_record(const tables& t, configurations_t& cfg);

// The file's text. Line 1 holds five columns (VCSEL offset, SPAD offset,
// lens coefficient, emitter width, global offset); every other line has six
// fields, the last always empty: lines 2-12 three values, lines 13-96 two,
// lines 97-200 only the SPAD offset after an empty first field. Reals in the
// shortest form with six significant digits (0.4295, 558.653, 1e-06).
std::string format(const tables& t);

enum class status { ok, cannot_open, malformed };

struct read_result {
    status result = status::malformed;
    tables values;
    std::string problem; // for a malformed file: what is wrong with it
};

// Parses a file's text. Columns 1, 2 and 5 are decimal integers kept to the
// width of their field, columns 3 and 4 reals; an empty or unparsable cell
// counts 0. Fewer than 200 lines, or a line among the first 200 with fewer
// than five fields, is malformed and gives no values. Lines past 200 are
// ignored.
read_result parse(const std::string& text);

// Reads and parses the file at path.
read_result read(const std::string& path);

// Writes the text to path through a temporary file beside it and a rename,
// replacing an existing file whole. False, with a reason in `error`, when
// the file could not be written; an existing file is then left as it was.
bool write(const std::string& path, const tables& t, std::string& error);

} // namespace calibration_file
