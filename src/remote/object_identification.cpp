#include "remote/object_identification.h"

#include <algorithm>

namespace kv6::remote {

namespace {
constexpr std::size_t kSrNumberIndex = 17;  // the 18th character
constexpr std::size_t kAdmNumberIndex = 2;  // the 3rd character of the field
constexpr std::size_t kNumberLength = 4;
}  // namespace

std::string_view ObjectIdentification::textOf(std::span<const std::uint8_t> reply) {
    const auto zero = std::find(reply.begin(), reply.end(), std::uint8_t{0});
    return {reinterpret_cast<const char*>(reply.data()), static_cast<std::size_t>(zero - reply.begin())};
}

std::optional<std::string> ObjectIdentification::fromSr(std::string_view text) {
    if (text.find("SR") == std::string_view::npos) return std::nullopt;
    if (text.size() <= kSrNumberIndex) return std::string{};
    return std::string{text.substr(kSrNumberIndex, kNumberLength)};
}

namespace {
// The second '#' field, whether a closing '#' ends it, and "FALSE" when there is none.
std::string_view admField(std::string_view text, bool& closed) {
    closed = false;
    const auto first = text.find('#');
    if (first == std::string_view::npos) return "FALSE";
    const auto start = first + 1;
    const auto second = text.find('#', start);
    closed = second != std::string_view::npos;
    return text.substr(start, closed ? second - start : std::string_view::npos);
}
}  // namespace

std::optional<std::string> ObjectIdentification::fromAdm(std::string_view text) {
    if (text.find("ADM") == std::string_view::npos) return std::nullopt;
    bool closed = false;
    const std::string_view field = admField(text, closed);
    if (field.size() <= kAdmNumberIndex) return std::string{};
    return std::string{field.substr(kAdmNumberIndex, kNumberLength)};
}

bool ObjectIdentification::namesWholeNumber(std::string_view text) {
    if (text.find("ADM") != std::string_view::npos) {
        bool closed = false;
        const std::string_view field = admField(text, closed);
        return text.find('#') != std::string_view::npos && (closed || field.size() >= kAdmNumberIndex + kNumberLength);
    }
    return text.find("SR") != std::string_view::npos && text.size() >= kSrNumberIndex + kNumberLength;
}

}  // namespace kv6::remote
