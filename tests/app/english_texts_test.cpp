#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/main_menu.h"
#include "app/message_box_prompts.h"
#include "app/password_dialog.h"
#include "app/port_dialog.h"
#include "app/standard_dialogs.h"
#include "cyrillic_texts.h"
#include "pages/codes/code_dialog.h"
#include "pages/codes/rearm_code_dialog.h"
#include "pages/gsm/gsm_number_dialog.h"
#include "pages/routing/tform5_dialog.h"
#include "pages/routing/zone_type_list.h"
#include "window_fixture.h"

// The tool in English: every text it shows has its translation.
namespace kv6::app::test {
namespace {

std::string listed(const QStringList& faults) { return faults.join(QLatin1Char('\n')).toStdString(); }

// The language menu names each language in itself.
const QStringList kLanguageMenu{QStringLiteral("Язык / Language"), QStringLiteral("Русский")};

class InEnglish : public WindowTest {
protected:
    void SetUp() override {
        m_language = std::make_unique<LanguageScope>(UiLanguage::English);
        ASSERT_TRUE(m_language->missing().isEmpty()) << m_language->missing().join(QLatin1Char(' ')).toStdString();
        language = UiLanguage::English;
        WindowTest::SetUp();
    }
    void TearDown() override {
        window.reset();
        m_language.reset();
    }

private:
    std::unique_ptr<LanguageScope> m_language;
};

// After a file load every page shows what it decoded: the journal's events
// with the package's descriptions and its state lines, the zones' type names,
// the lists of the event and SMS pages.
TEST_F(InEnglish, NoPageMenuOrListOfTheWindowIsLeftInRussian) {
    CyrillicTexts walk(kLanguageMenu);
    walk.walk(window.get(), QStringLiteral("window at start"));  // the zones' preset type names
    shipJournalTexts();
    window->loadSideFiles();
    const QString file = journalEventsFile();
    ASSERT_FALSE(file.isEmpty());
    window->loadFile(file);
    ASSERT_FALSE(window->ListView3->findItems(QStringLiteral("Alarm (intrusion)"), Qt::MatchExactly, 2).isEmpty());
    for (bool advanced : {false, true}) {
        window->MainMenu1->N11->setChecked(advanced);
        QApplication::processEvents();
        walk.walk(window.get(), advanced ? QStringLiteral("window, advanced") : QStringLiteral("window"));
    }
    EXPECT_TRUE(walk.faults().isEmpty()) << listed(walk.faults());

    QTabWidget* tabs = window->PageControl1;
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->isTabVisible(i)) captions << tabs->tabText(i);
    EXPECT_EQ(captions, (QStringList{"Object", "GSM numbers", "Codes and Partitions", "SMS messages", "Zones",
                                     "Settings ", "Event log"}));
    const MainMenu& m = *window->MainMenu1;
    EXPECT_EQ(m.FileMenu->title(), QStringLiteral("File"));
    EXPECT_EQ(m.N7->text(), QStringLiteral("Load from file"));
    EXPECT_EQ(m.IP1->title(), QStringLiteral("Remote access"));
}

TEST_F(InEnglish, NoDialogIsLeftInRussian) {
    CyrillicTexts walk;
    TPasswordDlg password;
    password.setNewPasswordVisible(true);
    walk.walk(&password, QStringLiteral("TPasswordDlg"));

    TForm4 port;
    port.setAvailablePorts(std::vector<SerialPortEntry>{
        {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"), 0x0403, 0x6001,
         false},
        {QStringLiteral("/dev/ttyS0"), {}, {}, {}, {}, true}});
    walk.walk(&port, QStringLiteral("TForm4"));

    pages::TForm2 number;
    for (int function = 0; function < 5; ++function) {
        pages::GsmModel::NumberDialog state;
        state.functionItem = function;
        number.load(10, state);
        walk.walk(&number, QStringLiteral("TForm2, function %1").arg(function));
    }

    pages::TForm7 code;
    code.setCodeLength(6);
    code.load(QStringLiteral("Code 16"), QStringLiteral("123456"), true, 0x81);
    walk.walk(&code, QStringLiteral("TForm7"));

    pages::TForm3 rearm;
    rearm.load(8, QStringLiteral("123456"), true);
    walk.walk(&rearm, QStringLiteral("TForm3"));

    pages::TForm5 routing;
    // Without the module's paramp the dialog offers the preset zone types,
    // and after one the extra "24" type the tool appends.
    routing.setZoneTypes(pages::ZoneTypeList::fromFileLines({"Interior\t131\t3"}));
    routing.loadEvent(QStringLiteral("Communication trouble"), pages::EventRouting{});
    walk.walk(&routing, QStringLiteral("TForm5, event"));
    pages::ZoneRouting zone;
    zone.expanderShown = true;
    routing.loadZone(1, zone);
    walk.walk(&routing, QStringLiteral("TForm5, zone"));
    EXPECT_TRUE(walk.faults().isEmpty()) << listed(walk.faults());
}

// The link and the remote session report in Russian; the status bar shows
// the run's language, progress marks and the object's number kept, and the
// English texts still fit their panels whole.
TEST_F(InEnglish, StatusTextsOfTheLinkAreTranslatedAndShownWhole) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    PanelStatusBar* bar = window->StatusBar1;
    const std::pair<const char*, const char*> operations[] = {
        {" Чтение данных ******", " Reading ******"},
        {" Чтение данных завершено", " Reading finished"},
        {" Запись данных ----", " Writing ----"},
        {" Запись данных завершена", " Writing finished"},
        {"!!! ОШИБКА чтение данных - Пароль не совпал", "!!! Read ERROR - the password did not match"},
        {" Настройки модуля приведены к заводским", " Module reset to factory settings"},
        {" Сброс настроек ожидание ", " Factory reset, waiting "},
        {" Нет соединения с модулем", " No connection with the module"},
    };
    for (const auto& [russian, english] : operations) {
        window->setStatus(StatusPanel::Operation, russian);
        EXPECT_EQ(bar->shownText(1), QString::fromUtf8(english));
    }
    const std::pair<const char*, const char*> remote[] = {
        {"Удалённый доступ -Ожидание-", "Remote access -Waiting-"},
        {"Удалённый доступ -Соединено-", "Remote access -Connected-"},
        {"Удалённый доступ. Разъеденён", "Remote access. Disconnected"},
        {"Удалённый доступ. Объект 123456", "Remote access. Object 123456"},
    };
    for (const auto& [russian, english] : remote) {
        window->setStatus(StatusPanel::Remote, russian);
        EXPECT_EQ(bar->shownText(2), QString::fromUtf8(english));
    }
    // A refusal of the window itself, in its own words.
    window->setStatus(StatusPanel::Operation, " Чтение данных ***");
    link.reading = true;
    window->N8Click();
    EXPECT_EQ(bar->shownText(1), QStringLiteral(" Reading from the module. Wait until it has finished"));
}

