#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "image/write_queue.h"
#include "pages/configuration.h"

namespace kv6::pages {
namespace {

using image::EncodeMode;
using image::WriteJob;

std::string bytesAt(const image::Image& image, int offset, int length) {
    return std::string(image.begin() + offset, image.begin() + offset + length);
}

class ObjectModelTest : public ::testing::Test {
protected:
    // The object page alone: what other pages encode does not count here.
    image::Workspace ws;
    image::ConfigDocument document{ws};
    ObjectModel model;
    ObjectModelTest() { document.addPage(model); }

    void pressButton() {
        for (int entry : model.ownEntries()) ws.flags.set(entry);
        model.queuePageJobs(ws);
    }
    void setOk(const std::string& key, const std::string& value) {
        ASSERT_EQ(model.setField(key, value), "") << key << "=" << value;
    }
};

TEST_F(ObjectModelTest, PageButtonQueuesTenJobsAndClearsItsEntries) {
    pressButton();
    const std::vector<WriteJob> expected = {{0, 14},   {115, 19}, {134, 41}, {175, 42}, {768, 19},
                                            {760, 1},  {1508, 1}, {1579, 2}, {763, 3},  {1022, 5}};
    EXPECT_EQ(ws.queue.jobs(), expected);
    int total = 0;
    for (const auto& job : ws.queue.jobs()) total += job.length;
    EXPECT_EQ(total, 147);
    for (int entry : model.ownEntries()) EXPECT_FALSE(ws.flags.isSet(entry)) << entry;
}

TEST_F(ObjectModelTest, PageButtonQueuesOnlySetEntries) {
    ws.flags.set(ObjectModel::kEntryIdentity);
    ws.flags.set(ObjectModel::kEntryPin);
    model.queuePageJobs(ws);
    const std::vector<WriteJob> expected = {{0, 14}, {1022, 5}};
    EXPECT_EQ(ws.queue.jobs(), expected);
}

TEST_F(ObjectModelTest, IdentityStoredAsAsciiWithZeroFill) {
    setOk("objectNumber", "123456");
    setOk("receiverNumber", "AB12");
    setOk("lineNumber", "0001");
    pressButton();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 0, 14), "123456AB120001");
    setOk("lineNumber", "7");
    pressButton();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 10, 4), std::string("7\0\0\0", 4));
}

TEST_F(ObjectModelTest, ConnectionFieldsAndTextRules) {
    setOk("ipAddress", "10.0.0.1");
    EXPECT_EQ(model.values().ipAddress, "010.000.000.001");
    setOk("ipAddress2", "192.168.001.010");
    setOk("ipPort", "8099");
    setOk("apn", "");
    setOk("gprsUser", "user");
    pressButton();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 119, 15), "010.000.000.001");
    EXPECT_EQ(bytesAt(ws.ConfigImage, 772, 15), "192.168.001.010");
    EXPECT_EQ(bytesAt(ws.ConfigImage, 115, 4), "8099");
    EXPECT_EQ(bytesAt(ws.ConfigImage, 134, 41), ";" + std::string(40, '\0'));
    EXPECT_EQ(bytesAt(ws.ConfigImage, 175, 21), "user;" + std::string(16, '\0'));

    ws.ReceivedImage = ws.ConfigImage;
    model.values().apn = "stale";
    document.DecodeImage(image::DecodeSource::SerialRead);
    EXPECT_EQ(model.values().apn, "");
    EXPECT_EQ(model.values().gprsUser, "user");
}

TEST_F(ObjectModelTest, OverlongTextsAreCutToTheirFields) {
    // Values set directly (not through setField) must still stay inside the field.
    model.values().apn = std::string(60, 'a');
    model.values().gprsPassword = std::string(30, 'p');
    model.values().objectNumber = "12345678";
    pressButton();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 134, 41), std::string(40, 'a') + ";");
    EXPECT_EQ(ws.ConfigImage[175], ';');  // the (empty) user field follows intact
    EXPECT_EQ(bytesAt(ws.ConfigImage, 196, 21), std::string(20, 'p') + ";");
    EXPECT_EQ(bytesAt(ws.ConfigImage, 0, 6), "123456");
    EXPECT_EQ(ws.ConfigImage[6], 0);
}

