#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv6::fleet {

// The store's times, "YYYY-MM-DDTHH:MM:SSZ", as seconds since 1970 (UTC) and back.
[[nodiscard]] std::optional<std::int64_t> utcSeconds(std::string_view text);
[[nodiscard]] std::string utcText(std::int64_t seconds);

// How old something is, as an operator reads it: "3 d", "5 h", "12 min", "now".
[[nodiscard]] std::string ageText(std::int64_t seconds);

}  // namespace kv6::fleet
