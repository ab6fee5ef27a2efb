#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/write_queue.h"
#include "pages/configuration.h"

namespace kv6::pages {
namespace {

using image::DecodeSource;
using image::WriteJob;

const std::vector<std::string> kParamp = {"Вход/Выход\t130\t1", "Объём\t131\t3", "Периметр\t132\t16"};

class ZonesModelTest : public ::testing::Test {
protected:
    Configuration config;
    ZonesModel& model = config.zones;
    image::Workspace& ws = config.workspace;
    image::Image& rx = ws.ReceivedImage;

    void load(DecodeSource source) { config.document.DecodeImage(source); }
    void press() {
        for (int entry : model.ownEntries()) ws.flags.set(entry);
        model.queuePageJobs(ws);
    }
    std::string value(const std::string& key) const {
        for (const auto& f : model.fields())
            if (f.key == key) return f.value;
        return "<missing>";
    }
};

TEST_F(ZonesModelTest, TypeByteWithSirenAndRestoreFindsItsNameFromParamp) {
    model.setZoneTypes(ZoneTypeList::fromFileLines(kParamp));
    rx[1051] = 47;  // 35 + siren + restore
    rx[1052] = 99;  // no such type: the row shows the number, and OK keeps the byte
    rx[1053] = 0;
    load(DecodeSource::FileLoad);
    EXPECT_EQ(model.values().zoneTexts[0], "24х часовая");
    EXPECT_EQ(model.values().zoneTexts[1], "99");
    EXPECT_EQ(model.values().zoneTexts[2], "0");
    for (int zone : {2, 3}) {
        EXPECT_EQ(model.routing(zone).typeIndex, -1);
        model.applyRouting(zone, model.routing(zone));
    }
    EXPECT_EQ(rx[1052], 99);
    EXPECT_EQ(rx[1053], 0);
    const ZoneRouting r = model.routing(1);
    EXPECT_EQ(r.typeIndex, 3);
    EXPECT_TRUE(r.siren);
    EXPECT_TRUE(r.restore);
    EXPECT_EQ(value("type1"), "35");
    EXPECT_EQ(value("typeName1"), "24х часовая");
    EXPECT_EQ(value("typeName2"), "<missing>");
}

TEST_F(ZonesModelTest, ZoneTypeListWalksPastShortLinesAndBadNumbers) {
    // "B" has no third field, "C" a word: each takes the number before it.
    const ZoneTypeList list = ZoneTypeList::fromFileLines({"A", "B\t001", "C\t002\tx", "D\t003\t7", "E\t004\ty"});
    EXPECT_EQ(list.size(), 6);
    EXPECT_EQ(list.name(5), "24х часовая");
    EXPECT_EQ(list.code(0), "FALSE");
    EXPECT_EQ(list.findType(2), 0);  // the first entry falls back to 2
    EXPECT_EQ(list.findType(7), 3);
    EXPECT_EQ(list.findType(35), 5);
    EXPECT_FALSE(list.findType(3).has_value());
    EXPECT_FALSE(ZoneTypeList().hasNumbers());
}

TEST_F(ZonesModelTest, WithoutParampTheGridShowsTheNumberAndOkKeepsTheType) {
    rx[1053] = 16 + 8;
    load(DecodeSource::FileLoad);
    EXPECT_EQ(model.values().zoneTexts[2], "16");
    ZoneRouting r = model.routing(3);
    EXPECT_EQ(r.typeIndex, -1);
    r.siren = false;
    r.code = "1x2";  // not three digits: the code stays
    rx[1089 + 4] = 0x01;
    model.applyRouting(3, r);
    EXPECT_EQ(rx[1053], 24);
    EXPECT_EQ(model.values().zoneTexts[2], "16");
    EXPECT_EQ(rx[1089 + 4], 0x01);
    EXPECT_TRUE(ws.flags.isSet(ZonesModel::kEntryZones));
}

TEST_F(ZonesModelTest, ExpanderBoxOnlyForTheFirstSixZones) {
    rx[1578] = 0x20;
    load(DecodeSource::SerialRead);
    EXPECT_TRUE(model.routing(6).expanderShown);
    EXPECT_TRUE(model.routing(6).expander);
    EXPECT_FALSE(model.routing(5).expander);
    EXPECT_FALSE(model.routing(7).expanderShown);
}

TEST_F(ZonesModelTest, DialogOkStoresEveryTableAndMessageTwentySplitsOverTwoBytes) {
    model.setZoneTypes(ZoneTypeList::fromFileLines(kParamp));
    load(DecodeSource::SerialRead);
    ZoneRouting r = model.routing(2);
    r.typeIndex = 2;  // "Периметр", 16
    r.siren = true;
    r.expander = true;
    r.code = "602";
    r.partition = 4;
    r.tclipTarget = 10;
    r.tclipKey = 1;
    r.smsTarget = 3;
    r.smsMessage = 19;
    r.smsReserve = true;
    model.applyRouting(2, r);
    EXPECT_EQ(rx[1052], 16 + 8);
    EXPECT_EQ(rx[1578], 0x02);
    EXPECT_EQ(rx[1091], 6);
    EXPECT_EQ(rx[1092], 0x02);
    EXPECT_EQ(rx[1244], 3);
    EXPECT_EQ(rx[1276], 10 + 16 + 64);
    EXPECT_EQ(rx[1546], 0x33);
    EXPECT_EQ(rx[1610], 0x01);
    EXPECT_EQ(model.values().zoneTexts[1], "Периметр");
    const ZoneRouting back = model.routing(2);
    EXPECT_EQ(back.smsMessage, 19);
    EXPECT_EQ(back.code, "602");
    EXPECT_EQ(back.partition, 4);
    EXPECT_EQ(value("smsMessage2"), "20");
    EXPECT_EQ(value("cid2"), "602");
}

TEST_F(ZonesModelTest, ZeroGsmNibblesShowTheFirstItemsAndListsWithoutSelectionKeepTheirBits) {
    rx[1275] = 0x30;
    rx[1545] = 0xF0;
    rx[1276] = 0x2C;  // GSM 12 and key bits 2: beyond both lists
    load(DecodeSource::SerialRead);
    ZoneRouting r = model.routing(1);
    EXPECT_EQ(r.tclipTarget, 0);
    EXPECT_EQ(r.tclipKey, 0);
    EXPECT_EQ(r.smsMessage, 0);
    // `show` prints what the dialog shows ("Ключ 1", "Сообщение №1"), and takes it back unchanged.
    EXPECT_EQ(value("tclipKey1"), "1");
    EXPECT_EQ(value("smsMessage1"), "1");
    const image::Image before = rx;
    for (const auto& f : model.fields()) ASSERT_EQ(model.setField(f.key, f.value), "") << f.key;
    EXPECT_EQ(rx, before);
    r = model.routing(2);
    EXPECT_EQ(r.tclipTarget, -1);
    EXPECT_EQ(r.tclipKey, -1);
    model.applyRouting(2, r);
    EXPECT_EQ(rx[1276], 0x2C);
}

TEST_F(ZonesModelTest, SirenModeOutputAfterFileLoadKeepsMarksAfterReadLosesThem) {
    rx[1083] = 3;
    rx[1085] = 5;
    load(DecodeSource::FileLoad);
    EXPECT_EQ(model.values().output1Partitions, 5);
    press();
    EXPECT_EQ(ws.ConfigImage[1085], 5);
    load(DecodeSource::SerialRead);
    EXPECT_EQ(model.values().output1Partitions, 0);
    EXPECT_EQ(ws.ConfigImage[1085], 5);
    press();
    EXPECT_EQ(ws.ConfigImage[1085], 0);
}

TEST_F(ZonesModelTest, PageButtonQueuesNineJobsAndTouchesOnlyBitThreeOf1508) {
    rx[1508] = 0x17;
    rx[1641] = 4;
    rx[1087] = 7;
    load(DecodeSource::SerialRead);
    model.values().buzzerOff = false;
    model.values().antiBounce = 9;  // changed alone, no entry raised
    press();
    const std::vector<WriteJob> expected = {{1508, 1}, {1049, 40}, {1243, 32}, {1577, 2}, {1089, 32},
                                            {1121, 32}, {1275, 32}, {1545, 32}, {1609, 33}};
    EXPECT_EQ(ws.queue.jobs(), expected);
    EXPECT_EQ(ws.ConfigImage[1508], 0x17);
    EXPECT_EQ(ws.ConfigImage[1641], 9);
    EXPECT_EQ(ws.ConfigImage[1087], 7);
    EXPECT_FALSE(ws.flags.isSet(33));
    EXPECT_FALSE(ws.flags.isSet(34));
    model.values().buzzerOff = true;
    press();
    EXPECT_EQ(ws.ConfigImage[1508], 0x1F);
}

TEST_F(ZonesModelTest, RemoteReadDecodesAntiBounceAndBothEncodersWriteFlagsAndCount) {
    model.values().antiBounce = 42;
    rx[1641] = 7;
    rx[1609] = 3;
    load(DecodeSource::RemoteRead);
    EXPECT_EQ(model.values().antiBounce, 7);
    model.values().antiBounce = 42;
    ws.ConfigImage[1641] = 0;
    ws.ConfigImage[1609] = 0;
    config.document.EncodeAll();
    EXPECT_EQ(ws.ConfigImage[1641], 42);
    EXPECT_EQ(ws.ConfigImage[1609], 3);
    ws.ConfigImage[1641] = 0;
    config.document.EncodeForFile();
    EXPECT_EQ(ws.ConfigImage[1641], 42);
}

TEST_F(ZonesModelTest, SavedFileComesBackByteForByteAndShownValuesAreTakenBack) {
    std::mt19937 random(7);
    for (auto& b : rx) b = static_cast<std::uint8_t>(random());
    model.setZoneTypes(ZoneTypeList::fromFileLines(kParamp));
    load(DecodeSource::FileLoad);
    config.document.EncodeForFile();
    const image::Image first = ws.ConfigImage;
    rx = first;
    load(DecodeSource::FileLoad);
    for (const auto& f : model.fields()) ASSERT_EQ(model.setField(f.key, f.value), "") << f.key;
    for (const auto& f : config.events.fields()) ASSERT_EQ(config.events.setField(f.key, f.value), "") << f.key;
    config.document.EncodeForFile();
    // The bytes of the two pages: event table, LED, indication, zone section.
    for (const auto& [from, to] : std::vector<std::pair<int, int>>{
             {246, 605}, {766, 766}, {989, 989}, {1048, 1153}, {1243, 1306}, {1508, 1508}, {1545, 1578}, {1609, 1641}})
        for (int i = from; i <= to; ++i)
            ASSERT_EQ(ws.ConfigImage[static_cast<std::size_t>(i)], first[static_cast<std::size_t>(i)]) << "offset " << i;
}

TEST_F(ZonesModelTest, SetChangesExactlyItsBytesAndRefusesWhatTheEditorsRefuse) {
    load(DecodeSource::FileLoad);
    const image::Image before = rx;
    ASSERT_EQ(model.setField("smsMessage5", "20"), "");
    ASSERT_EQ(model.setField("cid5", "987"), "");
    ASSERT_EQ(model.setField("expander6", "true"), "");
    std::vector<int> changed;
    for (int i = 0; i < 4096; ++i)
        if (rx[static_cast<std::size_t>(i)] != before[static_cast<std::size_t>(i)]) changed.push_back(i);
    EXPECT_EQ(changed, (std::vector<int>{1097, 1098, 1279, 1549, 1578}));
    ASSERT_EQ(model.setField("entryTime", "7"), "");
    config.document.EncodeForFile();
    EXPECT_EQ(ws.ConfigImage[1087], 7);
    for (const auto& [key, bad] : std::vector<std::pair<std::string, std::string>>{
             {"cid1", "12"}, {"cid1", "1a2"}, {"type1", "4"}, {"partition1", "9"}, {"tclipKey1", "3"},
             {"antiBounce", "0"}, {"entryTime", "256"}, {"output1Mode", "5"}, {"typeName1", "x"},
             {"expander7", "true"}, {"zone1", "1"}})
        EXPECT_NE(model.setField(key, bad), "") << key << "=" << bad;
}

}  // namespace
}  // namespace kv6::pages
