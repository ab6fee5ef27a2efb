#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QTabWidget>
#include <QTest>

#include "app/main_menu.h"
#include "app/transfer_progress_bar.h"
#include "window_fixture.h"

namespace kv6::app::test {
namespace {

class WindowStatusRow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        bar = window->StatusBar1;
    }
    [[nodiscard]] QString shown(int index) const { return bar->shownText(index); }
    // Every text keeps its whole panel: no panel is cut by the window's edge.
    void expectInWindow() const {
        const QRect inWindow(bar->mapTo(window.get(), QPoint()), bar->size());
        EXPECT_TRUE(window->rect().contains(inWindow));
    }

    PanelStatusBar* bar = nullptr;
};

// Panel 0 showed "ttyUSB" of /dev/ttyUSB7; the remote texts need more than 100 px.
TEST_F(WindowStatusRow, EveryPanelShowsItsUsualTextsWhole) {
    expectInWindow();
    EXPECT_EQ(bar->panelRect(0).width(), 50);
    EXPECT_EQ(bar->panelRect(1).width(), 475);
    EXPECT_EQ(bar->panelRect(2).right(), bar->width() - 1) << "the last panel takes the rest";
    for (const char* port : {"COM12", "/dev/ttyUSB7", "/dev/ttyACM10", "/dev/pts/12"}) {
        bar->setPanelText(0, QString::fromUtf8(port));
        EXPECT_EQ(shown(0), QString::fromUtf8(port));
    }
    for (const char* operation :
         {" Идёт чтение данных из модуля. Дождитесь его завершения", " Идёт запись данных в модуль. Дождитесь её завершения",
          "!!! ОШИБКА чтение данных - Пароль не совпал", " Настройки модуля приведены к заводским"}) {
        bar->setPanelText(1, QString::fromUtf8(operation));
        EXPECT_EQ(shown(1), QString::fromUtf8(operation));
    }
    for (const char* remote : {"Удалённый доступ -Ожидание-", "Удалённый доступ -Соединено-",
                               "Удалённый доступ. Разъеденён", "Удалённый доступ. Объект 123456"}) {
        bar->setPanelText(2, QString::fromUtf8(remote));
        EXPECT_EQ(shown(2), QString::fromUtf8(remote));
    }
    EXPECT_EQ(bar->panelRect(1).left(), bar->panelRect(0).right() + 3) << "panel 0 grew, the others follow";
}

TEST_F(WindowStatusRow, AnOverlongPortOrPathIsElidedInTheMiddle) {
    const QString byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0");
    bar->setPanelText(0, byId);
    EXPECT_LE(bar->panelRect(0).width(), 130);
    EXPECT_TRUE(shown(0).startsWith(QStringLiteral("/dev/"))) << shown(0).toStdString();
    EXPECT_TRUE(shown(0).endsWith(QStringLiteral("port0"))) << shown(0).toStdString();
    EXPECT_EQ(bar->panelText(0), byId);
    EXPECT_GT(bar->panelRect(2).width(), QFontMetrics(bar->font()).horizontalAdvance("Удалённый доступ. Объект 123456"));

    // A file in a deep folder: the message and the file's name stay.
    QString folder = dir.path();
    for (const char* part : {"objects", "2026 north district", "site 12 warehouse", "backups"}) {
        folder += QLatin1Char('/') + QString::fromUtf8(part);
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    const QString file = folder + QStringLiteral("/saved_reverted.prg");
    ASSERT_TRUE(writeFile(file, QByteArray(4096, '\0')));
    window->loadFile(file);
    EXPECT_EQ(panel(1), " Загрузка данных завершена. Файл " + QDir::toNativeSeparators(file));
    EXPECT_TRUE(shown(1).startsWith(" Загрузка данных завершена. Файл ")) << shown(1).toStdString();
    EXPECT_TRUE(shown(1).endsWith("/saved_reverted.prg")) << shown(1).toStdString();
    EXPECT_TRUE(shown(1).contains(QStringLiteral("…"))) << shown(1).toStdString();
}

// "Файл: saved_reverte" was clipped at the window's edge.
TEST_F(WindowStatusRow, TheFileNameShowsAtTheMenuBarsEndShortenedInTheMiddle) {
    const QString file = dir.filePath(QStringLiteral("saved_reverted_configuration_of_site_12_after_service.prg"));
    ASSERT_TRUE(writeFile(file, QByteArray(4096, '\0')));
    window->loadFile(file);
    QApplication::processEvents();
    QLabel* label = window->FileNameLabel;
    ASSERT_TRUE(label->isVisible());
    EXPECT_TRUE(label->text().startsWith(QStringLiteral("Файл: saved_"))) << label->text().toStdString();
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("service.prg"))) << label->text().toStdString();
    EXPECT_EQ(label->toolTip(), QDir::toNativeSeparators(file));
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
    const QRect inWindow(label->mapTo(window.get(), QPoint()), label->size());
    EXPECT_TRUE(window->rect().contains(inWindow));
    EXPECT_TRUE(window->menuBar()->geometry().contains(label->mapTo(window.get(), label->rect().center())));

    window->loadFile(dir.filePath(QStringLiteral("missing.prg")));  // refused: the last file stays named
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("service.prg")));
}

