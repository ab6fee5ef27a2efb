#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pages/common/page_write_button.h"
#include "pages/configuration.h"
#include "support/scripted_prompts.h"

namespace kv6::pages {
namespace {

using Keys = std::vector<std::string>;

class ReadyLink final : public WriteLink {
public:
    bool ensureLink() override { return true; }
    void startWrite() override {}
};

// A module image read over the cable: every page remembers what it shows.
class ChangedFields : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(config.object.setField("objectNumber", "123456"), "");
        ASSERT_EQ(config.gsm.setField("number3", "0501234567"), "");
        config.document.EncodeForFile();
        config.workspace.ReceivedImage = config.workspace.ConfigImage;
        config.document.DecodeImage(image::DecodeSource::SerialRead);
    }
    Configuration config;
};

image::PageField field(const std::string& key, const std::string& value) {
    return {key, value, {}, image::FieldKind::Text};
}

TEST(FieldSnapshot, ComparesByKeyWhateverTheOrder) {
    image::FieldSnapshot snapshot;
    EXPECT_EQ(snapshot.changedKeys({field("a", "1")}), Keys{}) << "nothing remembered yet: nothing is changed";
    snapshot.take({field("a", "1"), field("b", "2"), field("c", "3")});
    EXPECT_EQ(snapshot.changedKeys({field("c", "3"), field("a", "9"), field("b", "2"), field("new", "x")}), Keys{"a"});
    EXPECT_EQ(snapshot.remembered("b"), "2");
    EXPECT_FALSE(snapshot.remembered("new"));
}

TEST_F(ChangedFields, AnEditIsChangedUntilItsValueComesBack) {
    EXPECT_FALSE(config.document.hasChanges());
    ASSERT_EQ(config.object.setField("apn", "internet"), "");
    ASSERT_EQ(config.object.setField("objectNumber", "654321"), "");
    EXPECT_EQ(config.object.changedKeys(), (Keys{"objectNumber", "apn"}));
    EXPECT_TRUE(config.document.hasChanges());
    ASSERT_EQ(config.object.setField("apn", ""), "");
    EXPECT_EQ(config.object.changedKeys(), Keys{"objectNumber"});
}

TEST_F(ChangedFields, RevertPutsBackOneFieldOrTheWholePage) {
    ASSERT_EQ(config.object.setField("objectNumber", "654321"), "");
    ASSERT_EQ(config.object.setField("ipPort", "9000"), "");
    ASSERT_EQ(config.gsm.setField("number3", "0509999999"), "");
    EXPECT_EQ(config.object.revertField("ipPort"), "");
    EXPECT_EQ(config.object.changedKeys(), Keys{"objectNumber"});
    EXPECT_EQ(config.object.revertAll(), "");
    EXPECT_EQ(config.object.values().objectNumber, "123456");
    EXPECT_EQ(config.gsm.changedKeys(), Keys{"number3"}) << "another page keeps its edit";
}

TEST_F(ChangedFields, FieldsCountAsUnchangedOnceWrittenWholeOrSaved) {
    test::ScriptedPrompts prompts;
    ReadyLink link;
    ASSERT_EQ(config.object.setField("objectNumber", "654321"), "");
    ASSERT_EQ(config.gsm.setField("number3", "0509999999"), "");
    ASSERT_EQ(config.events.setField("ledMode", "1"), "");

    PageWriteButton gsmButton(config.gsm, config.workspace, prompts, link);
    prompts.answers = {false};
    gsmButton.click();
    EXPECT_EQ(config.gsm.changedKeys(), Keys{"number3"}) << "a cancelled write writes nothing";
    gsmButton.click();
    EXPECT_EQ(config.gsm.changedKeys(), Keys{"number3"}) << "on its way, not yet in the module";
    config.document.writeEnded(false);
    EXPECT_EQ(config.gsm.changedKeys(), Keys{"number3"}) << "a failed write leaves it changed";
    gsmButton.click();
    ASSERT_EQ(config.gsm.setField("number4", "0501111111"), "");  // typed while the write runs
    config.document.writeEnded(true);
    EXPECT_EQ(config.gsm.changedKeys(), Keys{"number4"});
    EXPECT_EQ(config.object.changedKeys(), Keys{"objectNumber"});

    config.document.EncodeAll();
    config.document.rememberWrittenByWriteAll();
    config.document.writeEnded(true);
    EXPECT_EQ(config.object.changedKeys(), Keys{});
    EXPECT_EQ(config.events.changedKeys(), Keys{"ledMode"}) << "write-all never sends the event page";

    config.document.rememberFields();  // saved to a file
    EXPECT_FALSE(config.document.hasChanges());
    ASSERT_EQ(config.object.setField("objectNumber", "111111"), "");
    EXPECT_EQ(config.object.revertField("objectNumber"), "");
    EXPECT_EQ(config.object.values().objectNumber, "654321") << "revert goes back to the written state";
}

}  // namespace
}  // namespace kv6::pages
