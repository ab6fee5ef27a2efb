#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

#include "app/side_files.h"
#include "app_test_support.h"
#include "support/file_privileges.h"
#include "window_fixture.h"

namespace kv6::app::test {
namespace {

class SideFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkdir(QStringLiteral("program"));
        QDir(dir.path()).mkdir(QStringLiteral("current"));
        for (const char* folder : {"config", "xdg", "share"}) QDir(dir.path()).mkdir(QString::fromLatin1(folder));
    }
    [[nodiscard]] QString program(const QString& name = {}) const {
        return dir.filePath(QStringLiteral("program/") + name);
    }
    [[nodiscard]] QString current(const QString& name = {}) const {
        return dir.filePath(QStringLiteral("current/") + name);
    }
    [[nodiscard]] QString path(const QString& relative) const { return dir.filePath(relative); }
    [[nodiscard]] SideFiles files() const { return SideFiles(program(), current()); }
    [[nodiscard]] SideFileLocations locations() const {
        return {program(), {path("config"), path("xdg")}, current(), {path("share")}};
    }

    QTemporaryDir dir;
};

TEST_F(SideFilesTest, NothingPresentKeepsThePresets) {
    SideFiles side = files();
    side.loadAll();
    EXPECT_EQ(side.zoneTypes(),
              (QStringList{"Вход/Выход", "Объём", "Периметр", "24х часовая", "Пожарная"}));
    EXPECT_TRUE(side.deviceTypes().isEmpty());
    EXPECT_TRUE(side.journalTexts().isEmpty());
    EXPECT_FALSE(side.portSetting().has_value());
}

TEST_F(SideFilesTest, ZoneTypesGetTheExtraLineAndLinesSplitAsOnWindows) {
    ASSERT_TRUE(writeFile(program("paramp"), "A\t001\t10\r\nB\t002\t20\r\nC\t003\t30\r\n"));
    ASSERT_TRUE(writeFile(program("paramd"), "dev1\rdev2\n\nlast"));
    SideFiles side = files();
    side.loadAll();
    EXPECT_EQ(side.zoneTypes(), (QStringList{"A\t001\t10", "B\t002\t20", "C\t003\t30", "24х часовая\t000\t35"}));
    EXPECT_EQ(side.deviceTypes(), (QStringList{"dev1", "dev2", "", "last"}));
}

TEST_F(SideFilesTest, Windows1251AndUtf8TextsBothDecode) {
    // "Объём" in Windows-1251, then the same word in UTF-8 with a BOM.
    ASSERT_TRUE(writeFile(program("paramp"), QByteArray("\xCE\xE1\xFA\xB8\xEC\t001\t10\n")));
    ASSERT_TRUE(writeFile(program("parame"), QByteArray("\xEF\xBB\xBF") + QStringLiteral("Объём\n").toUtf8()));
    SideFiles side = files();
    side.loadAll();
    EXPECT_EQ(side.zoneTypes().value(0), QStringLiteral("Объём\t001\t10"));
    EXPECT_EQ(side.journalTexts(), QStringList{"Объём"});
}

// Installed, the program's folder is /usr/bin: the user's configuration
// folder and the package's data folder stand in for it.
TEST_F(SideFilesTest, SearchOrderIsProgramConfigCurrentThenData) {
    SideFiles side(locations());
    ASSERT_TRUE(writeFile(path("share/parame"), "1130\tshipped\n"));
    ASSERT_TRUE(writeFile(path("xdg/parame"), "1130\tsystem\n"));
    ASSERT_TRUE(writeFile(current("parame"), "1130\tcurrent\n"));
    ASSERT_TRUE(writeFile(path("config/paramd"), "from config\n"));
    ASSERT_TRUE(writeFile(current("paramd"), "from current\n"));
    ASSERT_TRUE(writeFile(current("param2"), "7\n"));
    ASSERT_TRUE(writeFile(program("paramp"), "from program\n"));
    ASSERT_TRUE(writeFile(path("config/paramp"), "from config\n"));
    side.loadAll();
    EXPECT_EQ(side.journalTexts(), QStringList{"1130\tsystem"});
    EXPECT_EQ(side.deviceTypes(), QStringList{"from config"});
    EXPECT_EQ(side.portSetting(), QStringLiteral("7"));
    EXPECT_EQ(side.zoneTypes().value(0), QStringLiteral("from program"));

    ASSERT_TRUE(QFile::remove(path("xdg/parame")));
    ASSERT_TRUE(QFile::remove(current("parame")));
    SideFiles onlyShipped(locations());
    onlyShipped.loadAll();
    EXPECT_EQ(onlyShipped.journalTexts(), QStringList{"1130\tshipped"});
}

