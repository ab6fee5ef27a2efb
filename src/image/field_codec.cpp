#include "image/field_codec.h"

#include <algorithm>

#include "image/win1251.h"

namespace kv6::image {

namespace {

constexpr int kSize = static_cast<int>(kImageSize);

// Clamps [offset, offset + length) to the image; returns the usable length.
int usableLength(int offset, int length) {
    if (offset < 0 || offset >= kSize || length <= 0) return 0;
    return std::min(length, kSize - offset);
}

std::span<const std::uint8_t> asBytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace

void StoreFieldFilled(Image& image, int offset, std::span<const std::uint8_t> source,
                      int fieldLength, int copyLength, std::uint8_t fill) {
    const int field = usableLength(offset, std::clamp(fieldLength, 0, 255));
    if (field == 0) return;
    std::fill_n(image.begin() + offset, field, fill);
    const int copy = std::min({std::clamp(copyLength, 0, 255), field, static_cast<int>(source.size())});
    std::copy_n(source.begin(), copy, image.begin() + offset);
}

void StoreField(Image& image, int offset, std::span<const std::uint8_t> source, int fieldLength,
                int copyLength) {
    StoreFieldFilled(image, offset, source, fieldLength, copyLength, 0);
}

std::string ImageText(const Image& image, int offset, int length) {
    std::string text;
    const int usable = usableLength(offset, length);
    for (int i = 0; i < usable; ++i) {
        const std::uint8_t b = image[offset + i];
        if (b >= 1 && b <= 127) text.push_back(static_cast<char>(b));
    }
    return text;
}

std::string DelimitedField(std::string_view text, int n, char delimiter) {
    std::string withDelimiter(text);
    withDelimiter.push_back(delimiter);
    std::size_t start = 0;
    for (int field = 1; start < withDelimiter.size(); ++field) {
        const std::size_t end = withDelimiter.find(delimiter, start);
        if (field == n) return withDelimiter.substr(start, end - start);
        start = end + 1;
    }
    return "FALSE";
}

void storeText(Image& image, int offset, int fieldLength, std::string_view utf8Text) {
    const std::string bytes = utf8ToWindows1251(utf8Text);
    StoreField(image, offset, asBytes(bytes), fieldLength, static_cast<int>(bytes.size()));
}

std::string decodeText(const Image& image, int offset, int fieldLength) {
    return ImageText(image, offset, fieldLength);
}

void storeDelimitedText(Image& image, int offset, int fieldLength, std::string_view utf8Text) {
    std::string bytes = utf8ToWindows1251(utf8Text);
    if (fieldLength < 1) return;
    const auto length = static_cast<int>(bytes.size());
    if (length > fieldLength) bytes.resize(fieldLength - 1);
    // A text that fills the field exactly is what a field without ";" decodes
    // to: it is kept whole, as the ";" would fall outside the field anyway.
    if (length != fieldLength) bytes.push_back(';');
    StoreField(image, offset, asBytes(bytes), fieldLength, static_cast<int>(bytes.size()));
}

std::string decodeDelimitedText(const Image& image, int offset, int fieldLength) {
    return DelimitedField(ImageText(image, offset, fieldLength), 1, ';');
}

void storeUtf16Text(Image& image, int offset, int characters, std::string_view utf8Text) {
    const std::string ansi = utf8ToWindows1251(utf8Text);
    const int fieldBytes = usableLength(offset, 2 * std::max(characters, 0));
    if (fieldBytes == 0) return;
    std::fill_n(image.begin() + offset, fieldBytes, 0xFF);
    const int units = std::min(static_cast<int>(ansi.size()), fieldBytes / 2);
    for (int i = 0; i < units; ++i) {
        const auto unit = static_cast<std::uint16_t>(windows1251ToUnicode(static_cast<std::uint8_t>(ansi[i])));
        image[offset + 2 * i] = static_cast<std::uint8_t>(unit & 0xFF);
        image[offset + 2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
}

std::string decodeUtf16Text(const Image& image, int offset, int characters) {
    const int units = usableLength(offset, 2 * std::max(characters, 0)) / 2;
    std::string ansi;
    ansi.reserve(static_cast<std::size_t>(units));
    for (int i = 0; i < units; ++i) {
        const char32_t unit = image[offset + 2 * i] | (image[offset + 2 * i + 1] << 8);
        if (unit == 0) break;
        const auto byte = unicodeToWindows1251(unit);
        if (byte && *byte != '?') ansi.push_back(static_cast<char>(*byte));
    }
    return windows1251ToUtf8(ansi);
}

std::uint8_t packNibbles(int low, int high) {
    return static_cast<std::uint8_t>((low & 0x0F) | ((high & 0x0F) << 4));
}

std::pair<int, int> unpackNibbles(std::uint8_t byte) { return {byte & 0x0F, byte >> 4}; }

std::uint16_t readU16Le(const Image& image, int offset) {
    if (usableLength(offset, 2) < 2) return 0;
    return static_cast<std::uint16_t>(image[offset] | (image[offset + 1] << 8));
}

std::uint16_t readU16Be(const Image& image, int offset) {
    if (usableLength(offset, 2) < 2) return 0;
    return static_cast<std::uint16_t>((image[offset] << 8) | image[offset + 1]);
}

std::uint32_t readU32Le(const Image& image, int offset) {
    if (usableLength(offset, 4) < 4) return 0;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | image[offset + i];
    return value;
}

void writeU16Le(Image& image, int offset, std::uint16_t value) {
    if (usableLength(offset, 2) < 2) return;
    image[offset] = static_cast<std::uint8_t>(value & 0xFF);
    image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void writeU16Be(Image& image, int offset, std::uint16_t value) {
    if (usableLength(offset, 2) < 2) return;
    image[offset] = static_cast<std::uint8_t>(value >> 8);
    image[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

void writeU32Le(Image& image, int offset, std::uint32_t value) {
    if (usableLength(offset, 4) < 4) return;
    for (int i = 0; i < 4; ++i) image[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint8_t packPartitions(const Partitions& partitions) {
    std::uint8_t byte = 0;
    for (int i = 0; i < 8; ++i)
        if (partitions[i]) byte |= static_cast<std::uint8_t>(1u << i);
    return byte;
}

Partitions unpackPartitions(std::uint8_t byte) {
    Partitions partitions{};
    for (int i = 0; i < 8; ++i) partitions[i] = (byte >> i) & 1u;
    return partitions;
}

std::string decodeBcd(const Image& image, int offset, int bytes) {
    const int usable = usableLength(offset, bytes);
    if (usable == 0 || image[offset] == 0xFF) return {};
    std::string digits;
    for (int i = 0; i < usable; ++i) {
        digits.push_back(static_cast<char>('0' + (image[offset + i] >> 4)));
        digits.push_back(static_cast<char>('0' + (image[offset + i] & 0x0F)));
    }
    return digits;
}

void storeBcd(Image& image, int offset, int bytes, std::string_view digits) {
    const int usable = usableLength(offset, bytes);
    if (usable == 0) return;
    if (digits.empty()) {
        std::fill_n(image.begin() + offset, usable, 0xFF);
        return;
    }
    auto digitAt = [&](std::size_t i) -> int {
        return i < digits.size() ? (static_cast<unsigned char>(digits[i]) - '0') & 0x0F : 0;
    };
    for (int i = 0; i < usable; ++i)
        image[offset + i] = static_cast<std::uint8_t>((digitAt(2 * i) << 4) | digitAt(2 * i + 1));
}

}  // namespace kv6::image
