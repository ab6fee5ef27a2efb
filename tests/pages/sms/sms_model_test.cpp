#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/write_queue.h"
#include "pages/configuration.h"

namespace kv6::pages {
namespace {

using image::DecodeSource;
using image::WriteJob;

std::string bytesAt(const image::Image& image, int offset, int length) {
    return std::string(image.begin() + offset, image.begin() + offset + length);
}

class SmsModelTest : public ::testing::Test {
protected:
    Configuration config;
    SmsModel& model = config.sms;
    image::Workspace& ws = config.workspace;

    void pressButton() {
        for (int entry : model.ownEntries()) ws.flags.set(entry);
        model.queuePageJobs(ws);
    }
    void setOk(const std::string& key, const std::string& value) {
        ASSERT_EQ(model.setField(key, value), "") << key << "=" << value;
    }
};

TEST_F(SmsModelTest, ButtonQueuesTwelveJobsAndClearsItsEntries) {
    ws.flags.set(SmsModel::kEntryFirstMessage + 3);
    pressButton();
    const std::vector<WriteJob> expected = {{1583, 4}, {788, 40},  {828, 40},  {868, 40},  {908, 40},  {948, 40},
                                            {1307, 40}, {1347, 40}, {1387, 40}, {1427, 40}, {1467, 40}, {1603, 2}};
    EXPECT_EQ(ws.queue.jobs(), expected);
    for (int entry = 18; entry <= 28; ++entry) EXPECT_FALSE(ws.flags.isSet(entry)) << entry;
    // Nothing selected yet: the backup number goes out as 255.
    EXPECT_EQ(ws.ConfigImage[1603], 0xFF);
}

TEST_F(SmsModelTest, MessagesAsUtf16WithFillerAndTheirReadBack) {
    setOk("message3", "Тревога");
    setOk("message10", "A");  // the last of the first block, the first of the second
    setOk("message11", "B");
    setOk("message12", "0123456789");
    setOk("message20", "ab?");
    pressButton();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 968, 20), std::string("A\0", 2) + std::string(18, '\xFF'));
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1307, 20), std::string("B\0", 2) + std::string(18, '\xFF'));
    const std::string third = bytesAt(ws.ConfigImage, 828, 20);
    EXPECT_EQ(third.substr(0, 2), "\x22\x04");
    EXPECT_EQ(third.substr(2, 2), "\x40\x04");
    EXPECT_EQ(third.substr(14), std::string(6, '\xFF'));
    EXPECT_EQ(bytesAt(ws.ConfigImage, 788, 20), std::string(20, '\xFF'));  // empty message
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1327, 20), std::string("0\0" "1\0" "2\0" "3\0" "4\0" "5\0" "6\0" "7\0" "8\0" "9\0", 20));

    ws.ReceivedImage = ws.ConfigImage;
    config.document.DecodeImage(DecodeSource::SerialRead);
    EXPECT_EQ(model.values().messages[2], "Тревога");
    EXPECT_EQ(model.values().messages[0], "");
    EXPECT_EQ(model.values().messages[9], "A");
    EXPECT_EQ(model.values().messages[10], "B");
    EXPECT_EQ(model.values().messages[11], "0123456789");
    EXPECT_EQ(model.values().messages[19], "ab");  // a typed '?' does not come back
}

TEST_F(SmsModelTest, SystemEventTargetsAsNibblePairs) {
    setOk("arm", "3");
    setOk("disarm", "0");
    setOk("caseClosed", "10");
    setOk("caseOpened", "");
    config.document.EncodeAll();
    EXPECT_EQ(ws.ConfigImage[1583], 0x30);
    EXPECT_EQ(ws.ConfigImage[1586], 0xAF);  // no selection as 0xF

    ws.ReceivedImage[1584] = 0xB2;  // 11 has no list item
    config.document.DecodeImage(DecodeSource::FileLoad);
    EXPECT_EQ(model.values().targets[SmsModel::MainsOff], 2);
    EXPECT_EQ(model.values().targets[SmsModel::MainsOn], SmsModel::kNoSelection);
}

TEST_F(SmsModelTest, BackupAndReserveBytesBySourceAndEncoder) {
    ws.ReceivedImage[1603] = 4;
    ws.ReceivedImage[1604] = 0x81;
    config.document.DecodeImage(DecodeSource::SerialRead);
    EXPECT_EQ(model.values().backupTarget, 4);
    EXPECT_TRUE(model.values().reserves[SmsModel::Disarm]);
    EXPECT_TRUE(model.values().reserves[SmsModel::CaseClosed]);
    EXPECT_FALSE(model.values().reserves[SmsModel::Arm]);

    ws.ReceivedImage[1603] = 2;
    ws.ReceivedImage[1604] = 0x40;
    config.document.DecodeImage(DecodeSource::RemoteRead);  // its blocks hold both bytes
    EXPECT_EQ(model.values().backupTarget, 2);
    EXPECT_TRUE(model.values().reserves[SmsModel::CaseOpened]);
    EXPECT_FALSE(model.values().reserves[SmsModel::Disarm]);

    ws.ReceivedImage[1603] = 11;
    ws.ReceivedImage[1604] = 0x02;
    config.document.DecodeImage(DecodeSource::FileLoad);
    EXPECT_EQ(model.values().backupTarget, SmsModel::kNoSelection);
    EXPECT_EQ(model.fields().back().value, "");

    // Both whole-image encoders write what the page shows.
    setOk("armReserve", "false");
    config.document.EncodeAll();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1603, 2), std::string("\xFF\x00", 2));
    setOk("backupTarget", "3");
    config.document.EncodeForFile();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1603, 2), std::string("\x03\x00", 2));
}

TEST_F(SmsModelTest, SetFieldRefusesWhatWindows1251CannotHold) {
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"message1", "ĀĀ"},  // no Windows-1251 form
             {"message1", "01234567890"},
             {"message1", "a\tb"},
             {"message1", "\xFF"},
             {"disarm", "11"},
             {"backupTarget", "-1"},
             {"armReserve", "yes"}}) {
        const std::string error = model.setField(key, value);
        EXPECT_NE(error.find(key + ":"), std::string::npos) << key << "=" << value << ": " << error;
    }
    EXPECT_TRUE(model.values().messages[0].empty());
    setOk("message1", "Цена 5€ №1");
    setOk("backupTarget", "10");
    setOk("caseOpenedReserve", "1");
    EXPECT_TRUE(model.values().reserves[SmsModel::CaseOpened]);
}

}  // namespace
}  // namespace kv6::pages
