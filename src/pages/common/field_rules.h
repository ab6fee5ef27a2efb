#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Checks and conversions shared by the page models' setField: each accepts
// exactly what the page's editor accepts.
namespace kv6::pages::rules {

// A decimal integer (optional leading '-') within [min, max], nothing else.
[[nodiscard]] std::optional<int> parseIntInRange(std::string_view text, int min, int max);
// "true"/"false"/"1"/"0".
[[nodiscard]] std::optional<bool> parseBool(std::string_view text);
[[nodiscard]] std::string boolText(bool value);

// Up to maxLength ASCII digits (empty allowed).
[[nodiscard]] bool isDigits(std::string_view text, std::size_t maxLength);
// Up to maxLength ASCII letters or digits (empty allowed).
[[nodiscard]] bool isLettersOrDigits(std::string_view text, std::size_t maxLength);
// Up to maxCharacters printable ASCII characters other than ';' (the field
// terminator) - what a semicolon-terminated field keeps through a round trip.
[[nodiscard]] bool isDelimitedFieldText(std::string_view text, std::size_t maxCharacters);

// The masked dotted form "000.000.000.000": four groups of three digits.
// Accepts that form or groups of 1..3 digits ("10.0.0.1") and pads them with
// leading zeros; an empty text stays empty. nullopt for anything else.
[[nodiscard]] std::optional<std::string> normaliseDottedIp(std::string_view text);

// The one-line text form of a field value on the command line: a backslash
// becomes "\\", bytes 0x00..0x1F and 0x7F become "\xHH"; every other byte
// stays (UTF-8 passes through).
[[nodiscard]] std::string escapedText(std::string_view value);
// The reverse: "\\" and "\xHH" (either case) become their byte; any other
// backslash stays as typed. unescapedText(escapedText(v)) == v for every v.
[[nodiscard]] std::string unescapedText(std::string_view text);

// Setters for setField: each sets `target` from the text when it is
// acceptable and returns whether it did; a refused text leaves it unchanged.
bool setInt(int& target, std::string_view value, int min, int max);
bool setBool(bool& target, std::string_view value);
// A list choice 0..max, or the empty text for `noSelection`.
bool setChoice(int& target, std::string_view value, int max, int noSelection);
// A list choice as `show` prints it: the number, or empty for no selection (< 0).
[[nodiscard]] std::string choiceText(int index);

// "key: invalid value "v"; accepts ..." for setField failures; the value is
// quoted in its escaped form.
[[nodiscard]] std::string invalidValue(std::string_view key, std::string_view value,
                                       std::string_view accepts);

}  // namespace kv6::pages::rules
