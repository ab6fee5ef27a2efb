#include <gtest/gtest.h>

#include <random>

#include "image/field_codec.h"
#include "image/win1251.h"

using namespace kv6::image;

namespace {

std::span<const std::uint8_t> bytesOf(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace

TEST(PrintableDecode, SkipsZerosAndHighBytesWherevertheyStand) {
    Image image{};
    const std::uint8_t a[] = {0x31, 0x32, 0x00, 0x00, 0xFF, 0xFF};
    std::copy(std::begin(a), std::end(a), image.begin() + 10);
    EXPECT_EQ(ImageText(image, 10, 6), "12");
    const std::uint8_t b[] = {0x41, 0x00, 0x42};
    std::copy(std::begin(b), std::end(b), image.begin() + 100);
    EXPECT_EQ(ImageText(image, 100, 3), "AB");
    image[200] = 0xC0;  // a Cyrillic letter never reaches the editor
    image[201] = 0x7F;
    EXPECT_EQ(ImageText(image, 200, 2), "\x7F");
    EXPECT_EQ(ImageText(image, 4090, 100).size(), 0u);  // clamped at the end of the image
}

TEST(StoreField, ZeroFillsTheFieldAndNeverWritesPastIt) {
    Image image;
    image.fill(0xEE);
    StoreField(image, 10, bytesOf("ABCDEFGH"), 4, 8);
    EXPECT_EQ(ImageText(image, 10, 4), "ABCD");
    EXPECT_EQ(image[14], 0xEE);
    StoreField(image, 20, bytesOf("AB"), 5, 2);
    EXPECT_EQ(image[22], 0);
    EXPECT_EQ(image[24], 0);
    EXPECT_EQ(image[25], 0xEE);
    StoreFieldFilled(image, 30, bytesOf("A"), 3, 1, 0xFF);
    EXPECT_EQ(image[31], 0xFF);
    StoreField(image, 4094, bytesOf("XYZ"), 10, 3);  // clamped to the image
    EXPECT_EQ(image[4095], 'Y');
}

TEST(DelimitedText, FieldsAndMissingFields) {
    EXPECT_EQ(DelimitedField("internet;", 1, ';'), "internet");
    EXPECT_EQ(DelimitedField("internet", 1, ';'), "internet");
    EXPECT_EQ(DelimitedField("", 1, ';'), "");
    EXPECT_EQ(DelimitedField(";x", 1, ';'), "");
    EXPECT_EQ(DelimitedField("a#b#c", 2, '#'), "b");
    EXPECT_EQ(DelimitedField("a#b", 3, '#'), "FALSE");
    EXPECT_EQ(DelimitedField("a#b#", 3, '#'), "");

    Image image{};
    storeDelimitedText(image, 134, 41, "internet");
    EXPECT_EQ(decodeDelimitedText(image, 134, 41), "internet");
    EXPECT_EQ(image[134 + 8], ';');
    storeDelimitedText(image, 134, 41, "");
    EXPECT_EQ(image[134], ';');
    for (int i = 1; i < 41; ++i) EXPECT_EQ(image[134 + i], 0) << i;
    EXPECT_EQ(decodeDelimitedText(image, 134, 41), "");
    // A text longer than the field is cut so that the ';' still fits.
    image[175] = 0x55;
    storeDelimitedText(image, 134, 41, std::string(60, 'x'));
    EXPECT_EQ(decodeDelimitedText(image, 134, 41), std::string(40, 'x'));
    EXPECT_EQ(image[174], ';');
    EXPECT_EQ(image[175], 0x55);
    // A text filling the field exactly (a field without ";" decodes so) is kept whole.
    storeDelimitedText(image, 134, 41, std::string(41, 'y'));
    EXPECT_EQ(decodeDelimitedText(image, 134, 41), std::string(41, 'y'));
    EXPECT_EQ(image[175], 0x55);
}

TEST(Utf16Text, CyrillicAndFiller) {
    Image image{};
    storeUtf16Text(image, 788, 10, "Тест");
    const std::uint8_t expected[] = {0x22, 0x04, 0x35, 0x04, 0x41, 0x04, 0x42, 0x04};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(image[788 + i], expected[i]) << i;
    for (int i = 8; i < 20; ++i) EXPECT_EQ(image[788 + i], 0xFF) << i;
    EXPECT_EQ(decodeUtf16Text(image, 788, 10), "Тест");

    std::fill_n(image.begin() + 808, 20, 0xFF);
    EXPECT_EQ(decodeUtf16Text(image, 808, 10), "");

    // Eleven characters: cut to ten, the byte after the field untouched.
    image[848] = 0x11;
    storeUtf16Text(image, 828, 10, "Abcdefghijk");
    EXPECT_EQ(decodeUtf16Text(image, 828, 10), "Abcdefghij");
    EXPECT_EQ(image[848], 0x11);

    // A character with no Windows-1251 form becomes '?' and so vanishes on decode.
    storeUtf16Text(image, 868, 10, "a€中b");
    EXPECT_EQ(decodeUtf16Text(image, 868, 10), "a€b");
}

TEST(NumericEncodings, NibblesEndianBitsAndBcd) {
    EXPECT_EQ(packNibbles(2, 14), 0xE2);
    EXPECT_EQ(unpackNibbles(0xE2), std::make_pair(2, 14));

    Image image{};
    writeU16Le(image, 1579, 300);
    EXPECT_EQ(image[1579], 0x2C);
    EXPECT_EQ(image[1580], 0x01);
    EXPECT_EQ(readU16Le(image, 1579), 300);
    writeU16Be(image, 244, 0x1234);
    EXPECT_EQ(image[244], 0x12);
    EXPECT_EQ(readU16Be(image, 244), 0x1234);
    writeU32Le(image, 1525, 0xBC1797D0u);
    EXPECT_EQ(image[1525], 0xD0);
    EXPECT_EQ(image[1528], 0xBC);
    EXPECT_EQ(readU32Le(image, 1525), 0xBC1797D0u);
    EXPECT_EQ(readU32Le(image, 4094), 0u);  // would reach past the image

    Partitions p{};
    p[0] = p[7] = true;
    EXPECT_EQ(packPartitions(p), 0x81);
    EXPECT_EQ(unpackPartitions(0x81), p);

    storeBcd(image, 990, 2, "1234");
    EXPECT_EQ(image[990], 0x12);
    EXPECT_EQ(image[991], 0x34);
    EXPECT_EQ(decodeBcd(image, 990, 2), "1234");
    storeBcd(image, 990, 2, "");  // an empty entry is 0xFF in every byte
    EXPECT_EQ(image[990], 0xFF);
    EXPECT_EQ(image[991], 0xFF);
    EXPECT_EQ(decodeBcd(image, 990, 2), "");
    image[992] = 0x1A;
    image[993] = 0x00;
    EXPECT_EQ(decodeBcd(image, 992, 2), "1:00");
}

TEST(Windows1251, RoundTripAndUnmappable) {
    for (int b = 0; b < 256; ++b) {
        if (b == 0x98) continue;  // the one unassigned byte
        const char32_t cp = windows1251ToUnicode(static_cast<std::uint8_t>(b));
        ASSERT_EQ(unicodeToWindows1251(cp), std::optional<std::uint8_t>(b)) << b;
    }
    for (const char32_t none : {0x98u, 0x0400u, 0x2123u, 0xFFFDu, 0x10FFFFu})
        EXPECT_EQ(unicodeToWindows1251(none), std::nullopt) << std::hex << static_cast<unsigned>(none);
    EXPECT_EQ(utf8ToWindows1251("Объект"), "\xCE\xE1\xFA\xE5\xEA\xF2");
    EXPECT_EQ(windows1251ToUtf8("\xCE\xE1\xFA\xE5\xEA\xF2"), "Объект");
    EXPECT_EQ(utf8ToWindows1251("中"), "?");
    EXPECT_EQ(utf8ToWindows1251("\xFF\xFE"), "??");  // invalid UTF-8
    EXPECT_TRUE(isValidUtf8("Объект abc"));
    EXPECT_FALSE(isValidUtf8("\xCE\xE1\xFA"));
    EXPECT_TRUE(isValidUtf8("\xEF\xBF\xBD"));
}

TEST(Codecs, RandomTextsStayInsideTheirFields) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 2000; ++round) {
        Image image;
        image.fill(0xA5);
        std::string text(rng() % 80, '\0');
        for (char& c : text) c = static_cast<char>(rng() % 256);
        const int offset = 100 + static_cast<int>(rng() % 50);
        const int field = 1 + static_cast<int>(rng() % 40);
        switch (round % 3) {
            case 0: storeText(image, offset, field, text); break;
            case 1: storeDelimitedText(image, offset, field, text); break;
            default: storeUtf16Text(image, offset, field / 2 + 1, text); break;
        }
        const int end = offset + (round % 3 == 2 ? 2 * (field / 2 + 1) : field);
        for (int i = 0; i < offset; ++i) ASSERT_EQ(image[i], 0xA5);
        for (int i = end; i < 300; ++i) ASSERT_EQ(image[i], 0xA5);
        (void)decodeUtf16Text(image, offset, field);
        (void)decodeDelimitedText(image, offset, field);
    }
}
