#include <QComboBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>

#include "pages/events/events_page.h"
#include "pages/routing/tform5_dialog.h"
#include "pages/zones/zones_page.h"
#include "window_fixture.h"

namespace kv6::app::test {
namespace {

using RoutingPagesWindow = WindowTest;

TEST_F(RoutingPagesWindow, SheetsHoldThePagesAndParampFillsTheZoneTypes) {
    auto* events = window->tabSheet(4)->findChild<pages::EventsPage*>();
    auto* zones = window->tabSheet(11)->findChild<pages::ZonesPage*>();
    ASSERT_NE(events, nullptr);
    ASSERT_NE(zones, nullptr);
    EXPECT_TRUE(events->SpeedButton10->isEnabled());  // before any read
    EXPECT_FALSE(zones->SpeedButton13->isEnabled());
    window->SpeedButton5Click();
    EXPECT_TRUE(zones->SpeedButton13->isEnabled());

    EXPECT_EQ(window->Form5->ComboBox10->count(), 0);  // the preset names carry no type
    ASSERT_TRUE(writeFile(programDir() + QStringLiteral("/paramp"), "Объём\t131\t3\nПериметр\t132\t16\n"));
    window->loadSideFiles();
    ASSERT_EQ(window->Form5->ComboBox10->count(), 3);
    EXPECT_EQ(window->Form5->ComboBox10->itemText(2), QStringLiteral("24х часовая"));
    EXPECT_EQ(window->configuration().zones.zoneTypes().findType(16), 1);
}

TEST_F(RoutingPagesWindow, Timer3RequeuesTheZoneJobsAndNotesTheLastResult) {
    auto* zones = window->tabSheet(11)->findChild<pages::ZonesPage*>();
    ASSERT_NE(zones, nullptr);
    window->StatusBar1->setPanelText(1, QStringLiteral(" Запись данных завершена"));
    emit window->repeatedWriteTick();  // what a Timer3 tick raises
    EXPECT_EQ(workspace().queue.size(), 7u);
    EXPECT_EQ(link.writeStarts, 1);
    EXPECT_EQ(zones->Memo5->toPlainText(), QStringLiteral("0.  Запись данных завершена"));
}

}  // namespace
}  // namespace kv6::app::test
