#include <QDialog>
#include <QTest>
#include <QTimer>

#include "app/standard_dialogs.h"
#include "pages/codes/codes_page.h"
#include "pages/gsm/gsm_page.h"
#include "widgets/value_list_editor.h"
#include "window_fixture.h"

namespace kv6::app::test {
namespace {

// The GSM number dialog opened at the top left, over the window's title bar.
class DialogPlacement : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->move(40, 30);  // off the screen's middle, where a lost dialog would land
        QApplication::processEvents();
    }

    // Runs `open`, which shows a modal dialog, and returns where that dialog
    // stood (its frame) before it is closed.
    QRect placementOf(const std::function<void()>& open) {
        QRect seen;
        QTimer::singleShot(0, window.get(), [&seen] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog) return;
            seen = dialog->frameGeometry();
            if (auto* asDialog = qobject_cast<QDialog*>(dialog)) asDialog->reject();
        });
        open();
        return seen;
    }

    void expectCentred(const QRect& dialog, const char* which) {
        ASSERT_TRUE(dialog.isValid()) << which << ": no dialog came up";
        const QPoint off = dialog.center() - window->frameGeometry().center();
        EXPECT_LE(std::abs(off.x()), 2) << which;
        EXPECT_LE(std::abs(off.y()), 2) << which;
        EXPECT_GT(dialog.top(), window->frameGeometry().top()) << which << ": over the window's title bar";
    }
};

TEST_F(DialogPlacement, PageDialogsOpenInTheMiddleOfTheWindow) {
    auto* gsm = window->findChild<pages::GsmPage*>();
    ASSERT_NE(gsm, nullptr);
    expectCentred(placementOf([gsm] { gsm->ValueListEditor3EditButtonClick(9); }), "TForm2");
    // A second time, with other rows shown, the dialog is centred at its new size.
    window->move(10, 90);
    QApplication::processEvents();
    expectCentred(placementOf([gsm] { gsm->ValueListEditor3EditButtonClick(0); }), "TForm2 again");

    auto* codes = window->findChild<pages::CodesPage*>();
    ASSERT_NE(codes, nullptr);
    expectCentred(placementOf([codes] { emit codes->ValueListEditor9->editButtonClicked(0); }), "TForm7");
}

TEST_F(DialogPlacement, WindowDialogsOpenInTheMiddleOfTheWindow) {
    StandardDialogs standard;
    expectCentred(placementOf([&] { (void)standard.password(window.get(), true); }), "TPasswordDlg");
    expectCentred(placementOf([&] { (void)standard.port(window.get(), QStringLiteral("1")); }), "TForm4");
}

}  // namespace
}  // namespace kv6::app::test
