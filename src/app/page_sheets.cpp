#include "app/page_sheets.h"

#include <QDateEdit>
#include <QDateTime>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/link_control.h"
#include "app/panel_status_bar.h"
#include "io/module_link.h"
#include "pages/codes/codes_page.h"
#include "pages/events/events_page.h"
#include "pages/extra/extra_page.h"
#include "pages/gsm/gsm_page.h"
#include "pages/journal/journal_page.h"
#include "pages/object/object_page.h"
#include "pages/routing/tform5_dialog.h"
#include "pages/settings/settings_page.h"
#include "pages/sms/sms_page.h"
#include "pages/zones/zones_page.h"

namespace kv6::app {

namespace {

struct SheetInfo {
    int number;
    const char* caption;
    bool shown;
};

// PageControl1 in tab order; hidden sheets exist but have no tab.
constexpr SheetInfo kSheets[] = {
    {1, QT_TRANSLATE_NOOP("kv6::app::TForm1", "Объект"), true},
    {2, QT_TRANSLATE_NOOP("kv6::app::TForm1", "GSM номера"), true},
    {3, QT_TRANSLATE_NOOP("kv6::app::TForm1", "Коды и Разделы"), true},
    {4, QT_TRANSLATE_NOOP("kv6::app::TForm1", "События"), false},
    {5, QT_TRANSLATE_NOOP("kv6::app::TForm1", "Тревоги"), false},
    {6, QT_TRANSLATE_NOOP("kv6::app::TForm1", "SMS сообщения"), true},
    {7, "Extra", false},
    {11, QT_TRANSLATE_NOOP("kv6::app::TForm1", "Характеристики"), true},
    {8, QT_TRANSLATE_NOOP("kv6::app::TForm1", "Настройки "), true},
    {9, QT_TRANSLATE_NOOP("kv6::app::TForm1", "Журнал событий"), true},
    {10, "TabSheet10", false},
};

}  // namespace

PageSheets::Sheets PageSheets::build() {
    Sheets sheets{};
    for (const SheetInfo& info : kSheets) {
        auto* sheet = new QWidget;
        sheet->setObjectName(QStringLiteral("TabSheet%1").arg(info.number));
        auto* sheetLayout = new QVBoxLayout(sheet);
        sheetLayout->setContentsMargins(0, 0, 0, 0);
        if (QWidget* content = createPageContent(info.number)) sheetLayout->addWidget(content);
        const int index = m_window.PageControl1->addTab(sheet, TForm1::tr(info.caption));
        m_window.PageControl1->setTabVisible(index, info.shown);
        sheets[static_cast<std::size_t>(info.number - 1)] = sheet;
    }
    return sheets;
}

QWidget* PageSheets::createPageContent(int sheetNumber) {
    TForm1* window = &m_window;
    pages::Configuration& config = m_window.configuration();
    Prompts& prompts = m_window.prompts();
    switch (sheetNumber) {
        case 1: {  // "Объект"
            auto* page = new pages::ObjectPage(config.object, config.workspace, prompts, m_window.writeLink());
            m_window.registerWriteControl(page->SpeedButton9);
            QObject::connect(window, &TForm1::advancedToggled, page, &pages::ObjectPage::setAdvancedVisible);
            QObject::connect(window, &TForm1::configurationDecoded, page, &pages::ObjectPage::refreshFromModel);
            return page;
        }
        case 2: {  // "GSM номера"
            auto* page = new pages::GsmPage(config.gsm, config.workspace, prompts, m_window.writeLink());
            m_window.registerWriteControl(page->SpeedButton12);
            QObject::connect(window, &TForm1::configurationDecoded, page, &pages::GsmPage::refreshFromModel);
            return page;
        }
        case 3: {  // "Коды и Разделы"
            auto* page = new pages::CodesPage(config.codes, config.workspace, prompts, m_window.writeLink());
            // Byte 760 stays the "Объект" page's field; its hidden spinner sits here.
            page->hostCodeDigits(m_window.PageControl1->findChild<QWidget*>(QStringLiteral("UpDown3")));
            m_window.registerWriteControl(page->SpeedButton14);
            QObject::connect(window, &TForm1::configurationDecoded, page, &pages::CodesPage::refreshFromModel);
            return page;
        }
        case 6: {  // "SMS сообщения"
            auto* page = new pages::SmsPage(config.sms, config.workspace, prompts, m_window.writeLink());
            m_window.registerWriteControl(page->SpeedButton11);
            QObject::connect(window, &TForm1::configurationDecoded, page, &pages::SmsPage::refreshFromModel);
            return page;
        }
        case 4: {  // "События": hidden, its write button usable from the start
            auto* page = new pages::EventsPage(config.events, config.workspace, prompts, m_window.writeLink(),
                                               *m_window.Form5);
            QObject::connect(window, &TForm1::configurationDecoded, page, &pages::EventsPage::refreshFromModel);
            return page;
        }
        case 11: {  // "Характеристики"
            auto* page = new pages::ZonesPage(config.zones, config.workspace, prompts, m_window.writeLink(),
                                              *m_window.Form5);
            m_window.registerWriteControl(page->SpeedButton13);
            QObject::connect(window, &TForm1::configurationDecoded, page, &pages::ZonesPage::refreshFromModel);
            QObject::connect(window, &TForm1::sideFilesLoaded, page, [window] {
                std::vector<std::string> lines;
                for (const QString& line : window->sideFiles().zoneTypes()) lines.push_back(line.toStdString());
                window->configuration().zones.setZoneTypes(pages::ZoneTypeList(std::move(lines)));
                window->Form5->setZoneTypes(window->configuration().zones.zoneTypes());
            });
            QObject::connect(window, &TForm1::repeatedWriteTick, page, [window, page] {  // Timer3Timer
                page->Timer3Timer(window->StatusBar1->panelText(1));
                window->writeLink().startWrite();
            });
            return page;
        }
        case 7:  // "Extra": never shown, holds no image field
            return new pages::ExtraPage;
        case 8: {  // "Настройки "
            auto* page = new pages::SettingsPage(config.settings, config.workspace, prompts, m_window.writeLink(),
                                                 m_window);
            m_window.registerWriteControl(page->SpeedButton16);
            m_window.registerWriteControl(page->SpeedButton17);
            QObject::connect(window, &TForm1::configurationDecoded, page, &pages::SettingsPage::refreshFromModel);
            QObject::connect(window, &TForm1::sideFilesLoaded, page,
                             [window, page] { page->setDeviceTypes(window->sideFiles().deviceTypes()); });
            // A module connecting remotely: the date picker shows today before the greeting is built.
            if (io::ModuleLink* moduleLink = m_window.moduleLink())
                moduleLink->setGreetingClock([page] {
                    const QDateTime now = QDateTime::currentDateTime();
                    page->DateTimePicker1->setDate(now.date());
                    return remote::LocalDateTime{now.date().year(), now.date().month(), now.date().day(),
                                                 now.time().hour(), now.time().minute(), now.time().second()};
                });
            return page;
        }
        case 9: {  // "Журнал событий": the list with its context menu, and the state view
            auto* page = new journal::JournalPage(config.journal, config.workspace, prompts, m_window.writeLink(),
                                                  [window] { return window->configuration().settings.zoneHours(); });
            m_window.ListView3 = page->ListView3;
            m_window.attachJournalMenu(m_window.ListView3);
            QObject::connect(window, &TForm1::journalClearRequested, page, &journal::JournalPage::N13Click);
            QObject::connect(window, &TForm1::configurationDecoded, page, &journal::JournalPage::refreshFromModel);
            QObject::connect(window, &TForm1::sideFilesLoaded, page,
                             [window, page] { page->setDescriptions(window->sideFiles().journalTexts()); });
            return page;
        }
        default:
            return nullptr;
    }
}

}  // namespace kv6::app
