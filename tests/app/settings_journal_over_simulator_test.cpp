// The "Настройки " and "Журнал событий" pages against the simulated module:
// a read shows the devices, the journal and the state; both write buttons
// and the journal clear reach the module, over the cable and over TCP.
#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <functional>

#include "app/main_menu.h"
#include "app/main_window.h"
#include "app/panel_status_bar.h"
#include "app_test_support.h"
#include "window_over_simulator.h"

namespace kv6::app::test {
namespace {

class SettingsJournalOverSimulator : public WindowOverSimulator {
protected:
    // Devices 3 and 9 (3 on the bus), one journal event, partitions 1 and 3 armed.
    [[nodiscard]] QByteArray moduleImage() const override {
        QByteArray image(4096, '\0');
        image[244] = 0;  // read password 0
        image[245] = 0;
        image.replace(246 + 9 * 4, 9, QByteArray::fromHex("3d982ed311300001 05"));
        image.replace(1509, 16, QByteArray(16, '\xFF'));
        image[1509] = 3;
        image[1510] = 9;
        image[1581] = 0x01;
        image[1161] = 0x05;
        return image;
    }
    void makeWindow(quint16 remotePort = 8099) {
        WindowOverSimulator::makeWindow(remotePort);
        window->findChild<QComboBox*>("ComboBox18")->setCurrentIndex(2);  // "GMT+03:00"
    }
    void read() {
        dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), QString()};
        window->MainMenu1->N8->trigger();
        ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Чтение данных завершено"); }, 30000))
            << panel(1).toStdString();
    }
    // Presses a button and waits for its jobs to be acknowledged.
    void writeWith(const std::function<void()>& press) {
        window->setStatus(StatusPanel::Operation, "");
        press();
        ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Запись данных завершена"); }, 30000))
            << panel(1).toStdString();
    }
    void writeEverything() {
        writeWith([&] { window->findChild<QToolButton*>("SpeedButton16")->click(); });
        writeWith([&] { window->findChild<QToolButton*>("SpeedButton17")->click(); });
        writeWith([&] { window->N13->trigger(); });
    }
    void checkModuleAfterWrites() {
        const QByteArray memory = savedMemory();
        ASSERT_EQ(memory.size(), 4096);
        EXPECT_EQ(memory.mid(246, 450), QByteArray(450, '\0'));
        EXPECT_EQ(memory.mid(1509, 3), QByteArray::fromHex("0309ff"));
        EXPECT_EQ(memory.mid(1588, 15), QByteArray(15, '\0'));
    }
};

TEST_F(SettingsJournalOverSimulator, OverTheCable) {
    sim.start(QStringLiteral(KV6SIM_PATH),
              {"--serial", "--image", dir.filePath("module.prg"), "--save", dir.filePath("after.prg")});
    ASSERT_TRUE(sim.waitForReadyRead(5000));
    ASSERT_TRUE(writeFile(dir.filePath("param2"), QString::fromLocal8Bit(sim.readLine()).trimmed().toLocal8Bit() + "\n"));
    makeWindow();
    read();

    auto* devices = window->findChild<QTreeWidget*>("ListView2");
    ASSERT_EQ(devices->topLevelItemCount(), 2);
    EXPECT_EQ(devices->topLevelItem(0)->text(1), "3");
    EXPECT_EQ(devices->topLevelItem(0)->text(3), "Да");
    EXPECT_EQ(devices->topLevelItem(1)->text(3), "Нет");
    const QTreeWidgetItem* newest = window->ListView3->topLevelItem(0);
    EXPECT_EQ(newest->text(0), "2012-04-10 14-30-05");
    EXPECT_EQ(newest->text(1), "1130");
    auto* memo = window->findChild<QPlainTextEdit*>("Memo7");
    EXPECT_TRUE(memo->toPlainText().contains("Раздел3: Охране"));

    writeEverything();
    checkModuleAfterWrites();
}

TEST_F(SettingsJournalOverSimulator, Remotely) {
    const quint16 port = freeLoopbackPort();
    makeWindow(port);
    auto* date = window->findChild<QDateEdit*>("DateTimePicker1");
    date->setDate(QDate(2001, 1, 1));
    ASSERT_NO_FATAL_FAILURE(connectRemoteModule(port));
    EXPECT_EQ(date->date(), QDate::currentDate());  // set as the module connected

    read();
    EXPECT_EQ(window->ListView3->topLevelItem(0)->text(0), "2012-04-10 14-30-05");
    EXPECT_TRUE(window->findChild<QPlainTextEdit*>("Memo7")->toPlainText().isEmpty());  // serial reads only
    EXPECT_EQ(window->findChild<QTreeWidget*>("ListView2")->topLevelItem(0)->text(3), "Да");

    writeEverything();
    checkModuleAfterWrites();
}

}  // namespace
}  // namespace kv6::app::test
