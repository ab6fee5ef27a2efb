#pragma once

#include <QObject>
#include <QString>

class QTabWidget;

namespace kv6::pages {
class PageWidget;
}

namespace kv6::app {

// The tabs of PageControl1 that hold a changed field carry a trailing "•";
// a tab's context menu puts back the whole page ("Отменить изменения").
class TabChangeMarks final : public QObject {
    Q_OBJECT
public:
    explicit TabChangeMarks(QTabWidget& tabs);

    // Every page widget on the tabs draws its marks again (after a write or a save).
    void updateAll();
    [[nodiscard]] static QString markedCaption(const QString& caption, bool marked);
    // The bar's width with every shown tab marked: what the window leaves for it.
    [[nodiscard]] static int markedBarWidth(QTabWidget& tabs);

private:
    void showTabMenu(const QPoint& pos);
    [[nodiscard]] pages::PageWidget* pageAt(int index) const;
    [[nodiscard]] int indexOf(const pages::PageWidget* page) const;

    QTabWidget& m_tabs;
};

}  // namespace kv6::app
