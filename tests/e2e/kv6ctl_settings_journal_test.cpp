// kv6ctl on the "Настройки " page keys, the journal and state views, and the
// journal clear against the simulated module.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "kv6ctl_serial_fixture.h"

using namespace kv6::e2e;

namespace {

CtlResult ctl(const QStringList& args) { return runCtl(args, 30000); }

// A file as the tool saves it: the journal record of the example, partitions 1 and 3 armed.
QString preparedFile(const QTemporaryDir& dir) {
    const QString path = dir.filePath("site.prg");
    kv6::image::Image image{};
    const std::uint8_t record[] = {0x3D, 0x98, 0x2E, 0xD3, 0x11, 0x30, 0x00, 0x01, 0x05};
    std::copy(std::begin(record), std::end(record), image.begin() + 246 + 9 * 3);
    image[1161] = 0x05;
    writeFile(path, image);
    EXPECT_EQ(ctl({"set", path, "settings.ntp=false"}).exitCode, 0);
    return path;
}

TEST(Kv6ctlSettings, EachKeyChangesExactlyItsBytes) {
    QTemporaryDir dir;
    const QString path = preparedFile(dir);
    struct Case {
        const char* assignment;
        int first;
        int last;
    };
    const Case cases[] = {
        {"settings.device1=7", 1509, 1509},
        {"settings.device2=", 1510, 1524},  // the list ends at the first empty
        {"settings.ntpServer=10.0.0.1", 1529, 1543},
        {"settings.ntp=true", 1544, 1544},
        {"settings.ntpInterval=12", 1544, 1544},
        {"settings.programmingServer=192.168.1.10", 1588, 1602},
        {"settings.clock=2020-05-06 07:08:09", 1525, 1528},
    };
    for (const Case& c : cases) {
        const QByteArray before = readFile(path);
        const CtlResult r = ctl({"set", "--time-zone", "3", path, c.assignment});
        ASSERT_EQ(r.exitCode, 0) << c.assignment << r.err.toStdString();
        const QByteArray after = readFile(path);
        ASSERT_EQ(after.size(), 4096);
        bool changed = false;
        for (int i = 0; i < 4096; ++i) {
            if (before[i] == after[i]) continue;
            changed = true;
            EXPECT_TRUE(i >= c.first && i <= c.last) << c.assignment << ": offset " << i;
        }
        EXPECT_TRUE(changed) << c.assignment;
    }
    const CtlResult shown = ctl({"show", "--time-zone", "3", path});
    for (const char* line : {"settings.device1 = 7\n", "settings.device2 = \n", "settings.ntp = true\n",
                             "settings.ntpInterval = 12\n", "settings.clock = 2020-05-06 07:08:09\n",
                             "settings.programmingServer = 192.168.001.010\n", "settings.timeZone = GMT+03:00\n"})
        EXPECT_TRUE(shown.out.contains(QString::fromUtf8(line))) << line << shown.out.toStdString();
    const CtlResult refused = ctl({"set", path, "settings.device2=256"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("settings.device2")) << refused.err.toStdString();
}

TEST(Kv6ctlSettings, TheTimeZoneOptionMovesTheClock) {
    QTemporaryDir dir;
    const QString path = preparedFile(dir);
    ASSERT_EQ(ctl({"set", path, "--time-zone=3", "settings.clock=2000-01-01 00:00:00"}).exitCode, 0);
    EXPECT_EQ(readFile(path).mid(1525, 4), QByteArray::fromHex("d09717bc"));
    EXPECT_TRUE(ctl({"show", path, "--time-zone", "0"}).out.contains("settings.clock = 1999-12-31 21:00:00\n"));
    EXPECT_EQ(ctl({"show", path, "--time-zone", "14"}).exitCode, 2);
}

TEST(Kv6ctlJournal, RowsAndStateAsThePageShowsThem) {
    QTemporaryDir dir;
    const QString path = preparedFile(dir);
    const QString parame = dir.filePath("parame");
    {
        QFile file(parame);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("1100\tНе то\r\n1130\tВзлом\r\n");
    }
    const CtlResult text = ctl({"journal", path, "--parame", parame, "--time-zone", "3"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 50);
    EXPECT_EQ(lines.first(), "2012-04-10 14-30-05\t1130\tВзлом\t1\t5");
    EXPECT_EQ(lines.last(), "1900-01-01 03-00-00\t0000\t\t0\t0");

    const CtlResult json = ctl({"journal", path, "--json", "--parame", parame, "--time-zone", "3"});
    const QJsonArray rows = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 50);
    EXPECT_EQ(rows.first().toObject().value("description").toString(), "Взлом");
    EXPECT_EQ(rows.first().toObject().value("zone").toInt(), 5);

    const CtlResult state = ctl({"state", path});
    ASSERT_EQ(state.exitCode, 0);
    EXPECT_EQ(state.out.split('\n', Qt::SkipEmptyParts),
              (QStringList{"Последний код:", "000000", "---", "Раздел1: Охране", "Раздел2: Снят", "Раздел3: Охране",
                           "Раздел4: Снят", "Раздел5: Снят", "Раздел6: Снят", "Раздел7: Снят", "Раздел8: Снят",
                           "---"}));
}

TEST(Kv6ctlJournal, ClearJournalZeroesOnlyTheJournal) {
    QTemporaryDir dir;
    const auto before = randomImage(31);
    writeFile(dir.filePath("module.prg"), before);
    {
        SerialSimulator sim({"--image", dir.filePath("module.prg"), "--save", dir.filePath("after.prg")});
        ASSERT_FALSE(sim.device().isEmpty());
        const QString password = QString::number(before[244] << 8 | before[245]);
        const CtlResult r = runCtl({"clear-journal", "--port", sim.device(), "--password", password, "--yes"});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(" Запись данных завершена"));
    }
    const QByteArray after = readFile(dir.filePath("after.prg"));
    ASSERT_EQ(after.size(), 4096);
    for (int i = 0; i < 4096; ++i) {
        const char want = i >= 246 && i <= 695 ? '\0' : static_cast<char>(before[static_cast<std::size_t>(i)]);
        ASSERT_EQ(after[i], want) << "offset " << i;
    }
}

}  // namespace
