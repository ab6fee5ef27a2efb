#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/config_document.h"

using namespace kv6::image;

namespace {

// Records what the pipelines ask of a page.
class RecordingPage : public PageModel {
public:
    RecordingPage(std::string key, std::vector<std::string>& log, std::uint8_t bits = 0, std::uint8_t owned = 0)
        : m_key(std::move(key)), m_log(log), m_bits(bits), m_owned(owned) {}
    std::string pageKey() const override { return m_key; }
    void decode(DecodeStep step, const Image& received, DecodeSource) override {
        m_log.push_back(m_key + ":decode" + std::to_string(static_cast<int>(step)));
        seenByte0 = received[0];
    }
    void encode(Workspace& ws, EncodeMode mode) override {
        m_log.push_back(m_key + ":encode" + std::to_string(static_cast<int>(mode)));
        flagsSetAtEncode = ws.flags.isSet(0);
    }
    std::vector<int> ownEntries() const override { return {0}; }
    void queuePageJobs(Workspace&) override {}
    void contributeOptionBits(std::uint8_t& bits, std::uint8_t& owned) const override {
        bits |= m_bits;
        owned |= m_owned;
    }
    std::vector<PageField> fields() const override { return {}; }
    std::string setField(const std::string&, const std::string&) override { return {}; }

    std::uint8_t seenByte0 = 0;
    bool flagsSetAtEncode = false;

private:
    std::string m_key;
    std::vector<std::string>& m_log;
    std::uint8_t m_bits;
    std::uint8_t m_owned;
};

}  // namespace

TEST(DecodeImage, RunsEveryStepInOrderThenCopiesAndSetsFlagsBySource) {
    Workspace ws;
    ConfigDocument doc(ws);
    std::vector<std::string> log;
    RecordingPage a("a", log), b("b", log);
    doc.addPage(a);
    doc.addPage(b);
    int enabled = 0;
    doc.setWriteControlsEnabler([&] {
        ++enabled;
        log.push_back("enable");
    });

    ws.ReceivedImage[0] = 0x42;
    ws.ReceivedImage[4095] = 0x17;
    doc.DecodeImage(DecodeSource::FileLoad);
    ASSERT_EQ(log.size(), 1u + 2u * 12u);
    EXPECT_EQ(log[0], "enable");
    EXPECT_EQ(log[1], "a:decode2");
    EXPECT_EQ(log[2], "b:decode2");
    EXPECT_EQ(log[3], "a:decode3");
    EXPECT_EQ(log.back(), "b:decode13");
    EXPECT_EQ(a.seenByte0, 0x42);
    EXPECT_EQ(ws.ConfigImage, ws.ReceivedImage);
    for (int e = 0; e < SectionFlags::kCount; ++e) EXPECT_EQ(ws.flags.isSet(e), e != 9);

    doc.DecodeImage(DecodeSource::SerialRead);
    for (int e = 0; e < SectionFlags::kCount; ++e) EXPECT_FALSE(ws.flags.isSet(e));
    EXPECT_EQ(enabled, 2);
    EXPECT_EQ(doc.page("b"), &b);
    EXPECT_EQ(doc.page("c"), nullptr);
}

TEST(WholeImageEncoders, FileSaveSetsFlagsFirstAndOptionBitsAreRebuilt) {
    Workspace ws;
    ConfigDocument doc(ws);
    std::vector<std::string> log;
    RecordingPage object("object", log, 0x04, 0x05);  // owns bits 0 and 2, sets 2
    doc.addPage(object);

    ws.ConfigImage[1508] = 0xFB;  // bits 0,1,3 and 4..7 set, bit 2 clear
    doc.EncodeForFile();
    EXPECT_TRUE(object.flagsSetAtEncode);
    EXPECT_TRUE(ws.flags.isSet(35));
    // Bits 1 and 3 belong to pages not present and keep their value; 4..7 become zero.
    EXPECT_EQ(ws.ConfigImage[1508], 0x0E);

    ws.flags.ClearSectionFlags();
    doc.EncodeAll();
    EXPECT_FALSE(ws.flags.isSet(0));  // EncodeAll leaves the flags as they are
    EXPECT_EQ(log.back(), "object:encode1");
}

TEST(WriteAllSettings, QueuesExactlyTheTwentyJobs) {
    Workspace ws;
    ConfigDocument doc(ws);
    doc.queueWriteAllJobs();
    std::vector<WriteJob> expected = {{0, 64}, {64, 64}, {128, 64}, {192, 54}};
    for (int i = 0; i < 16; ++i) expected.push_back({static_cast<std::int16_t>(750 + 64 * i), 64});
    EXPECT_EQ(ws.queue.jobs(), expected);
    EXPECT_EQ(ws.queue.jobs().back().address + ws.queue.jobs().back().length, 1774);
}
