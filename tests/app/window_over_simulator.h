#pragma once

#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

#include "app/main_window.h"
#include "app/panel_status_bar.h"
#include "app_test_support.h"

namespace kv6::app::test {

// The desktop window against kv6sim: a folder holding the module's image
// (module.prg) and, once the simulator has stopped, its memory (after.prg).
class WindowOverSimulator : public ::testing::Test {
protected:
    [[nodiscard]] virtual QByteArray moduleImage() const = 0;

    void SetUp() override {
        qtApp();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(writeFile(dir.filePath("module.prg"), moduleImage()));
    }
    void TearDown() override {
        window.reset();
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            if (!sim.waitForFinished(5000)) sim.kill();
        }
    }
    void makeWindow(quint16 remotePort = 8099) {
        TForm1Options options;
        options.prompts = &prompts;
        options.dialogs = &dialogs;
        options.programDirectory = dir.path();
        options.fallbackDirectory = dir.path();
        options.loadSideFilesOnStart = false;
        options.remotePort = remotePort;
        window = std::make_unique<TForm1>(options);
    }
    [[nodiscard]] static quint16 freeLoopbackPort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }
    // "Удалённый доступ" on `port`, and the simulated module (object 4321)
    // calling in until the window names it.
    void connectRemoteModule(quint16 port) {
        window->MainMenu1->N18->trigger();
        sim.start(QStringLiteral(KV6SIM_PATH), {"--connect", QStringLiteral("127.0.0.1:%1").arg(port), "--object",
                                                "4321", "--image", dir.filePath("module.prg"), "--save",
                                                dir.filePath("after.prg")});
        ASSERT_TRUE(waitUntil([&] { return panel(2) == QStringLiteral("Удалённый доступ. Объект 4321"); }, 10000))
            << panel(2).toStdString();
    }
    [[nodiscard]] QString panel(int index) const { return window->StatusBar1->panelText(index); }
    [[nodiscard]] QByteArray savedMemory() {
        sim.terminate();
        sim.waitForFinished(5000);
        return readFile(dir.filePath("after.prg"));
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    ScriptedDialogs dialogs;
    QProcess sim;
    std::unique_ptr<TForm1> window;
};

}  // namespace kv6::app::test