TEST_F(ObjectModelTest, TimingEncodesAndDecodes) {
    setOk("attemptsIp1", "3");
    setOk("attemptsIp2", "15");
    setOk("pollTimeMinutes", "300");
    setOk("attemptTimeSeconds", "45");
    ws.ConfigImage[764] = 0x77;
    pressButton();
    EXPECT_EQ(ws.ConfigImage[763], 0xE2);
    EXPECT_EQ(ws.ConfigImage[1579], 0x2C);
    EXPECT_EQ(ws.ConfigImage[1580], 0x01);
    EXPECT_EQ(ws.ConfigImage[765], 45);
    EXPECT_EQ(ws.ConfigImage[764], 0x77);

    model.values() = {};
    ws.ReceivedImage = ws.ConfigImage;
    document.DecodeImage(image::DecodeSource::FileLoad);
    EXPECT_EQ(model.values().attemptsIp1, 3);
    EXPECT_EQ(model.values().attemptsIp2, 15);
    EXPECT_EQ(model.values().pollTimeMinutes, 300);
    EXPECT_EQ(model.values().attemptTimeSeconds, 45);
}

TEST_F(ObjectModelTest, OutOfRangeImageBytesDecodeToTheEditorLimits) {
    ws.ReceivedImage.fill(0xFF);
    document.DecodeImage(image::DecodeSource::SerialRead);
    const auto& v = model.values();
    EXPECT_EQ(v.secondIpMode, 2);
    EXPECT_EQ(v.pollTimeMinutes, 32767);
    EXPECT_EQ(v.attemptTimeSeconds, 100);
    EXPECT_EQ(v.codeDigits, 255);
    EXPECT_EQ(v.attemptsIp1, 15);
    EXPECT_EQ(v.attemptsIp2, 15);
    // What show prints, set takes back.
    EXPECT_EQ(model.setField("attemptsIp1", std::to_string(v.attemptsIp1)), "");
    EXPECT_FALSE(v.pinEnabled);
    EXPECT_EQ(v.objectNumber, "");  // 0xFF fill never reaches an editor
    ws.ReceivedImage.fill(0);
    document.DecodeImage(image::DecodeSource::SerialRead);
    EXPECT_EQ(model.values().attemptTimeSeconds, 10);
    EXPECT_EQ(model.values().attemptsIp1, 1);
}

TEST_F(ObjectModelTest, PinRules) {
    // A ticked PIN of two digits: no PIN, the second digit still at 1023.
    setOk("pinEnabled", "true");
    setOk("pin", "12");
    pressButton();
    EXPECT_EQ(ws.ConfigImage[1022], 0xFF);
    EXPECT_EQ(ws.ConfigImage[1023], '2');

    ws.ReceivedImage = ws.ConfigImage;
    document.DecodeImage(image::DecodeSource::FileLoad);
    EXPECT_FALSE(model.values().pinEnabled);
    EXPECT_EQ(model.values().pin, "");

    // A valid PIN and the second-IP mode.
    setOk("pinEnabled", "1");
    setOk("pin", "4321");
    setOk("secondIpMode", "1");
    pressButton();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1022, 5), std::string("4321\x01", 5));

    // A ticked-off PIN keeps its text but is written as no PIN.
    setOk("pinEnabled", "false");
    pressButton();
    EXPECT_EQ(ws.ConfigImage[1022], 0xFF);
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1023, 3), "321");
}

TEST_F(ObjectModelTest, FileSaveKeepsPinBytesWhenNoPin) {
    ws.ConfigImage[1023] = 'x';
    ws.ConfigImage[1024] = 'y';
    ws.ConfigImage[1025] = 'z';
    setOk("pinEnabled", "true");
    setOk("pin", "12");
    document.EncodeForFile();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1022, 4), "\xFFxyz");
    model.values().pin = "9876";
    document.EncodeForFile();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1022, 4), "9876");
}

