#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/main_menu.h"
#include "app/ui_language.h"
#include "window_fixture.h"

namespace kv6::app::test {
namespace {

TEST(LanguageOption, TakesTheLanguageOutAndLeavesTheFile) {
    const LanguageOption separate({"korvel-kv6", "--lang", "en", "site.prg"});
    EXPECT_TRUE(separate.valid());
    EXPECT_EQ(separate.language(), UiLanguage::English);
    EXPECT_EQ(separate.rest(), (QStringList{"korvel-kv6", "site.prg"}));

    const LanguageOption joined({"korvel-kv6", "site.prg", "--lang=ru"});
    EXPECT_TRUE(joined.valid());
    EXPECT_EQ(joined.language(), UiLanguage::Russian);
    EXPECT_EQ(joined.rest(), (QStringList{"korvel-kv6", "site.prg"}));

    const LanguageOption none({"korvel-kv6", "site.prg"});
    EXPECT_TRUE(none.valid());
    EXPECT_FALSE(none.language().has_value());
    EXPECT_EQ(none.rest(), (QStringList{"korvel-kv6", "site.prg"}));
}

TEST(LanguageOption, RefusesAMissingOrUnknownLanguage) {
    for (const QStringList& arguments :
         {QStringList{"korvel-kv6", "--lang"}, QStringList{"korvel-kv6", "--lang", "de"},
          QStringList{"korvel-kv6", "--lang="}, QStringList{"korvel-kv6", "--lang", "EN"}})
        EXPECT_FALSE(LanguageOption(arguments).valid()) << arguments.join(QLatin1Char(' ')).toStdString();
}

TEST(ChooseLanguage, CommandLineThenSavedChoiceThenTheSystem) {
    const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(chooseLanguage(UiLanguage::Russian, UiLanguage::English, english), UiLanguage::Russian);
    EXPECT_EQ(chooseLanguage(UiLanguage::English, std::nullopt, russian), UiLanguage::English);
    EXPECT_EQ(chooseLanguage(std::nullopt, UiLanguage::Russian, english), UiLanguage::Russian);
    EXPECT_EQ(chooseLanguage(std::nullopt, UiLanguage::English, russian), UiLanguage::English);
    EXPECT_EQ(chooseLanguage(std::nullopt, std::nullopt, english), UiLanguage::English);
    EXPECT_EQ(chooseLanguage(std::nullopt, std::nullopt, QLocale(QLocale::English, QLocale::UnitedStates)),
              UiLanguage::English);
    EXPECT_EQ(chooseLanguage(std::nullopt, std::nullopt, russian), UiLanguage::Russian);
    EXPECT_EQ(chooseLanguage(std::nullopt, std::nullopt, german), UiLanguage::Russian);
}

TEST(LanguageSetting, KeepsTheChoiceForTheNextRun) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("korvel-kv6.conf"));
    {
        QSettings settings(file, QSettings::IniFormat);
        EXPECT_FALSE(LanguageSetting(settings).saved().has_value());
        LanguageSetting(settings).save(UiLanguage::English);
    }
    {
        QSettings settings(file, QSettings::IniFormat);
        EXPECT_EQ(settings.value(QStringLiteral("language")).toString(), QStringLiteral("en"));
        EXPECT_EQ(LanguageSetting(settings).saved(), UiLanguage::English);
        settings.setValue(QStringLiteral("language"), QStringLiteral("klingon"));  // edited by hand
        EXPECT_FALSE(LanguageSetting(settings).saved().has_value());
    }
}

using LanguageMenu = WindowTest;

// The menu ticks the run's language; another choice is reported once, and
// the user told when it takes effect.
TEST_F(LanguageMenu, TicksTheRunsLanguageAndReportsAnotherChoice) {
    const MainMenu& m = *window->MainMenu1;
    EXPECT_EQ(m.LanguageMenu->title(), QStringLiteral("Язык / Language"));
    EXPECT_TRUE(m.LanguageRussian->isChecked());
    EXPECT_FALSE(m.LanguageEnglish->isChecked());
    SignalRecorder chosen(window.get(), &TForm1::languageChosen);

    m.LanguageRussian->trigger();
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_TRUE(prompts.shown.empty());

    m.LanguageEnglish->trigger();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.values[0][0].value<UiLanguage>(), UiLanguage::English);
    EXPECT_TRUE(m.LanguageEnglish->isChecked());
    EXPECT_FALSE(m.LanguageRussian->isChecked());
    ASSERT_EQ(prompts.shown.size(), 1U);
    EXPECT_EQ(prompts.shown[0].text,
              "Язык сменится при следующем запуске программы.\nThe language changes when the program starts next.");
    m.LanguageEnglish->trigger();
    EXPECT_EQ(chosen.count(), 1);
    // Back to the run's own language: kept, and nothing to wait for.
    m.LanguageRussian->trigger();
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_EQ(chosen.values[1][0].value<UiLanguage>(), UiLanguage::Russian);
    EXPECT_EQ(prompts.shown.size(), 1U);

    TForm1Options english = options();
    english.language = UiLanguage::English;
    TForm1 second(english);
    EXPECT_TRUE(second.MainMenu1->LanguageEnglish->isChecked());
}

}  // namespace
}  // namespace kv6::app::test
