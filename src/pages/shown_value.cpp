#include "pages/shown_value.h"

#include <cstdio>

namespace kv6::pages {

std::string shownForm(std::string_view value) {
    std::string out;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

bool isCurrentValue(std::string_view given, std::string_view current) {
    return given == current || given == shownForm(current);
}

}  // namespace kv6::pages
