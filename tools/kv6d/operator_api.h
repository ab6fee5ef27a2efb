#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <memory>

#include "daemon_options.h"
#include "fleet/api/api_http_server.h"
#include "fleet/api/api_service.h"
#include "fleet/fleet_server.h"
#include "fleet/sql_fleet_store.h"

namespace kv6::daemon {

// kv6d's operator API: the service over the store and the fleet server's
// state, on its own HTTP(S) listener. It runs on a thread of its own with a
// store connection of its own, so that neither a slow request nor a
// statement it waits on holds up the modules; the fleet server's state it
// reads from the snapshot the server publishes.
class OperatorApi {
public:
    // `store` is not opened yet: it is opened, used and closed on the API's thread.
    OperatorApi(std::unique_ptr<fleet::SqlFleetStore> store, fleet::FleetServer& server, const DaemonOptions& options);
    // Stops the listener and the thread; before the fleet server goes.
    ~OperatorApi();
    OperatorApi(const OperatorApi&) = delete;
    OperatorApi& operator=(const OperatorApi&) = delete;

    // False with `error` when the store cannot be opened or the listener cannot start.
    bool start(QString& error);
    // "http://127.0.0.1:8098" as it listens.
    [[nodiscard]] QString url() const;

private:
    // On the API's thread: what start() does there.
    bool startHere(QString& error);
    // The fleet server's state, published for this request (or, if the
    // server does not answer at once, as last published).
    [[nodiscard]] std::shared_ptr<const fleet::ServerState> serverState() const;
    [[nodiscard]] std::string serverMetrics() const;

    std::unique_ptr<fleet::SqlFleetStore> m_store;
    QPointer<fleet::FleetServer> m_server;  // only to ask it to publish; read through its snapshot
    const fleet::ServerSnapshot& m_snapshot;
    const DaemonOptions& m_options;
    QThread m_thread;
    std::unique_ptr<QObject> m_worker;  // on the API's thread
    std::unique_ptr<fleet::api::ApiService> m_service;
    std::unique_ptr<fleet::api::ApiHttpServer> m_http;
    QString m_host;
    QString m_url;
};

}  // namespace kv6::daemon
