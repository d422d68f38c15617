// A configuration record with every byte patterned (byte i = i * step +
// offset), reserved bytes included, so that any byte a dialog touches shows.
#pragma once

#include "device/DadodUz.h"

#include <cstddef>

inline TAVRIN::DadodUz::configurations_t patterned_record(unsigned step = 7, unsigned offset = 3) {
    TAVRIN::DadodUz::configurations_t c;
    auto* b = reinterpret_cast<unsigned char*>(&c);
    for (std::size_t i = 0; i < sizeof c; ++i) b[i] = static_cast<unsigned char>(i * step + offset);
    return c;
}
