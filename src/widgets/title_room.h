#pragma once

#include <QObject>

class QSpacerItem;
class QWidget;

namespace kv6::widgets {

// Keeps a small dialog as wide as its title needs in a title bar, so that
// the window manager shows it whole instead of eliding it ("Введ… роль").
// The title bar's font belongs to the window manager; the dialog's own font
// in bold stands for it, with room for the icon and the buttons beside it.
class TitleRoom final : public QObject {
    Q_OBJECT

public:
    static constexpr int kTitleBarButtons = 120;

    // `window` must already have its layout; owned by it. Follows later
    // title and font changes.
    explicit TitleRoom(QWidget* window);

    // The width `window`'s title asks for.
    [[nodiscard]] static int widthFor(const QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();

    QWidget* m_window;
    QSpacerItem* m_spacer = nullptr;  // an empty row of that width in the layout
};

}  // namespace kv6::widgets
