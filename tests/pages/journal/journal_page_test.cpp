#include <gtest/gtest.h>

#include <QGroupBox>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include "pages/journal/journal_page.h"
#include "pages/configuration.h"
#include "support/scripted_prompts.h"

namespace kv6::journal {
namespace {

struct FakeLink : pages::WriteLink {
    int started = 0;
    bool ensureLink() override { return true; }
    void startWrite() override { ++started; }
};

class JournalPageTest : public ::testing::Test {
protected:
    pages::Configuration config;
    kv6::test::ScriptedPrompts prompts{false};  // Cancel unless a test scripts OK
    FakeLink link;
    int zoneHours = 3;
    JournalPage page{config.journal, config.workspace, prompts, link, [this] { return zoneHours; }};

    void decodeOneEvent() {
        image::Image& r = config.workspace.ReceivedImage;
        const std::uint8_t record[] = {0x3D, 0x98, 0x2E, 0xD3, 0x11, 0x30, 0x00, 0x01, 0x05};
        std::copy(std::begin(record), std::end(record), r.begin() + 246 + 9 * 20);
        r[1161] = 0x05;
        config.document.DecodeImage(image::DecodeSource::SerialRead);
        page.refreshFromModel();
    }
};

TEST_F(JournalPageTest, CaptionsAndTheHiddenCodeColumn) {
    auto* list = page.findChild<QTreeWidget*>("ListView3");
    ASSERT_NE(list, nullptr);
    const QStringList headers = {"Время", "Код", "Событие", "Раздел/Прибор", "Зона/Код"};
    for (int c = 0; c < headers.size(); ++c) EXPECT_EQ(list->headerItem()->text(c), headers[c]);
    EXPECT_TRUE(list->isColumnHidden(1));
    EXPECT_EQ(page.findChild<QGroupBox*>("GroupBox26")->title(), "Состояние прибора");
    auto* memo = page.findChild<QPlainTextEdit*>("Memo7");
    EXPECT_TRUE(memo->font().bold());
    EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(0, 0, 128));
}

TEST_F(JournalPageTest, RowsNewestFirstWithDescriptionsAndTheStateView) {
    page.setDescriptions({"1130\tВзлом"});
    decodeOneEvent();
    auto* list = page.ListView3;
    ASSERT_EQ(list->topLevelItemCount(), 50);
    const QTreeWidgetItem* first = list->topLevelItem(0);
    EXPECT_EQ(first->text(0), "2012-04-10 14-30-05");
    EXPECT_EQ(first->text(1), "1130");
    EXPECT_EQ(first->text(2), "Взлом");
    EXPECT_EQ(first->text(3), "1");
    EXPECT_EQ(first->text(4), "5");
    const QStringList lines = page.Memo7->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[0], "Последний код:");
    EXPECT_EQ(lines[3], "Раздел1: Охране");
    EXPECT_EQ(lines[4], "Раздел2: Снят");
}

TEST_F(JournalPageTest, ClearAsksAndCancelQueuesNothing) {
    decodeOneEvent();
    page.N13Click();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Очистить журнал ?");
    EXPECT_EQ(prompts.shown[0].caption, " Журнал событий");
    EXPECT_TRUE(config.workspace.queue.empty());
    EXPECT_EQ(link.started, 0);

    prompts.answers = {true};
    page.N13Click();
    EXPECT_EQ(config.workspace.queue.size(), 9u);
    EXPECT_EQ(link.started, 1);
    EXPECT_EQ(page.ListView3->topLevelItem(0)->text(1), "1130");  // the table changes at the next read only
}

}  // namespace
}  // namespace kv6::journal
