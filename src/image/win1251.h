#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv6::image {

// Windows-1251, the code page of the module's texts and of side files made on
// Windows. Characters with no Windows-1251 form become '?', as the ANSI
// conversion of the system does.
[[nodiscard]] char32_t windows1251ToUnicode(std::uint8_t byte);
[[nodiscard]] std::optional<std::uint8_t> unicodeToWindows1251(char32_t codePoint);

// UTF-8 <-> Windows-1251. Invalid UTF-8 sequences become '?'.
[[nodiscard]] std::string utf8ToWindows1251(std::string_view utf8);
[[nodiscard]] std::string windows1251ToUtf8(std::string_view bytes);

[[nodiscard]] bool isValidUtf8(std::string_view bytes);

// Decodes UTF-8 to code points; an invalid byte yields U+FFFD.
[[nodiscard]] std::u32string utf8ToCodePoints(std::string_view utf8);
[[nodiscard]] std::string codePointsToUtf8(std::u32string_view codePoints);

}  // namespace kv6::image
