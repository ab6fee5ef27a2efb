#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Value rules the events and zones pages share for `kv6ctl show` / `set`.
namespace kv6::pages::routing {

// Partition set as ascending numbers joined by commas ("1,3"; "" for none).
[[nodiscard]] std::string partitionsText(std::uint8_t mask);
// "" or numbers 1..8 separated by commas; nullopt for anything else.
[[nodiscard]] std::optional<std::uint8_t> parsePartitions(std::string_view text);

// A list choice: its number, or "" when nothing is selected (value < 0).
[[nodiscard]] std::string choiceText(int value);

// True when `value` is the text a field shows now: setting a field to what
// it shows changes nothing, even where the editors would refuse that text.
[[nodiscard]] bool isShownValue(std::string_view value, std::string_view shown);

// A key made of a name and a 1-based number ("cid7" -> "cid", 7); the
// number is 0 when the key has none or it does not parse.
struct IndexedKey {
    std::string name;
    int number = 0;
};
[[nodiscard]] IndexedKey splitIndexedKey(std::string_view key);

}  // namespace kv6::pages::routing
