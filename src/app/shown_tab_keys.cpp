#include "app/shown_tab_keys.h"

#include <QKeyEvent>
#include <QTabWidget>

namespace kv6::app {

ShownTabKeys::ShownTabKeys(QTabWidget* tabs) : QObject(tabs), m_tabs(tabs) { tabs->installEventFilter(this); }

bool ShownTabKeys::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_tabs || event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (!tab || !(key->modifiers() & Qt::ControlModifier)) return false;
    const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
    const int count = m_tabs->count();
    for (int step = 1; step < count; ++step) {
        const int index = (m_tabs->currentIndex() + (back ? count - step : step)) % count;
        if (m_tabs->isTabVisible(index) && m_tabs->isTabEnabled(index)) {
            m_tabs->setCurrentIndex(index);
            break;
        }
    }
    return true;
}

}  // namespace kv6::app
