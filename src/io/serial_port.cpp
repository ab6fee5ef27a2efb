#include "io/serial_port.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>

namespace kv6::io {

namespace {

const char* const kCaption = "Vavovov1";

bool isPortNumber(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    return digits.match(text).hasMatch();
}

}  // namespace

SerialPort::SerialPort(Prompts& prompts, TraceSink& trace, QObject* parent)
    : QObject(parent), m_prompts(prompts), m_trace(trace) {
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::readyRead);
}

QString SerialPort::deviceFor(const QString& numberOrPath) {
    const QString text = numberOrPath.trimmed();
    if (!isPortNumber(text)) return text;
    const int number = text.toInt();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

QString SerialPort::panelText(const QString& numberOrPath) {
    const QString text = numberOrPath.trimmed();
    if (isPortNumber(text)) return QStringLiteral("COM%1").arg(text.toInt());
    return text;  // a path whole: "ttyUSB" or "3" alone says little
}

void SerialPort::fail(const char* message, const QString& device) {
    m_lastFailure = PortOpenFailure{device, m_port.errorString(), m_port.error() == QSerialPort::PermissionError};
    QString reason = device + QStringLiteral(": ") + m_port.errorString();
#ifndef Q_OS_WIN
    if (m_port.error() == QSerialPort::PermissionError)
        reason += QLatin1Char('\n') +
                  QCoreApplication::translate("kv6::io::SerialPort",
                                              "Нет прав на порт: пользователь должен входить в группу dialout.");
#endif
    m_prompts.message(std::string(message) + "\n" + reason.toStdString(), kCaption, MessageIcon::None,
                      MessageButtons::Ok);
}

bool SerialPort::OpenPort(const QString& numberOrPath) {
    const QString device = deviceFor(numberOrPath);
    close();
    m_port.setPortName(device);
    const bool opened = !device.isEmpty() && m_port.open(QIODevice::ReadWrite);
    m_trace.trace(TraceChannel::Link, device.toStdString() + " for Vavovov1 ");
    if (!opened) {
        fail("Invalid Handle Value", device);
        return false;
    }
    const bool applied = m_port.setBaudRate(QSerialPort::Baud9600) && m_port.setDataBits(QSerialPort::Data8) &&
                         m_port.setParity(QSerialPort::NoParity) && m_port.setStopBits(QSerialPort::OneStop) &&
                         m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!applied) {
        fail("DCB SET ERROR", device);
        close();
        return false;
    }
    // A pseudo-terminal has no modem lines; that is no reason to refuse it.
    (void)m_port.setRequestToSend(true);
    (void)m_port.setDataTerminalReady(true);
    m_port.clearError();
    m_lastFailure.reset();
    return true;
}

void SerialPort::close() {
    if (m_port.isOpen()) m_port.close();
}

void SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!m_port.isOpen() || bytes.empty()) return;
    const qint64 written = m_port.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    if (written > 0) m_bytesSent += static_cast<quint64>(written);
}

void SerialPort::flush(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (m_port.isOpen() && m_port.bytesToWrite() > 0 && clock.elapsed() < timeoutMs)
        if (!m_port.waitForBytesWritten(static_cast<int>(timeoutMs - clock.elapsed()))) break;
}

QByteArray SerialPort::readAll() {
    if (!m_port.isOpen()) return {};
    QByteArray bytes = m_port.readAll();
    m_bytesReceived += static_cast<quint64>(bytes.size());
    return bytes;
}

}  // namespace kv6::io
