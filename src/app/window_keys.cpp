#include "app/window_keys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "app/shown_tabs.h"

namespace kv6::app {

WindowKeys::WindowKeys(QWidget* window, ShownTabs* tabs, QAction* quit)
    : QObject(window), m_window(window), m_tabs(tabs), m_quit(quit) {
    qApp->installEventFilter(this);
}

bool WindowKeys::inWindow(QObject* watched) const {
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget && widget->window() == m_window;
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    if (!inWindow(watched)) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;

    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (tab && (modifiers & Qt::ControlModifier) && !(modifiers & (Qt::AltModifier | Qt::MetaModifier))) {
        if (type == QEvent::ShortcutOverride) {
            event->accept();  // no shortcut: the key press comes here
            return true;
        }
        const bool back = key->key() == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier);
        if (m_tabs) m_tabs->step(back ? -1 : 1);
        return true;
    }

    if (m_quit && m_quit->isEnabled() && !m_quit->shortcut().isEmpty() &&
        QKeySequence(key->keyCombination()) == m_quit->shortcut()) {
        if (type == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        m_quit->trigger();
        return true;
    }
    return false;
}

}  // namespace kv6::app
