#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QToolButton>
#include <csignal>
#include <functional>
#include <sys/resource.h>

#include "app/main_menu.h"
#include "app/startup_file.h"
#include "widgets/value_list_editor.h"
#include "io/prg_file.h"
#include "window_fixture.h"

namespace kv6::app::test {
namespace {

using FileCommands = WindowTest;
using ModuleCommands = WindowTest;

QByteArray pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return bytes;
}

void expectAllFlagsButNine(const image::SectionFlags& flags) {
    for (int entry = 0; entry < image::SectionFlags::kCount; ++entry)
        EXPECT_EQ(flags.isSet(entry), entry != image::SectionFlags::kUnusedEntry) << entry;
}

// Loads of short, exact and long files: how much of the image they replace,
// the flags, the status text and the write controls. A file of another size
// is loaded only after the user agrees.
TEST_F(FileCommands, LoadReplacesAsFarAsTheFileReaches) {
    struct Case {
        int size;
        bool sizeNoted;
    };
    for (const Case& c : {Case{100, true}, Case{4096, false}, Case{5000, true}}) {
        SCOPED_TRACE(c.size);
        prompts.shown.clear();
        workspace().ReceivedImage.fill(0xAB);
        // Filled behind the pages' back: no user's edit for the load to ask about.
        window->configuration().document.rememberFields();
        const QByteArray bytes = pattern(c.size, c.size);
        dialogs.openName = dir.filePath(QStringLiteral("in%1.prg").arg(c.size));
        ASSERT_TRUE(writeFile(dialogs.openName, bytes));
        SignalRecorder decoded(window.get(), &TForm1::configurationDecoded);
        window->MainMenu1->N7->trigger();

        const image::Image& image = workspace().ConfigImage;
        const int used = std::min(c.size, 4096);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image.data()), used), bytes.left(used));
        if (c.size < 4096) {
            EXPECT_EQ(image[static_cast<std::size_t>(c.size)], 0xAB);
            EXPECT_EQ(image[4095], 0xAB);
        }
        expectAllFlagsButNine(workspace().flags);
        const QString expected = QStringLiteral(" Загрузка данных завершена. Файл ") +
                                 QFileInfo(dialogs.openName).absoluteFilePath();
        if (c.sizeNoted)
            EXPECT_EQ(panel(1), expected + QStringLiteral(" (размер файла %1 байт)").arg(c.size));
        else
            EXPECT_EQ(panel(1), expected);
        EXPECT_EQ(decoded.count(), 1);
        EXPECT_TRUE(window->writeControlsEnabled());
        EXPECT_TRUE(window->MainMenu1->N14->menuAction()->isEnabled());
        if (c.sizeNoted) {
            ASSERT_EQ(prompts.shown.size(), 1u);
            EXPECT_EQ(prompts.shown[0].text, QStringLiteral("Размер файла %1 байт, а не 4096. Загрузить?")
                                                 .arg(c.size).toStdString());
            EXPECT_EQ(prompts.shown[0].buttons, MessageButtons::OkCancel);
        } else {
            EXPECT_TRUE(prompts.shown.empty());
        }
    }
}

// "korvel-kv6 FILE.prg" (a double-click): loaded as from the menu, once the
// side files are in.
TEST_F(FileCommands, AFileOnTheCommandLineOpensAfterTheSideFiles) {
    EXPECT_FALSE(StartupFile({"korvel-kv6", "a.prg", "b.prg"}).valid());
    EXPECT_FALSE(StartupFile({"korvel-kv6", "--bogus"}).valid());
    const QString path = dir.filePath(QStringLiteral("site.prg"));
    ASSERT_TRUE(writeFile(path, pattern(4096, 5)));
    StartupFile({"korvel-kv6", path}).openIn(*window);
    EXPECT_EQ(workspace().ConfigImage[0], 0);
    window->loadSideFiles();
    EXPECT_EQ(workspace().ConfigImage[0], 5);
    EXPECT_EQ(panel(1), QStringLiteral(" Загрузка данных завершена. Файл ") + QFileInfo(path).absoluteFilePath());
}

