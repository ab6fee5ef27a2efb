#include <QCoreApplication>
#include <QHostInfo>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

#include "common/version.h"
#include "daemon_options.h"
#include "fleet/fleet_server.h"
#include "fleet/passfile_check.h"
#include "fleet/retention_pruner.h"
#include "fleet/sql_location.h"
#include "fleet/sql_fleet_store.h"
#include "process/log_handler.h"
#include "operator_api.h"
#include "rollout_driver.h"
#include "process/termination_watcher.h"

namespace {

// Exit statuses the service unit does not restart on (RestartPreventExitStatus=):
// 2 for unusable arguments, this one for a store migrated past this program.
constexpr int kExitStoreNewer = 3;

// Every module connection is a file descriptor: take all the system allows.
void raiseOpenFilesLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    qInfo("open-files limit %llu", static_cast<unsigned long long>(limit.rlim_cur));
}

// " at 10.0.0.11" for a port bound to one address; nothing for every address.
QString at(const kv6::fleet::ListenAddress& where) {
    return where.everyAddress() ? QString() : QStringLiteral(" at ") + where.addressText();
}

// What keeps libpq from the password of the passfile the store's URL names;
// empty when there is none or it is usable (a bad URL is said by the store).
QString passfileProblem(const QString& location) {
    std::string ignored;
    const auto where = kv6::fleet::SqlLocation::parse(location, ignored);
    if (!where) return {};
    const QString passfile = kv6::fleet::PassfileCheck::named(where->connectOptions());
    return passfile.isEmpty() ? QString() : kv6::fleet::PassfileCheck::problem(passfile);
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
    // From here on every line is the log's: stamped, or journald's under systemd.
    const kv6::process::LogHandler logHandler({"kv6d", "kv6.fleet"});
    raiseOpenFilesLimit();

    const QString location = options.db.isEmpty() ? kv6::fleet::SqlFleetStore::defaultLocation() : options.db;
    const QString owner = QStringLiteral("kv6d@%1:%2").arg(QHostInfo::localHostName()).arg(getpid());
    kv6::fleet::SqlFleetStore store(location, owner, options.server.leaseSeconds);
    store.setTimeouts(options.timeouts);
    std::string error;
    if (const QString problem = passfileProblem(location); !problem.isEmpty()) {
        qCritical("%s", qPrintable(problem));
        return 1;
    }
    if (!store.open(error)) {
        qCritical("%s", error.c_str());
        if (!store.schemaNewer()) return 1;
        // Waiting would not help: a store is never migrated back. The unit's
        // RestartPreventExitStatus= keeps systemd from starting it again.
        qCritical("a newer kv6d migrated this store: install that version here, then start kv6d again "
                  "(exit status %d: not restarted)",
                  kExitStoreNewer);
        return kExitStoreNewer;
    }
    if (store.readOnly()) {
        qCritical("the store %s is read-only: kv6d needs write access to it and to its folder",
                  qPrintable(store.displayLocation()));
        return 1;
    }
    // A second server on the same SQLite file would run every job twice.
    if (!store.lockForServer(error)) {
        qCritical("%s", error.c_str());
        return 1;
    }
    // Whatever was running when this server (or, on a shared database, a
    // server whose lease expired) stopped or was killed goes back to the queue.
    const int recovered = store.recoverLeases();
    if (recovered < 0) {
        qCritical("the store keeps no change: %s", store.lastError().c_str());
        return 1;
    }
    if (recovered > 0) qInfo("%d interrupted job(s) back in the queue", recovered);

    kv6::fleet::FleetServer server(store, options.server);
    const kv6::fleet::ListenAddress& modules = options.modules;
    if (!server.listen(modules.port(), modules.address())) {
        qCritical("cannot listen on port %u%s: %s", modules.port(), qPrintable(at(modules)),
                  qPrintable(server.errorString()));
        return 1;
    }
    qInfo("listening on port %u%s, store %s", server.serverPort(), qPrintable(at(modules)),
          qPrintable(store.displayLocation()));

    kv6::fleet::RetentionPruner pruner(store, options.retention);
    const auto retained = [&store](int backups, int jobs, bool failed) {
        if (failed)
            qWarning("retention: the store could not delete old records: %s", store.lastError().c_str());
        else if (backups > 0 || jobs > 0)
            qInfo("retention: deleted %d old backup(s) and %d ended job(s)", backups, jobs);
    };
    QObject::connect(&pruner, &kv6::fleet::RetentionPruner::passEnded, &pruner, retained);
    pruner.start();

    kv6::daemon::RolloutDriver rollouts(store, options.rolloutSeconds, [&server] { return server.storeReachable(); });
    rollouts.start();

    kv6::daemon::OperatorApi api(store, server, options);
    if (QString problem; !api.start(problem)) {
        qCritical("cannot start the operator API on %s: %s", qPrintable(options.apiListen),
                     qPrintable(problem));
        return 1;
    }
    qInfo("operator API on %s", qPrintable(api.url()));

    kv6::process::TerminationWatcher watcher;
    QObject::connect(&watcher, &kv6::process::TerminationWatcher::terminationRequested, &app, [&](int signalNumber) {
        qInfo("signal %d, stopping", signalNumber);
        server.shutdown();
        app.quit();
    });
    return app.exec();
}
