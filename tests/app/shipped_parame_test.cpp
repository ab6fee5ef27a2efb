#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <gtest/gtest.h>

#include "app/side_files.h"
#include "app_test_support.h"
#include "cyrillic_texts.h"

namespace kv6::app::test {
namespace {

QStringList shipped(const char* name) {
    const std::optional<QStringList> lines =
        SideFiles::readLines(QStringLiteral(KV6_SOURCE_DIR "/packaging/") + QString::fromLatin1(name));
    return lines.value_or(QStringList{});
}

QString codeOf(const QString& line) { return line.section(QLatin1Char('\t'), 0, 0); }

// The journal shows, for an event code, the second tab-separated field of the
// first line that contains the code anywhere. Every line of a shipped list
// must therefore be found for its own code and for no other.
class ShippedList : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedList, EveryCodeFindsItsOwnLine) {
    const QStringList lines = shipped(GetParam());
    ASSERT_GT(lines.size(), 100);
    const QRegularExpression shape(QStringLiteral("^([13][0-9]{3})\\t([^\\t]+)$"));
    const QRegularExpression fourDigits(QStringLiteral("[0-9]{4}"));
    QSet<QString> codes;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = shape.match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString();
        const QString code = match.captured(1);
        EXPECT_FALSE(codes.contains(code)) << "twice: " << code.toStdString();
        codes.insert(code);
        EXPECT_FALSE(fourDigits.match(match.captured(2)).hasMatch()) << line.toStdString();
        EXPECT_EQ(match.captured(2).trimmed(), match.captured(2)) << line.toStdString();
    }
    for (const char* code : {"1130", "3130", "1110", "1401", "3401", "1301", "3301", "1602"})
        EXPECT_TRUE(codes.contains(QString::fromLatin1(code))) << code;
}

INSTANTIATE_TEST_SUITE_P(RussianAndEnglish, ShippedList, ::testing::Values("parame", "parame.en"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "Russian" : "English");
                         });

TEST(ShippedParame, RussianTexts) {
    const QString text = shipped("parame").join(QLatin1Char('\n'));
    EXPECT_TRUE(text.contains(QStringLiteral("1130\tТревога (проникновение)")));
    EXPECT_TRUE(text.contains(QStringLiteral("3401\tПостановка пользователем")));
}

// An event added to one list only would show its code bare in the other
// language: both lists hold the same codes in the same order, the English one
// in plain ASCII without a Russian word left.
TEST(ShippedParame, EnglishListMatchesTheRussianLineForLine) {
    const QStringList russian = shipped("parame");
    const QStringList english = shipped("parame.en");
    ASSERT_FALSE(russian.isEmpty());
    ASSERT_EQ(english.size(), russian.size());
    for (qsizetype i = 0; i < russian.size(); ++i) {
        EXPECT_EQ(codeOf(english[i]), codeOf(russian[i])) << "line " << i + 1;
        EXPECT_FALSE(CyrillicTexts::cyrillic(english[i])) << english[i].toStdString();
        const bool plain = std::all_of(english[i].begin(), english[i].end(), [](QChar c) {
            return c == QLatin1Char('\t') || (c.unicode() >= 0x20 && c.unicode() < 0x7F);
        });
        EXPECT_TRUE(plain) << english[i].toStdString();
        // Restores read as restores in both.
        EXPECT_EQ(russian[i].contains(QStringLiteral("\tВосстановление: ")),
                  english[i].contains(QStringLiteral("\tRestore: ")))
            << english[i].toStdString();
    }
    const QString text = english.join(QLatin1Char('\n'));
    for (const char* line : {"1130\tAlarm (intrusion)", "3130\tRestore: alarm (intrusion)", "1401\tDisarm by user",
                             "3401\tArm by user", "1301\tMains power lost", "3301\tMains power restored"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(line))) << line;
}

}  // namespace
}  // namespace kv6::app::test
