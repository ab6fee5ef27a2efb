#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace kv6::app::test {

// Walks the shown controls under a widget and lists every text wider than
// the room its control gives it: labels, buttons, check and radio boxes,
// group box titles, the entries of closed lists, column titles and the key
// column of name/value grids. Each line names the control, its text, and
// the pixels needed and given.
class TextFit {
public:
    // Extra room a title bar needs beside its text: icon, close, minimise and
    // maximise buttons and their margins.
    static constexpr int kTitleBarRoom = 110;

    void walk(const QWidget* root, const QString& where);
    // A top-level window's title against its width.
    void checkTitle(const QWidget* window, const QString& where);

    [[nodiscard]] const QStringList& faults() const { return m_faults; }

private:
    void check(const QWidget* widget, const QString& where);
    void report(const QString& where, const QWidget* widget, const QString& text, int needed, int given);

    QStringList m_faults;
};

}  // namespace kv6::app::test