TEST_F(FileCommands, DeclinedLoadOfAFileOfAnotherSizeChangesNothing) {
    workspace().ReceivedImage.fill(0x11);
    window->setStatus(StatusPanel::Operation, "before");
    dialogs.openName = dir.filePath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(writeFile(dialogs.openName, "site 12, APN internet\n"));
    prompts.answers = {false};
    window->N7Click();
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(workspace().ReceivedImage[0], 0x11);
    EXPECT_EQ(panel(1), QStringLiteral("before"));
    EXPECT_FALSE(window->writeControlsEnabled());
}

TEST_F(FileCommands, FailedLoadChangesNothing) {
    workspace().ReceivedImage.fill(0x11);
    workspace().ConfigImage.fill(0x22);
    window->configuration().document.rememberFields();  // no user's edit to ask about
    window->setStatus(StatusPanel::Operation, "before");
    dialogs.openName = dir.filePath(QStringLiteral("missing.prg"));
    window->N7Click();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_NE(prompts.shown[0].text.find("missing.prg"), std::string::npos);
    EXPECT_EQ(panel(1), QStringLiteral("before"));
    EXPECT_EQ(workspace().ReceivedImage[0], 0x11);
    EXPECT_EQ(workspace().ConfigImage[0], 0x22);
    EXPECT_FALSE(workspace().flags.isSet(0));
    EXPECT_FALSE(window->writeControlsEnabled());

    dialogs.openName.clear();  // cancelled
    window->N7Click();
    EXPECT_EQ(prompts.shown.size(), 1u);
}

TEST_F(FileCommands, SavedFileLoadsBackByteForByte) {
    dialogs.openName = dir.filePath(QStringLiteral("source.prg"));
    ASSERT_TRUE(writeFile(dialogs.openName, pattern(4096, 3)));
    window->N7Click();
    dialogs.saveName = dir.filePath(QStringLiteral("copy.prg"));
    window->N5Click();
    EXPECT_EQ(panel(1), QStringLiteral(" Сохранение данных завершено. Файл ") +
                            QFileInfo(dialogs.saveName).absoluteFilePath());
    const QByteArray saved = readFile(dialogs.saveName);
    ASSERT_EQ(saved.size(), 4096);

    workspace().ConfigImage.fill(0);
    dialogs.openName = dialogs.saveName;
    window->N7Click();
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(workspace().ConfigImage.data()), 4096), saved);
    window->N5Click();
    EXPECT_EQ(readFile(dialogs.saveName), saved);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(FileCommands, FailedSaveIsReportedAndNeverClaimedDone) {
    window->setStatus(StatusPanel::Operation, "before");
    dialogs.saveName = dir.filePath(QStringLiteral("no/such/dir/out.prg"));
    window->N5Click();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_NE(prompts.shown[0].text.find("out.prg"), std::string::npos);
    EXPECT_EQ(panel(1), QStringLiteral("before"));
    EXPECT_FALSE(QFile::exists(dialogs.saveName));

    ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("plain")), "x"));
    dialogs.saveName = dir.filePath(QStringLiteral("plain/out.prg"));  // parent is a file
    window->N5Click();
    EXPECT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(panel(1), QStringLiteral("before"));
}

// The disk fills up half-way through the save (a file size limit that binds
// root too): the earlier file must survive whole.
TEST_F(FileCommands, SaveThatFailsHalfWayKeepsTheEarlierFile) {
    window->setStatus(StatusPanel::Operation, "before");
    dialogs.saveName = dir.filePath(QStringLiteral("old.prg"));
    const QByteArray earlier = pattern(4096, 9);
    ASSERT_TRUE(writeFile(dialogs.saveName, earlier));
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1000;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    window->N5Click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_NE(prompts.shown[0].text.find("old.prg"), std::string::npos) << prompts.shown[0].text;
    EXPECT_EQ(panel(1), QStringLiteral("before"));
    EXPECT_EQ(readFile(dialogs.saveName), earlier);
}

