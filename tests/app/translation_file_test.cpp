#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include "app_test_support.h"

// The committed English translation against the sources: every text the tool
// shows is there, translated, and keeps what the program fills in.
namespace kv6::app::test {
namespace {

struct Message {
    QString context;
    QString source;
    QString translation;
    QString type;  // "unfinished", "obsolete", "vanished" or empty
};

std::vector<Message> readTs(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    std::vector<Message> messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            messages.push_back({context, {}, {}, {}});
        } else if (xml.name() == QLatin1String("source") && !messages.empty()) {
            messages.back().source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation") && !messages.empty()) {
            messages.back().type = xml.attributes().value(QLatin1String("type")).toString();
            messages.back().translation = xml.readElementText();
        }
    }
    if (xml.hasError()) *error = xml.errorString();
    return messages;
}

QString named(const Message& m) { return m.context + QStringLiteral(": \"") + m.source + QLatin1Char('"'); }

QStringList placeholders(const QString& text) {
    QStringList found;
    static const QRegularExpression marker(QStringLiteral("%\\d"));
    for (const QRegularExpressionMatch& match : marker.globalMatch(text)) found << match.captured();
    found.sort();
    return found;
}

// lupdate over today's sources into a copy: a text added to the sources
// shows as unfinished, one taken out as vanished.
TEST(TranslationFile, CoversEveryTextOfTheSources) {
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("korvel-kv6_en.ts"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KV6_TS_FILE), copy));
    QProcess lupdate;
    QStringList arguments = QStringLiteral(KV6_TRANSLATED_DIRS).split(QLatin1Char('|'));
    arguments << QStringLiteral("-I") << QStringLiteral(KV6_SOURCE_DIR "/src") << QStringLiteral("-locations")
              << QStringLiteral("none") << QStringLiteral("-ts") << copy;
    lupdate.start(QStringLiteral(KV6_LUPDATE_PATH), arguments);
    ASSERT_TRUE(lupdate.waitForFinished(60000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();

    QString error;
    const std::vector<Message> messages = readTs(copy, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    QStringList faults;
    for (const Message& m : messages)
        if (!m.type.isEmpty()) faults << m.type + QStringLiteral(" ") + named(m);
    EXPECT_TRUE(faults.isEmpty()) << "run: cmake --build <build> --target korvel-kv6_lupdate, then translate\n"
                                  << faults.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(messages.size(), 250U);
}

// A translation that lost "%1" would drop the file name from its message; one
// with Cyrillic left in it is no translation.
TEST(TranslationFile, EveryTranslationIsEnglishAndKeepsItsPlaceholdersAndLines) {
    QString error;
    const std::vector<Message> messages = readTs(QStringLiteral(KV6_TS_FILE), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    QStringList faults;
    for (const Message& m : messages) {
        if (!m.type.isEmpty()) faults << m.type + QStringLiteral(" ") + named(m);
        if (m.translation.isEmpty()) faults << QStringLiteral("empty ") + named(m);
        static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
        if (m.translation.contains(cyrillic)) faults << QStringLiteral("Cyrillic in ") + named(m);
        if (placeholders(m.translation) != placeholders(m.source)) faults << QStringLiteral("placeholders of ") + named(m);
        if (m.translation.count(QLatin1Char('\n')) != m.source.count(QLatin1Char('\n')))
            faults << QStringLiteral("lines of ") + named(m);
        // Texts followed or preceded by a file name or a number keep their blank.
        if (m.source.endsWith(QLatin1Char(' ')) != m.translation.endsWith(QLatin1Char(' ')) ||
            m.source.startsWith(QLatin1Char(' ')) != m.translation.startsWith(QLatin1Char(' ')))
            faults << QStringLiteral("blanks of ") + named(m);
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace kv6::app::test