// A text only starting like a known one is somebody's own (a zone type of
// the user's paramp) and stays as written.
TEST_F(InEnglish, OnlyKnownTextsAreTranslated) {
    window->setStatus(StatusPanel::Operation, "Периметр 2");
    EXPECT_EQ(window->StatusBar1->panelText(1), QStringLiteral("Периметр 2"));
    window->setStatus(StatusPanel::Operation, "Периметр");
    EXPECT_EQ(window->StatusBar1->panelText(1), QStringLiteral("Perimeter"));
}

// The message boxes: Qt's buttons and the pages' questions in English.
TEST_F(InEnglish, MessageBoxesAndFileDialogsSpeakEnglish) {
    MessageBoxPrompts boxes;
    QString title, text, cancel;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        title = box->windowTitle();
        text = box->text();
        cancel = box->button(QMessageBox::Cancel)->text();
        box->button(QMessageBox::Cancel)->click();
    });
    // A page's write button asks from the core, in Russian.
    EXPECT_FALSE(boxes.message("Сохранить изменения ?", " Запись", MessageIcon::Information, MessageButtons::OkCancel));
    EXPECT_EQ(title, QStringLiteral(" Write"));
    EXPECT_EQ(text, QStringLiteral("Save the changes?"));
    EXPECT_EQ(cancel, QStringLiteral("Cancel"));

    QFileDialog dialog;
    StandardDialogs::preparePrgDialog(dialog, QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"))->text(), QStringLiteral("Look in:"));
}

}  // namespace
}  // namespace kv6::app::test
