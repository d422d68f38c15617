// Line format of the histogram viewer's CSV file: no header, one line per
// histogram record, "row,col,b0,b1,...,bn-1," and a line break, every field
// followed by a comma, decimal numbers in the C notation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace histogram_csv {

// Appends the line of one record with `n` bin values to `out`. A record
// without bins still gets its line end ("5,17,\n"), so the next record
// starts a line of its own.
void append_line(std::string& out, std::uint32_t row, std::uint32_t col, const std::uint16_t* bins, std::size_t n);

} // namespace histogram_csv
