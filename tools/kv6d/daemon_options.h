#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "fleet/fleet_server.h"
#include "fleet/listen_address.h"
#include "fleet/retention_pruner.h"
#include "fleet/sql_dialect.h"

namespace kv6::daemon {

struct DaemonOptions {
    static constexpr quint16 kDefaultPort = 8099;

    fleet::ListenAddress modules{QHostAddress::Any, kDefaultPort};  // --port, --listen
    QString db;  // empty: the default store
    fleet::FleetServer::Options server;
    // PostgreSQL sessions: well below --lease, so that a server waiting on a
    // stalled peer's lock gives up (and gives its jobs back) before its own
    // lease lapses.
    fleet::SqlDialect::Timeouts timeouts{5000, 10000, 5000};
    QStringList proxyFrom;  // --proxy-from, as given
    fleet::RetentionPruner::Policy retention;
    int rolloutSeconds = 2;  // --rollout-interval S
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
