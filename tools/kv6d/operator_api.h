#pragma once

#include <QString>
#include <memory>

#include "daemon_options.h"
#include "fleet/api/api_http_server.h"
#include "fleet/api/api_service.h"
#include "fleet/fleet_server.h"

namespace kv6::daemon {

// kv6d's operator API: the service over the store and the fleet server's
// state, on its own HTTP(S) listener in the server's event loop.
class OperatorApi {
public:
    OperatorApi(fleet::FleetStore& store, const fleet::FleetServer& server, const DaemonOptions& options);

    // False with `error` when the listener cannot start.
    bool start(QString& error);
    // "http://127.0.0.1:8098" as it listens.
    [[nodiscard]] QString url() const;

private:
    [[nodiscard]] std::string serverMetrics() const;

    fleet::FleetStore& m_store;
    const fleet::FleetServer& m_server;
    const DaemonOptions& m_options;
    std::unique_ptr<fleet::api::ApiService> m_service;
    std::unique_ptr<fleet::api::ApiHttpServer> m_http;
    QString m_host;
};

}  // namespace kv6::daemon
