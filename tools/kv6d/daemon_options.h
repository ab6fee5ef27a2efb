#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "fleet/fleet_server.h"
#include "fleet/sql_dialect.h"

namespace kv6::daemon {

struct DaemonOptions {
    quint16 port = 8099;
    QString db;  // empty: the default store
    std::optional<quint16> statusPort;  // none: no health checks
    fleet::FleetServer::Options server;
    // PostgreSQL sessions: well below --lease, so that a server waiting on a
    // stalled peer's lock gives up (and gives its jobs back) before its own
    // lease lapses.
    fleet::SqlDialect::Timeouts timeouts{5000, 10000, 5000};
    QStringList proxyFrom;  // --proxy-from, as given
    bool help = false;
    bool version = false;
    QString error;  // non-empty: the arguments were not usable
};

[[nodiscard]] DaemonOptions parseDaemonOptions(const QStringList& args);
[[nodiscard]] const char* daemonUsage();

}  // namespace kv6::daemon
