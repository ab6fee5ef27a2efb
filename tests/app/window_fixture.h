#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

#include "app/main_window.h"
#include "app/panel_status_bar.h"
#include "app_test_support.h"

namespace kv6::app::test {

// A window on scripted prompts, dialogs and link, with its side-file
// directories in a temporary directory.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtApp();
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkdir(QStringLiteral("program"));
        QDir(dir.path()).mkdir(QStringLiteral("current"));
        window = std::make_unique<TForm1>(options());
    }

    // What SetUp builds its window with; a test may build another.
    [[nodiscard]] TForm1Options options() {
        TForm1Options options;
        options.prompts = &prompts;
        options.dialogs = &dialogs;
        options.link = &link;
        options.programDirectory = programDir();
        options.fallbackDirectory = dir.filePath(QStringLiteral("current"));
        options.configDirectories = {dir.filePath(QStringLiteral("config"))};
        options.dataDirectories = {dir.filePath(QStringLiteral("share"))};
        options.loadSideFilesOnStart = false;
        options.language = language;
        return options;
    }

    // The package's event descriptions, both languages, in the data folder.
    void shipJournalTexts() const {
        QDir(dir.path()).mkpath(QStringLiteral("share"));
        for (const char* name : {"parame", "parame.en"}) {
            const QString from = QStringLiteral(KV6_SOURCE_DIR "/packaging/") + QString::fromLatin1(name);
            ASSERT_TRUE(QFile::copy(from, dir.filePath(QStringLiteral("share/")) + QString::fromLatin1(name))) << name;
        }
    }

    // A configuration file whose journal holds two events: 1130 (an
    // intrusion alarm) and 3401 (armed by a user), both partition 1, zone 5.
    // Records 40 and 41 lie past the event table that shares the journal's
    // bytes in a file, whose codes would show the time bytes as letters.
    [[nodiscard]] QString journalEventsFile() const {
        QByteArray image(4096, '\0');
        const char intrusion[] = {'\x3D', '\x98', '\x2E', '\xD3', '\x11', '\x30', '\x00', '\x01', '\x05'};
        const char armed[] = {'\x3D', '\x98', '\x2F', '\xD3', '\x34', '\x01', '\x00', '\x01', '\x05'};
        image.replace(246 + 9 * 40, 9, intrusion, 9);
        image.replace(246 + 9 * 41, 9, armed, 9);
        const QString path = dir.filePath(QStringLiteral("events.prg"));
        return writeFile(path, image) ? path : QString();
    }

    [[nodiscard]] QString programDir() const { return dir.filePath(QStringLiteral("program")); }
    [[nodiscard]] QString panel(int index) const { return window->StatusBar1->panelText(index); }
    [[nodiscard]] image::Workspace& workspace() { return window->configuration().workspace; }

    QTemporaryDir dir;
    UiLanguage language = UiLanguage::Russian;  // the window's; set before SetUp
    ScriptedPrompts prompts;
    ScriptedDialogs dialogs;
    FakeLink link;
    std::unique_ptr<TForm1> window;
};

}  // namespace kv6::app::test
