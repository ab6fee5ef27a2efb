#include <gtest/gtest.h>

#include <vector>

#include "image/write_queue.h"
#include "pages/configuration.h"

namespace kv6::pages {
namespace {

using image::DecodeSource;
using image::WriteJob;

class EventsModelTest : public ::testing::Test {
protected:
    Configuration config;
    EventsModel& model = config.events;
    image::Workspace& ws = config.workspace;

    void load(DecodeSource source = DecodeSource::SerialRead) { config.document.DecodeImage(source); }
    std::vector<int> bytesAt(int offset, int length) const {
        return {ws.ConfigImage.begin() + offset, ws.ConfigImage.begin() + offset + length};
    }
    void apply(int index, const EventRouting& r) {
        model.applyRouting(index, r);
        ws.flags.set(EventsModel::kEntryTable);
        ws.flags.set(EventsModel::thirdEntryOf(index));
    }
};

TEST_F(EventsModelTest, RowFourteenEditStoresItsBytesAndSendsTheMiddleThirdOnce) {
    // Restore fields hold values the dialog shows and stores back unchanged.
    ws.ReceivedImage[402 + 4] = 7;
    ws.ReceivedImage[402 + 6] = 4;
    ws.ReceivedImage[402 + 9] = 3;
    ws.ReceivedImage[402 + 10] = 1;
    load();
    EventRouting r = model.routing(13);
    r.code = "130";
    r.tclipTarget = 2;
    r.tclipKey = 1;
    r.smsTarget = 5;
    r.smsMessage = 2;
    r.infoType = 2;
    apply(13, r);
    EXPECT_EQ(model.thirdEntryOf(13), 15);
    model.queuePageJobs(ws);
    EXPECT_EQ(bytesAt(402, 12), (std::vector<int>{49, 51, 48, 5, 7, 2, 4, 2, 2, 3, 1, 2}));
    EXPECT_EQ(ws.queue.jobs(), (std::vector<WriteJob>{{390, 48}, {438, 48}, {486, 48}}));
    EXPECT_EQ(model.code(13), "130");
    EXPECT_TRUE(model.tclipOn(13));
    EXPECT_TRUE(model.smsOn(13));

    ws.queue.clear();
    model.queuePageJobs(ws);  // a second press without edits
    EXPECT_TRUE(ws.queue.empty());
}

TEST_F(EventsModelTest, ShortCodesEmptyListsAndDisplayColumns) {
    load();
    EventRouting r = model.routing(0);
    EXPECT_FALSE(model.tclipOn(0));
    EXPECT_FALSE(model.smsOn(0));
    r.code = "12";
    r.tclipTarget = r.tclipKey = r.tclipRestoreTarget = r.tclipRestoreKey = -1;
    r.smsTarget = r.smsMessage = r.smsRestoreTarget = r.smsRestoreMessage = r.infoType = -1;
    apply(0, r);
    model.queuePageJobs(ws);
    EXPECT_EQ(bytesAt(246, 12), (std::vector<int>{49, 50, 0, 255, 255, 255, 255, 255, 0, 255, 0, 255}));
    EXPECT_EQ(model.code(0), "12");
    EXPECT_EQ(ws.queue.jobs(), (std::vector<WriteJob>{{246, 48}, {294, 48}, {342, 48}}));

    // Only the restore target set: the column still says "Да".
    ws.ReceivedImage[246 + 12 + 9] = 1;
    ws.ReceivedImage[246 + 12 + 4] = 2;
    load();
    EXPECT_TRUE(model.tclipOn(1));
    EXPECT_TRUE(model.smsOn(1));
}

TEST_F(EventsModelTest, LastThirdReachesPastTheTableAsConfigImageHoldsIt) {
    load();
    ws.ConfigImage[620] = 0x5A;
    apply(29, model.routing(29));
    model.queuePageJobs(ws);
    ASSERT_EQ(ws.queue.jobs(), (std::vector<WriteJob>{{534, 48}, {582, 48}}));
    EXPECT_EQ(ws.jobBytes(ws.queue.jobs()[1])[620 - 582], 0x5A);
}

TEST_F(EventsModelTest, UntouchedCaptionKeepsBytesItDoesNotShow) {
    ws.ReceivedImage[246] = '1';
    ws.ReceivedImage[248] = '2';
    load();
    EXPECT_EQ(model.code(0), "1");
    apply(0, model.routing(0));
    EXPECT_EQ(model.entry(0)[2], '2');
}

TEST_F(EventsModelTest, LedAndIndicationAreSentOnlyWhenEdited) {
    ws.ReceivedImage[766] = 9;
    ws.ReceivedImage[989] = 0x05;
    load();
    EXPECT_EQ(model.ledMode(), 1);
    EXPECT_EQ(model.indicationPartitions(), 0x05);
    model.setLedMode(0);
    ws.flags.set(EventsModel::kEntryLedMode);
    ws.flags.set(EventsModel::kEntryIndication);
    model.queuePageJobs(ws);
    EXPECT_EQ(ws.queue.jobs(), (std::vector<WriteJob>{{766, 1}, {989, 1}}));
    EXPECT_EQ(ws.ConfigImage[766], 0);
    for (int entry : {13, 14, 15, 16, 17, 29}) EXPECT_FALSE(ws.flags.isSet(entry)) << entry;
}

TEST_F(EventsModelTest, WriteAllLeavesTheTableAndFileSaveWritesIt) {
    load();
    EventRouting r = model.routing(2);
    r.code = "401";
    model.applyRouting(2, r);
    config.document.EncodeAll();
    EXPECT_EQ(ws.ConfigImage[246 + 24], 0);
    config.document.EncodeForFile();
    EXPECT_EQ(ws.ConfigImage[246 + 24], '4');
}

TEST_F(EventsModelTest, FieldsShowAndSetAsTheUserSeesThem) {
    ws.ReceivedImage[246 + 7] = 200;  // beyond the GSM list
    ws.ReceivedImage[246 + 5] = 19;
    ws.ReceivedImage[246] = 0xC0;     // a Cyrillic letter no editor would type
    load(DecodeSource::FileLoad);
    auto value = [&](const std::string& key) {
        for (const auto& f : model.fields())
            if (f.key == key) return f.value;
        return std::string("<missing>");
    };
    EXPECT_EQ(value("tclipTarget1"), "");
    EXPECT_EQ(value("smsMessage1"), "20");
    EXPECT_EQ(value("tclipKey1"), "0");
    EXPECT_EQ(value("code1"), "А");
    // What is shown is taken back without a change.
    for (const auto& f : model.fields()) ASSERT_EQ(model.setField(f.key, f.value), "") << f.key;
    EXPECT_EQ(model.entry(0)[7], 200);
    EXPECT_EQ(model.entry(0)[0], 0xC0);

    EXPECT_EQ(model.setField("code14", "130"), "");
    EXPECT_EQ(model.setField("smsMessage14", "3"), "");
    EXPECT_EQ(model.setField("tclipKey14", "2"), "");
    EXPECT_EQ(model.setField("indicationPartitions", "1,3"), "");
    EXPECT_EQ(model.entry(13)[5], 2);
    EXPECT_EQ(model.entry(13)[8], 2);
    EXPECT_EQ(model.indicationPartitions(), 0x05);
    for (const auto& [key, bad] : std::vector<std::pair<std::string, std::string>>{
             {"code1", "Жук"}, {"code1", "1234"}, {"tclipTarget1", "11"}, {"smsMessage1", "0"},
             {"smsRestoreMessage1", "6"}, {"tclipKey1", ""}, {"infoType1", "4"}, {"ledMode", "2"},
             {"indicationPartitions", "9"}, {"code31", "1"}, {"code01", "1"}})
        EXPECT_NE(model.setField(key, bad), "") << key << "=" << bad;
}

}  // namespace
}  // namespace kv6::pages
