#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/write_queue.h"
#include "pages/configuration.h"

namespace kv6::pages {
namespace {

using image::WriteJob;

std::string bytesAt(const image::Image& image, int offset, int length) {
    return std::string(image.begin() + offset, image.begin() + offset + length);
}

class GsmModelTest : public ::testing::Test {
protected:
    Configuration config;
    GsmModel& model = config.gsm;
    image::Workspace& ws = config.workspace;

    void pressButton() {
        for (int entry : model.ownEntries()) ws.flags.set(entry);
        model.queuePageJobs(ws);
    }
    void loadFile() { config.document.DecodeImage(image::DecodeSource::FileLoad); }
    void put(int offset, const std::string& bytes) {
        std::copy(bytes.begin(), bytes.end(), ws.ReceivedImage.begin() + offset);
    }
    // Confirms the dialog for `number` with the given function item, partition and code.
    void confirm(int number, const std::string& text, int item, int partition = 1, int code = 1) {
        GsmModel::NumberDialog d = model.openNumberDialog(number);
        d.number = text;
        d.functionItem = item;
        d.partition = partition;
        d.code = code;
        model.applyNumberDialog(number, d);
    }
};

TEST_F(GsmModelTest, ButtonQueuesNineJobsAndWritesNumbersBeforeTheComma) {
    model.values().numbers[0] = "0123456789";  // ten characters: no zero byte
    model.values().numbers[1] = " 123,456";
    model.values().numbers[9] = "+79";
    model.values().countryCode = "7";
    pressButton();
    const std::vector<WriteJob> expected = {{14, 20},  {34, 20},   {54, 20},  {74, 20}, {94, 21},
                                            {750, 10}, {1028, 20}, {733, 2},  {745, 2}};
    EXPECT_EQ(ws.queue.jobs(), expected);
    EXPECT_EQ(bytesAt(ws.ConfigImage, 14, 13), "0123456789123");
    EXPECT_EQ(bytesAt(ws.ConfigImage, 27, 7), std::string(7, '\0'));
    EXPECT_EQ(bytesAt(ws.ConfigImage, 104, 11), std::string("+79\0\0\0\0\0\0\0" "7", 11));
    for (int entry : model.ownEntries()) EXPECT_FALSE(ws.flags.isSet(entry)) << entry;

    // The file save writes the row as it stands.
    config.document.EncodeForFile();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 24, 10), std::string(" 123,456\0\0", 10));
}

TEST_F(GsmModelTest, ArmDisarmBytesOfNumberTenComeFirstInEachTable) {
    confirm(10, "111", 3, 3, 12);
    confirm(1, "222", 3, 5, 24);
    pressButton();
    EXPECT_EQ(ws.ConfigImage[750], 7);
    EXPECT_EQ(ws.ConfigImage[1028], 3);
    EXPECT_EQ(ws.ConfigImage[1038], 12);
    EXPECT_EQ(ws.ConfigImage[751], 7);
    EXPECT_EQ(ws.ConfigImage[1029], 5);
    EXPECT_EQ(ws.ConfigImage[1039], 24);
    EXPECT_EQ(model.function(0), 7);  // entry 0 mirrors number 10

    // Another function keeps the partition and code bytes; re-arming shows code 99 only.
    confirm(1, "222", 1, 8, 1);
    EXPECT_EQ(model.function(1), 1);
    EXPECT_EQ(model.partition(1), 5);
    EXPECT_EQ(model.code(1), 24);
    const GsmModel::NumberDialog reopened = model.openNumberDialog(1);
    EXPECT_EQ(reopened.functionItem, 1);
    EXPECT_EQ(reopened.partition, 1);  // spinners reset for any function but 7
    EXPECT_EQ(reopened.code, 1);
}

TEST_F(GsmModelTest, DecodeJoinsCharactersAndSkipsBytesAbove127) {
    put(14, std::string("12\0\0" "34\xFF\xC0" "5\0", 10));
    put(24, "ABCDEFGHIJ");
    put(114, "3");
    put(750, std::string("\x07\x01\x02\x04\x00\x00\x00\x00\x00\x00", 10));
    put(1028, std::string("\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x09", 11));
    loadFile();
    EXPECT_EQ(model.values().numbers[0], "12345");
    EXPECT_EQ(model.values().numbers[1], "ABCDEFGHIJ");
    EXPECT_EQ(model.values().countryCode, "3");
    EXPECT_EQ(model.function(10), 7);
    EXPECT_EQ(model.function(1), 1);
    EXPECT_EQ(model.function(3), 4);
    const GsmModel::NumberDialog d = model.openNumberDialog(10);
    EXPECT_EQ(d.functionItem, 3);
    EXPECT_EQ(d.partition, 2);
    EXPECT_EQ(d.code, 9);
}

