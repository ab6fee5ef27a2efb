#pragma once

#include <QObject>

class QTabBar;

namespace kv6::app {

// Keeps PageControl1 on its shown tabs. Hidden sheets have no tab, but Qt's
// tab bar still steps onto them with the wheel and the arrow keys, and offers
// scroll arrows that hide the later tabs: the hidden ones are taken out of
// that stepping, the wheel steps over shown tabs only, and should anything
// still make a hidden sheet current, the last shown one comes back.
class ShownTabs final : public QObject {
    Q_OBJECT

public:
    // The wheel turns one notch by this much (QWheelEvent::angleDelta).
    static constexpr int kWheelNotch = 120;

    // Owned by `bar` (PageControl1's); made once the sheets are added. It
    // works on the bar alone, which the tab widget follows, so that it never
    // touches a tab widget on its way down.
    explicit ShownTabs(QTabBar* bar);

    // The next shown tab after the current one (`direction` 1), or the one
    // before it (-1), wrapping round; as Ctrl+Tab and Ctrl+Shift+Tab do.
    void step(int direction);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void currentChanged(int index);
    [[nodiscard]] bool shown(int index) const;

    QTabBar* m_bar;
    int m_lastShown = 0;
    int m_wheelRest = 0;  // what a touchpad turned short of a notch
};

}  // namespace kv6::app
