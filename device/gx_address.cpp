#include "device/gx_address.h"

namespace gx_address {

bool split(const std::string& text, std::string& ip, int& port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    const int value = std::stoi(digits);
    if (value > 65535) return false;
    ip = text.substr(0, colon);
    port = value;
    return true;
}

}  // namespace gx_address
