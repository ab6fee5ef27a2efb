#include "image/win1251.h"

#include <array>

namespace kv6::image {

namespace {

// Upper half of Windows-1251 (0x80..0xFF); 0 marks the one unassigned byte 0x98.
constexpr std::array<char16_t, 128> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // C8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // D0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // D8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // E8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // F0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // F8
};

// The upper half indexed by code point (the highest is U+2122, the trade mark
// sign), so text conversion needs no search; 0 = no Windows-1251 form.
constexpr auto kByCodePoint = [] {
    std::array<std::uint8_t, 0x2123> table{};
    for (std::size_t i = 0; i < kUpperHalf.size(); ++i)
        if (kUpperHalf[i] != 0) table[kUpperHalf[i]] = static_cast<std::uint8_t>(0x80 + i);
    return table;
}();

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at pos; advances pos. Returns U+FFFD on error.
char32_t decodeUtf8At(std::string_view s, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos++]);
    if (lead < 0x80) return lead;
    int extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return kReplacement;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= s.size()) return kReplacement;
        const auto next = static_cast<unsigned char>(s[pos]);
        if ((next & 0xC0) != 0x80) return kReplacement;
        cp = (cp << 6) | (next & 0x3F);
        ++pos;
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
    return cp;
}

}  // namespace

char32_t windows1251ToUnicode(std::uint8_t byte) {
    if (byte < 0x80) return byte;
    const char16_t u = kUpperHalf[byte - 0x80];
    return u == 0 ? kReplacement : u;
}

std::optional<std::uint8_t> unicodeToWindows1251(char32_t codePoint) {
    if (codePoint < 0x80) return static_cast<std::uint8_t>(codePoint);
    if (codePoint >= kByCodePoint.size()) return std::nullopt;
    const std::uint8_t byte = kByCodePoint[codePoint];
    if (byte == 0) return std::nullopt;
    return byte;
}

std::u32string utf8ToCodePoints(std::string_view utf8) {
    std::u32string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) out.push_back(decodeUtf8At(utf8, pos));
    return out;
}

std::string codePointsToUtf8(std::u32string_view codePoints) {
    std::string out;
    for (char32_t cp : codePoints) {
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string utf8ToWindows1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto byte = unicodeToWindows1251(decodeUtf8At(utf8, pos));
        out.push_back(static_cast<char>(byte.value_or('?')));
    }
    return out;
}

std::string windows1251ToUtf8(std::string_view bytes) {
    std::u32string cps;
    cps.reserve(bytes.size());
    for (char c : bytes) cps.push_back(windows1251ToUnicode(static_cast<std::uint8_t>(c)));
    return codePointsToUtf8(cps);
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t start = pos;
        const char32_t cp = decodeUtf8At(bytes, pos);
        // A genuine U+FFFD is three bytes EF BF BD; anything else decoding to it is an error.
        if (cp == kReplacement && bytes.substr(start, 3) != "\xEF\xBF\xBD") return false;
    }
    return true;
}

}  // namespace kv6::image
