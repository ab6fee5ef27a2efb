#include "pages/common/field_rules.h"

#include <algorithm>
#include <charconv>

namespace kv6::pages::rules {

namespace {

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::optional<int> parseIntInRange(std::string_view text, int min, int max) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<bool> parseBool(std::string_view text) {
    if (text == "true" || text == "1") return true;
    if (text == "false" || text == "0") return false;
    return std::nullopt;
}

std::string boolText(bool value) { return value ? "true" : "false"; }

bool isDigits(std::string_view text, std::size_t maxLength) {
    return text.size() <= maxLength && std::all_of(text.begin(), text.end(), isAsciiDigit);
}

bool isLettersOrDigits(std::string_view text, std::size_t maxLength) {
    return text.size() <= maxLength &&
           std::all_of(text.begin(), text.end(), [](char c) { return isAsciiDigit(c) || isAsciiLetter(c); });
}

bool isDelimitedFieldText(std::string_view text, std::size_t maxCharacters) {
    return text.size() <= maxCharacters && std::all_of(text.begin(), text.end(), [](char c) {
               return c >= 0x20 && c <= 0x7E && c != ';';
           });
}

std::optional<std::string> normaliseDottedIp(std::string_view text) {
    if (text.empty()) return std::string();
    std::string result;
    std::size_t start = 0;
    for (int group = 0; group < 4; ++group) {
        const std::size_t dot = text.find('.', start);
        const bool last = group == 3;
        if (last != (dot == std::string_view::npos)) return std::nullopt;
        const std::string_view digits = text.substr(start, last ? std::string_view::npos : dot - start);
        if (digits.empty() || !isDigits(digits, 3)) return std::nullopt;
        if (group > 0) result.push_back('.');
        result.append(3 - digits.size(), '0');
        result.append(digits);
        start = dot + 1;
    }
    return result;
}

std::string escapedText(std::string_view value) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string unescapedText(std::string_view text) {
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && hexValue(text[i + 2]) >= 0 &&
                   hexValue(text[i + 3]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3]));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string invalidValue(std::string_view key, std::string_view value, std::string_view accepts) {
    std::string message(key);
    message += ": invalid value \"";
    message += escapedText(value);
    message += "\"; accepts ";
    message += accepts;
    return message;
}

bool setInt(int& target, std::string_view value, int min, int max) {
    const auto parsed = parseIntInRange(value, min, max);
    if (!parsed) return false;
    target = *parsed;
    return true;
}

bool setBool(bool& target, std::string_view value) {
    const auto parsed = parseBool(value);
    if (!parsed) return false;
    target = *parsed;
    return true;
}

bool setChoice(int& target, std::string_view value, int max, int noSelection) {
    if (value.empty()) {
        target = noSelection;
        return true;
    }
    return setInt(target, value, 0, max);
}

std::string choiceText(int index) { return index < 0 ? std::string() : std::to_string(index); }

}  // namespace kv6::pages::rules
