#pragma once

#include <QObject>

class QTabWidget;

namespace kv6::app {

// Ctrl+Tab and Ctrl+Shift+Tab on a tab widget move between the shown tabs
// only: Qt's own handling stops on hidden pages, which have no tab and must
// never come up.
class ShownTabKeys final : public QObject {
    Q_OBJECT

public:
    // Filters `tabs`' key presses; owned by it.
    explicit ShownTabKeys(QTabWidget* tabs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTabWidget* m_tabs;
};

}  // namespace kv6::app
