#include <QTreeWidget>

#include "window_fixture.h"

// The journal's event descriptions follow the window's language: the
// package's parame.en in English, its parame in Russian.
namespace kv6::app::test {
namespace {

class JournalDescriptions : public WindowTest, public ::testing::WithParamInterface<UiLanguage> {
protected:
    void SetUp() override {
        m_language = std::make_unique<LanguageScope>(GetParam());
        language = GetParam();
        WindowTest::SetUp();
    }
    void TearDown() override {
        window.reset();
        m_language.reset();
    }
    [[nodiscard]] bool english() const { return GetParam() == UiLanguage::English; }

    // The "Событие" column of the journal row with this code.
    [[nodiscard]] QString description(const QString& code) const {
        for (int i = 0; i < window->ListView3->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = window->ListView3->topLevelItem(i);
            if (row->text(1) == code) return row->text(2);
        }
        return QStringLiteral("<no row %1>").arg(code);
    }

private:
    std::unique_ptr<LanguageScope> m_language;
};

TEST_P(JournalDescriptions, ShippedListsGiveTheRunsLanguage) {
    shipJournalTexts();
    window->loadSideFiles();
    const QString file = journalEventsFile();
    ASSERT_FALSE(file.isEmpty());
    window->loadFile(file);
    EXPECT_EQ(description(QStringLiteral("1130")),
              english() ? QStringLiteral("Alarm (intrusion)") : QStringLiteral("Тревога (проникновение)"));
    EXPECT_EQ(description(QStringLiteral("3401")),
              english() ? QStringLiteral("Arm by user") : QStringLiteral("Постановка пользователем"));
}

// Without parame.en an English window still describes the events, in Russian.
TEST_P(JournalDescriptions, OnlyTheRussianListStillDescribes) {
    shipJournalTexts();
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("share/parame.en"))));
    window->loadSideFiles();
    window->loadFile(journalEventsFile());
    EXPECT_EQ(description(QStringLiteral("1130")), QStringLiteral("Тревога (проникновение)"));
}

INSTANTIATE_TEST_SUITE_P(InBothLanguages, JournalDescriptions,
                         ::testing::Values(UiLanguage::Russian, UiLanguage::English),
                         [](const ::testing::TestParamInfo<UiLanguage>& info) {
                             return info.param == UiLanguage::English ? std::string("English") : std::string("Russian");
                         });

}  // namespace
}  // namespace kv6::app::test
