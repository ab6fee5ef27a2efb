#include "fleet/proxy_sources.h"

namespace kv6::fleet {

namespace {

// An IPv4 peer of a dual-stack socket shows as ::ffff:a.b.c.d.
QHostAddress plain(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

}  // namespace

std::optional<ProxySources> ProxySources::parse(const QStringList& texts, QString& error) {
    ProxySources sources;
    for (const QString& text : texts) {
        const QString trimmed = text.trimmed();
        const QPair<QHostAddress, int> subnet =
            trimmed.contains('/') ? QHostAddress::parseSubnet(trimmed)
                                  : qMakePair(QHostAddress(trimmed), QHostAddress(trimmed).protocol() ==
                                                                             QAbstractSocket::IPv6Protocol
                                                                         ? 128
                                                                         : 32);
        if (subnet.first.isNull() || subnet.second < 0) {
            error = QStringLiteral("'%1' is not an address or ADDRESS/BITS").arg(text);
            return std::nullopt;
        }
        sources.m_subnets.append({plain(subnet.first), subnet.second});
    }
    return sources;
}

bool ProxySources::contains(const QHostAddress& address) const {
    const QHostAddress peer = plain(address);
    for (const auto& [network, bits] : m_subnets)
        if (peer.isInSubnet(network, bits)) return true;
    return false;
}

}  // namespace kv6::fleet
