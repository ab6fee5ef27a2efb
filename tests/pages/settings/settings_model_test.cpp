#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/field_codec.h"
#include "image/module_time.h"
#include "pages/configuration.h"

namespace kv6::pages {
namespace {

using image::DecodeSource;
using image::WriteJob;

std::vector<std::uint8_t> bytesAt(const image::Image& image, int offset, int length) {
    return {image.begin() + offset, image.begin() + offset + length};
}

class SettingsModelTest : public ::testing::Test {
protected:
    Configuration config;
    SettingsModel& model = config.settings;
    image::Workspace& ws = config.workspace;

    void setOk(const std::string& key, const std::string& value) {
        ASSERT_EQ(model.setField(key, value), "") << key << "=" << value;
    }
    void pressDevicesButton() {
        ws.flags.set(SettingsModel::kEntryDevices);
        model.queuePageJobs(ws);
    }
    std::string field(const std::string& key) const {
        for (const auto& f : model.fields())
            if (f.key == key) return f.value;
        return "<missing>";
    }
};

TEST_F(SettingsModelTest, DeviceListAddsAtMostSixteenAndRenumbersOnDelete) {
    for (int i = 1; i <= 16; ++i) EXPECT_TRUE(model.addDevice("Клавиатура\t" + std::to_string(i)));
    EXPECT_FALSE(model.addDevice("Extra\t17"));  // the 17th does nothing
    EXPECT_EQ(model.values().devices.size(), 16u);

    model.values().devices.clear();
    for (const char* line : {" A \t 1 ", "B\t2", "C\t3", "D\t4"}) model.addDevice(line);
    EXPECT_EQ(model.values().devices[0].name, "A");
    EXPECT_EQ(model.values().devices[0].address, "1");
    ASSERT_TRUE(model.removeDevice(1));
    EXPECT_FALSE(model.removeDevice(3));
    EXPECT_EQ(field("device1"), "1");
    EXPECT_EQ(field("device2"), "3");
    EXPECT_EQ(field("device3"), "4");
    EXPECT_EQ(field("device4"), "");
}

TEST_F(SettingsModelTest, DevicesButtonWritesTheTableOrNothing) {
    for (const char* line : {"A\t1", "B\t2", "C\t10"}) model.addDevice(line);
    pressDevicesButton();
    std::vector<std::uint8_t> expected = {0x01, 0x02, 0x0A};
    expected.resize(16, 0xFF);
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1509, 16), expected);
    EXPECT_EQ(ws.queue.jobs(), (std::vector<WriteJob>{{1509, 16}}));
    EXPECT_FALSE(ws.flags.isSet(SettingsModel::kEntryDevices));

    // A row that is not a number 0..254 stops the table: nothing encoded or queued.
    for (const char* bad : {"abc", "FALSE", "255", "256", "-1"}) {
        ws.queue.clear();
        ws.ConfigImage.fill(0x55);
        model.values().devices[1].address = bad;
        pressDevicesButton();
        EXPECT_TRUE(ws.queue.empty()) << bad;
        EXPECT_EQ(ws.ConfigImage[1509], 0x55) << bad;
        EXPECT_TRUE(ws.flags.isSet(SettingsModel::kEntryDevices)) << bad;
    }
}

TEST_F(SettingsModelTest, DecodeDevicesByListEndAndSource) {
    std::fill_n(ws.ReceivedImage.begin() + 1509, 16, std::uint8_t{7});  // no 0xFF: sixteen rows
    image::writeU16Le(ws.ReceivedImage, 1581, 0x8001);
    config.document.DecodeImage(DecodeSource::SerialRead);
    ASSERT_EQ(model.values().devices.size(), 16u);
    EXPECT_EQ(model.values().devices[0].onBus, SettingsModel::OnBus::Yes);
    EXPECT_EQ(model.values().devices[1].onBus, SettingsModel::OnBus::No);
    EXPECT_EQ(model.values().devices[15].onBus, SettingsModel::OnBus::Yes);

    ws.ReceivedImage[1511] = 0xFF;
    config.document.DecodeImage(DecodeSource::FileLoad);
    ASSERT_EQ(model.values().devices.size(), 2u);
    EXPECT_EQ(model.values().devices[0].onBus, SettingsModel::OnBus::Unknown);
}

