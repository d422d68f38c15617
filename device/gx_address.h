// "IP:PORT" text as operators type it and the library takes it.
#pragma once

#include <string>

namespace gx_address {

// Splits "IP:PORT" at the last colon: the part before it non-empty, the part
// after it 1 to 5 decimal digits of at most 65535. Checks nothing about the
// IP part: the library's connect does, so that one message says what is
// wrong with it. False, leaving ip and port alone, for anything else.
bool split(const std::string& text, std::string& ip, int& port);

// A port as typed: 1 to 5 decimal digits of at most 65535 (0 included).
// False, leaving port alone, for anything else.
bool port_number(const std::string& digits, int& port);

}  // namespace gx_address
