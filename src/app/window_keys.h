#pragma once

#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace kv6::app {

class ShownTabs;

// The main window's keys that hold wherever its focus is. Ctrl+Tab and
// Ctrl+Shift+Tab change the page (a grid would take them to move between its
// cells), and the quit item's shortcut (Ctrl+A, "Выйти") is that item's even
// in a text field, where it would select the text: the window then asks
// about unsaved edits as it does from anywhere else. Keys in the window's
// dialogs are left alone.
class WindowKeys final : public QObject {
    Q_OBJECT

public:
    // Watches the application's key presses; owned by `window`.
    WindowKeys(QWidget* window, ShownTabs* tabs, QAction* quit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] bool inWindow(QObject* watched) const;

    QWidget* m_window;
    QPointer<ShownTabs> m_tabs;
    QPointer<QAction> m_quit;
};

}  // namespace kv6::app
