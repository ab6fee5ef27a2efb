#include <gtest/gtest.h>

#include <vector>

#include "remote/greeting.h"
#include "remote/object_identification.h"
#include "remote/remote_frame.h"

using namespace kv6::remote;

TEST(RemoteFrame, ObjectNumberPacking) {
    EXPECT_EQ(RemoteFrame::packObjectNumber("1234"), (std::array<std::uint8_t, 2>{0x12, 0x34}));
    EXPECT_EQ(RemoteFrame::packObjectNumber(""), (std::array<std::uint8_t, 2>{0x00, 0x00}));
    EXPECT_EQ(RemoteFrame::packObjectNumber("98"), (std::array<std::uint8_t, 2>{0x98, 0x00}));
    EXPECT_EQ(RemoteFrame::packObjectNumber("123456"), (std::array<std::uint8_t, 2>{0x12, 0x34}));
    // Any character goes through the same formula: 'A' - '0' = 17.
    EXPECT_EQ(RemoteFrame::packPair('A', 'B'), static_cast<std::uint8_t>((17 * 16 + (18 & 0x0F)) & 0xFF));
    // Characters below '0' wrap within the byte.
    EXPECT_EQ(RemoteFrame::packPair(' ', '!'), static_cast<std::uint8_t>(((-16) * 16 + ((-15) & 0x0F)) & 0xFF));
}

TEST(RemoteFrame, ReadAndServiceLayouts) {
    const auto read = RemoteFrame::read("1234", 1792).bytes();
    ASSERT_EQ(read.size(), 129u);
    EXPECT_EQ(read[0], '~');
    EXPECT_EQ(read[1], 0x12);
    EXPECT_EQ(read[2], 0x34);
    EXPECT_EQ(read[3], 'R');
    EXPECT_EQ(read[4], 0x07);
    EXPECT_EQ(read[5], 0x00);
    EXPECT_EQ(read[6], 128);
    EXPECT_EQ(read[7], 0);
    EXPECT_EQ(read[128], ';');
    for (std::size_t i = 8; i < 128; ++i) EXPECT_EQ(read[i], 0) << i;

    const auto password = RemoteFrame::password("", 0x1234, 0xABCD).bytes();
    EXPECT_EQ(password[3], 'P');
    EXPECT_EQ(password[4], 0);
    EXPECT_EQ(password[5], 0);
    EXPECT_EQ(password[6], 0);
    EXPECT_EQ(password[8], 0x12);
    EXPECT_EQ(password[9], 0x34);
    EXPECT_EQ(password[10], 0xAB);
    EXPECT_EQ(password[11], 0xCD);
    EXPECT_EQ(password[7], 0x12 ^ 0x34 ^ 0xAB ^ 0xCD);
    EXPECT_EQ(password[12], 0);

    const auto reset = RemoteFrame::reset("1234").bytes();
    EXPECT_EQ(reset[3], 'K');
    for (std::size_t i = 4; i < 128; ++i) EXPECT_EQ(reset[i], 0) << i;

    const auto keepAlive = RemoteFrame::keepAlive().bytes();
    EXPECT_EQ(keepAlive[0], '~');
    EXPECT_EQ(keepAlive[128], ';');
    for (std::size_t i = 1; i < 128; ++i) EXPECT_EQ(keepAlive[i], 0) << i;
}

TEST(RemoteFrame, WriteJobLayoutAndLimit) {
    const std::vector<std::uint8_t> job{0x01, 0x02, 0x04};
    const auto frame = RemoteFrame::write("1234", 1049, job);
    ASSERT_TRUE(frame.has_value());
    const auto& b = frame->bytes();
    EXPECT_EQ(b[3], 'W');
    EXPECT_EQ(b[4], 0x04);
    EXPECT_EQ(b[5], 0x19);
    EXPECT_EQ(b[6], 0x03);
    EXPECT_EQ(b[7], 0x07);
    EXPECT_EQ(b[8], 0x01);
    EXPECT_EQ(b[10], 0x04);
    EXPECT_EQ(b[11], 0x00);
    EXPECT_EQ(b[128], ';');

    const std::vector<std::uint8_t> full(120, 0x5A);
    const auto fits = RemoteFrame::write("", 0, full);
    ASSERT_TRUE(fits.has_value());
    EXPECT_EQ(fits->bytes()[127], 0x5A);
    EXPECT_EQ(fits->bytes()[128], ';');
    EXPECT_FALSE(RemoteFrame::write("", 0, std::vector<std::uint8_t>(121, 1)).has_value());
}

TEST(Greeting, CarriesLocalTimeMinusTheZone) {
    const auto bytes = Greeting::build({2000, 1, 1, 0, 0, 0}, 3);
    for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[20], 0xD0);
    EXPECT_EQ(bytes[21], 0x97);
    EXPECT_EQ(bytes[22], 0x17);
    EXPECT_EQ(bytes[23], 0xBC);
    EXPECT_EQ(Greeting::moduleSeconds({1900, 1, 1, 0, 0, 0}, 0), 0u);
    EXPECT_EQ(Greeting::moduleSeconds({1900, 3, 1, 0, 0, 1}, 0), 59u * 86400 + 1);  // 1900 is no leap year
    EXPECT_EQ(Greeting::moduleSeconds({2000, 3, 1, 0, 0, 0}, 0) - Greeting::moduleSeconds({2000, 2, 28, 0, 0, 0}, 0),
              2u * 86400);  // 2000 is
    // Nonsense fields compute without overflow.
    (void)Greeting::moduleSeconds({2147483647, 2147483647, -2147483647 - 1, 2147483647, 0, 0}, -2147483647 - 1);
}

TEST(ObjectIdentification, SrAndAdmTexts) {
    const std::string sr = "xxSRxxxxxxxxxxxxx5678rest";  // '5' is the 18th character
    EXPECT_EQ(ObjectIdentification::fromSr(sr), "5678");
    EXPECT_EQ(ObjectIdentification::fromSr("SR short tail 12345"), "45");
    EXPECT_EQ(ObjectIdentification::fromSr("SR"), "");
    EXPECT_FALSE(ObjectIdentification::fromSr("S R").has_value());

    EXPECT_EQ(ObjectIdentification::fromAdm("ADM#xx4321yy#z"), "4321");
    EXPECT_EQ(ObjectIdentification::fromAdm("ADM#xx43"), "43");
    EXPECT_EQ(ObjectIdentification::fromAdm("ADM"), "LSE");  // the missing field reads "FALSE"
    EXPECT_FALSE(ObjectIdentification::fromAdm("AD M#xx4321").has_value());

    const std::vector<std::uint8_t> withZero{'a', 'S', 0, 'R'};
    EXPECT_EQ(ObjectIdentification::textOf(withZero), "aS");
}
