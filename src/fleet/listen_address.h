#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

namespace kv6::fleet {

// Where the module port of the server listens, from --listen:
// "ADDRESS:PORT" with an IPv4 address, a bracketed IPv6 address ("[::1]:8099")
// or "*" for every address of the machine, IPv4 and IPv6. A name is refused:
// it could stand for several addresses, or for none once the server runs.
class ListenAddress {
public:
    ListenAddress() = default;
    ListenAddress(const QHostAddress& address, quint16 port) : m_address(address), m_port(port) {}

    // None, with `error` saying what is wrong with the text.
    [[nodiscard]] static std::optional<ListenAddress> parse(const QString& text, QString& error);

    [[nodiscard]] const QHostAddress& address() const { return m_address; }
    [[nodiscard]] quint16 port() const { return m_port; }
    // Whether it listens on every address (no --listen, or "*").
    [[nodiscard]] bool everyAddress() const { return m_address == QHostAddress(QHostAddress::Any); }
    // The address as a log line names it: "127.0.0.1", "[::1]", "*".
    [[nodiscard]] QString addressText() const;

private:
    QHostAddress m_address{QHostAddress::Any};
    quint16 m_port = 0;
};

}  // namespace kv6::fleet
