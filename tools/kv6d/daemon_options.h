#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "fleet/fleet_server.h"
#include "fleet/retention_pruner.h"

namespace kv6::daemon {

struct DaemonOptions {
    quint16 port = 8099;
    QString db;  // empty: the default store
    std::optional<quint16> statusPort;  // none: no health checks
    fleet::FleetServer::Options server;
    QStringList proxyFrom;  // --proxy-from, as given
    fleet::RetentionPruner::Policy retention;
    bool help = false;
    bool version = false;
    QString error;  // non-empty: the arguments were not usable
};

[[nodiscard]] DaemonOptions parseDaemonOptions(const QStringList& args);
[[nodiscard]] const char* daemonUsage();

}  // namespace kv6::daemon