// In English the journal texts come from parame.en, else from parame of the
// same folder; a folder earlier in the search order still wins, so that a
// user's own parame is not passed over for the package's parame.en.
TEST_F(SideFilesTest, EnglishRunReadsParameEnBeforeParameOfTheSameFolder) {
    ASSERT_TRUE(writeFile(path("share/parame"), "1130\tshipped ru\n"));
    ASSERT_TRUE(writeFile(path("share/parame.en"), "1130\tshipped en\n"));
    SideFiles english(locations(), UiLanguage::English);
    english.loadAll();
    EXPECT_EQ(english.journalTexts(), QStringList{"1130\tshipped en"});
    EXPECT_EQ(english.journalFilePath(), path("share/parame.en"));
    SideFiles russian(locations(), UiLanguage::Russian);
    russian.loadAll();
    EXPECT_EQ(russian.journalTexts(), QStringList{"1130\tshipped ru"});
    EXPECT_EQ(russian.journalFilePath(), path("share/parame"));

    ASSERT_TRUE(writeFile(path("config/parame"), "1130\tusers own\n"));
    SideFiles own(locations(), UiLanguage::English);
    own.loadAll();
    EXPECT_EQ(own.journalTexts(), QStringList{"1130\tusers own"});
    ASSERT_TRUE(writeFile(path("config/parame.en"), "1130\tusers own en\n"));
    SideFiles ownEnglish(locations(), UiLanguage::English);
    ownEnglish.loadAll();
    EXPECT_EQ(ownEnglish.journalTexts(), QStringList{"1130\tusers own en"});
    SideFiles ownRussian(locations(), UiLanguage::Russian);
    ownRussian.loadAll();
    EXPECT_EQ(ownRussian.journalTexts(), QStringList{"1130\tusers own"});
}

// A missing or unreadable parame.en costs no descriptions: parame stands in.
// With neither, the list stays empty as before.
TEST_F(SideFilesTest, EnglishRunFallsBackToParameWithoutAReadableParameEn) {
    ASSERT_TRUE(writeFile(path("share/parame"), "1130\tshipped ru\n"));
    SideFiles missing(locations(), UiLanguage::English);
    missing.loadAll();
    EXPECT_EQ(missing.journalTexts(), QStringList{"1130\tshipped ru"});
    EXPECT_EQ(missing.journalFilePath(), path("share/parame"));

    ASSERT_TRUE(writeFile(path("share/parame.en"), QByteArray(SideFiles::kMaxFileSize + 1, 'x')));
    SideFiles oversized(locations(), UiLanguage::English);
    oversized.loadAll();
    EXPECT_EQ(oversized.journalTexts(), QStringList{"1130\tshipped ru"});

    ASSERT_TRUE(QFile::remove(path("share/parame")));
    SideFiles neither(locations(), UiLanguage::English);
    neither.loadAll();
    EXPECT_TRUE(neither.journalTexts().isEmpty());
    EXPECT_TRUE(neither.journalFilePath().isEmpty());
}

TEST_F(SideFilesTest, PortIsSavedWhereFoundElseBesideTheProgramElseInTheUsersFolder) {
    ASSERT_TRUE(writeFile(current("param2"), "3\n"));
    SideFiles found(locations());
    ASSERT_TRUE(found.loadPortLines());
    EXPECT_TRUE(found.savePortLine(QStringLiteral("4")).isEmpty());
    EXPECT_EQ(readFile(current("param2")), QByteArray("4\n"));
    EXPECT_FALSE(QFile::exists(program("param2")));

    ASSERT_TRUE(QFile::remove(current("param2")));
    SideFiles fresh(locations());
    EXPECT_TRUE(fresh.savePortLine(QStringLiteral("5")).isEmpty());
    EXPECT_EQ(readFile(program("param2")), QByteArray("5\n"));

    // An executable folder the user cannot write: the port goes to the user's
    // folder, made on the way, and the next start finds it there.
    SideFileLocations locked = locations();
    locked.programDirectory = path("plain-file/bin");
    ASSERT_TRUE(writeFile(path("plain-file"), "not a folder"));
    ASSERT_TRUE(QDir(path("config")).removeRecursively());
    SideFiles installed(locked);
    EXPECT_TRUE(installed.savePortLine(QStringLiteral("/dev/ttyUSB0")).isEmpty());
    EXPECT_EQ(readFile(path("config/param2")), QByteArray("/dev/ttyUSB0\n"));
    SideFiles restarted(locked);
    restarted.loadAll();
    EXPECT_EQ(restarted.portSetting(), QStringLiteral("/dev/ttyUSB0"));

    locked.configDirectories = {path("plain-file/config")};
    SideFiles nowhere(locked);
    const QString reason = nowhere.savePortLine(QStringLiteral("6"));
    EXPECT_TRUE(reason.contains(QStringLiteral("plain-file/bin/param2"))) << reason.toStdString();
    EXPECT_TRUE(reason.contains(QStringLiteral("plain-file/config/param2"))) << reason.toStdString();
}

