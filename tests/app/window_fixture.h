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
        return options;
    }

    [[nodiscard]] QString programDir() const { return dir.filePath(QStringLiteral("program")); }
    [[nodiscard]] QString panel(int index) const { return window->StatusBar1->panelText(index); }
    [[nodiscard]] image::Workspace& workspace() { return window->configuration().workspace; }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    ScriptedDialogs dialogs;
    FakeLink link;
    std::unique_ptr<TForm1> window;
};

}  // namespace kv6::app::test