TEST_F(ModuleCommands, WriteAllQueuesTheTwentyJobsAfterConfirmation) {
    window->MainMenu1->N15->trigger();  // OK by default
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, "Записать настройки модуля ?");
    EXPECT_EQ(prompts.shown[0].caption, " Запись");
    EXPECT_EQ(prompts.shown[0].icon, MessageIcon::Information);
    const auto& jobs = workspace().queue.jobs();
    ASSERT_EQ(jobs.size(), 20u);
    EXPECT_EQ(jobs[0], (image::WriteJob{0, 64}));
    EXPECT_EQ(jobs[3], (image::WriteJob{192, 54}));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(jobs[static_cast<std::size_t>(4 + i)], (image::WriteJob{static_cast<std::int16_t>(750 + 64 * i), 64}));
    EXPECT_EQ(link.writeStarts, 1);
}

TEST_F(ModuleCommands, WriteAllStopsWithoutLinkOrOnCancel) {
    link.linkReady = false;
    window->N15Click();
    EXPECT_TRUE(prompts.shown.empty());
    link.linkReady = true;
    prompts.answers = {false};
    window->N15Click();
    EXPECT_TRUE(workspace().queue.empty());
    EXPECT_EQ(link.writeStarts, 0);
}

TEST_F(ModuleCommands, ReadAsksThePasswordWithoutTheNewRow) {
    window->N8Click();  // cancelled
    EXPECT_TRUE(link.readPasswords.isEmpty());
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("01234"), {}};
    window->N8Click();
    EXPECT_EQ(dialogs.passwordShownWithNew, (std::vector<bool>{false, false}));
    EXPECT_EQ(link.readPasswords, QStringList{"01234"});
}

TEST_F(ModuleCommands, PasswordChangeRules) {
    window->setStatus(StatusPanel::Operation, "before");
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("1234"), QStringLiteral("5")};
    window->N16Click();  // four characters: nothing sent, ReadPassword 0, and the panel says why
    EXPECT_EQ(dialogs.passwordShownWithNew, std::vector<bool>{true});
    EXPECT_TRUE(link.passwordChanges.empty());
    EXPECT_EQ(link.readPassword, std::optional<std::uint16_t>(0));
    EXPECT_EQ(panel(1), QStringLiteral(" Пароль не изменён: текущий пароль вводится пятью цифрами, например 00000"));
    EXPECT_TRUE(prompts.shown.empty());

    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("01234"), QStringLiteral("65535")};
    window->N16Click();
    EXPECT_EQ(panel(1), QString());
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("abcde"), QStringLiteral("0")};
    window->N16Click();
    ASSERT_EQ(link.passwordChanges.size(), 2u);
    EXPECT_EQ(link.passwordChanges[0], (std::pair<std::uint16_t, std::uint16_t>{1234, 65535}));
    EXPECT_EQ(link.passwordChanges[1], (std::pair<std::uint16_t, std::uint16_t>{0, 0}));

    // The new password is sent as its low 16 bits; a text that is not a number counts as 0.
    for (const char* next : {"65536", "99999", "", "12a"}) {
        dialogs.passwordAnswer = PasswordEntry{QStringLiteral("01234"), QString::fromLatin1(next)};
        window->N16Click();
    }
    ASSERT_EQ(link.passwordChanges.size(), 6u);
    EXPECT_EQ(link.passwordChanges[2].second, 0);
    EXPECT_EQ(link.passwordChanges[3].second, 99999 & 0xFFFF);
    EXPECT_EQ(link.passwordChanges[4].second, 0);
    EXPECT_EQ(link.passwordChanges[5].second, 0);
    EXPECT_TRUE(prompts.shown.empty());

    link.linkReady = false;
    window->N16Click();
    EXPECT_EQ(dialogs.passwordShownWithNew.size(), 7u);  // no dialog without a link
}

TEST_F(ModuleCommands, FactoryResetAsksAndPartitionResetQueuesOneByte) {
    prompts.answers = {false, true};
    window->N22Click();
    EXPECT_EQ(link.resets, 0);
    window->N22Click();
    EXPECT_EQ(link.resets, 1);
    EXPECT_EQ(prompts.shown[0].text, "Сброс настроек модуля");
    EXPECT_EQ(prompts.shown[0].caption, " Настройки");
    EXPECT_EQ(prompts.shown[0].icon, MessageIcon::Exclamation);

    window->N25Click();
    ASSERT_EQ(workspace().queue.size(), 1u);
    EXPECT_EQ(workspace().queue.head(), (image::WriteJob{1161, 1}));
    EXPECT_EQ(link.writeStarts, 1);
    EXPECT_EQ(link.ensureCalls, 2);  // only the reset opened the link
}

