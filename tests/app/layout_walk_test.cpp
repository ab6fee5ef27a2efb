#include <QApplication>
#include <QTabWidget>
#include <QTest>

#include "app/main_menu.h"
#include "app/password_dialog.h"
#include "app/port_dialog.h"
#include "pages/codes/code_dialog.h"
#include "pages/codes/rearm_code_dialog.h"
#include "pages/gsm/gsm_number_dialog.h"
#include "pages/routing/tform5_dialog.h"
#include "pages/routing/zone_type_list.h"
#include "text_fit.h"
#include "window_fixture.h"

// Every page and dialog as it shows at its own size, in Russian and in
// English: no text may be wider than its control. Run by ctest as well on a
// 1366 x 768 screen and at QT_SCALE_FACTOR=1.25, where rounding cut texts
// that fit at 100 %.
namespace kv6::app::test {
namespace {

std::string listed(const QStringList& faults) { return faults.join(QLatin1Char('\n')).toStdString(); }

void showAndWalk(TextFit& fit, QWidget& window, const QString& where) {
    window.show();
    QApplication::processEvents();
    fit.walk(&window, where);
}

// The window and every dialog are built in the test's language.
class LayoutWalk : public WindowTest, public ::testing::WithParamInterface<UiLanguage> {
protected:
    void SetUp() override {
        m_language = std::make_unique<LanguageScope>(GetParam());
        ASSERT_TRUE(m_language->missing().isEmpty()) << m_language->missing().join(QLatin1Char(' ')).toStdString();
        WindowTest::SetUp();
    }
    void TearDown() override {
        window.reset();
        m_language.reset();
    }
    [[nodiscard]] bool english() const { return GetParam() == UiLanguage::English; }

private:
    std::unique_ptr<LanguageScope> m_language;
};

TEST_P(LayoutWalk, NoTextOfAPageIsCut) {
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    TextFit fit;
    QTabWidget* tabs = window->PageControl1;
    for (bool advanced : {false, true}) {
        window->MainMenu1->N11->setChecked(advanced);
        for (int i = 0; i < tabs->count(); ++i) {
            if (!tabs->isTabVisible(i)) continue;
            tabs->setCurrentIndex(i);
            QApplication::processEvents();
            fit.walk(window.get(), tabs->tabText(i) + (advanced ? QStringLiteral(" (advanced)") : QString()));
        }
    }
    EXPECT_TRUE(fit.faults().isEmpty()) << listed(fit.faults());
}

TEST_P(LayoutWalk, NoTextOrTitleOfADialogIsCut) {
    TextFit fit;
    TPasswordDlg password;
    for (bool withNew : {false, true}) {
        password.setNewPasswordVisible(withNew);
        showAndWalk(fit, password, QStringLiteral("TPasswordDlg"));
        fit.checkTitle(&password, QStringLiteral("TPasswordDlg"));
    }

    TForm4 port;
    port.setAvailablePorts(std::vector<SerialPortEntry>{
        {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"), 0x0403, 0x6001,
         false},
        {QStringLiteral("/dev/ttyS0"), {}, {}, {}, {}, true}});
    port.setPortText(QStringLiteral("/dev/ttyUSB0"));
    showAndWalk(fit, port, QStringLiteral("TForm4"));
    fit.checkTitle(&port, QStringLiteral("TForm4"));

    pages::TForm2 number;
    for (int function = 0; function < 5; ++function) {
        pages::GsmModel::NumberDialog state;
        state.number = "+79161234567";
        state.functionItem = function;
        number.load(10, state);
        showAndWalk(fit, number, QStringLiteral("TForm2, function %1").arg(function));
        fit.checkTitle(&number, QStringLiteral("TForm2"));
    }

    pages::TForm7 code;
    code.setCodeLength(6);
    // The row's name as the codes page gives it.
    code.load(english() ? QStringLiteral("Code 16") : QStringLiteral("Код 16"), QStringLiteral("123456"), true, 0x81);
    showAndWalk(fit, code, QStringLiteral("TForm7"));
    fit.checkTitle(&code, QStringLiteral("TForm7"));
    code.load(english() ? QStringLiteral("Code 99") : QStringLiteral("Код 99"), QString(), false, 0x01);
    showAndWalk(fit, code, QStringLiteral("TForm7, code 99"));

    pages::TForm3 rearm;
    rearm.load(8, QStringLiteral("123456"), true);
    showAndWalk(fit, rearm, QStringLiteral("TForm3"));
    fit.checkTitle(&rearm, QStringLiteral("TForm3"));

    pages::TForm5 routing;
    routing.setZoneTypes(pages::ZoneTypeList());
    // An event's description comes from parame, in whatever language it is written.
    routing.loadEvent(english() ? QStringLiteral("Communication trouble with the monitoring station")
                                : QStringLiteral("Неисправность линии связи с ПЦН"),
                      pages::EventRouting{});
    showAndWalk(fit, routing, QStringLiteral("TForm5, event"));
    routing.hide();
    for (int zone : {1, 7}) {
        pages::ZoneRouting state;
        state.typeIndex = 0;
        state.expanderShown = zone <= 6;
        routing.loadZone(zone, state);
        showAndWalk(fit, routing, QStringLiteral("TForm5, zone %1").arg(zone));
        fit.checkTitle(&routing, QStringLiteral("TForm5"));
        routing.hide();
    }
    EXPECT_TRUE(fit.faults().isEmpty()) << listed(fit.faults());
}

INSTANTIATE_TEST_SUITE_P(InBothLanguages, LayoutWalk, ::testing::Values(UiLanguage::Russian, UiLanguage::English),
                         [](const ::testing::TestParamInfo<UiLanguage>& info) {
                             return info.param == UiLanguage::English ? std::string("English") : std::string("Russian");
                         });

}  // namespace
}  // namespace kv6::app::test
