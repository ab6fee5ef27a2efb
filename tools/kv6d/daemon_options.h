#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "fleet/fleet_server.h"

namespace kv6::daemon {

struct DaemonOptions {
    quint16 port = 8099;
    QString db;  // empty: the default store
    std::optional<quint16> statusPort;  // none: no health checks
    fleet::FleetServer::Options server;
    QStringList proxyFrom;  // --proxy-from, as given
    QString apiListen = QStringLiteral("127.0.0.1:8098");  // --api-listen ADDRESS:PORT
    QString tlsCert;      // --tls-cert FILE
    QString tlsKey;       // --tls-key FILE
    bool apiPlainHttp = false;  // --api-plain-http: beyond loopback without TLS, on purpose
    bool help = false;
    bool version = false;
    QString error;  // non-empty: the arguments were not usable
};

[[nodiscard]] DaemonOptions parseDaemonOptions(const QStringList& args);
[[nodiscard]] const char* daemonUsage();

}  // namespace kv6::daemon