TEST_F(GsmModelTest, UnlistedFunctionByteSurvivesUntilTheDialogIsConfirmed) {
    put(752, "\x03");
    put(1030, "\x06");
    loadFile();
    EXPECT_EQ(model.openNumberDialog(2).functionItem, 0);  // opens with "Нет"
    pressButton();
    EXPECT_EQ(ws.ConfigImage[752], 3);
    config.document.EncodeForFile();
    config.document.EncodeAll();
    EXPECT_EQ(ws.ConfigImage[752], 3);
    EXPECT_EQ(model.fields()[11].value, "3");  // gsm.function2
    EXPECT_EQ(model.assignField("function2", "3"), "");
    EXPECT_NE(model.setField("function2", "5"), "");

    confirm(2, "", 0);
    pressButton();
    EXPECT_EQ(ws.ConfigImage[752], 0);
    EXPECT_EQ(ws.ConfigImage[1030], 6);  // partition kept
    EXPECT_NE(model.assignField("function2", "3"), "");  // no longer the stored byte
}

TEST_F(GsmModelTest, CountryCodeAndInputsThroughFileSave) {
    put(114, "5");
    put(733, "\x0B\x00");  // beyond the list: no selection; key below its spinner
    put(745, "\x0A\x07");
    loadFile();
    EXPECT_EQ(model.values().input1Number, GsmModel::kNoSelection);
    EXPECT_EQ(model.values().input1Key, 1);
    EXPECT_EQ(model.values().input2Number, 10);
    EXPECT_EQ(model.values().input2Key, 2);
    ASSERT_EQ(model.setField("countryCode", ""), "");
    ws.ConfigImage[114] = '9';
    config.document.EncodeForFile();
    EXPECT_EQ(ws.ConfigImage[114], 0);  // the file holds what the page shows
    EXPECT_EQ(bytesAt(ws.ConfigImage, 733, 2), std::string("\xFF\x01", 2));
    EXPECT_EQ(bytesAt(ws.ConfigImage, 745, 2), std::string("\x0A\x02", 2));
}

TEST_F(GsmModelTest, SetFieldAcceptsWhatTheEditorsAcceptAndTheShownValue) {
    for (const auto& [key, value] :
         std::vector<std::pair<std::string, std::string>>{{"number1", "+7912345678"},
                                                          {"number2", "12345678901"},
                                                          {"number3", "89\xD0\x99"},  // Cyrillic letter
                                                          {"number4", "1\t2"},
                                                          {"function1", "3"},
                                                          {"partition1", "9"},
                                                          {"code1", "25"},
                                                          {"countryCode", "a"},
                                                          {"countryCode", "12"},
                                                          {"input1AlarmNumber", "11"},
                                                          {"input1AlarmKey", "3"}}) {
        const std::string error = model.setField(key, value);
        EXPECT_NE(error.find(key + ":"), std::string::npos) << key << "=" << value << ": " << error;
    }
    EXPECT_EQ(model.setField("number1", "+791234567"), "");
    EXPECT_EQ(model.setField("number2", "*#ab, 1"), "");
    EXPECT_EQ(model.setField("function10", "4"), "");
    EXPECT_EQ(model.function(0), 4);
    EXPECT_EQ(model.setField("partition10", "8"), "");
    EXPECT_EQ(model.setField("code10", "24"), "");
    EXPECT_EQ(model.setField("input2AlarmNumber", ""), "");

    // A control character read from a module is taken back as it stands, not typed anew.
    put(34, "1\x01");
    loadFile();
    EXPECT_EQ(model.assignField("number3", "1\x01"), "");
    EXPECT_NE(model.setField("number4", "1\x01"), "");
    EXPECT_EQ(model.values().numbers[2], "1\x01");
}

}  // namespace
}  // namespace kv6::pages
