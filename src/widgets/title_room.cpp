#include "widgets/title_room.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>
#include <QWidget>
#include <algorithm>

namespace kv6::widgets {

TitleRoom::TitleRoom(QWidget* window) : QObject(window), m_window(window) {
    // An empty item takes no spacing and no height, but the layout, fixed
    // size or not, is at least as wide as it.
    m_spacer = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (auto* box = qobject_cast<QBoxLayout*>(window->layout())) {
        box->addItem(m_spacer);
    } else if (auto* grid = qobject_cast<QGridLayout*>(window->layout())) {
        grid->addItem(m_spacer, grid->rowCount(), 0, 1, std::max(1, grid->columnCount()));
    } else {
        delete m_spacer;
        m_spacer = nullptr;
    }
    window->installEventFilter(this);
    update();
}

int TitleRoom::widthFor(const QWidget& window) {
    QFont font = window.font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(window.windowTitle()) + kTitleBarButtons;
}

void TitleRoom::update() {
    // The frame's sides are the window manager's: the client area may be that much narrower.
    const int frame = m_window->frameGeometry().width() - m_window->width();
    const int width = std::max(0, widthFor(*m_window) - frame);
    if (!m_spacer) {
        m_window->setMinimumWidth(width);
        return;
    }
    const QMargins margins = m_window->layout()->contentsMargins();
    m_spacer->changeSize(std::max(0, width - margins.left() - margins.right()), 0, QSizePolicy::Fixed,
                         QSizePolicy::Fixed);
    if (m_window->layout()) m_window->layout()->invalidate();
}

bool TitleRoom::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::FontChange))
        update();
    return false;
}

}  // namespace kv6::widgets