TEST_F(ObjectModelTest, FileSaveBeforeAnyReadHoldsTheFormDefaults) {
    document.EncodeForFile();
    const image::Image& c = ws.ConfigImage;
    for (int offset : {134, 175, 196}) EXPECT_EQ(c[offset], ';') << offset;
    EXPECT_EQ(c[765], 10);   // attempt time starts at 10 s
    EXPECT_EQ(c[763], 0);    // one attempt on each address
    EXPECT_EQ(c[1022], 0xFF);  // no PIN
    EXPECT_EQ(c[1023], 0);   // the absent PIN's characters are not stored
    EXPECT_EQ(c[1508], 0);
    int nonZero = 0;
    for (std::uint8_t b : c) nonZero += b != 0;
    EXPECT_EQ(nonZero, 5);
}

TEST_F(ObjectModelTest, NonDigitStoredPinDecodesAsNoPin) {
    ws.ReceivedImage[1022] = '1';
    ws.ReceivedImage[1023] = '2';
    ws.ReceivedImage[1024] = 'a';
    ws.ReceivedImage[1025] = '4';
    document.DecodeImage(image::DecodeSource::SerialRead);
    EXPECT_FALSE(model.values().pinEnabled);
    EXPECT_EQ(model.values().pin, "");
    // Even set directly, a non-digit PIN is never written.
    model.values().pinEnabled = true;
    model.values().pin = "12a4";
    pressButton();
    EXPECT_EQ(ws.ConfigImage[1022], 0xFF);
}

TEST_F(ObjectModelTest, OptionByteSharing) {
    // The page button changes bits 0 and 2 only.
    ws.ConfigImage[1508] = 0b1111'1010;
    setOk("gprsChannelOff", "true");
    setOk("programmingMessage", "false");
    pressButton();
    EXPECT_EQ(ws.ConfigImage[1508], 0b1111'1011);

    // The whole-image encoders rebuild the byte: bits 4..7 zero, bit 1 and 3
    // (other pages, not registered here) kept, bits 0 and 2 from this page.
    ws.ConfigImage[1508] = 0b1111'0011;
    setOk("gprsChannelOff", "false");
    setOk("programmingMessage", "true");
    document.EncodeAll();
    EXPECT_EQ(ws.ConfigImage[1508], 0b0000'0110);

    ws.ReceivedImage[1508] = 0b0000'0101;
    document.DecodeImage(image::DecodeSource::SerialRead);
    EXPECT_TRUE(model.values().gprsChannelOff);
    EXPECT_TRUE(model.values().programmingMessage);
}

TEST_F(ObjectModelTest, WholeImageEncodersEncodeEverySection) {
    // EncodeAll ignores the entries; the advanced fields count like any other.
    setOk("objectNumber", "654321");
    setOk("attemptsIp2", "2");
    setOk("codeDigits", "6");
    ws.flags.ClearSectionFlags();
    document.EncodeAll();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 0, 6), "654321");
    EXPECT_EQ(ws.ConfigImage[763], 0x10);
    EXPECT_EQ(ws.ConfigImage[760], 6);
    EXPECT_TRUE(ws.queue.empty());
}

TEST_F(ObjectModelTest, DecodeEncodeRoundTripKeepsTheBytes) {
    image::Image& r = ws.ReceivedImage;
    std::mt19937 rng(7);
    for (auto& b : r) b = static_cast<std::uint8_t>(rng());
    auto put = [&](int offset, const std::string& s) { std::copy(s.begin(), s.end(), r.begin() + offset); };
    put(0, "123456AB120001");
    put(115, "8099");
    put(119, "192.168.001.010");
    put(134, "internet;" + std::string(32, '\0'));
    put(175, "user;" + std::string(16, '\0'));
    put(196, "pass;" + std::string(16, '\0'));
    put(768, "1234");
    put(772, "010.000.000.001");
    put(1022, "1234");
    r[1026] = 2;
    r[760] = 4;
    r[763] = 0xE2;
    r[765] = 30;
    r[1579] = 0x2C;
    r[1580] = 0x01;
    r[1508] = 0b0000'0101;
    document.DecodeImage(image::DecodeSource::FileLoad);
    const image::Image before = ws.ConfigImage;
    document.EncodeForFile();
    EXPECT_EQ(ws.ConfigImage, before);
    document.EncodeAll();
    EXPECT_EQ(ws.ConfigImage, before);
    pressButton();
    EXPECT_EQ(ws.ConfigImage, before);
}