TEST_F(SettingsModelTest, ClockBytesFollowTheChosenZone) {
    model.values().timeZoneItem = 2;  // "GMT+03:00"
    setOk("clock", "2000-01-01 00:00:00");
    config.document.EncodeForFile();
    EXPECT_EQ(bytesAt(ws.ConfigImage, 1525, 4), (std::vector<std::uint8_t>{0xD0, 0x97, 0x17, 0xBC}));

    ws.ReceivedImage = ws.ConfigImage;
    model.values().timeZoneItem = -1;  // no zone: shown three hours earlier
    config.document.DecodeImage(DecodeSource::FileLoad);
    EXPECT_EQ(field("clock"), "1999-12-31 21:00:00");
    EXPECT_EQ(field("timeZone"), "");

    // The module clock's ends show and set back; beyond them it would wrap.
    model.values().timeZoneItem = 12;
    image::writeU32Le(ws.ReceivedImage, 1525, 0xFFFFFFFF);
    config.document.DecodeImage(DecodeSource::FileLoad);
    EXPECT_EQ(field("clock"), "2036-02-07 19:28:15");
    EXPECT_EQ(field("timeZone"), "GMT+13:00");
    EXPECT_NE(model.setField("clock", "2036-02-07 19:28:16"), "");
    EXPECT_NE(model.setField("clock", "1900-01-01 12:59:59"), "");
    EXPECT_NE(model.setField("clock", "2001-02-29 00:00:00"), "");
    EXPECT_NE(model.setField("timeZone", "GMT+03:00"), "");
    setOk("timeZone", "GMT+13:00");
}

TEST_F(SettingsModelTest, NtpIntervalIsStoredOnlyWhenUsed) {
    setOk("ntpInterval", "5");
    setOk("ntp", "false");
    setOk("ntpServer", "10.0.0.1");
    setOk("programmingServer", "192.168.1.10");
    config.document.EncodeAll();
    EXPECT_EQ(ws.ConfigImage[1544], 0);
    EXPECT_EQ(image::ImageText(ws.ConfigImage, 1529, 15), "010.000.000.001");
    EXPECT_EQ(image::ImageText(ws.ConfigImage, 1588, 15), "192.168.001.010");

    setOk("ntp", "true");
    ws.ReceivedImage = ws.ConfigImage;
    ws.ReceivedImage[1544] = 12;
    config.document.DecodeImage(DecodeSource::FileLoad);
    EXPECT_TRUE(model.values().ntp);
    EXPECT_EQ(model.values().ntpInterval, 12);
    ws.ReceivedImage[1544] = 0;
    config.document.DecodeImage(DecodeSource::FileLoad);
    EXPECT_FALSE(model.values().ntp);
}

TEST_F(SettingsModelTest, ClockButtonQueuesTwoJobs) {
    setOk("ntp", "true");
    setOk("ntpInterval", "24");
    model.queueClockJobs(ws);
    EXPECT_EQ(ws.queue.jobs(), (std::vector<WriteJob>{{1525, 20}, {1588, 15}}));
    EXPECT_EQ(ws.ConfigImage[1544], 24);
}

TEST_F(SettingsModelTest, SetDevicesWithoutGapsAndRefusals) {
    setOk("device1", "12");
    setOk("device2", "0");
    EXPECT_NE(model.setField("device4", "3"), "");  // would leave a gap
    EXPECT_NE(model.setField("device3", "255"), "");
    EXPECT_NE(model.setField("device3", "300"), "");  // not stored modulo 256
    EXPECT_NE(model.setField("device17", "1"), "");
    EXPECT_EQ(field("device2"), "0");
    setOk("device1", "");  // the list ends at the first empty
    EXPECT_TRUE(model.values().devices.empty());
}

TEST_F(SettingsModelTest, ServersTakeBackWhatTheyShow) {
    const std::string odd = "1.2\x01\\x";
    image::StoreField(ws.ReceivedImage, 1529, {reinterpret_cast<const std::uint8_t*>(odd.data()), odd.size()}, 15,
                      static_cast<int>(odd.size()));
    config.document.DecodeImage(DecodeSource::FileLoad);
    EXPECT_EQ(model.setField("ntpServer", "1.2\\x01\\\\x"), "");  // as show prints it
    EXPECT_EQ(model.values().ntpServer, odd);
    EXPECT_NE(model.setField("ntpServer", "1.2.3"), "");
    EXPECT_NE(model.setField("ntpServer", "1.2.3.256"), "");
}

}  // namespace
}  // namespace kv6::pages