// A param2 beside the executable that the user cannot replace would hide the
// port saved in the user's folder at every start.
TEST_F(SideFilesTest, ReadOnlyParam2BesideTheProgramGivesWayToTheUsersCopy) {
    ASSERT_TRUE(writeFile(program("param2"), "3\n"));
    ASSERT_TRUE(writeFile(path("config/param2"), "8\n"));
    QFile::setPermissions(program("param2"), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    QFile::setPermissions(program(), QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(kv6::test::dropFilePermissionOverride());
    ASSERT_FALSE(QFileInfo(program("param2")).isWritable());
    SideFiles side(locations());
    side.loadAll();
    QFile::setPermissions(program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(side.portSetting(), QStringLiteral("8"));
    EXPECT_EQ(side.portFilePath(), path("config/param2"));
}

TEST_F(SideFilesTest, PortLineParsing) {
    EXPECT_EQ(SideFiles::parsePortLine(QStringLiteral("5")), QStringLiteral("5"));
    EXPECT_EQ(SideFiles::parsePortLine(QStringLiteral(" 12 ")), QStringLiteral("12"));
    EXPECT_EQ(SideFiles::parsePortLine(QStringLiteral("150")), QStringLiteral("99"));
    EXPECT_EQ(SideFiles::parsePortLine(QStringLiteral("0")), QStringLiteral("1"));
    EXPECT_EQ(SideFiles::parsePortLine(QStringLiteral("/dev/ttyUSB0")), QStringLiteral("/dev/ttyUSB0"));
    for (const char* bad : {"", "   ", "COM3", "abc", "5x", "99999999999999999999"})
        EXPECT_FALSE(SideFiles::parsePortLine(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST_F(SideFilesTest, ALaterLineOfParam2ChoosesTheReactivePacing) {
    const std::pair<const char*, bool> cases[] = {
        {"3\n", false},           {"3\n Pace = Reactive\r\n", true}, {"3\nkeep me\npace=reactive\n", true},
        {"pace=reactive\n", false}, {"3\npace=module\n", false},      {"3\npace=reactive now\n", false}};
    for (const auto& [text, reactive] : cases) {
        ASSERT_TRUE(writeFile(program("param2"), text));
        SideFiles side = files();
        side.loadAll();
        EXPECT_EQ(side.reactivePacing(), reactive) << text;
    }
}

TEST_F(SideFilesTest, OversizedOrUnreadableFilesAreSkippedSilently) {
    ASSERT_TRUE(writeFile(program("paramd"), QByteArray(SideFiles::kMaxFileSize + 1, 'x')));
    ASSERT_TRUE(QDir(program()).mkdir(QStringLiteral("parame")));  // a directory, not a file
    SideFiles side = files();
    side.loadAll();
    EXPECT_TRUE(side.deviceTypes().isEmpty());
    EXPECT_TRUE(side.journalTexts().isEmpty());
}

TEST_F(SideFilesTest, SavingLineOneKeepsTheOthersInTheirCodePage) {
    ASSERT_TRUE(writeFile(program("param2"), "3\nsecond\nthird\n"));
    SideFiles side = files();
    ASSERT_TRUE(side.loadPortLines());
    EXPECT_TRUE(side.savePortLine(QStringLiteral("5")).isEmpty());
    EXPECT_EQ(readFile(program("param2")), QByteArray("5\nsecond\nthird\n"));

    // A param2 made on Windows keeps its other lines in their code page.
    const QByteArray windowsLine("\xCE\xE1\xFA\xB8\xEC");  // "Объём" in Windows-1251
    ASSERT_TRUE(writeFile(program("param2"), "3\r\n" + windowsLine + "\r\n"));
    ASSERT_TRUE(side.loadPortLines());
    EXPECT_TRUE(side.savePortLine(QStringLiteral("6")).isEmpty());
    EXPECT_EQ(readFile(program("param2")), "6\n" + windowsLine + "\n");
}

// Side files come from anywhere: random bytes never crash the reader, and
// whatever it returns is a list of lines without line breaks.
TEST_F(SideFilesTest, FuzzedFilesNeverBreakTheReader) {
    std::mt19937 random(20240611);
    const char alphabet[] = {'\r', '\n', '\t', '5', '/', 'a', '\0', '\xFF', '\xD0', '\xB8', '\xEF', '\xBB', '\xBF'};
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(static_cast<int>(random() % 64), '\0');
        for (char& c : bytes)
            c = random() % 2 ? alphabet[random() % sizeof alphabet] : static_cast<char>(random() % 256);
        ASSERT_TRUE(writeFile(program("param2"), bytes));
        ASSERT_TRUE(writeFile(program("paramp"), bytes));
        SideFiles side = files();
        side.loadAll();
        for (const QString& line : side.portLines() + side.zoneTypes()) {
            ASSERT_FALSE(line.contains(QLatin1Char('\n')));
            ASSERT_FALSE(line.contains(QLatin1Char('\r')));
        }
        EXPECT_EQ(side.zoneTypes().constLast(), QStringLiteral("24х часовая\t000\t35"));
        if (const std::optional<QString> port = side.portSetting()) {
            bool number = false;
            const int value = port->toInt(&number);
            ASSERT_TRUE(port->startsWith(QLatin1Char('/')) || (number && value >= 1 && value <= 99)) << port->toStdString();
        }
    }
}

// The window's side of it: the first tick applies param2, the port dialog
// shows the port, puts the chosen one in force and writes it back.
using WindowSideFiles = WindowTest;

TEST_F(WindowSideFiles, FirstTickAppliesThePortAndLettersLeaveItAlone) {
    ASSERT_TRUE(writeFile(programDir() + QStringLiteral("/param2"), "abc\n"));
    SignalRecorder loaded(window.get(), &TForm1::sideFilesLoaded);
    window->loadSideFiles();
    EXPECT_EQ(link.port(), QStringLiteral("1"));
    EXPECT_EQ(loaded.count(), 1);

    ASSERT_TRUE(writeFile(programDir() + QStringLiteral("/param2"), "8\n"));
    window->loadSideFiles();  // only the first tick loads
    EXPECT_EQ(link.port(), QStringLiteral("1"));
    EXPECT_EQ(loaded.count(), 1);
}

TEST_F(WindowSideFiles, FirstTickAppliesThePacing) {
    EXPECT_EQ(link.pacing, link::Pacing::Module);
    ASSERT_TRUE(writeFile(programDir() + QStringLiteral("/param2"), "2\npace=reactive\n"));
    window->loadSideFiles();
    EXPECT_EQ(link.pacing, link::Pacing::Reactive);
}

TEST_F(WindowSideFiles, PortDialogWritesParam2KeepingOtherLines) {
    const QString param2 = programDir() + QStringLiteral("/param2");
    ASSERT_TRUE(writeFile(param2, "3\nkeep me\n"));
    dialogs.portAnswer = QStringLiteral("5");
    window->COM1Click();
    EXPECT_EQ(dialogs.portShownWith, QStringLiteral("3"));
    EXPECT_EQ(link.port(), QStringLiteral("5"));
    EXPECT_EQ(panel(0), QStringLiteral("COM5"));
    EXPECT_EQ(readFile(param2), QByteArray("5\nkeep me\n"));

    dialogs.portAnswer = QStringLiteral("/dev/ttyUSB0");
    window->COM1Click();
    EXPECT_EQ(panel(0), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(readFile(param2), QByteArray("/dev/ttyUSB0\nkeep me\n"));

    dialogs.portAnswer = QStringLiteral("nonsense");  // the port in force stays, and is what is saved
    window->COM1Click();
    EXPECT_EQ(link.port(), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(readFile(param2), QByteArray("/dev/ttyUSB0\nkeep me\n"));
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(WindowSideFiles, PortDialogCreatesParam2WhenMissing) {
    dialogs.portAnswer = QStringLiteral("2");
    window->COM1Click();
    EXPECT_EQ(readFile(programDir() + QStringLiteral("/param2")), QByteArray("2\n"));
}

TEST_F(WindowSideFiles, PortChoiceThatCannotBeSavedSaysSoInPanel1) {
    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("plain-file")), "not a folder"));
    TForm1Options options;
    options.prompts = &prompts;
    options.dialogs = &dialogs;
    options.link = &link;
    options.programDirectory = dir.filePath(QStringLiteral("plain-file/bin"));
    options.fallbackDirectory = dir.filePath(QStringLiteral("current"));
    options.configDirectories = {dir.filePath(QStringLiteral("plain-file/config"))};
    options.dataDirectories = {dir.filePath(QStringLiteral("share"))};
    options.loadSideFilesOnStart = false;
    TForm1 locked(options);
    dialogs.portAnswer = QStringLiteral("4");
    locked.COM1Click();
    EXPECT_EQ(link.port(), QStringLiteral("4"));
    EXPECT_EQ(locked.StatusBar1->panelText(1), QStringLiteral(" Порт не сохранён: не удалось записать файл param2"));
    ASSERT_EQ(prompts.shown.size(), 1U);
    EXPECT_EQ(prompts.shown.front().caption, " Ошибка");
}

}  // namespace
}  // namespace kv6::app::test
