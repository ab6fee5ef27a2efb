#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pages/configuration.h"

namespace kv6::journal {
namespace {

using image::DecodeSource;

void putRecord(image::Image& image, int k, std::vector<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + JournalModel::kRegionOffset + 9 * k);
}

TEST(JournalModel, RecordShownInTheZoneWithItsDescription) {
    const JournalModel::Record record = {0x3D, 0x98, 0x2E, 0xD3, 0x11, 0x30, 0x00, 0x01, 0x05};
    const std::vector<std::string> texts = {"1100\tНе то", "  1130\tВзлом\tлишнее  ", "1130\tПозже"};
    const JournalRow row = JournalModel::rowOf(record, 3, texts);
    EXPECT_EQ(row, (JournalRow{"2012-04-10 14-30-05", "1130", "Взлом", 1, 5}));  // the earlier line wins
    EXPECT_EQ(JournalModel::describe("1130", {"код 1130 без табуляции"}), "FALSE");
    EXPECT_EQ(JournalModel::describe("1130", {}), "");
}

TEST(JournalModel, NeverWrittenAndClearedRecordsAndOrder) {
    pages::Configuration config;
    image::Image& image = config.workspace.ReceivedImage;
    std::fill_n(image.begin() + 246, 450, std::uint8_t{0xFF});
    putRecord(image, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0});
    putRecord(image, 7, {0x3D, 0x98, 0x2E, 0xD3, 0x11, 0x30, 0x00, 0x01, 0x05});
    config.document.DecodeImage(DecodeSource::FileLoad);
    const auto rows = config.journal.rows(3, {});
    ASSERT_EQ(rows.size(), 50u);
    EXPECT_EQ(rows.front(), (JournalRow{"2036-02-07 09-28-15", "????", "", 255, 255}));
    EXPECT_EQ(rows[48].time, "2012-04-10 14-30-05");
    EXPECT_EQ(rows.back(), (JournalRow{"1900-01-01 03-00-00", "0000", "", 0, 0}));
    EXPECT_EQ(JournalModel::codeText(0xAB, 0x9F), ":;9?");  // values above 9 follow '9'
    EXPECT_TRUE(config.journal.stateLines().empty());  // a file load fills no state
}

TEST(JournalModel, StateLinesAfterASerialReadOnly) {
    pages::Configuration config;
    image::Image& image = config.workspace.ReceivedImage;
    image[1156] = 0x21;  // digits 1, 2
    image[1157] = 0x43;
    image[1158] = 0x65;
    image[1161] = 0x05;
    config.document.DecodeImage(DecodeSource::SerialRead);
    const std::vector<std::string> expected = {
        "Последний код:",   "123456",           "---",              "Раздел1: Охране", "Раздел2: Снят",
        "Раздел3: Охране",  "Раздел4: Снят",    "Раздел5: Снят",    "Раздел6: Снят",   "Раздел7: Снят",
        "Раздел8: Снят",    "---"};
    EXPECT_EQ(config.journal.stateLines(), expected);
    image[1161] = 0xFF;
    config.document.DecodeImage(DecodeSource::RemoteRead);
    EXPECT_EQ(config.journal.stateLines(), expected);  // a remote read leaves the view as it was
}

TEST(JournalModel, ClearZeroesTheRegionInNineJobs) {
    pages::Configuration config;
    config.workspace.ConfigImage.fill(0x77);
    JournalModel::ClearJournal(config.workspace);
    std::vector<image::WriteJob> expected;
    for (int a = 246; a <= 646; a += 50) expected.push_back({static_cast<std::int16_t>(a), 50});
    EXPECT_EQ(config.workspace.queue.jobs(), expected);
    EXPECT_EQ(config.workspace.ConfigImage[245], 0x77);
    EXPECT_EQ(config.workspace.ConfigImage[246], 0);
    EXPECT_EQ(config.workspace.ConfigImage[695], 0);
    EXPECT_EQ(config.workspace.ConfigImage[696], 0x77);
}

}  // namespace
}  // namespace kv6::journal
