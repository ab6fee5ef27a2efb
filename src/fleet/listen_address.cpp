#include "fleet/listen_address.h"

#include <algorithm>

namespace kv6::fleet {

std::optional<ListenAddress> ListenAddress::parse(const QString& text, QString& error) {
    const qsizetype colon = text.lastIndexOf(':');
    if (colon < 0 || text.endsWith(']')) {
        error = QStringLiteral("'%1' has no port: give ADDRESS:PORT").arg(text);
        return std::nullopt;
    }
    const QString host = text.left(colon);
    const QString portText = text.mid(colon + 1);
    bool ok = false;
    const int port = portText.toInt(&ok);
    // toInt takes "+80" and " 80": only digits are a port here.
    const bool digits = !portText.isEmpty() && portText.size() <= 5 &&
                        std::all_of(portText.begin(), portText.end(), [](QChar c) { return c >= '0' && c <= '9'; });
    if (!ok || !digits || port > 65535) {
        error = QStringLiteral("'%1' is not a port 0..65535").arg(portText);
        return std::nullopt;
    }
    ListenAddress where;
    where.m_port = static_cast<quint16>(port);
    if (host == QLatin1String("*")) return where;
    QString literal = host;
    const bool bracketed = host.startsWith('[') && host.endsWith(']') && host.size() > 2;
    if (bracketed) literal = host.mid(1, host.size() - 2);
    const QHostAddress address(literal);
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    // An IPv6 address goes in brackets, so that its last group is not read as the port.
    if (address.isNull() || v6 != bracketed) {
        error = QStringLiteral("'%1' is not an IP address (127.0.0.1, [::1], or * for every address)").arg(host);
        return std::nullopt;
    }
    where.m_address = address;
    return where;
}

QString ListenAddress::addressText() const {
    if (everyAddress()) return QStringLiteral("*");
    return m_address.protocol() == QAbstractSocket::IPv6Protocol ? '[' + m_address.toString() + ']'
                                                                  : m_address.toString();
}

}  // namespace kv6::fleet
