#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "image/image.h"

// The field encodings shared by every page. Offsets are image offsets; every
// writer stays inside its field and inside the image, whatever it is given.
// Editor texts are UTF-8; the image holds Windows-1251 bytes.
namespace kv6::image {

// Sets fieldLength bytes at offset to 0, then copies min(copyLength, fieldLength,
// source size) bytes of source there.
void StoreField(Image& image, int offset, std::span<const std::uint8_t> source, int fieldLength,
                int copyLength);
// The same with another fill byte.
void StoreFieldFilled(Image& image, int offset, std::span<const std::uint8_t> source,
                      int fieldLength, int copyLength, std::uint8_t fill);

// Printable decode: the bytes 1..127 of the field, in order; 0 and 128..255
// are skipped wherever they stand.
[[nodiscard]] std::string ImageText(const Image& image, int offset, int length);

// The n-th (1-based) field of text + delimiter; "FALSE" when there is no such field.
[[nodiscard]] std::string DelimitedField(std::string_view text, int n, char delimiter);

// Zero-padded text (also digit text and dotted IP text): the text, cut to the
// field, zero fill behind.
void storeText(Image& image, int offset, int fieldLength, std::string_view utf8Text);
[[nodiscard]] std::string decodeText(const Image& image, int offset, int fieldLength);

// Semicolon-terminated text: text + ";" stored zero-padded. A text of exactly
// fieldLength bytes fills the field without ";" (the decode of such a field);
// a longer one is cut so that the ";" still fits.
void storeDelimitedText(Image& image, int offset, int fieldLength, std::string_view utf8Text);
[[nodiscard]] std::string decodeDelimitedText(const Image& image, int offset, int fieldLength);

// UTF-16 text of `characters` units: field filled with 0xFF, then the text
// (through Windows-1251, as the ANSI conversion) as UTF-16 little-endian.
void storeUtf16Text(Image& image, int offset, int characters, std::string_view utf8Text);
// Decode: the units through Windows-1251 with every '?' removed (0xFFFF filler
// becomes '?' and so disappears); a zero unit ends the text.
[[nodiscard]] std::string decodeUtf16Text(const Image& image, int offset, int characters);

// Nibble pair: first value in the low four bits, second in the high four bits.
[[nodiscard]] std::uint8_t packNibbles(int low, int high);
[[nodiscard]] std::pair<int, int> unpackNibbles(std::uint8_t byte);

[[nodiscard]] std::uint16_t readU16Le(const Image& image, int offset);
[[nodiscard]] std::uint16_t readU16Be(const Image& image, int offset);
[[nodiscard]] std::uint32_t readU32Le(const Image& image, int offset);
void writeU16Le(Image& image, int offset, std::uint16_t value);
void writeU16Be(Image& image, int offset, std::uint16_t value);
void writeU32Le(Image& image, int offset, std::uint32_t value);

// Partition bit set: bit i set when partition i + 1 is ticked.
using Partitions = std::array<bool, 8>;
[[nodiscard]] std::uint8_t packPartitions(const Partitions& partitions);
[[nodiscard]] Partitions unpackPartitions(std::uint8_t byte);

// BCD digits, two per byte, first digit high. A first byte of 0xFF marks an
// empty entry (decodes to ""). A decoded nibble is shown as '0' + value.
[[nodiscard]] std::string decodeBcd(const Image& image, int offset, int bytes);
// Stores up to 2 * bytes digits; missing digits are 0. An empty text stores 0xFF fill.
void storeBcd(Image& image, int offset, int bytes, std::string_view digits);

}  // namespace kv6::image
