#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <set>

#include "kv6ctl_serial_fixture.h"

namespace {

class Kv6ctlRoutingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { kv6::e2e::e2eApp(); }
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath("site.prg");
        write(m_file, QByteArray(4096, '\0'));
        write(m_dir.filePath("types.txt"), "Вход/Выход\t130\t1\nПериметр\t132\t16\n");
    }
    // Runs in the temporary directory, so that no stray paramp is found.
    kv6::e2e::CtlResult kv6ctl(const QStringList& args) { return kv6::e2e::runCtl(args, 30000, m_dir.path()); }
    static void write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray bytes() const {
        QFile file(m_file);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir m_dir;
    QString m_file;
};

TEST_F(Kv6ctlRoutingTest, SetChangesExactlyItsBytesAndShowGivesTheValuesBack) {
    ASSERT_EQ(kv6ctl({"set", m_file, "zones.tamper=false"}).exitCode, 0);  // one save normalises
    const QByteArray before = bytes();
    const kv6::e2e::CtlResult result = kv6ctl({"set", m_file, "--paramp", m_dir.filePath("types.txt"), "events.code14=130",
                            "events.tclipTarget14=2", "events.tclipKey14=2", "events.smsTarget14=5",
                            "events.smsMessage14=3", "events.infoType14=2", "events.indicationPartitions=1,3",
                            "zones.type3=16", "zones.siren3=true", "zones.cid3=602", "zones.smsTarget3=4",
                            "zones.smsMessage3=20",
                            "zones.expander6=true", "zones.entryTime=7", "zones.buzzerOff=true"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QByteArray after = bytes();
    ASSERT_EQ(after.size(), 4096);
    std::set<int> changed;
    for (int i = 0; i < 4096; ++i)
        if (before[i] != after[i]) changed.insert(i);
    EXPECT_EQ(changed, (std::set<int>{402, 403, 404, 405, 407, 409, 410, 413, 989, 1053, 1087, 1093, 1094, 1277,
                                      1508, 1547, 1578}));
    EXPECT_EQ(after.mid(402, 12), QByteArray("130\x05\0\x02\0\x02\x02\0\0\x02", 12));

    const kv6::e2e::CtlResult named = kv6ctl({"show", m_file, "--paramp=" + m_dir.filePath("types.txt")});
    ASSERT_EQ(named.exitCode, 0);
    for (const char* line : {"events.code14 = 130\n", "events.smsMessage14 = 3\n", "zones.type3 = 16\n",
                             "zones.typeName3 = Периметр\n", "zones.cid3 = 602\n", "zones.smsMessage3 = 20\n",
                             "zones.entryTime = 7\n", "zones.expander6 = true\n", "events.indicationPartitions = 1,3\n"})
        EXPECT_TRUE(named.out.contains(QString::fromUtf8(line))) << line;
    const kv6::e2e::CtlResult plain = kv6ctl({"show", m_file});
    EXPECT_FALSE(plain.out.contains("typeName")) << "no paramp here";
}

TEST_F(Kv6ctlRoutingTest, RefusedValuesAndMissingParampWriteNothing) {
    const QByteArray before = bytes();
    kv6::e2e::CtlResult run = kv6ctl({"set", m_file, "zones.cid1=12a", "events.code1=1234"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("zones.cid1")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("events.code1")) << run.err.toStdString();
    run = kv6ctl({"set", m_file, "--paramp", m_dir.filePath("missing"), "zones.cid1=123"});
    EXPECT_EQ(run.exitCode, 2);
    run = kv6ctl({"show", m_file, "--paramp"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(bytes(), before);
}

}  // namespace
