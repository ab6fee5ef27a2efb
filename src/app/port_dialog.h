#pragma once

#include <QDialog>
#include <QStringList>
#include <vector>

#include "app/serial_port_entry.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace kv6::app {

// TForm4, "Выбрать порт": the serial port as a number 1..99 or, beyond the
// numbered ports, a device path typed or picked from the ports the system
// reports (/dev/ttyUSB0, /dev/pts/3). Enter closes it.
class TForm4 final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPortMin = 1;
    static constexpr int kPortMax = 99;

    explicit TForm4(QWidget* parent = nullptr);

    // The port text shown in Edit1; a number also moves UpDown1, a path blanks it.
    void setPortText(const QString& text);
    [[nodiscard]] QString portText() const;
    // Refills Edit1's list with the serial ports present now (text kept).
    void refreshPorts();
    void setAvailablePorts(const QStringList& devices);
    // The list as given (path, description, USB ids); picking one puts its path in Edit1.
    void setAvailablePorts(const std::vector<SerialPortEntry>& ports);

    QLabel* Label1;        // "Последовательный порт: "
    QComboBox* Edit1;      // the port as typed: a number or a device path
    QSpinBox* UpDown1;     // the port number 1..99, kept in step with Edit1; blank beside a path
    QPushButton* BitBtn1;  // OK
    QPushButton* RefreshButton;  // "Обновить": the ports present now
    QLabel* PermissionHint;      // how to get the rights to a listed port, when one is refused

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void syncSpinnerFromText(const QString& text);
    [[nodiscard]] std::vector<SerialPortEntry> withPortsInUse(std::vector<SerialPortEntry> ports);

    QStringList m_portsInUse;  // device paths shown when the list was refreshed, this run
};

}  // namespace kv6::app
