// What the pages show after a remote read is what the module gets back, by
// a page button and by "write all settings", against a module calling in.
#include <QToolButton>
#include <gtest/gtest.h>

#include "app/main_menu.h"
#include "pages/routing/tform5_dialog.h"
#include "pages/zones/zones_page.h"
#include "widgets/spin_edit.h"
#include "window_over_simulator.h"
#include <QCheckBox>
#include <QComboBox>

namespace kv6::app::test {
namespace {

class PagesOverRemote : public WindowOverSimulator {
protected:
    [[nodiscard]] QByteArray moduleImage() const override {
        QByteArray image(4096, '\0');
        image.replace(0, 6, "123456");
        image[1603] = 4;  // SMS backup to GSM number 4
        image[1604] = static_cast<char>(0x81);
        image[1641] = 4;  // anti-bounce count
        return image;
    }
    void readRemotely() {
        const quint16 port = freeLoopbackPort();
        makeWindow(port);
        ASSERT_NO_FATAL_FAILURE(connectRemoteModule(port));
        dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), QString()};
        window->MainMenu1->N8->trigger();
        ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Чтение данных завершено"); }, 30000))
            << panel(1).toStdString();
    }
    void waitForWrite() {
        ASSERT_TRUE(waitUntil([&] { return panel(1) == QStringLiteral(" Запись данных завершена"); }, 30000))
            << panel(1).toStdString();
    }
};

TEST_F(PagesOverRemote, SmsPageButtonWritesBackTheBackupAndReservesItRead) {
    readRemotely();
    window->tabSheet(6)->findChild<QToolButton*>(QStringLiteral("SpeedButton11"))->click();
    waitForWrite();
    const QByteArray memory = savedMemory();
    EXPECT_EQ(memory.mid(1603, 2), QByteArray("\x04\x81", 2));
}

TEST_F(PagesOverRemote, WriteAllSendsTheAntiBounceZoneReserveAndSmsBackupOnScreen) {
    readRemotely();
    auto* zones = window->tabSheet(11)->findChild<pages::ZonesPage*>();
    ASSERT_TRUE(zones);
    zones->UpDown12->setValue(9);
    window->Form5->setRunner([](pages::TForm5& d) {
        d.CheckBox4->setChecked(true);  // "Вкл. Резервный SMS канал"
        return true;
    });
    zones->ValueListEditor8EditButtonClick(1);
    window->tabSheet(6)->findChild<QComboBox*>(QStringLiteral("ComboBox19"))->setCurrentIndex(5);
    window->tabSheet(6)->findChild<QCheckBox*>(QStringLiteral("CheckBox7"))->setChecked(true);  // "Взятие" reserve
    window->MainMenu1->N15->trigger();
    waitForWrite();
    const QByteArray memory = savedMemory();
    EXPECT_EQ(memory[1641], 9);
    EXPECT_EQ(memory[1610], 1);
    EXPECT_EQ(memory.mid(1603, 2), QByteArray("\x05\x83", 2));
}

}  // namespace
}  // namespace kv6::app::test
