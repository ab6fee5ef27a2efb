#include "app/panel_status_bar.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

namespace kv6::app {

namespace {
constexpr int kTextInset = 2;  // the text starts 2 px right and below the panel corner
constexpr int kPanelGap = 2;   // between panels, as the native bar leaves it
constexpr int kTextRoom = kTextInset + 2;  // the inset and the panel's right border

std::size_t at(int panel) { return static_cast<std::size_t>(panel); }
}  // namespace

PanelStatusBar::PanelStatusBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QFont PanelStatusBar::panelFont() const {
    QFont bold = font();
    bold.setBold(true);
    return bold;
}

void PanelStatusBar::setPanelText(int panel, const QString& text, int pathFrom) {
    if (panel < 0 || panel >= kPanelCount) return;
    if (m_texts[at(panel)] == text && m_pathFrom[at(panel)] == pathFrom) return;
    m_texts[at(panel)] = text;
    m_pathFrom[at(panel)] = pathFrom >= 0 && pathFrom < text.size() ? pathFrom : -1;
    update();
}

QString PanelStatusBar::panelText(int panel) const {
    if (panel < 0 || panel >= kPanelCount) return {};
    return m_texts[at(panel)];
}

QString PanelStatusBar::shownText(int panel) const {
    if (panel < 0 || panel >= kPanelCount) return {};
    const QString& text = m_texts[at(panel)];
    const QFontMetrics metrics(panelFont());
    const int room = panelRect(panel).width() - kTextRoom;
    if (metrics.horizontalAdvance(text) <= room) return text;
    const int pathFrom = m_pathFrom[at(panel)];
    if (pathFrom >= 0) {
        // The folders give way first, then the file name's middle.
        const QString head = text.left(pathFrom);
        const QString path = text.mid(pathFrom);
        const qsizetype nameFrom =
            std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1;
        const QString tail = path.mid(nameFrom);  // the name, and what follows it
        const int folderRoom = room - metrics.horizontalAdvance(head) - metrics.horizontalAdvance(tail);
        if (nameFrom > 0 && folderRoom > metrics.horizontalAdvance(QStringLiteral("/……/")))
            return head + metrics.elidedText(path.left(nameFrom), Qt::ElideMiddle, folderRoom) + tail;
        const int pathRoom = room - metrics.horizontalAdvance(head);
        if (pathRoom > metrics.horizontalAdvance(QStringLiteral("……")))
            return head + metrics.elidedText(path, Qt::ElideMiddle, pathRoom);
    }
    // A port path keeps its start and its number; a message its start.
    return metrics.elidedText(text, panel == 0 ? Qt::ElideMiddle : Qt::ElideRight, room);
}

QColor PanelStatusBar::panelColor(int panel) {
    switch (panel) {
        case 0: return QColor(0, 0, 255);
        case 1: return QColor(255, 0, 0);
        default: return QColor(128, 0, 0);
    }
}

int PanelStatusBar::panelWidth(int panel) const {
    if (panel != 0) return kPanelWidths[at(panel)];
    const int needed = QFontMetrics(panelFont()).horizontalAdvance(m_texts[0]) + kTextRoom;
    return std::clamp(needed, kPanelWidths[0], kPortPanelMaxWidth);
}

QRect PanelStatusBar::panelRect(int panel) const {
    if (panel < 0 || panel >= kPanelCount) return {};
    int x = 0;
    for (int i = 0; i < panel; ++i) x += panelWidth(i) + kPanelGap;
    const int width = panel == kPanelCount - 1 ? std::max(0, this->width() - x) : panelWidth(panel);
    return {x, 0, width, height()};
}

QSize PanelStatusBar::sizeHint() const {
    const QFontMetrics metrics(panelFont());
    int width = 0;
    for (int w : kPanelWidths) width += w + kPanelGap;
    return {width, metrics.height() + 2 * kTextInset + 2};
}

// The tooltip of an elided panel shows its whole text.
bool PanelStatusBar::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    for (int i = 0; i < kPanelCount; ++i) {
        const QRect rect = panelRect(i);
        if (!rect.contains(help->pos())) continue;
        if (shownText(i) != m_texts[at(i)]) {
            QToolTip::showText(help->globalPos(), m_texts[at(i)], this, rect);
            return true;
        }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

void PanelStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(panelFont());
    for (int i = 0; i < kPanelCount; ++i) {
        const QRect rect = panelRect(i);
        painter.fillRect(rect, palette().window());
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        painter.setPen(panelColor(i));
        painter.setClipRect(rect.adjusted(1, 1, -1, -1));
        const QRect textRect = rect.adjusted(kTextInset, kTextInset, 0, 0);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shownText(i));
        painter.setClipping(false);
    }
}

}  // namespace kv6::app
