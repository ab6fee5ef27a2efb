#pragma once

#include <string>
#include <string_view>

namespace kv6::pages {

// The form in which `kv6ctl show` prints a text: control characters as
// \xHH (lower-case hex) and a backslash doubled.
[[nodiscard]] std::string shownForm(std::string_view value);

// Whether `given` is the field's current value, as held or as printed. A
// field set to what it already shows keeps it, even where the image holds
// what its editor would refuse.
[[nodiscard]] bool isCurrentValue(std::string_view given, std::string_view current);

}  // namespace kv6::pages
