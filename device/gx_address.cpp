#include "device/gx_address.h"

namespace gx_address {

bool split(const std::string& text, std::string& ip, int& port) {
    const auto colon = text.rfind(':');
    int value = 0;
    if (colon == std::string::npos || colon == 0 || !port_number(text.substr(colon + 1), value)) return false;
    ip = text.substr(0, colon);
    port = value;
    return true;
}

bool port_number(const std::string& digits, int& port) {
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    const int value = std::stoi(digits);
    if (value > 65535) return false;
    port = value;
    return true;
}

}  // namespace gx_address