TEST_F(ObjectModelTest, FieldsListEveryValueWithStableKeys) {
    const std::vector<std::string> keys = {
        "objectNumber", "receiverNumber", "lineNumber",     "ipAddress",         "ipPort",
        "apn",          "gprsUser",       "gprsPassword",   "ipAddress2",        "ipPort2",
        "secondIpMode", "codeDigits",     "pollTimeMinutes", "attemptTimeSeconds", "attemptsIp1",
        "attemptsIp2",  "pinEnabled",     "pin",            "gprsChannelOff",    "programmingMessage"};
    const auto fields = model.fields();
    ASSERT_EQ(fields.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(fields[i].key, keys[i]);
        EXPECT_STRNE(fields[i].accepts, "");
    }
    EXPECT_EQ(fields[13].value, "10");
    EXPECT_EQ(fields[16].value, "false");
}

TEST_F(ObjectModelTest, SetFieldRefusesWhatTheEditorRefuses) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"objectNumber", "1234567"}, {"objectNumber", "12a"},     {"receiverNumber", "AB-1"},
        {"lineNumber", "12345"},     {"ipAddress", "1.2.3"},      {"ipAddress", "1.2.3.4.5"},
        {"ipAddress", "1..3.4"},     {"ipAddress", "1234.0.0.1"}, {"ipAddress2", "a.b.c.d"},
        {"ipPort", "80800"},         {"ipPort2", "-1"},           {"apn", std::string(41, 'a')},
        {"apn", "a;b"},              {"gprsUser", std::string(21, 'u')}, {"gprsPassword", "\xD0\x96"},
        {"secondIpMode", "3"},       {"codeDigits", "256"},       {"pollTimeMinutes", "32768"},
        {"attemptTimeSeconds", "9"}, {"attemptTimeSeconds", "101"}, {"attemptsIp1", "0"},
        {"attemptsIp2", "16"},       {"pinEnabled", "yes"},       {"pin", "12345"},
        {"pin", "12a"},              {"gprsChannelOff", ""},      {"pollTimeMinutes", "1 "},
        {"pollTimeMinutes", "0x10"},
    };
    const auto before = model.fields();
    for (const auto& [key, value] : bad) {
        const std::string message = model.setField(key, value);
        EXPECT_NE(message.find(key), std::string::npos) << key << "=" << value << ": " << message;
        EXPECT_NE(message.find("accepts"), std::string::npos) << message;
    }
    const auto after = model.fields();
    for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i].value, after[i].value);

    const std::string unknown = model.setField("nope", "1");
    EXPECT_NE(unknown.find("nope"), std::string::npos);
    EXPECT_NE(unknown.find("objectNumber"), std::string::npos);

    setOk("apn", std::string(40, 'a'));
    setOk("ipAddress", "");
    setOk("receiverNumber", "ab");
    setOk("attemptTimeSeconds", "100");
}

TEST_F(ObjectModelTest, RandomImagesAndValuesNeverWriteOutsideThePage) {
    std::mt19937 rng(20240601);
    for (int round = 0; round < 2000; ++round) {
        for (auto& b : ws.ReceivedImage) b = static_cast<std::uint8_t>(rng());
        document.DecodeImage(round % 2 ? image::DecodeSource::FileLoad : image::DecodeSource::SerialRead);
        // Random text through setField must never crash; refused values are fine.
        for (const auto& field : model.fields()) {
            std::string value(rng() % 50, '\0');
            for (auto& c : value) c = static_cast<char>(rng() % 256);
            (void)model.setField(field.key, value);
        }
        const image::Image before = ws.ConfigImage;
        ws.queue.clear();
        pressButton();
        for (std::size_t i = 0; i < image::kImageSize; ++i) {
            const bool pageByte = i <= 13 || (i >= 115 && i <= 216) || (i >= 760 && i <= 765 && i != 764 &&
                                  i != 761 && i != 762) || (i >= 768 && i <= 786) || (i >= 1022 && i <= 1026) ||
                                  i == 1508 || i == 1579 || i == 1580;
            if (!pageByte) {
                ASSERT_EQ(ws.ConfigImage[i], before[i]) << "offset " << i;
            }
        }
        ASSERT_EQ(ws.queue.size(), 10u);
    }
}

}  // namespace
}  // namespace kv6::pages
