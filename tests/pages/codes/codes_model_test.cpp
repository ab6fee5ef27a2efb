#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "image/write_queue.h"
#include "pages/configuration.h"

namespace kv6::pages {
namespace {

using image::DecodeSource;
using image::WriteJob;

class CodesModelTest : public ::testing::Test {
protected:
    Configuration config;
    CodesModel& model = config.codes;
    image::Workspace& ws = config.workspace;
    image::Image& received = ws.ReceivedImage;
    image::Image& image = ws.ConfigImage;

    void load() { config.document.DecodeImage(DecodeSource::FileLoad); }
    void setOk(const std::string& key, const std::string& value) {
        ASSERT_EQ(model.setField(key, value), "") << key << "=" << value;
    }
    [[nodiscard]] std::string field(const std::string& key) const {
        for (const auto& f : model.fields())
            if (f.key == key) return f.value;
        ADD_FAILURE() << "no field " << key;
        return {};
    }
    void pressButton() {
        for (int entry : model.ownEntries()) ws.flags.set(entry);
        model.queuePageJobs(ws);
    }
    [[nodiscard]] std::vector<int> bytes(int offset, int length) const {
        return std::vector<int>(image.begin() + offset, image.begin() + offset + length);
    }
};

TEST_F(CodesModelTest, CodesPackLowDigitFirstAndFollowTheCodeLength) {
    load();
    setOk("code7", "1234");
    config.document.EncodeForFile();
    EXPECT_EQ(bytes(1213, 3), (std::vector<int>{0x21, 0x43, 0x00}));

    setOk("codeLength", "6");
    EXPECT_EQ(field("code7"), "123400");  // first four and "00"
    setOk("code20", "123456");
    config.document.EncodeForFile();
    EXPECT_EQ(bytes(1651, 3), (std::vector<int>{0x21, 0x43, 0x65}));
    EXPECT_EQ(image[1508] & 0x02, 0x02);

    setOk("codeLength", "4");  // back to four: what the module keeps and a reload shows
    EXPECT_EQ(field("code20"), "1234");
}

TEST_F(CodesModelTest, FourDigitDecodeDropsPositionsFiveAndSix) {
    received[1195] = 0x21;
    received[1196] = 0xF3;  // a nibble of 15 shows as '?'
    received[1197] = 0x65;
    received[1508] = 0x00;
    load();
    EXPECT_EQ(field("code1"), "123?");
    config.document.EncodeAll();
    EXPECT_EQ(bytes(1195, 3), (std::vector<int>{0x21, 0xF3, 0x00}));

    received[1508] = 0x02;
    load();
    EXPECT_EQ(field("code1"), "123?56");
}

TEST_F(CodesModelTest, ObjectNumbersAreBcdWithEmptyAsFf) {
    load();
    setOk("partitionObject3", "12");
    setOk("partitionObject4", "");
    EXPECT_EQ(field("partitionObject3"), "0012");
    config.document.EncodeAll();
    EXPECT_EQ(bytes(994, 4), (std::vector<int>{0x00, 0x12, 0xFF, 0xFF}));
    received[990] = 0xFF;
    received[991] = 0x34;
    received[992] = 0x9A;
    received[993] = 0xBC;
    load();
    EXPECT_EQ(field("partitionObject1"), "");
    EXPECT_EQ(field("partitionObject2"), "9:;<");
}

TEST_F(CodesModelTest, PartitionsAndBypassLiveInTheReceivedImage) {
    load();
    setOk("partitions24", "1,3");
    setOk("bypass24", "true");
    setOk("bypass16", "true");
    setOk("bypass1", "true");
    EXPECT_EQ(received[1186], 5);
    EXPECT_EQ(received[1162], 0x80);
    EXPECT_EQ(received[1159], 0x01);
    EXPECT_EQ(received[1160], 0x80);
    EXPECT_EQ(field("partitions24"), "1,3");
    setOk("code99Partitions", "5");
    setOk("code99Bypass", "true");
    EXPECT_EQ(received[243], 16);
    EXPECT_EQ(received[1508] & 0x10, 0x10);
}

TEST_F(CodesModelTest, PageButtonQueuesItsEightJobsWith1508FromTheReceivedImage) {
    received[1508] = 0x1D;  // bits 0, 2, 3 and code 99's bypass; four-digit codes
    received[760] = 4;
    received[218] = 0x21;
    load();
    setOk("codeLength", "6");
    setOk("rearmCode", "3");
    setOk("legacyCode1", "999999");
    received[1508] = 0x01;  // what ReceivedImage holds at the press
    image[760] = 77;
    pressButton();
    const std::vector<WriteJob> expected = {{1195, 48}, {1642, 24}, {1163, 32}, {243, 1},
                                            {990, 32},  {1159, 2},  {1162, 1},  {1508, 1}};
    EXPECT_EQ(ws.queue.jobs(), expected);
    EXPECT_EQ(image[1508], 0x03);
    EXPECT_EQ(image[760], 77);  // neither 760 nor the hidden table go with this button
    EXPECT_EQ(image[218], 0x21);
    EXPECT_EQ(image[242], 0);
    for (int entry : model.ownEntries()) EXPECT_FALSE(ws.flags.isSet(entry)) << entry;
}

TEST_F(CodesModelTest, WholeImageEncodersKeepTheDialogsEdits) {
    load();
    model.setPartitionMask(CodesModel::kCode99, 0x02);
    model.setBypass(CodesModel::kCode99, true);
    model.setBypass(9, true);
    model.setBypass(20, true);
    model.setPartitionMask(1, 0x81);
    received[1190] = 0x5A;  // carried with the partition block
    setOk("legacyCode2", "123456");
    setOk("rearmCode", "2");

    config.document.EncodeAll();
    EXPECT_EQ(image[243], 0x02);
    EXPECT_EQ(image[1508] & 0x10, 0x10);
    EXPECT_EQ(image[1160], 0x01);
    EXPECT_EQ(image[1162], 0x08);
    EXPECT_EQ(image[1163], 0x81);
    EXPECT_EQ(image[1190], 0x5A);
    EXPECT_EQ(bytes(221, 3), (std::vector<int>{0, 0, 0}));  // the hidden table goes only into files

    config.document.EncodeForFile();
    EXPECT_EQ(bytes(221, 3), (std::vector<int>{0x21, 0x43, 0x65}));
    EXPECT_EQ(image[242], 2);
    EXPECT_EQ(image[1508] & 0x10, 0x10);
}

TEST_F(CodesModelTest, SetRefusesWhatTheEditorsRefuseButTakesBackWhatItShows) {
    load();
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"code1", "12a4"},
                                                          {"code1", "12345"},
                                                          {"code1", "123"},
                                                          {"codeLength", "5"},
                                                          {"partitions1", "0"},
                                                          {"partitions1", "9"},
                                                          {"partitions1", "1,,2"},
                                                          {"code99Partitions", "1,2"},
                                                          {"partitionObject1", "1a"},
                                                          {"partitionObject1", "12345"},
                                                          {"legacyCode1", "12345"},
                                                          {"rearmCode", "9"},
                                                          {"bypass1", "yes"},
                                                          {"code25", "1234"},
                                                          {"code01", "1234"}}) {
        const auto before = model.fields();
        EXPECT_NE(model.setField(key, value), "") << key << "=" << value;
        const auto after = model.fields();
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i].value, before[i].value);
    }
    // A byte no editor would let a user type shows and is taken back as it is.
    received[243] = 0x05;
    received[242] = 200;
    received[1201] = 0xCA;
    load();
    EXPECT_EQ(field("code99Partitions"), "1,3");
    setOk("code99Partitions", "1,3");
    setOk("rearmCode", "200");
    setOk("code3", ":<00");
    config.document.EncodeForFile();
    EXPECT_EQ(image[243], 0x05);
    EXPECT_EQ(image[242], 200);
    EXPECT_EQ(image[1201], 0xCA);
}

TEST_F(CodesModelTest, SavedFileLoadsAndSavesBackByteForByte) {
    std::mt19937 rng(9);
    for (auto& b : received) b = static_cast<std::uint8_t>(rng());
    load();
    config.document.EncodeForFile();
    const image::Image first = image;
    received = first;
    load();
    config.document.EncodeForFile();
    EXPECT_EQ(image, first);
}

}  // namespace
}  // namespace kv6::pages
