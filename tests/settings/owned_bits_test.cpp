#include <gtest/gtest.h>

#include <random>
#include <string>

#include "settings/owned_bits.h"

using namespace kv6;

namespace {

image::Image noise(unsigned seed) {
    std::mt19937 random(seed);
    image::Image image{};
    for (auto& b : image) b = static_cast<std::uint8_t>(random());
    return image;
}

// The offsets of [first, last] where `mask` is not all `bits`.
std::string unlike(const image::Image& mask, int first, int last, std::uint8_t bits) {
    std::string found;
    for (int i = first; i <= last; ++i)
        if (mask[static_cast<std::size_t>(i)] != bits) found += std::to_string(i) + " ";
    return found;
}

}  // namespace

// What the pages show and set is theirs; the module's state, its password
// and the bytes no page reads are not, whatever the image holds.
TEST(OwnedBits, ThePagesOwnTheirFieldsAndNothingOfTheModulesState) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const image::Image owned = settings::ownedBits(noise(seed));
        EXPECT_EQ(unlike(owned, 0, 216, 0xFF), "") << "identity, GSM numbers, IP connection";
        EXPECT_EQ(unlike(owned, 1195, 1242, 0xFF), "") << "user codes";
        EXPECT_EQ(unlike(owned, 1579, 1580, 0xFF), "") << "poll time";
        EXPECT_EQ(unlike(owned, 1525, 1528, 0xFF), "") << "the clock is a page's: the write leaves it out itself";
        EXPECT_EQ(unlike(owned, 244, 245, 0x00), "") << "read password";
        EXPECT_EQ(unlike(owned, 1156, 1158, 0x00), "") << "last code";
        EXPECT_EQ(unlike(owned, 1161, 1161, 0x00), "") << "armed partitions";
        EXPECT_EQ(unlike(owned, 1581, 1582, 0x00), "") << "devices on the bus";
        EXPECT_EQ(unlike(owned, 1666, 1773, 0x00), "") << "bytes no page reads";
    }
}

TEST(OwnedBits, TheSourcesBitsGoOnlyWhereTheMaskSaysAndOnlyWithinTheSpans) {
    const image::Image base = noise(4);
    const image::Image source = noise(5);
    image::Image mask{};
    mask[10] = 0xF0;
    mask[20] = 0xFF;
    mask[300] = 0xFF;  // outside the spans
    const image::Image result = settings::withBitsOf(base, source, mask, {{0, 246}});
    EXPECT_EQ(result[10], (source[10] & 0xF0) | (base[10] & 0x0F));
    EXPECT_EQ(result[20], source[20]);
    EXPECT_EQ(result[300], base[300]);
    image::Image expected = base;
    expected[10] = result[10];
    expected[20] = result[20];
    EXPECT_EQ(result, expected);
}
