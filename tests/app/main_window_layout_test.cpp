#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeWidget>

#include "app/main_menu.h"
#include "window_fixture.h"

namespace kv6::app::test {
namespace {

using MainWindowLayout = WindowTest;

// One menu as "text" entries, "-" for separators, "(hidden)"/"(off)" marks.
QStringList describe(const QList<QAction*>& actions) {
    QStringList items;
    for (QAction* action : actions) {
        if (action->isSeparator()) {
            items << QStringLiteral("-");
            continue;
        }
        QString item = action->text();
        if (!action->isVisible()) item += QStringLiteral(" (hidden)");
        else if (!action->isEnabled()) item += QStringLiteral(" (off)");  // hidden reads as disabled
        items << item;
    }
    return items;
}

TEST_F(MainWindowLayout, CaptionNameAndFixedSize) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Korvel_KV6"));
    EXPECT_EQ(window->objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_GE(window->width(), TForm1::kClientWidth);
    EXPECT_GE(window->height(), TForm1::kClientHeight);
    // A 1366 x 768 laptop screen at 125 % (1092 x 614) with a title bar and
    // a taskbar: the grids scroll instead.
    EXPECT_LE(window->frameGeometry().height(), 540);
    EXPECT_LE(window->frameGeometry().width(), 1092);
}

TEST_F(MainWindowLayout, CtrlTabMovesBetweenTheShownTabsOnly) {
    QTabWidget* tabs = window->PageControl1;
    const auto press = [tabs](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(tabs, &event);
    };
    QStringList seen;
    for (int i = 0; i < 7; ++i) {
        press(Qt::Key_Tab, Qt::ControlModifier);
        seen << tabs->tabText(tabs->currentIndex());
    }
    EXPECT_EQ(seen, (QStringList{"GSM номера", "Коды и Разделы", "SMS сообщения", "Характеристики", "Настройки ",
                                 "Журнал событий", "Объект"}));
    press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Журнал событий");
    press(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    press(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tabs->tabText(tabs->currentIndex()), "Характеристики");
}

TEST_F(MainWindowLayout, VisibleTabsInOrderAndHiddenSheetsStillExist) {
    QTabWidget* tabs = window->PageControl1;
    ASSERT_EQ(tabs->count(), TForm1::kSheetCount);
    QStringList visible;
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->isTabVisible(i)) visible << tabs->tabText(i);
    EXPECT_EQ(visible, (QStringList{"Объект", "GSM номера", "Коды и Разделы", "SMS сообщения", "Характеристики",
                                    "Настройки ", "Журнал событий"}));
    for (int n : {4, 5, 7, 10}) {
        QWidget* sheet = window->tabSheet(n);
        ASSERT_NE(sheet, nullptr) << n;
        EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(sheet))) << n;
    }
    EXPECT_EQ(tabs->widget(7)->objectName(), QStringLiteral("TabSheet11"));
    EXPECT_EQ(tabs->currentIndex(), 0);
}

TEST_F(MainWindowLayout, MenuTree) {
    QMenuBar* bar = window->menuBar();
    EXPECT_EQ(describe(bar->actions()), (QStringList{"Файл", "Настройки", "Считать", "test (hidden)",
                                                     "Записать (off)", "Удалённый доступ"}));
    const MainMenu& m = *window->MainMenu1;
    EXPECT_EQ(describe(m.FileMenu->actions()),
              (QStringList{"Сохранить в файл", "Загрузить из файла", "-", "Выйти"}));
    EXPECT_EQ(m.N3->shortcut(), QKeySequence(QStringLiteral("Ctrl+A")));
    EXPECT_EQ(describe(m.SettingsMenu->actions()),
              (QStringList{"COM порт", "Язык / Language", "-", "Дополнительно", "-", "Сменить пароль доступа (off)", "-",
                           "Сброс настроек прибора", "-", "Сброс (hidden)"}));
    EXPECT_EQ(describe(m.ResetMenu->actions()), QStringList{"Состояние разделов"});
    EXPECT_EQ(describe(m.LanguageMenu->actions()), (QStringList{"Русский", "English"}));
    EXPECT_TRUE(m.N11->isCheckable());
    EXPECT_FALSE(m.N11->isChecked());
    EXPECT_EQ(describe(m.ReadMenu->actions()), QStringList{"Настройки модуля"});
    EXPECT_EQ(describe(m.N14->actions()), QStringList{"Настройки модуля"});
    EXPECT_EQ(describe(m.IP1->actions()), (QStringList{"Ожидание", "-", "Разъединить"}));
    for (const char* name : {"N5", "N7", "N3", "COM1", "N11", "N16", "N22", "N25", "N8", "N15", "N18", "N19"})
        EXPECT_NE(window->findChild<QAction*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_NE(window->findChild<QMenu*>(QStringLiteral("N14")), nullptr);
    EXPECT_NE(window->findChild<QMenu*>(QStringLiteral("IP1")), nullptr);
    EXPECT_EQ(describe(window->PopupMenu2->actions()), (QStringList{"-", "Очистить журнал событий (off)"}));
}

TEST_F(MainWindowLayout, AdvancedTickTogglesAndSignals) {
    SignalRecorder spy(window.get(), &TForm1::advancedToggled);
    window->MainMenu1->N11->trigger();
    window->MainMenu1->N11->trigger();
    ASSERT_EQ(spy.count(), 2);
    EXPECT_TRUE(spy.values.at(0).at(0).toBool());
    EXPECT_FALSE(spy.values.at(1).at(0).toBool());
}

TEST_F(MainWindowLayout, WriteControlsEnableTogetherAndLateRegistrationFollows) {
    QPushButton early;
    window->registerWriteControl(&early);
    EXPECT_FALSE(early.isEnabled());
    {
        QPushButton gone;
        window->registerWriteControl(&gone);
    }  // a control that died before the enable must not be touched
    window->SpeedButton5Click();
    EXPECT_TRUE(early.isEnabled());
    EXPECT_TRUE(window->MainMenu1->N16->isEnabled());
    EXPECT_TRUE(window->MainMenu1->N14->menuAction()->isEnabled());
    EXPECT_TRUE(window->N13->isEnabled());
    QPushButton late;
    window->registerWriteControl(&late);
    EXPECT_TRUE(late.isEnabled());
}

TEST_F(MainWindowLayout, StatusSinkReachesThePanels) {
    window->setStatus(StatusPanel::Port, "COM3");
    window->setStatus(StatusPanel::Operation, " Чтение данных завершено");
    window->setStatus(StatusPanel::Remote, "Удалённый доступ. Разъеденён");
    EXPECT_EQ(panel(0), QStringLiteral("COM3"));
    EXPECT_EQ(panel(1), QStringLiteral(" Чтение данных завершено"));
    EXPECT_EQ(panel(2), QStringLiteral("Удалённый доступ. Разъеденён"));
    EXPECT_EQ(PanelStatusBar::panelColor(2), QColor(128, 0, 0));
}

TEST_F(MainWindowLayout, RemoteMenuAndHiddenTestTimer) {
    window->MainMenu1->N18->trigger();
    EXPECT_TRUE(link.listening);
    window->MainMenu1->N19->trigger();
    EXPECT_FALSE(link.listening);
    EXPECT_FALSE(window->Timer3->isActive());
    window->MainMenu1->dad1->trigger();
    EXPECT_TRUE(window->Timer3->isActive());
    EXPECT_EQ(window->Timer3->interval(), 15000);
    window->MainMenu1->dad1->trigger();
    EXPECT_FALSE(window->Timer3->isActive());
}

}  // namespace
}  // namespace kv6::app::test
