#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "kv6ctl_serial_fixture.h"

namespace {

kv6::e2e::CtlResult kv6ctl(const QStringList& args) { return kv6::e2e::runCtl(args, 30000); }
QByteArray readAll(const QString& path) { return kv6::e2e::readFile(path); }

// Sets gsm and sms keys on a file this tool saved: exactly their bytes change,
// show gives the values back, and a refused value writes nothing.
TEST(Kv6ctlGsmSmsTest, SetChangesExactlyTheFieldsBytesAndShowGivesThemBack) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("gsm.prg");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, '\0'));
    }
    ASSERT_EQ(kv6ctl({"set", path}).exitCode, 2);  // nothing to set
    ASSERT_EQ(kv6ctl({"set", path, "gsm.countryCode="}).exitCode, 0);  // one save normalises
    const QByteArray before = readAll(path);

    const QStringList assignments = {"gsm.number10=+7912,34", "gsm.function10=7", "gsm.partition10=3",
                                     "gsm.code10=12",         "gsm.countryCode=8", "gsm.input2AlarmKey=2",
                                     "sms.message3=Тревога",  "sms.arm=3",         "sms.caseClosedReserve=true",
                                     "sms.backupTarget=10"};
    const kv6::e2e::CtlResult set = kv6ctl(QStringList{"set", path} + assignments);
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    const QByteArray after = readAll(path);
    ASSERT_EQ(after.size(), 4096);
    QList<int> changed;
    for (int i = 0; i < 4096; ++i)
        if (before[i] != after[i]) changed << i;
    QList<int> expected = {104, 105, 106, 107, 108, 109, 110, 111, 114, 746, 750};
    for (int i = 828; i < 842; ++i) expected << i;  // seven UTF-16 units; the filler was already 0xFF
    expected << 1028 << 1038 << 1583 << 1603 << 1604;
    EXPECT_EQ(changed, expected);
    EXPECT_EQ(after.mid(104, 10), QByteArray("+7912,34\0\0", 10));
    EXPECT_EQ(quint8(after[1603]), 10);
    EXPECT_EQ(quint8(after[1604]), 0x80);

    const kv6::e2e::CtlResult show = kv6ctl({"show", path});
    ASSERT_EQ(show.exitCode, 0);
    const QStringList lines = show.out.split('\n');
    for (const QString& assignment : assignments) {
        const QString line = assignment.section('=', 0, 0) + " = " + assignment.section('=', 1);
        EXPECT_TRUE(lines.contains(line)) << line.toStdString();
    }

    for (const char* refused : {"gsm.number1=Номер", "gsm.function1=3", "sms.message1=ĀĀ", "sms.disarm=11"}) {
        const kv6::e2e::CtlResult run = kv6ctl({"set", path, refused});
        EXPECT_EQ(run.exitCode, 2) << refused;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(refused).section('=', 0, 0))) << run.err.toStdString();
        EXPECT_EQ(readAll(path), after) << refused;
    }
}

}  // namespace
