#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/message_box_prompts.h"
#include "app/standard_dialogs.h"
#include "app/password_dialog.h"
#include "app/port_dialog.h"
#include "app_test_support.h"
#include "io/module_link.h"
#include "link/transfer_engine.h"

namespace kv6::app::test {
namespace {

TEST(PasswordDialog, FieldsAndRows) {
    qtApp();
    TPasswordDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Введите пароль"));
    EXPECT_EQ(dialog.findChild<QLabel*>("Label1")->text(), QStringLiteral("Пароль на чтение"));
    EXPECT_EQ(dialog.findChild<QLabel*>("Label2")->text(), QStringLiteral("Новый пароль (0...65535)"));
    for (const char* name : {"Password", "Edit1"}) {
        auto* edit = dialog.findChild<QLineEdit*>(name);
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_EQ(edit->maxLength(), 5);
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
    }
    EXPECT_EQ(dialog.findChild<QPushButton*>("OKBtn")->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.findChild<QPushButton*>("CancelBtn")->text(), QStringLiteral("Cancel"));
    dialog.show();
    dialog.setNewPasswordVisible(false);
    EXPECT_FALSE(dialog.Label2->isVisible());
    EXPECT_FALSE(dialog.Edit1->isVisible());
    dialog.setNewPasswordVisible(true);
    EXPECT_TRUE(dialog.Edit1->isVisible());
    typeText(dialog.Password, QStringLiteral("1234567"));
    EXPECT_EQ(dialog.currentText(), QStringLiteral("12345"));
    EXPECT_EQ(dialog.findChild<QLineEdit*>("Password")->displayText(), QStringLiteral("*****"));
    typeText(dialog.Edit1, QStringLiteral("12"));
    EXPECT_EQ(dialog.findChild<QLineEdit*>("Edit1")->displayText(), QStringLiteral("**"));
}

TEST(PortDialog, NumberAndSpinnerStayInStepAndPathsAreKept) {
    qtApp();
    TForm4 dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Выбрать порт"));
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("Последовательный порт: "));
    EXPECT_EQ(dialog.UpDown1->minimum(), 1);
    EXPECT_EQ(dialog.UpDown1->maximum(), 99);
    dialog.setPortText(QStringLiteral("12"));
    EXPECT_EQ(dialog.UpDown1->value(), 12);
    dialog.UpDown1->setValue(13);
    EXPECT_EQ(dialog.portText(), QStringLiteral("13"));
    dialog.setAvailablePorts({QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyS0")});
    EXPECT_EQ(dialog.portText(), QStringLiteral("13"));  // refreshing keeps the text
    EXPECT_EQ(dialog.Edit1->count(), 2);
    dialog.setPortText(QStringLiteral("/dev/pts/3"));
    EXPECT_EQ(dialog.portText(), QStringLiteral("/dev/pts/3"));
    EXPECT_EQ(dialog.UpDown1->value(), 13);
    // Beside a path a number would read as that port's: the spinner shows none.
    EXPECT_EQ(dialog.UpDown1->text(), QString());
    dialog.UpDown1->stepUp();
    EXPECT_EQ(dialog.portText(), QStringLiteral("14")) << "an arrow puts a number in the path's place";
    EXPECT_EQ(dialog.UpDown1->text(), QStringLiteral("14"));
    dialog.setPortText(QStringLiteral("/dev/ttyUSB0"));
    dialog.UpDown1->setValue(99);
    dialog.setPortText(QStringLiteral("/dev/ttyUSB0"));
    dialog.UpDown1->stepUp();
    EXPECT_EQ(dialog.portText(), QStringLiteral("99")) << "at the top too";
    dialog.setPortText(QStringLiteral("7"));
    EXPECT_EQ(dialog.UpDown1->text(), QStringLiteral("7"));
}

TEST(PortDialog, EnterClosesIt) {
    qtApp();
    TForm4 dialog;
    dialog.setPortText(QString());
    bool closedByEnter = false;
    QTimer::singleShot(0, &dialog, [&] {
        typeText(dialog.Edit1->lineEdit(), QStringLiteral("5"));
        pressKey(dialog.Edit1->lineEdit(), Qt::Key_Return);
        closedByEnter = !dialog.isVisible();
        if (!closedByEnter) dialog.reject();
    });
    dialog.exec();
    EXPECT_TRUE(closedByEnter);
    EXPECT_EQ(dialog.portText(), QStringLiteral("5"));
}

// Enter keeps what the dialog shows, as OK does, whatever ports the system lists.
TEST(PortDialog, EnterKeepsTheShownPort) {
    qtApp();
    TForm4 dialog;
    dialog.setAvailablePorts({QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS1")});
    dialog.setPortText(QStringLiteral("7"));
    dialog.Edit1->setFocus();
    QTimer::singleShot(0, &dialog, [&] {
        // The combo box has the focus; its line edit is only its proxy.
        pressKey(dialog.findChild<QComboBox*>(QStringLiteral("Edit1")), Qt::Key_Return);
        if (dialog.isVisible()) dialog.reject();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.portText(), QStringLiteral("7"));
    EXPECT_EQ(dialog.findChild<QSpinBox*>(QStringLiteral("UpDown1"))->value(), 7);
}

// Under "All Files (*.*)" a file without a dot is listed too.
TEST(PrgFileDialog, AllFilesShowsEveryFile) {
    qtApp();
    QTemporaryDir dir;
    for (const char* name : {"site.prg", "noext", "notes.txt"}) ASSERT_TRUE(writeFile(dir.filePath(name), "x"));
    QFileDialog dialog;
    StandardDialogs::preparePrgDialog(dialog, QFileDialog::AcceptOpen);
    dialog.setDirectory(dir.path());
    dialog.show();
    EXPECT_EQ(dialog.nameFilters(), (QStringList{"Korvel Files (*.prg)", "All Files (*.*)"}));
    EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("prg"));
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    auto* files = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(types, nullptr);
    ASSERT_NE(files, nullptr);
    auto listed = [&] {
        QStringList names;
        const QModelIndex folder = files->index(dir.path());
        for (int row = 0; row < files->rowCount(folder); ++row) names << files->index(row, 0, folder).data().toString();
        names.sort();
        return names;
    };
    auto waitFor = [&](const QStringList& expected) {
        for (int i = 0; i < 150 && listed() != expected; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return listed();
    };
    EXPECT_EQ(waitFor({"site.prg"}), QStringList{"site.prg"});
    pressKey(types, Qt::Key_Down);  // the user picks the second entry
    EXPECT_EQ(types->currentText(), QStringLiteral("All Files (*.*)"));
    EXPECT_EQ(waitFor({"noext", "notes.txt", "site.prg"}), (QStringList{"noext", "notes.txt", "site.prg"}));
}

// Qt's own dialogs and buttons speak the tool's language.
TEST(QtTranslation, StandardDialogTextsFollowTheLanguage) {
    auto seen = [](UiLanguage language) {
        const LanguageScope scope(language);
        EXPECT_TRUE(scope.missing().isEmpty()) << "qtbase_*.qm (package qt6-translations-l10n) or korvel-kv6_en.qm: "
                                               << scope.missing().join(QLatin1Char(' ')).toStdString();
        QMessageBox box(QMessageBox::Warning, QStringLiteral(" Запись"), QStringLiteral("?"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        QFileDialog dialog;
        StandardDialogs::preparePrgDialog(dialog, QFileDialog::AcceptOpen);
        return QStringList{box.button(QMessageBox::Cancel)->text(),
                           dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"))->text()};
    };
    EXPECT_EQ(seen(UiLanguage::English), (QStringList{"Cancel", "Look in:"}));
    EXPECT_EQ(seen(UiLanguage::Russian), (QStringList{"Отмена", "Перейти к:"}));
}

// The real message box: caption, text, icon and which button means true.
TEST(MessageBoxPrompts, ShowsTheTextAndReportsTheChoice) {
    qtApp();
    MessageBoxPrompts prompts;
    struct Seen {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool hasCancel = false;
    } seen;
    auto answer = [&seen](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [&seen, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen = {box->windowTitle(), box->text(), box->icon(), box->button(QMessageBox::Cancel) != nullptr};
            box->button(button)->click();
        });
    };
    answer(QMessageBox::Cancel);
    EXPECT_FALSE(prompts.message("Записать настройки модуля ?", " Запись", MessageIcon::Information,
                                 MessageButtons::OkCancel));
    EXPECT_EQ(seen.title, QStringLiteral(" Запись"));
    EXPECT_EQ(seen.text, QStringLiteral("Записать настройки модуля ?"));
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_TRUE(seen.hasCancel);

    answer(QMessageBox::Ok);
    EXPECT_TRUE(prompts.message("Invalid Handle Value", "Vavovov1", MessageIcon::None, MessageButtons::Ok));
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_FALSE(seen.hasCancel);
}

// The engine's two failure boxes belong to the main window (centred on it,
// modal to it), with the module's three-line text.
TEST(EngineFailureBoxes, AreOwnedByTheMainWindow) {
    qtApp();
    QTemporaryDir dir;
    TForm1Options options;
    options.programDirectory = dir.path();
    options.fallbackDirectory = dir.path();
    options.loadSideFilesOnStart = false;
    TForm1 window(options);
    window.show();
    link::TransferEngine& engine = window.moduleLink()->transferEngine();
    struct Seen {
        QWidget* owner;
        QString title, text;
    };
    std::vector<Seen> seen;
    auto answerTheBox = [&] {
        QTimer::singleShot(0, &window, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen.push_back({box->parentWidget(), box->windowTitle(), box->text()});
            box->button(QMessageBox::Ok)->click();
        });
    };

    ASSERT_TRUE(window.configuration().workspace.QueueWrite(0, 4));  // nobody answers it
    engine.startWrite();
    answerTheBox();
    for (int tick = 0; tick < 4 * 30 + 5; ++tick) engine.Timer2Timer();
    engine.SpeedButton2Click();
    answerTheBox();
    for (int tick = 0; tick < 5 * 21 + 5; ++tick) engine.Timer2Timer();

    const QString noAnswer = QStringLiteral(
        " Модуль не отвечает.\n Проверьте соединение и настройки порта.\n Перегрузите модуль.");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].owner, &window);
    EXPECT_EQ(seen[0].title, QStringLiteral(" Ошибка записи данных"));
    EXPECT_EQ(seen[0].text, noAnswer);
    EXPECT_EQ(seen[1].owner, &window);
    EXPECT_EQ(seen[1].title, QStringLiteral(" Ошибка чтения данных"));
    EXPECT_EQ(seen[1].text, noAnswer);
}

// The list a user picks from: USB adapters first, described, refused ports explained.
TEST(PortDialog, ListsGivenPortsUsbFirstAndSaysHowToGetRights) {
    qtApp();
    TForm4 dialog;
    SerialPortEntry builtIn{QStringLiteral("/dev/ttyS0"), {}, {}, {}, {}, true};
    SerialPortEntry adapter{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
                            0x0403, 0x6001, true};
    SerialPortEntry refused{QStringLiteral("/dev/ttyACM0"), QStringLiteral("USB Serial"), {}, 0x2341, 0x0043, false};
    dialog.setPortText(QStringLiteral("3"));
    dialog.setAvailablePorts(sortedPortEntries({builtIn, adapter, refused}));
    ASSERT_EQ(dialog.Edit1->count(), 3);
    EXPECT_EQ(dialog.Edit1->itemText(0), QStringLiteral("/dev/ttyACM0 — USB Serial (USB 2341:0043) — нет доступа"));
    EXPECT_EQ(dialog.Edit1->itemText(1), QStringLiteral("/dev/ttyUSB0 — FT232R USB UART, FTDI (USB 0403:6001)"));
    EXPECT_EQ(dialog.Edit1->itemText(2), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(dialog.portText(), QStringLiteral("3")) << "a refill keeps the typed port";
    EXPECT_FALSE(dialog.PermissionHint->isHidden());
    EXPECT_EQ(dialog.PermissionHint->text(),
              QStringLiteral("Нет прав на порт /dev/ttyACM0. Добавьте пользователя в группу dialout: "
                             "sudo adduser $USER dialout, затем выйдите из системы и войдите снова."));

    dialog.Edit1->setCurrentIndex(1);
    emit dialog.Edit1->activated(1);
    EXPECT_EQ(dialog.portText(), QStringLiteral("/dev/ttyUSB0")) << "param2 gets the path, not the description";
    dialog.setAvailablePorts(std::vector<SerialPortEntry>{adapter});
    EXPECT_TRUE(dialog.PermissionHint->isHidden());
}

// A pseudo-terminal in use (a simulated module) is not enumerated by the system, yet listed.
TEST(PortDialog, RefreshKeepsThePseudoTerminalInUse) {
    qtApp();
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("pts-like"));
    ASSERT_TRUE(writeFile(device, "x"));
    TForm4 dialog;
    dialog.setPortText(device);
    dialog.refreshPorts();
    ASSERT_GE(dialog.Edit1->count(), 1);
    EXPECT_EQ(dialog.Edit1->itemData(dialog.Edit1->count() - 1).toString(), device);
    EXPECT_EQ(dialog.portText(), device);
}

// The pseudo-terminal in use vanished from the list once another port was
// chosen, and the user could not go back to it by picking it.
TEST(PortDialog, APortUsedThisRunStaysListedWhileItExists) {
    qtApp();
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("pts-like-1"));
    const QString second = dir.filePath(QStringLiteral("pts-like-2"));
    ASSERT_TRUE(writeFile(first, "x"));
    ASSERT_TRUE(writeFile(second, "x"));
    TForm4 dialog;
    const auto listed = [&dialog] {
        QStringList paths;
        for (int i = 0; i < dialog.Edit1->count(); ++i) paths << dialog.Edit1->itemData(i).toString();
        return paths;
    };
    dialog.setPortText(first);
    dialog.refreshPorts();
    dialog.setPortText(second);  // chosen: the dialog closes, and opens again
    dialog.refreshPorts();
    EXPECT_TRUE(listed().contains(first));
    EXPECT_TRUE(listed().contains(second));
    EXPECT_EQ(listed().count(first), 1);
    dialog.setPortText(QStringLiteral("3"));
    dialog.refreshPorts();
    EXPECT_TRUE(listed().contains(first));
    ASSERT_TRUE(QFile::remove(first));  // its simulator stopped
    dialog.refreshPorts();
    EXPECT_FALSE(listed().contains(first));
    EXPECT_TRUE(listed().contains(second));
    EXPECT_EQ(dialog.portText(), QStringLiteral("3"));
}

}  // namespace
}  // namespace kv6::app::test
