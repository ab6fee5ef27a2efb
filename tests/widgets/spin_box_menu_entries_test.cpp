#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTimer>

#include "widgets/spin_box_menu_entries.h"

namespace kv6::widgets {
namespace {

// Right-clicks `box` and returns the names or texts of the menu's entries
// ("-" for a separator); `pick`, when found, is triggered.
QStringList openMenu(QAbstractSpinBox& box, const QString& pick = {}) {
    QStringList entries;
    QTimer::singleShot(0, &box, [&entries, pick] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        QAction* picked = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) {
                entries << QStringLiteral("-");
                continue;
            }
            const QString entry = action->objectName().isEmpty() ? action->text() : action->objectName();
            entries << entry;
            if (entry == pick) picked = action;
        }
        menu->close();
        if (picked) picked->trigger();
    });
    const QPoint at(box.width() / 2, box.height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, box.mapToGlobal(at));
    QApplication::sendEvent(&box, &event);
    return entries;
}

// Qt's own entries, by their text less the accelerator and the shortcut.
bool hasEditEntries(const QStringList& entries) {
    QStringList plain;
    for (QString entry : entries) plain << entry.remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
    for (const char* own : {"Undo", "Cut", "Copy", "Paste", "Select All", "Step up", "Step down"})
        if (!plain.contains(QString::fromLatin1(own))) return false;
    return true;
}

// Adding the revert entries took Copy and Paste out of the spin boxes' menu.
TEST(SpinBoxMenuEntries, QtsOwnEntriesStayAndOursFollowThem) {
    QSpinBox box;
    box.setRange(0, 99);
    int reverted = 0;
    new SpinBoxMenuEntries(&box, [&reverted](QMenu& menu) {
        QAction* revert = menu.addAction(QStringLiteral("Отменить изменение поля"));
        revert->setObjectName(QStringLiteral("RevertField"));
        QObject::connect(revert, &QAction::triggered, [&reverted] { ++reverted; });
    });
    box.show();
    const QStringList entries = openMenu(box);
    EXPECT_TRUE(hasEditEntries(entries)) << entries.join(QStringLiteral(", ")).toStdString();
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(entries.back(), QStringLiteral("RevertField"));
    EXPECT_EQ(entries.count(QStringLiteral("RevertField")), 1);
    EXPECT_EQ(entries.at(entries.size() - 2), QStringLiteral("-")) << "set apart from Qt's entries";

    openMenu(box, QStringLiteral("RevertField"));
    EXPECT_EQ(reverted, 1);
    EXPECT_EQ(openMenu(box), entries) << "each menu gets the entries once";
}

TEST(SpinBoxMenuEntries, DateEditsToo) {
    QDateEdit date;
    new SpinBoxMenuEntries(&date, [](QMenu& menu) { menu.addAction(QStringLiteral("ours"))->setObjectName("ours"); });
    date.show();
    const QStringList entries = openMenu(date);
    EXPECT_TRUE(hasEditEntries(entries)) << entries.join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(entries.back(), QStringLiteral("ours"));
}

}  // namespace
}  // namespace kv6::widgets
