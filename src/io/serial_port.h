#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <optional>

#include "common/prompts.h"
#include "common/trace_sink.h"
#include "io/port_open_failure.h"
#include "link/byte_sink.h"

namespace kv6::io {

// The one serial port handle of a window: opened afresh by every cable
// operation, 9600 8N1 without flow control, RTS and DTR raised. Received bytes
// are announced by readyRead and fetched by the receiver tick.
class SerialPort : public QObject, public link::ByteSink {
    Q_OBJECT
public:
    SerialPort(Prompts& prompts, TraceSink& trace, QObject* parent = nullptr);

    // A number N names COMN on Windows and /dev/ttyS(N-1) elsewhere; anything
    // else is a device path used as it is.
    [[nodiscard]] static QString deviceFor(const QString& numberOrPath);
    // What status panel 0 shows: "COM" + number, or the device path.
    [[nodiscard]] static QString panelText(const QString& numberOrPath);

    // Closes the previous handle, opens and configures the port; failures are
    // shown through the prompts ("Invalid Handle Value", "DCB SET ERROR").
    bool OpenPort(const QString& numberOrPath);
    // Set by a failed OpenPort, cleared by one that succeeds.
    [[nodiscard]] const std::optional<PortOpenFailure>& lastFailure() const { return m_lastFailure; }
    void close();
    [[nodiscard]] bool isOpen() const { return m_port.isOpen(); }

    void write(std::span<const std::uint8_t> bytes) override;
    [[nodiscard]] QByteArray readAll();
    // Hands every byte written so far to the driver, waiting at most `timeoutMs`.
    void flush(int timeoutMs);

    // Bytes written to and read from the line since the start, for measuring.
    [[nodiscard]] quint64 bytesSent() const { return m_bytesSent; }
    [[nodiscard]] quint64 bytesReceived() const { return m_bytesReceived; }

signals:
    void readyRead();

private:
    void fail(const char* message, const QString& device);

    Prompts& m_prompts;
    TraceSink& m_trace;
    QSerialPort m_port;
    quint64 m_bytesSent = 0;
    quint64 m_bytesReceived = 0;
    std::optional<PortOpenFailure> m_lastFailure;
};

}  // namespace kv6::io
