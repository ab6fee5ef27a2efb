#include "widgets/spin_box_menu_entries.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QChildEvent>
#include <QLineEdit>
#include <QMenu>

namespace kv6::widgets {

namespace {
const char* const kEntriesAdded = "kv6EntriesAdded";
}

SpinBoxMenuEntries::SpinBoxMenuEntries(QAbstractSpinBox* box, AddEntries addEntries)
    : QObject(box), m_addEntries(std::move(addEntries)) {
    box->setContextMenuPolicy(Qt::DefaultContextMenu);  // Qt's own menu, not a signal
    // The menu is a child of the spin box's edit, made and polished (just
    // before it shows) within one context menu event.
    if (auto* edit = box->findChild<QLineEdit*>()) edit->installEventFilter(this);
}

bool SpinBoxMenuEntries::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::ChildPolished) return false;
    auto* menu = qobject_cast<QMenu*>(static_cast<QChildEvent*>(event)->child());
    if (!menu || menu->property(kEntriesAdded).toBool() || !m_addEntries) return false;
    menu->setProperty(kEntriesAdded, true);
    if (menu->actions().isEmpty() || !menu->actions().constLast()->isSeparator()) menu->addSeparator();
    m_addEntries(*menu);
    return false;
}

}  // namespace kv6::widgets
