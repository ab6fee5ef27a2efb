#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace kv6::fleet {

// The addresses whose connections start with a PROXY protocol v2 header
// (the load balancers in front of the server), from --proxy-from: each an
// address or a subnet ADDRESS/BITS. A connection from any other address is
// taken as the module's own, whatever its first bytes.
class ProxySources {
public:
    // None, with `error` saying which text is no address.
    [[nodiscard]] static std::optional<ProxySources> parse(const QStringList& texts, QString& error);

    [[nodiscard]] bool contains(const QHostAddress& address) const;
    [[nodiscard]] bool empty() const { return m_subnets.isEmpty(); }

private:
    QList<QPair<QHostAddress, int>> m_subnets;
};

}  // namespace kv6::fleet
