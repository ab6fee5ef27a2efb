#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QTimer>
#include <QTabWidget>
#include <QTableWidget>

#include "pages/common/page_widget.h"
#include "widgets/value_list_editor.h"
#include "window_fixture.h"

namespace kv6::app::test {
namespace {

class WindowChangeMarks : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QByteArray image(4096, '\0');
        image.replace(0, 6, "123456");
        ASSERT_TRUE(writeFile(dir.filePath("site.prg"), image));
        dialogs.openName = dir.filePath("site.prg");
        window->N7Click();
        prompts.shown.clear();
        apnGrid = window->findChild<widgets::ValueListEditor*>(QStringLiteral("ValueListEditor2"));
        ASSERT_NE(apnGrid, nullptr);
    }
    [[nodiscard]] QString caption(int index) const { return window->PageControl1->tabText(index); }
    [[nodiscard]] bool apnMarked() const { return apnGrid->item(kApnRow, 1)->font().bold(); }

    static constexpr int kApnRow = 2;
    widgets::ValueListEditor* apnGrid = nullptr;
};

TEST_F(WindowChangeMarks, AnEditMarksItsCellAndTabUntilReverted) {
    EXPECT_EQ(caption(0), "Объект");
    ASSERT_TRUE(apnGrid->commitUserValue(kApnRow, QStringLiteral("internet")));
    EXPECT_TRUE(apnMarked());
    EXPECT_FALSE(apnGrid->item(0, 1)->font().bold()) << "the object number was not edited";
    EXPECT_EQ(caption(0), "Объект •");
    EXPECT_EQ(caption(1), "GSM номера");

    ASSERT_TRUE(apnGrid->commitUserValue(kApnRow, QString()));
    EXPECT_EQ(caption(0), "Объект") << "typing the old value back is no change";

    ASSERT_TRUE(apnGrid->commitUserValue(kApnRow, QStringLiteral("internet")));
    auto* page = window->tabSheet(1)->findChild<pages::PageWidget*>();
    page->marks().revertPage();
    EXPECT_EQ(apnGrid->value(kApnRow), "");
    EXPECT_FALSE(apnMarked());
    EXPECT_EQ(caption(0), "Объект");
}

TEST_F(WindowChangeMarks, ReadLoadAndCloseAskBeforeDroppingEdits) {
    ASSERT_TRUE(apnGrid->commitUserValue(kApnRow, QStringLiteral("internet")));
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), {}};
    prompts.answers = {false, false, false};
    window->N8Click();
    window->N7Click();
    EXPECT_FALSE(window->close());
    ASSERT_EQ(prompts.shown.size(), 3U);
    EXPECT_EQ(prompts.shown[0].text,
              "Изменённые поля не записаны в модуль и не сохранены в файл. Отменить изменения ?");
    EXPECT_EQ(prompts.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(link.readPasswords.isEmpty());
    EXPECT_TRUE(dialogs.passwordShownWithNew.empty());
    EXPECT_EQ(apnGrid->value(kApnRow), "internet") << "the declined load kept the edit";

    prompts.answers = {true};
    window->N8Click();
    EXPECT_EQ(link.readPasswords, QStringList{"0"});

    // Saved: nothing is lost any more, nothing is asked.
    dialogs.saveName = dir.filePath("saved.prg");
    window->N5Click();
    EXPECT_EQ(caption(0), "Объект");
    prompts.shown.clear();
    window->N7Click();
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(WindowChangeMarks, TheLastFileIsNamedAndItsFolderReused) {
    EXPECT_EQ(window->FileNameLabel->text(), "Файл: site.prg");
    EXPECT_FALSE(window->FileNameLabel->isHidden());
    dialogs.saveName = dir.filePath("copy.prg");
    window->N5Click();
    EXPECT_EQ(dialogs.saveStart, dir.filePath("123456.prg")) << "the object number names the proposed file";
    EXPECT_EQ(window->FileNameLabel->text(), "Файл: copy.prg");
    window->N7Click();
    EXPECT_EQ(dialogs.openStart, dir.path());
}

// The spin boxes' menu lost Copy and Paste when the revert entries came in.
TEST_F(WindowChangeMarks, ASpinBoxsMenuKeepsCopyAndPasteBesideTheRevertEntries) {
    auto* poll = window->findChild<QSpinBox*>(QStringLiteral("UpDown4"));
    ASSERT_NE(poll, nullptr);
    const int loaded = poll->value();
    poll->setValue(loaded + 5);
    window->show();
    QStringList entries;
    QTimer::singleShot(0, window.get(), [&entries] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        QAction* revert = nullptr;
        for (QAction* action : menu->actions()) {
            QString text = action->text();
            entries << (action->objectName().isEmpty() ? text.remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0)
                                                       : action->objectName());
            if (action->objectName() == QStringLiteral("RevertField") && action->isEnabled()) revert = action;
        }
        menu->close();
        if (revert) revert->trigger();
    });
    const QPoint at(poll->width() / 2, poll->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, poll->mapToGlobal(at));
    QApplication::sendEvent(poll, &event);
    QApplication::processEvents();  // a menu that does not wait for its choice is looked at here
    // Qt's own entries in Russian, as the tests run.
    for (const char* entry : {"Копировать", "Вставить", "Выделить всё", "RevertField", "RevertPage"})
        EXPECT_TRUE(entries.contains(QString::fromUtf8(entry))) << entry << ": " << entries.join(", ").toStdString();
    EXPECT_EQ(poll->value(), loaded) << "the field's own revert entry put the loaded value back";
}

}  // namespace
}  // namespace kv6::app::test
