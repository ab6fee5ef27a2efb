#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace kv6::app {

// One serial port the system reports, as the port dialog lists it.
struct SerialPortEntry {
    QString path;  // /dev/ttyUSB0, COM3
    QString description;
    QString manufacturer;
    std::optional<quint16> vendorId;  // known for USB adapters
    std::optional<quint16> productId;
    bool accessible = true;  // this user may open it

    [[nodiscard]] bool isUsb() const { return vendorId.has_value(); }
    // "/dev/ttyUSB0 — FT232R USB UART, FTDI (USB 0403:6001)".
    [[nodiscard]] QString label() const;
};

// USB adapters first (the one just plugged in is among them), then by path.
[[nodiscard]] std::vector<SerialPortEntry> sortedPortEntries(std::vector<SerialPortEntry> entries);
// The ports present now (QSerialPortInfo), with whether this user may open them.
[[nodiscard]] std::vector<SerialPortEntry> systemPortEntries();

}  // namespace kv6::app
