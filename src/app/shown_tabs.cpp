#include "app/shown_tabs.h"

#include <QTabBar>
#include <QWheelEvent>
#include <cstdlib>

namespace kv6::app {

ShownTabs::ShownTabs(QTabBar* bar) : QObject(bar), m_bar(bar) {
    // The window is as wide as every tab: scroll arrows would only hide tabs.
    bar->setUsesScrollButtons(false);
    bar->setElideMode(Qt::ElideNone);
    // Only the bar's entry: disabling the sheet itself would disable its controls.
    for (int i = 0; i < bar->count(); ++i)
        if (!bar->isTabVisible(i)) bar->setTabEnabled(i, false);
    m_lastShown = shown(bar->currentIndex()) ? bar->currentIndex() : 0;
    bar->installEventFilter(this);
    connect(bar, &QTabBar::currentChanged, this, &ShownTabs::currentChanged);
}

bool ShownTabs::shown(int index) const {
    return index >= 0 && index < m_bar->count() && m_bar->isTabVisible(index) && m_bar->isTabEnabled(index);
}

void ShownTabs::step(int direction) {
    const int count = m_bar->count();
    const int from = m_bar->currentIndex();
    for (int offset = 1; offset < count; ++offset) {
        const int index = ((from + direction * offset) % count + count) % count;
        if (shown(index)) {
            m_bar->setCurrentIndex(index);
            return;
        }
    }
}

void ShownTabs::currentChanged(int index) {
    if (shown(index)) {
        m_lastShown = index;
        return;
    }
    if (index >= 0 && shown(m_lastShown)) m_bar->setCurrentIndex(m_lastShown);
}

// A notch up goes one tab left, as Qt's bar does; a touchpad's small turns add up.
bool ShownTabs::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_bar || event->type() != QEvent::Wheel) return false;
    const QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
    m_wheelRest += std::abs(delta.y()) >= std::abs(delta.x()) ? delta.y() : delta.x();
    while (std::abs(m_wheelRest) >= kWheelNotch) {
        const int notch = m_wheelRest > 0 ? 1 : -1;
        m_wheelRest -= notch * kWheelNotch;
        step(-notch);
    }
    event->accept();
    return true;
}

}  // namespace kv6::app
