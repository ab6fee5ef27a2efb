#pragma once

#include <QString>
#include <QStringList>

class QMenu;
class QWidget;

namespace kv6::app::test {

// Lists every Cyrillic text under a widget, shown or not (hidden pages and
// the advanced controls count): labels, buttons, group titles, edits, the
// items and titles of lists, tables and trees, the entries of lists that are
// closed, tab captions, tool tips, window titles, and the menus with their
// entries. Texts named as allowed (the language menu names Russian in
// Russian) are passed over.
class CyrillicTexts {
public:
    explicit CyrillicTexts(QStringList allowed = {}) : m_allowed(std::move(allowed)) {}

    void walk(const QWidget* root, const QString& where);

    [[nodiscard]] const QStringList& faults() const { return m_faults; }
    [[nodiscard]] static bool cyrillic(const QString& text);

private:
    void check(const QWidget* widget, const QString& where);
    void checkMenu(const QMenu* menu, const QString& where);
    void report(const QString& where, const QWidget* widget, const QString& kind, const QString& text);

    QStringList m_allowed;
    QStringList m_faults;
};

}  // namespace kv6::app::test