// The page moved by 2 px when the progress bar came up in the status row.
TEST_F(WindowStatusRow, NothingMovesWhenTheProgressBarComesAndGoes) {
    QTabWidget* tabs = window->PageControl1;
    const auto where = [&] {
        return std::make_pair(QRect(tabs->mapTo(window.get(), QPoint()), tabs->size()),
                              QRect(bar->mapTo(window.get(), QPoint()), bar->size()));
    };
    const auto before = where();
    // Only the layouts run: the bar's own poll, with no transfer, would hide it again.
    const auto layOut = [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); };
    window->TransferProgress->show();
    layOut();
    ASSERT_TRUE(window->TransferProgress->isVisible());
    EXPECT_EQ(where(), before);
    const QString file = dir.filePath(QStringLiteral("site.prg"));
    ASSERT_TRUE(writeFile(file, QByteArray(4096, '\0')));
    window->loadFile(file);
    window->TransferProgress->hide();
    layOut();
    ASSERT_TRUE(window->FileNameLabel->isVisible());
    EXPECT_EQ(where(), before);
}

// A refusal during a read was replaced by the next progress text within a second.
TEST_F(WindowStatusRow, ARefusalOutlastsTheProgressTextsForAWhile) {
    TForm1Options held = options();
    held.refusalShownMs = 300;
    window = std::make_unique<TForm1>(held);
    link.reading = true;
    window->setStatus(StatusPanel::Operation, " Чтение данных ****");
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("0"), {}};
    window->N8Click();
    const QString refusal = QStringLiteral(" Идёт чтение данных из модуля. Дождитесь его завершения");
    EXPECT_EQ(panel(1), refusal);
    window->setStatus(StatusPanel::Operation, " Чтение данных ******");
    window->setStatus(StatusPanel::Operation, " Чтение данных ********");
    EXPECT_EQ(panel(1), refusal);
    window->setStatus(StatusPanel::Port, "/dev/ttyUSB7");  // the other panels are not held
    EXPECT_EQ(panel(0), QStringLiteral("/dev/ttyUSB7"));
    EXPECT_TRUE(waitUntil([&] { return panel(1) != refusal; }, 2000));
    EXPECT_EQ(panel(1), QStringLiteral(" Чтение данных ********")) << "the last text held comes out";
    window->setStatus(StatusPanel::Operation, " Чтение данных завершено");
    EXPECT_EQ(panel(1), QStringLiteral(" Чтение данных завершено"));

    // What the user does next shows at once, and nothing held comes after it.
    window->N8Click();
    window->setStatus(StatusPanel::Operation, " Чтение данных **");
    link.reading = false;
    dialogs.portAnswer = QStringLiteral("/dev/ttyUSB0");
    dialogs.passwordAnswer = PasswordEntry{QStringLiteral("12"), QStringLiteral("5")};
    window->N16Click();
    const QString told = QStringLiteral(" Пароль не изменён: текущий пароль вводится пятью цифрами, например 00000");
    EXPECT_EQ(panel(1), told);
    QTest::qWait(500);
    EXPECT_EQ(panel(1), told);
}

}  // namespace
}  // namespace kv6::app::test
