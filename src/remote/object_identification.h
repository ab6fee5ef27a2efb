#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kv6::remote {

// The module names its object in plain text: "SR" replies carry the number
// from the 18th character, "ADM" replies in the second '#' field. Only the
// bytes before a reply's first zero byte count.
class ObjectIdentification {
public:
    // The reply's bytes up to its first zero byte.
    [[nodiscard]] static std::string_view textOf(std::span<const std::uint8_t> reply);
    // The four characters from the 18th (fewer when the text is shorter).
    [[nodiscard]] static std::optional<std::string> fromSr(std::string_view text);
    // Characters 3 to 6 of the second '#' field, read as "FALSE" when missing.
    [[nodiscard]] static std::optional<std::string> fromAdm(std::string_view text);
    // Whether the text holds all four characters of the number it names
    // ("ADM" counting over "SR"); false when it names none.
    [[nodiscard]] static bool namesWholeNumber(std::string_view text);
};

}  // namespace kv6::remote
