#include "app/tab_change_marks.h"

#include <QMenu>
#include <QSignalBlocker>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>

#include "pages/common/page_widget.h"

namespace kv6::app {

namespace {
const QString kMark = QStringLiteral("•");
}

TabChangeMarks::TabChangeMarks(QTabWidget& tabs) : QObject(&tabs), m_tabs(tabs) {
    for (int i = 0; i < m_tabs.count(); ++i) {
        pages::PageWidget* page = pageAt(i);
        if (!page) continue;
        connect(&page->marks(), &pages::FieldMarksView::marksChanged, this, [this, page](bool marked) {
            const int index = indexOf(page);
            if (index >= 0) m_tabs.setTabText(index, markedCaption(m_tabs.tabText(index), marked));
        });
    }
    m_tabs.tabBar()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tabs.tabBar(), &QWidget::customContextMenuRequested, this, &TabChangeMarks::showTabMenu);
}

QString TabChangeMarks::markedCaption(const QString& caption, bool marked) {
    QString plain = caption;
    if (plain.endsWith(kMark)) plain.chop(kMark.size() + (plain.endsWith(QStringLiteral(" ") + kMark) ? 1 : 0));
    return marked ? plain + QStringLiteral(" ") + kMark : plain;
}

int TabChangeMarks::markedBarWidth(QTabWidget& tabs) {
    QTabBar* bar = tabs.tabBar();
    const QSignalBlocker quiet(bar);
    QStringList plain;
    for (int i = 0; i < bar->count(); ++i) {
        plain << bar->tabText(i);
        bar->setTabText(i, markedCaption(plain.back(), true));
    }
    const int width = bar->sizeHint().width();
    for (int i = 0; i < bar->count(); ++i) bar->setTabText(i, plain.at(i));
    return width;
}

void TabChangeMarks::updateAll() {
    for (int i = 0; i < m_tabs.count(); ++i)
        if (pages::PageWidget* page = pageAt(i)) page->marks().update();
}

pages::PageWidget* TabChangeMarks::pageAt(int index) const {
    QWidget* sheet = m_tabs.widget(index);
    return sheet ? sheet->findChild<pages::PageWidget*>() : nullptr;
}

int TabChangeMarks::indexOf(const pages::PageWidget* page) const {
    for (int i = 0; i < m_tabs.count(); ++i)
        if (pageAt(i) == page) return i;
    return -1;
}

void TabChangeMarks::showTabMenu(const QPoint& pos) {
    pages::PageWidget* page = pageAt(m_tabs.tabBar()->tabAt(pos));
    if (!page) return;
    auto* menu = new QMenu(m_tabs.tabBar());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* revert = menu->addAction(tr("Отменить изменения"));
    revert->setObjectName(QStringLiteral("RevertPage"));
    revert->setEnabled(page->marks().anyMarked());
    connect(revert, &QAction::triggered, &page->marks(), &pages::FieldMarksView::revertPage);
    menu->popup(m_tabs.tabBar()->mapToGlobal(pos));
}

}  // namespace kv6::app
