#include "app/panel_status_bar.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace kv6::app {

namespace {
constexpr int kTextInset = 2;  // the text starts 2 px right and below the panel corner
constexpr int kPanelGap = 2;   // between panels, as the native bar leaves it

QFont boldFont(QFont font) {
    font.setBold(true);
    return font;
}
}  // namespace

PanelStatusBar::PanelStatusBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PanelStatusBar::setPanelText(int panel, const QString& text) {
    if (panel < 0 || panel >= kPanelCount || m_texts[static_cast<std::size_t>(panel)] == text) return;
    m_texts[static_cast<std::size_t>(panel)] = text;
    update();
}

QString PanelStatusBar::panelText(int panel) const {
    if (panel < 0 || panel >= kPanelCount) return {};
    return m_texts[static_cast<std::size_t>(panel)];
}

QColor PanelStatusBar::panelColor(int panel) {
    switch (panel) {
        case 0: return QColor(0, 0, 255);
        case 1: return QColor(255, 0, 0);
        default: return QColor(128, 0, 0);
    }
}

QRect PanelStatusBar::panelRect(int panel) const {
    if (panel < 0 || panel >= kPanelCount) return {};
    int x = 0;
    for (int i = 0; i < panel; ++i) x += kPanelWidths[static_cast<std::size_t>(i)] + kPanelGap;
    const int width = panel == kPanelCount - 1 ? std::max(0, this->width() - x)
                                               : kPanelWidths[static_cast<std::size_t>(panel)];
    return {x, 0, width, height()};
}

QSize PanelStatusBar::sizeHint() const {
    const QFontMetrics metrics(boldFont(font()));
    int width = 0;
    for (int w : kPanelWidths) width += w + kPanelGap;
    return {width, metrics.height() + 2 * kTextInset + 2};
}

void PanelStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(boldFont(font()));
    for (int i = 0; i < kPanelCount; ++i) {
        const QRect rect = panelRect(i);
        painter.fillRect(rect, palette().window());
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        painter.setPen(panelColor(i));
        painter.setClipRect(rect.adjusted(1, 1, -1, -1));
        const QRect textRect = rect.adjusted(kTextInset, kTextInset, 0, 0);
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         m_texts[static_cast<std::size_t>(i)]);
        painter.setClipping(false);
    }
}

}  // namespace kv6::app
