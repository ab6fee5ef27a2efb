#include "link/read_password.h"

#include <cstdint>

namespace kv6::link {

std::uint16_t ParsePasswordNumber(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return 0;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
        if (value > 0x80000000LL) return 0;  // outside a 32-bit integer: not a number
    }
    if (negative) value = -value;
    else if (value > 0x7FFFFFFFLL) return 0;
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(value) & 0xFFFF);
}

std::uint16_t ParseReadPassword(std::string_view text) {
    if (text.empty()) return kNoReadPassword;
    return ParsePasswordNumber(text);
}

}  // namespace kv6::link
