#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <array>

namespace kv6::app {

// StatusBar1: three owner-drawn panels (port, operation, remote access),
// 50, 475 and 100 pixels wide, bold text in blue, red and maroon.
class PanelStatusBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 3;
    static constexpr std::array<int, kPanelCount> kPanelWidths{50, 475, 100};

    explicit PanelStatusBar(QWidget* parent = nullptr);

    void setPanelText(int panel, const QString& text);
    [[nodiscard]] QString panelText(int panel) const;
    [[nodiscard]] static QColor panelColor(int panel);
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<QString, kPanelCount> m_texts;
};

}  // namespace kv6::app
