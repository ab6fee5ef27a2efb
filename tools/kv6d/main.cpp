#include <QCoreApplication>
#include <QHostInfo>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

#include "common/version.h"
#include "daemon_options.h"
#include "fleet/fleet_server.h"
#include "fleet/sql_fleet_store.h"
#include "fleet/status_server.h"
#include "operator_api.h"
#include "process/termination_watcher.h"

namespace {

// Every module connection is a file descriptor: take all the system allows.
void raiseOpenFilesLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    std::fprintf(stderr, "kv6d: open-files limit %llu\n", static_cast<unsigned long long>(limit.rlim_cur));
}

}  // namespace

int main(int argc, char** argv) {
    kv6::process::TerminationWatcher::blockSignals();
    // Qt's own event dispatcher instead of GLib's: GLib keeps socket notifiers
    // in a list, so with thousands of connections every enabled or disabled
    // notifier (each write of a keep-alive) costs a walk over all of them.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    const kv6::daemon::DaemonOptions options = kv6::daemon::parseDaemonOptions(QCoreApplication::arguments().mid(1));
    if (options.help) {
        std::fputs(kv6::daemon::daemonUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("kv6d %s\n", kv6::kVersion);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "kv6d: %s\n%s", qPrintable(options.error), kv6::daemon::daemonUsage());
        return 2;
    }
    raiseOpenFilesLimit();

    const QString location = options.db.isEmpty() ? kv6::fleet::SqlFleetStore::defaultLocation() : options.db;
    const QString owner = QStringLiteral("kv6d@%1:%2").arg(QHostInfo::localHostName()).arg(getpid());
    kv6::fleet::SqlFleetStore store(location, owner, options.server.leaseSeconds);
    std::string error;
    if (!store.open(error)) {
        std::fprintf(stderr, "kv6d: %s\n", error.c_str());
        return 1;
    }
    if (store.readOnly()) {
        std::fprintf(stderr, "kv6d: the store %s is read-only: kv6d needs write access to it and to its folder\n",
                     qPrintable(store.displayLocation()));
        return 1;
    }
    // A second server on the same SQLite file would run every job twice.
    if (!store.lockForServer(error)) {
        std::fprintf(stderr, "kv6d: %s\n", error.c_str());
        return 1;
    }
    // Whatever was running when this server (or, on a shared database, a
    // server whose lease expired) stopped or was killed goes back to the queue.
    const int recovered = store.recoverLeases();
    if (recovered < 0) {
        std::fprintf(stderr, "kv6d: the store keeps no change: %s\n", store.lastError().c_str());
        return 1;
    }
    if (recovered > 0) std::fprintf(stderr, "kv6d: %d interrupted job(s) back in the queue\n", recovered);

    kv6::fleet::FleetServer::Options serverOptions = options.server;
    serverOptions.log = [](const QString& line) { std::fprintf(stderr, "kv6d: %s\n", qPrintable(line)); };
    kv6::fleet::FleetServer server(store, serverOptions);
    if (!server.listen(options.port)) {
        std::fprintf(stderr, "kv6d: cannot listen on port %u: %s\n", options.port, qPrintable(server.errorString()));
        return 1;
    }
    std::fprintf(stderr, "kv6d: listening on port %u, store %s\n", server.serverPort(),
                 qPrintable(store.displayLocation()));
    kv6::fleet::StatusServer status(server);
    if (options.statusPort) {
        if (!status.listen(*options.statusPort)) {
            std::fprintf(stderr, "kv6d: cannot listen on status port %u: %s\n", *options.statusPort,
                         qPrintable(status.errorString()));
            return 1;
        }
        std::fprintf(stderr, "kv6d: health checks on port %u\n", status.serverPort());
    }

    kv6::daemon::OperatorApi api(store, server, options);
    if (QString problem; !api.start(problem)) {
        std::fprintf(stderr, "kv6d: cannot start the operator API on %s: %s\n", qPrintable(options.apiListen),
                     qPrintable(problem));
        return 1;
    }
    std::fprintf(stderr, "kv6d: operator API on %s\n", qPrintable(api.url()));

    kv6::process::TerminationWatcher watcher;
    QObject::connect(&watcher, &kv6::process::TerminationWatcher::terminationRequested, &app, [&](int signalNumber) {
        std::fprintf(stderr, "kv6d: signal %d, stopping\n", signalNumber);
        server.shutdown();
        app.quit();
    });
    return app.exec();
}
