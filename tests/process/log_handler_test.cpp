#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryFile>

#include "process/log_handler.h"
#include "process/log_line.h"
#include "support/core_app.h"

namespace kv6::process::test {

namespace {

Q_LOGGING_CATEGORY(lcTestStore, "kv6.store")
Q_LOGGING_CATEGORY(lcTestFleet, "kv6.fleet")

const LogStyle kStyle{"kv6d", "kv6.fleet", false};

// A file standing in for the program's stderr.
class LogFile {
public:
    LogFile() { EXPECT_TRUE(m_file.open()); }
    [[nodiscard]] int fd() const { return m_file.handle(); }
    [[nodiscard]] QStringList lines() const {
        QFile reader(m_file.fileName());
        EXPECT_TRUE(reader.open(QIODevice::ReadOnly));
        return QString::fromUtf8(reader.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    [[nodiscard]] QByteArray stream() const {
        struct stat st {};
        EXPECT_EQ(::fstat(fd(), &st), 0);
        return QByteArray::number(static_cast<qulonglong>(st.st_dev)) + ':' +
               QByteArray::number(static_cast<qulonglong>(st.st_ino));
    }

private:
    QTemporaryFile m_file;
};

class JournalStream {
public:
    explicit JournalStream(const QByteArray& value) { qputenv("JOURNAL_STREAM", value); }
    ~JournalStream() { qunsetenv("JOURNAL_STREAM"); }
    JournalStream(const JournalStream&) = delete;
    JournalStream& operator=(const JournalStream&) = delete;
};

}  // namespace

TEST(LogLine, ATerminalLineHasItsTimeLevelAndProgramAndStaysOneLine) {
    EXPECT_EQ(formatLogLine({LogLevel::Info, "kv6.fleet", "object 1001 job 7 write started"},
                            kStyle, "2026-12-08T05:40:12.345Z"),
              "2026-12-08T05:40:12.345Z info kv6d: object 1001 job 7 write started\n");
    EXPECT_EQ(formatLogLine({LogLevel::Warning, "kv6.store",
                             "statement failed: server closed the connection\nunexpectedly\n"},
                            kStyle, "2026-12-08T05:40:12.345Z"),
              "2026-12-08T05:40:12.345Z warning kv6d: kv6.store: statement failed: server closed "
              "the connection "
              "unexpectedly\n");
    EXPECT_EQ(formatLogLine({LogLevel::Error, "default", "cannot listen on port 8099: in use"},
                            kStyle, "T"),
              "T error kv6d: cannot listen on port 8099: in use\n");
}

TEST(LogLine, AJournalLineCarriesTheSyslogPriorityAndNoTimeOfItsOwn) {
    LogStyle journal = kStyle;
    journal.journal = true;
    EXPECT_EQ(
        formatLogLine({LogLevel::Info, "kv6.fleet", "object 1001 identified"}, journal, "ignored"),
        "<6>object 1001 identified\n");
    EXPECT_EQ(formatLogLine({LogLevel::Warning, "kv6.store", "disk I/O error"}, journal, "ignored"),
              "<4>kv6.store: disk I/O error\n");
    EXPECT_EQ(formatLogLine({LogLevel::Error, "default", "x"}, journal, ""), "<3>x\n");
    EXPECT_EQ(formatLogLine({LogLevel::Debug, "kv6.store", "SELECT 1"}, journal, ""),
              "<7>kv6.store: SELECT 1\n");
    EXPECT_EQ(formatLogLine({LogLevel::Fatal, "default", "x"}, journal, ""), "<2>x\n");
}

TEST(LogHandler, QtMessagesBecomeStampedLinesAndAFloodOfFailuresOneLine) {
    kv6::test::coreApp();
    LogFile file;
    {
        LogHandler handler(kStyle, file.fd());
        EXPECT_FALSE(handler.journal());
        qCInfo(lcTestFleet).noquote() << "object 1001 identified from 10.0.0.7";
        for (int i = 0; i < 1000; ++i)
            qCWarning(lcTestStore).noquote() << "statement failed: no connection to the server";
        qCInfo(lcTestFleet).noquote() << "object 1001 disconnected";
    }  // the count is written as the handler goes
    const QStringList lines = file.lines();
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    const QRegularExpression stamp(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (\w+) kv6d: (.*)$)"));
    const auto match = [&](int i) { return stamp.match(lines[i]); };
    for (int i = 0; i < lines.size(); ++i)
        ASSERT_TRUE(match(i).hasMatch()) << lines[i].toStdString();
    EXPECT_EQ(match(0).captured(1), "info");
    EXPECT_EQ(match(0).captured(2), "object 1001 identified from 10.0.0.7");
    EXPECT_EQ(match(1).captured(1), "warning");
    EXPECT_EQ(match(1).captured(2), "kv6.store: statement failed: no connection to the server");
    EXPECT_EQ(match(2).captured(2), "object 1001 disconnected");
    EXPECT_EQ(match(3).captured(1), "warning");
    EXPECT_EQ(
        match(3).captured(2),
        "kv6.store: statement failed: no connection to the server (repeated 999 times in 1 s)");
}

TEST(LogHandler, UnderSystemdItWritesForJournaldOnlyWhenTheStreamIsJournaldsOwn) {
    kv6::test::coreApp();
    LogFile file;
    {
        // A variable inherited from a service, naming another stream: ours is a terminal or file.
        const JournalStream other("1:2");
        const LogHandler handler(kStyle, file.fd());
        EXPECT_FALSE(handler.journal());
    }
    {
        const JournalStream own(file.stream());
        const LogHandler handler(kStyle, file.fd());
        EXPECT_TRUE(handler.journal());
        qCWarning(lcTestStore).noquote() << "disk I/O error";
        qCInfo(lcTestFleet).noquote() << "object 1001 job 7 write: verified";
    }
    EXPECT_EQ(file.lines(), (QStringList{"<4>kv6.store: disk I/O error",
                                         "<6>object 1001 job 7 write: verified"}));
}

}  // namespace kv6::process::test
