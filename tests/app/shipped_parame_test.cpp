#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

#include "app/side_files.h"
#include "app_test_support.h"

namespace kv6::app::test {
namespace {

// The journal shows, for an event code, the second tab-separated field of the
// first line that contains the code anywhere. Every line of the shipped list
// must therefore be found for its own code and for no other.
TEST(ShippedParame, EveryCodeFindsItsOwnLine) {
    const std::optional<QStringList> lines =
        SideFiles::readLines(QStringLiteral(KV6_SOURCE_DIR "/packaging/parame"));
    ASSERT_TRUE(lines.has_value());
    ASSERT_GT(lines->size(), 100);
    const QRegularExpression shape(QStringLiteral("^([13][0-9]{3})\\t([^\\t]+)$"));
    const QRegularExpression fourDigits(QStringLiteral("[0-9]{4}"));
    QSet<QString> codes;
    for (const QString& line : *lines) {
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
    const QString text = lines->join(QLatin1Char('\n'));
    EXPECT_TRUE(text.contains(QStringLiteral("1130\tТревога (проникновение)")));
    EXPECT_TRUE(text.contains(QStringLiteral("3401\tПостановка пользователем")));
}

}  // namespace
}  // namespace kv6::app::test
