#include "pages/routing/routing_rules.h"

#include "pages/common/field_rules.h"

namespace kv6::pages::routing {

namespace {

constexpr int kPartitionCount = 8;

}  // namespace

std::string partitionsText(std::uint8_t mask) {
    std::string text;
    for (int i = 0; i < kPartitionCount; ++i) {
        if ((mask & (1u << i)) == 0) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(i + 1);
    }
    return text;
}

std::optional<std::uint8_t> parsePartitions(std::string_view text) {
    std::uint8_t mask = 0;
    if (text.empty()) return mask;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string_view item = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
        const auto number = rules::parseIntInRange(item, 1, kPartitionCount);
        if (!number) return std::nullopt;
        mask = static_cast<std::uint8_t>(mask | (1u << (*number - 1)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return mask;
}

std::string choiceText(int value) { return value < 0 ? std::string() : std::to_string(value); }

bool isShownValue(std::string_view value, std::string_view shown) { return value == shown; }

IndexedKey splitIndexedKey(std::string_view key) {
    std::size_t digits = key.size();
    while (digits > 0 && key[digits - 1] >= '0' && key[digits - 1] <= '9') --digits;
    IndexedKey result{std::string(key.substr(0, digits)), 0};
    // "07" is not a row number: keys carry their number as show prints it.
    const std::string_view number = key.substr(digits);
    if (number.empty() || number.front() == '0') return result;
    result.number = rules::parseIntInRange(number, 1, 999).value_or(0);
    return result;
}

}  // namespace kv6::pages::routing
