#include <QFileInfo>

#include "io/prg_file.h"
#include "kv6ctl_serial_fixture.h"
#include "pages/configuration.h"

using namespace kv6::e2e;

namespace {

bool inWriteAllRanges(int offset) { return offset <= 245 || (offset >= 750 && offset <= 1773); }

// What "write all settings" sends for a file: the file decoded, then encoded again.
QByteArray encodedFile(const QString& path) {
    kv6::pages::Configuration configuration;
    EXPECT_TRUE(kv6::io::loadConfigurationFile(configuration, path).ok);
    configuration.document.EncodeAll();
    const auto& image = configuration.workspace.ConfigImage;
    return QByteArray(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
}

// Writes a random file over a random module image and checks the module's
// memory afterwards: the twenty ranges hold the encoded file, the rest is untouched.
void writeAllAndCompare(const QStringList& simOptions, const char* pace = "reactive") {
    QTemporaryDir dir;
    const auto before = randomImage(11);
    writeFile(dir.filePath("module.prg"), before);
    writeFile(dir.filePath("input.prg"), randomImage(12));
    {
        SerialSimulator sim(QStringList{"--image", dir.filePath("module.prg"), "--save", dir.filePath("after.prg")} +
                            simOptions);
        ASSERT_FALSE(sim.device().isEmpty());
        const CtlResult r = runCtl(
            {"write-all", "--port", sim.device(), dir.filePath("input.prg"), "--pace", pace, "--password-from-file"});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(" Запись данных завершена"));
    }
    const QByteArray after = readFile(dir.filePath("after.prg"));
    const QByteArray expected = encodedFile(dir.filePath("input.prg"));
    ASSERT_EQ(after.size(), 4096);
    for (int i = 0; i < 4096; ++i) {
        const char want = inWriteAllRanges(i) ? expected[i] : static_cast<char>(before[static_cast<std::size_t>(i)]);
        ASSERT_EQ(after[i], want) << "offset " << i;
    }
}

}  // namespace

TEST(Kv6ctlSerialWrite, WriteAllChangesExactlyTheTwentyRanges) { writeAllAndCompare({}); }

TEST(Kv6ctlSerialWrite, WriteAllSurvivesSplitAnswers) { writeAllAndCompare({"--split"}); }

// Every lost answer costs one 30-tick window (9 s), so only a few are lost here;
// the module's pacing, as the desktop tool uses it.
TEST(Kv6ctlSerialWrite, WriteAllResendsLostAnswers) { writeAllAndCompare({"--drop-every", "9"}, "module"); }

TEST(Kv6ctlSerialWrite, UnreadableFileIsExitTwo) {
    const CtlResult r = runCtl({"write-all", "--port", "/nonexistent/ttyKV6", "/nonexistent/file.prg"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("/nonexistent/file.prg")) << r.err.toStdString();
}

TEST(Kv6ctlSerialService, PasswordChangeAndFactoryResetAreAcknowledged) {
    QTemporaryDir dir;
    {
        SerialSimulator sim({"--password", "0", "--save", dir.filePath("after.prg")});
        const CtlResult password = runCtl({"password", "--port", sim.device(), "--old", "0", "--new", "54321"});
        EXPECT_EQ(password.exitCode, 0) << password.err.toStdString();
        EXPECT_TRUE(password.err.contains(" Пароль на чтение изменён"));
    }
    const QByteArray after = readFile(dir.filePath("after.prg"));
    ASSERT_EQ(after.size(), 4096);
    EXPECT_EQ(static_cast<std::uint8_t>(after[244]), 54321 >> 8);
    EXPECT_EQ(static_cast<std::uint8_t>(after[245]), 54321 & 0xFF);

    SerialSimulator sim({});
    const CtlResult reset = runCtl({"reset", "--port", sim.device(), "--password", "0", "--yes"});
    EXPECT_EQ(reset.exitCode, 0) << reset.err.toStdString();
    EXPECT_TRUE(reset.err.contains(" Настройки модуля приведены к заводским"));
}

// What cannot be undone needs --yes off a terminal, and a module that refuses
// the read password before it is left as it was.
TEST(Kv6ctlSerialService, ResetAndClearJournalNeedYesAndTheReadPassword) {
    QTemporaryDir dir;
    auto before = randomImage(13);
    before[244] = before[245] = 0;
    writeFile(dir.filePath("module.prg"), before);
    {
        SerialSimulator sim({"--image", dir.filePath("module.prg"), "--save", dir.filePath("after.prg")});
        for (const char* command : {"reset", "clear-journal"}) {
            CtlResult r = runCtl({command, "--port", sim.device(), "--password", "0"});
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_TRUE(r.err.contains("not on a terminal to ask, so give --yes")) << r.err.toStdString();
            r = runCtl({command, "--port", sim.device(), "--password", "1", "--yes"});
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(r.err.contains("the module refused the read password; nothing sent")) << r.err.toStdString();
        }
    }
    EXPECT_EQ(readFile(dir.filePath("after.prg")), QByteArray(reinterpret_cast<const char*>(before.data()), 4096));
}
