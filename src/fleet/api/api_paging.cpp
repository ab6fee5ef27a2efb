#include "fleet/api/api_paging.h"

#include <array>
#include <charconv>

namespace kv6::fleet::api {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
// No key is longer: an object number, an id or an address.
constexpr std::size_t kMaxCursor = 256;

int sextet(char c) {
    const std::size_t at = kAlphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

std::string encodeCursor(std::string_view key) {
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : key) {
        buffer = (buffer << 8) | static_cast<unsigned char>(c);
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += kAlphabet[(buffer >> bits) & 0x3F];
        }
    }
    if (bits > 0) out += kAlphabet[(buffer << (6 - bits)) & 0x3F];
    return out;
}

std::optional<std::string> decodeCursor(std::string_view cursor) {
    if (cursor.empty() || cursor.size() > kMaxCursor || cursor.size() % 4 == 1) return std::nullopt;
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : cursor) {
        const int value = sextet(c);
        if (value < 0) return std::nullopt;
        buffer = (buffer << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    // The bits left over are padding: a cursor this side made has them clear.
    if ((buffer & ((1u << bits) - 1)) != 0) return std::nullopt;
    return out;
}

std::string numberKey(long long value) {
    // Zero-padded, so that text order is number order.
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    const std::string text(digits.data(), end);
    return std::string(text.size() < 20 ? 20 - text.size() : 0, '0') + text;
}

std::optional<Page> Page::fromQuery(const std::map<std::string, std::string>& query, std::string& error) {
    Page page;
    if (const auto limit = query.find("limit"); limit != query.end()) {
        const std::string& text = limit->second;
        std::size_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 1 || value > kMaxLimit) {
            error = "limit: a number 1..1000 is needed, not '" + text.substr(0, 32) + "'";
            return std::nullopt;
        }
        page.limit = value;
    }
    if (const auto order = query.find("order"); order != query.end()) {
        if (order->second != "newest" && order->second != "oldest") {
            error = "order: newest or oldest is needed, not '" + order->second.substr(0, 32) + "'";
            return std::nullopt;
        }
        page.newestFirst = order->second == "newest";
    }
    if (const auto cursor = query.find("cursor"); cursor != query.end()) {
        page.after = decodeCursor(cursor->second);
        if (!page.after) {
            error = "cursor: not a cursor this server gave";
            return std::nullopt;
        }
    }
    return page;
}

}  // namespace kv6::fleet::api
