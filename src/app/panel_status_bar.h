#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <array>

namespace kv6::app {

// StatusBar1: three owner-drawn panels (port, operation, remote access),
// bold text in blue, red and maroon. Panel 0 is 50 pixels wide, or as wide
// as the port it names (a device path such as "/dev/ttyUSB7"), up to a
// limit; panel 1 is 475 pixels; the last takes the rest of the bar, as a
// native status bar's does. A text wider than its panel is elided, a file
// path in it in the middle so that the head of the message and the file
// name stay; its tooltip shows it whole.
class PanelStatusBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 3;
    // Panel 0's and 2's widths are only the least they take.
    static constexpr std::array<int, kPanelCount> kPanelWidths{50, 475, 100};
    // Panel 0 grows to its text up to this; a longer path is elided in the middle.
    static constexpr int kPortPanelMaxWidth = 130;

    explicit PanelStatusBar(QWidget* parent = nullptr);

    // `pathFrom`: where a file path starts in `text` (-1: none); an elided
    // text keeps what stands before it whole.
    void setPanelText(int panel, const QString& text, int pathFrom = -1);
    [[nodiscard]] QString panelText(int panel) const;
    // The text as drawn: elided when the panel is too narrow for it.
    [[nodiscard]] QString shownText(int panel) const;
    [[nodiscard]] static QColor panelColor(int panel);
    // Where the panel is drawn in the bar.
    [[nodiscard]] QRect panelRect(int panel) const;
    [[nodiscard]] QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] QFont panelFont() const;
    [[nodiscard]] int panelWidth(int panel) const;

    std::array<QString, kPanelCount> m_texts;
    std::array<int, kPanelCount> m_pathFrom{-1, -1, -1};
};

}  // namespace kv6::app
