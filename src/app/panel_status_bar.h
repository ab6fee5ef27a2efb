#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <array>

namespace kv6::app {

// StatusBar1: three owner-drawn panels (port, operation, remote access),
// bold text in blue, red and maroon. Panels 0 and 1 are 50 and 475 pixels
// wide; the last takes the rest of the bar, as a native status bar's does.
class PanelStatusBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 3;
    // The last width is only the least the bar asks for.
    static constexpr std::array<int, kPanelCount> kPanelWidths{50, 475, 100};

    explicit PanelStatusBar(QWidget* parent = nullptr);

    void setPanelText(int panel, const QString& text);
    [[nodiscard]] QString panelText(int panel) const;
    [[nodiscard]] static QColor panelColor(int panel);
    // Where the panel is drawn in the bar.
    [[nodiscard]] QRect panelRect(int panel) const;
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<QString, kPanelCount> m_texts;
};

}  // namespace kv6::app
