#pragma once

#include <cstdint>
#include <string_view>

namespace kv6::link {

// The read password as the module stores it: an unsigned 16-bit value.
inline constexpr std::uint16_t kNoReadPassword = 0xFFFF;

// The password dialog's text as a read password: empty gives 0xFFFF (all bits
// set), a decimal integer (optional sign) gives its low 16 bits, anything else
// (letters, digits then a letter, a number too big for 32 bits) gives 0.
[[nodiscard]] std::uint16_t ParseReadPassword(std::string_view text);

// Integer text as the dialogs convert it: low 16 bits, 0 when not an integer.
[[nodiscard]] std::uint16_t ParsePasswordNumber(std::string_view text);

}  // namespace kv6::link
