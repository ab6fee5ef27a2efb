#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include "app/main_menu.h"
#include "app/password_dialog.h"
#include "app/tab_change_marks.h"
#include "widgets/value_list_editor.h"
#include "window_fixture.h"

namespace kv6::app::test {
namespace {

class WindowTabsAndKeys : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        tabs = window->PageControl1;
        bar = tabs->tabBar();
        window->show();
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    [[nodiscard]] QString current() const { return tabs->tabText(tabs->currentIndex()); }
    [[nodiscard]] bool currentShown() const { return tabs->isTabVisible(tabs->currentIndex()); }
    void wheel(int angle) {
        const QPointF at(bar->width() / 2.0, bar->height() / 2.0);
        QWheelEvent event(at, bar->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(bar, &event);
    }
    // A user's edit of the APN on "Объект": marks that tab.
    void editApn() {
        auto* grid = window->findChild<widgets::ValueListEditor*>(QStringLiteral("ValueListEditor2"));
        ASSERT_NE(grid, nullptr);
        ASSERT_TRUE(grid->commitUserValue(2, QStringLiteral("internet")));
        ASSERT_EQ(tabs->tabText(0), "Объект •");
    }

    QTabWidget* tabs = nullptr;
    QTabBar* bar = nullptr;
};

// One edit made the bar too wide: scroll arrows came up and hid the later tabs.
TEST_F(WindowTabsAndKeys, EveryShownTabStaysWholeInTheBarMarkedOrNot) {
    const auto check = [&](const char* when) {
        QApplication::processEvents();
        for (QToolButton* arrow : bar->findChildren<QToolButton*>())
            EXPECT_FALSE(arrow->isVisible()) << when << ": a scroll arrow shows";
        const QRect inWindow(bar->mapTo(window.get(), QPoint()), bar->size());
        EXPECT_TRUE(window->rect().contains(inWindow)) << when;
        for (int i = 0; i < tabs->count(); ++i) {
            if (!tabs->isTabVisible(i)) continue;
            const QRect tab = bar->tabRect(i);
            EXPECT_TRUE(bar->rect().contains(tab)) << when << ": " << tabs->tabText(i).toStdString();
            EXPECT_GE(tab.width(), bar->fontMetrics().horizontalAdvance(tabs->tabText(i)))
                << when << ": " << tabs->tabText(i).toStdString();
        }
    };
    check("unmarked");
    editApn();
    check("one mark");
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->isTabVisible(i)) tabs->setTabText(i, TabChangeMarks::markedCaption(tabs->tabText(i), true));
    tabs->setCurrentIndex(0);
    check("every shown tab marked, the first current");
    tabs->setCurrentIndex(tabs->indexOf(window->tabSheet(9)));
    check("every shown tab marked, the last current");
}

TEST_F(WindowTabsAndKeys, TheWheelStepsOverTheShownTabsOnly) {
    editApn();
    QStringList seen;
    for (int i = 0; i < 8; ++i) {
        wheel(-120);
        seen << current();
    }
    EXPECT_EQ(seen, (QStringList{"GSM номера", "Коды и Разделы", "SMS сообщения", "Характеристики", "Настройки ",
                                 "Журнал событий", "Объект •", "GSM номера"}));
    for (int i = 0; i < 2; ++i) wheel(120);
    EXPECT_EQ(current(), "Журнал событий");
    // A touchpad turns in small steps: they add up to one tab.
    wheel(40);
    wheel(40);
    EXPECT_EQ(current(), "Журнал событий");
    wheel(40);
    EXPECT_EQ(current(), "Настройки ");
}

TEST_F(WindowTabsAndKeys, NoKeyOrClickOnTheBarReachesAHiddenPage) {
    bar->setFocus();
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < tabs->count() + 1; ++i) {
            QTest::keyClick(bar, Qt::Key_Right);
            EXPECT_TRUE(currentShown()) << current().toStdString();
        }
        for (int i = 0; i < tabs->count() + 1; ++i) {
            QTest::keyClick(bar, Qt::Key_Left);
            EXPECT_TRUE(currentShown()) << current().toStdString();
        }
    }
    for (int x = 0; x < bar->width(); x += 4) {
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(x, bar->height() / 2));
        EXPECT_TRUE(currentShown()) << x;
    }
    // Whatever else asks for a hidden sheet, the shown one stays.
    tabs->setCurrentIndex(1);
    tabs->setCurrentWidget(window->tabSheet(4));
    EXPECT_EQ(current(), "GSM номера");
    // Its controls are not disabled with its tab: the event page's button works from the start.
    EXPECT_TRUE(window->tabSheet(4)->isEnabled());
}

// Ctrl+Tab in a grid used to move between its cells.
TEST_F(WindowTabsAndKeys, CtrlTabChangesThePageWhereverTheFocusIs) {
    auto* grid = window->findChild<widgets::ValueListEditor*>(QStringLiteral("ValueListEditor1"));
    ASSERT_NE(grid, nullptr);
    grid->setFocus();
    grid->setCurrentCell(0, 1);
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(current(), "GSM номера");
    EXPECT_EQ(grid->currentRow(), 0);
    EXPECT_EQ(grid->currentColumn(), 1) << "the grid's cell stays";

    auto* gsmGrid = window->findChild<widgets::ValueListEditor*>(QStringLiteral("ValueListEditor3"));
    ASSERT_NE(gsmGrid, nullptr);
    gsmGrid->setFocus();
    QTest::keyClick(gsmGrid, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(current(), "Объект");
    QTest::keyClick(gsmGrid, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(current(), "Журнал событий");

    tabs->setCurrentIndex(0);
    auto* pin = window->findChild<QLineEdit*>(QStringLiteral("Edit5"));
    ASSERT_NE(pin, nullptr);
    pin->setFocus();
    QTest::keyClick(pin, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(current(), "GSM номера");
}

TEST_F(WindowTabsAndKeys, CtrlAInATextFieldAsksAboutUnsavedEditsAsFromAGrid) {
    editApn();
    auto* pin = window->findChild<QLineEdit*>(QStringLiteral("Edit5"));
    ASSERT_NE(pin, nullptr);
    pin->setFocus();
    prompts.answers = {false};
    QTest::keyClick(pin, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(prompts.shown.size(), 1U);
    EXPECT_EQ(prompts.shown[0].text,
              "Изменённые поля не записаны в модуль и не сохранены в файл. Отменить изменения ?");
    EXPECT_TRUE(window->isVisible());

    auto* grid = window->findChild<widgets::ValueListEditor*>(QStringLiteral("ValueListEditor1"));
    grid->setFocus();
    prompts.answers = {false};
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(prompts.shown.size(), 2U);
    EXPECT_EQ(prompts.shown[1].text, prompts.shown[0].text);

    pin->setFocus();
    prompts.answers = {true};
    QTest::keyClick(pin, Qt::Key_A, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible()) << "the edits given up, the window closed";
}

TEST_F(WindowTabsAndKeys, KeysInADialogOfTheWindowStayTheDialogs) {
    TPasswordDlg dialog(window.get());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.Password->setText(QStringLiteral("123"));
    dialog.Password->setFocus();
    QTest::keyClick(dialog.Password, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(dialog.Password->selectedText(), QStringLiteral("123"));
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(dialog.Password, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(current(), "Объект");
}

}  // namespace
}  // namespace kv6::app::test
