// The desktop tool driven through its menus against the simulated module:
// over the cable (pseudo-terminal) and over TCP, with the real module link.
#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <functional>

#include "app/main_menu.h"
#include "app/main_window.h"
#include "app/panel_status_bar.h"
#include "app_test_support.h"
#include "window_over_simulator.h"
#include "e2e/write_all_check.h"
#include "pages/events/events_page.h"
#include "pages/routing/tform5_dialog.h"
#include "pages/zones/zones_page.h"
#include <QComboBox>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeWidget>

namespace kv6::app::test {
namespace {

class DesktopOverSimulator : public WindowOverSimulator {
protected:
    [[nodiscard]] QByteArray moduleImage() const override {
        QByteArray image(4096, '\0');
        for (int i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 31 + 7) & 0x7F);
        image.replace(0, 14, "123456AB120001");
        image[244] = 0;  // read password 0
        image[245] = 0;
        return image;
    }

    // Starts the module on a pseudo-terminal with `options` beside the serial
    // ones and names its line in param2 (the read command takes the port from
    // there), with `paramTail` after it. Returns the line's device.
    QString startCableModule(const QStringList& options, const QByteArray& paramTail = {}) {
        sim.start(QStringLiteral(KV6SIM_PATH), QStringList{"--serial"} + options +
                                                   QStringList{"--image", dir.filePath("module.prg"), "--save",
                                                               dir.filePath("after.prg")});
        if (!sim.waitForReadyRead(5000)) return {};
        const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
        QFile param2(dir.filePath("param2"));
        if (!param2.open(QIODevice::WriteOnly)) return {};
        param2.write(device.toLocal8Bit() + "\n" + paramTail);
        return device;
    }
};

class DesktopOverCable : public DesktopOverSimulator, public ::testing::WithParamInterface<const char*> {};

// Without a pace line (the module's pacing) and with "pace=reactive" in param2.
TEST_P(DesktopOverCable, ReadAndWriteAll) {
    const QString device = startCableModule({}, GetParam());
    ASSERT_FALSE(device.isEmpty());
    makeWindow();

    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), QString()};
    window->MainMenu1->N8->trigger();
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Чтение данных завершено"); }, 20000))
        << panel(1).toStdString();
    EXPECT_TRUE(window->findChild<QWidget*>(QStringLiteral("SpeedButton9"))->isEnabled());
    EXPECT_EQ(window->configuration().object.values().objectNumber, "123456");
    EXPECT_EQ(panel(0), device) << "as the port dialog leaves it";

    window->configuration().object.values().objectNumber = "777777";
    window->MainMenu1->N15->trigger();  // the question is answered OK
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Запись данных завершена"); }, 30000))
        << panel(1).toStdString();
    EXPECT_EQ(prompts.shown.back().text, "Записать настройки модуля ?");
    EXPECT_EQ(savedMemory().left(6), QByteArray("777777"));
}

INSTANTIATE_TEST_SUITE_P(Pacing, DesktopOverCable, ::testing::Values("", "pace=reactive\n"));

// A module that answers 700 ms late on a 9600 baud line: the read ends with
// the module's own bytes (a block asked for again and answered twice used to
// shift every later block by one), and writing all settings back unchanged
// gives the module what writing its own image would.
TEST_F(DesktopOverSimulator, ASlowModuleIsReadExactlyAndWrittenBackUnchanged) {
    ASSERT_FALSE(startCableModule({"--line-rate", "--delay", "700"}).isEmpty());
    makeWindow();
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), QString()};
    window->MainMenu1->N8->trigger();
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Чтение данных завершено"); }, 40000))
        << panel(1).toStdString();
    const QByteArray module = moduleImage();
    const auto& received = window->configuration().workspace.ReceivedImage;
    ASSERT_EQ(QByteArray(reinterpret_cast<const char*>(received.data()), 2000), module.left(2000));

    window->MainMenu1->N15->trigger();
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Запись данных завершена"); }, 90000))
        << panel(1).toStdString();
    image::Image before{};
    std::copy(module.begin(), module.end(), before.begin());
    kv6::e2e::expectWrittenAll(dir.filePath("module.prg"), before, savedMemory());
}

TEST_F(DesktopOverSimulator, RemoteReadWriteAndResetFromTheMenus) {
    const quint16 port = freeLoopbackPort();
    makeWindow(port);
    ASSERT_NO_FATAL_FAILURE(connectRemoteModule(port));

    dialogs.passwordAnswer = PasswordEntry{QString(), QString()};  // empty: 0xFFFF, the module has 0
    window->MainMenu1->N8->trigger();
    ASSERT_TRUE(waitUntil(
        [&] { return panel(1) == QStringLiteral("!!! ОШИБКА чтение данных - Пароль не совпал"); }, 10000));

    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), QString()};
    window->MainMenu1->N8->trigger();
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Чтение данных завершено"); }, 30000))
        << panel(1).toStdString();
    EXPECT_EQ(window->configuration().object.values().objectNumber, "123456");

    window->MainMenu1->N15->trigger();
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Запись данных завершена"); }, 30000))
        << panel(1).toStdString();

    window->MainMenu1->N22->trigger();
    ASSERT_TRUE(waitUntil(
        [&] { return panel(1) == QStringLiteral(" Настройки модуля приведены к заводским"); }, 10000))
        << panel(1).toStdString();

    window->MainMenu1->N19->trigger();
    EXPECT_EQ(panel(2), QStringLiteral("Удалённый доступ. Разъеденён"));
}

TEST_F(DesktopOverSimulator, RoutingAndZonesPagesWriteTheirEditsOverTheCable) {
    ASSERT_FALSE(startCableModule({}).isEmpty());
    makeWindow();
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), QString()};
    window->MainMenu1->N8->trigger();
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Чтение данных завершено"); }, 20000))
        << panel(1).toStdString();

    auto* events = window->tabSheet(4)->findChild<pages::EventsPage*>();
    auto* zones = window->tabSheet(11)->findChild<pages::ZonesPage*>();
    ASSERT_TRUE(events && zones);
    window->Form5->setRunner([](pages::TForm5& d) {
        d.Edit1->setText(QStringLiteral("130"));
        d.ComboBox1->setCurrentIndex(2);
        return true;
    });
    events->ListView1->setCurrentItem(events->ListView1->topLevelItem(13));
    events->ListView1DblClick();
    events->SpeedButton10->click();
    EXPECT_TRUE(events->marks().anyMarked()) << "on its way, not yet in the module";
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Запись данных завершена"); }, 30000))
        << panel(1).toStdString();
    EXPECT_FALSE(events->marks().anyMarked());

    window->StatusBar1->setPanelText(1, QString());
    window->Form5->setRunner([](pages::TForm5& d) {
        d.Edit3->setText(QStringLiteral("602"));
        d.ComboBox3->setCurrentIndex(4);
        d.ComboBox7->setCurrentIndex(19);
        return true;
    });
    zones->ValueListEditor8EditButtonClick(1);
    zones->SpeedButton13->click();
    ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Запись данных завершена"); }, 30000))
        << panel(1).toStdString();
    const QByteArray memory = savedMemory();
    ASSERT_EQ(memory.size(), 4096);
    EXPECT_EQ(memory.mid(402, 3), QByteArray("130"));
    EXPECT_EQ(memory[402 + 7], 2);
    EXPECT_EQ(memory.mid(1091, 2), QByteArray("\x06\x02", 2));
    EXPECT_EQ(quint8(memory[1546]), 0x34);
    EXPECT_EQ(quint8(memory[1276]) & 0xC0, 0x40);
}

}  // namespace
}  // namespace kv6::app::test