// While jobs wait or a read runs, nothing that reads, writes or saves starts
// (the menus, a page's own "Записать"): nothing changes, and the status bar says why.
TEST_F(ModuleCommands, TransfersAndSavesRefusedWhileATransferRuns) {
    const QString file = dir.filePath(QStringLiteral("other.prg"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(pattern(4096, 3));
    out.close();
    dialogs.openName = file;
    dialogs.saveName = dir.filePath(QStringLiteral("during.prg"));
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("00000"), QStringLiteral("12345")};
    window->SpeedButton5Click();  // as after a read: the write controls are on
    window->N15Click();
    const image::Image queued = workspace().ConfigImage;
    const std::size_t jobs = workspace().queue.size();
    auto* pageWrite = window->tabSheet(1)->findChild<QToolButton*>(QStringLiteral("SpeedButton9"));
    ASSERT_NE(pageWrite, nullptr);
    const auto& menu = *window->MainMenu1;
    for (const bool reading : {false, true}) {
        link.reading = reading;
        if (reading) workspace().queue.clear();
        const std::vector<std::function<void()>> commands = {
            [&] { menu.N7->trigger(); },  [&] { menu.N8->trigger(); },  [&] { menu.N15->trigger(); },
            [&] { menu.N5->trigger(); },  [&] { menu.N16->trigger(); }, [&] { menu.N22->trigger(); },
            [&] { menu.N25->trigger(); }, [&] { pageWrite->click(); }};
        for (const auto& command : commands) {
            window->StatusBar1->setPanelText(1, {});
            command();
            EXPECT_EQ(panel(1), reading ? " Идёт чтение данных из модуля. Дождитесь его завершения"
                                        : " Идёт запись данных в модуль. Дождитесь её завершения");
        }
        EXPECT_EQ(workspace().ConfigImage, queued);
        EXPECT_EQ(workspace().queue.size(), reading ? 0u : jobs);
        EXPECT_TRUE(link.readPasswords.isEmpty());
    }
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(link.writeStarts, 1);
    EXPECT_EQ(link.resets, 0);
    EXPECT_TRUE(link.passwordChanges.empty());
    EXPECT_FALSE(QFile::exists(dialogs.saveName));
}

TEST_F(ModuleCommands, ClosingAsksOnlyWhileJobsWait) {
    QCloseEvent idle;
    QCoreApplication::sendEvent(window.get(), &idle);
    EXPECT_TRUE(idle.isAccepted());
    EXPECT_TRUE(prompts.shown.empty());

    window->N25Click();
    prompts.answers = {false, true};
    QCloseEvent kept;
    QCoreApplication::sendEvent(window.get(), &kept);
    EXPECT_FALSE(kept.isAccepted());
    QCloseEvent closed;
    QCoreApplication::sendEvent(window.get(), &closed);
    EXPECT_TRUE(closed.isAccepted());
    EXPECT_EQ(prompts.shown.size(), 2u);
}

}  // namespace
}  // namespace kv6::app::test

namespace kv6::app::test {
namespace {

// A file made elsewhere shows on the "Объект" page, whose write button is
// usable from then on.
TEST_F(FileCommands, LoadedFileReachesTheObjectPage) {
    auto* button = window->findChild<QWidget*>(QStringLiteral("SpeedButton9"));
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isEnabled());

    image::Image source{};
    const char object[] = "123456AB120001";
    std::copy(object, object + 14, source.begin());
    dialogs.openName = dir.filePath(QStringLiteral("site.prg"));
    ASSERT_TRUE(writeFile(dialogs.openName,
                          QByteArray(reinterpret_cast<const char*>(source.data()), 4096)));
    window->MainMenu1->N7->trigger();

    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(window->configuration().object.values().objectNumber, "123456");
    auto* grid = window->findChild<widgets::ValueListEditor*>(QStringLiteral("ValueListEditor1"));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->value(0), QStringLiteral("123456"));
    EXPECT_EQ(grid->value(1), QStringLiteral("AB12"));
    EXPECT_EQ(grid->value(2), QStringLiteral("0001"));
}

}  // namespace
}  // namespace kv6::app::test
