#include <QCoreApplication>
#include <QHostInfo>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

#include "common/version.h"
#include "daemon_options.h"
#include "fleet/fleet_server.h"
#include "fleet/passfile_check.h"
#include "fleet/retention_pruner.h"
#include "fleet/sql_location.h"
#include "fleet/sql_fleet_store.h"
#include "fleet/store_thread.h"
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
    if (const QString problem = passfileProblem(location); !problem.isEmpty()) {
        qCritical("%s", qPrintable(problem));
        return 1;
    }
    // The modules' store lives on a thread of its own: opened, used and
    // closed there, so that no statement holds up the module connections.
    auto modulesStore = std::make_unique<kv6::fleet::SqlFleetStore>(location, owner, options.server.leaseSeconds);
    modulesStore->setTimeouts(options.timeouts);
    kv6::fleet::SqlFleetStore& store = *modulesStore;  // only ever touched on the store's thread
    kv6::fleet::StoreThread storeThread(std::move(modulesStore));
    struct Opened {
        int exitCode = 0;  // 0: open, and the jobs of stopped servers back in the queue
        int recovered = 0;
        QString display;
    };
    const Opened opened = storeThread.call([&store](kv6::fleet::FleetStore&) {
        Opened result;
        std::string error;
        if (!store.open(error)) {
            qCritical("%s", error.c_str());
            result.exitCode = 1;
            if (!store.schemaNewer()) return result;
            // Waiting would not help: a store is never migrated back. The unit's
            // RestartPreventExitStatus= keeps systemd from starting it again.
            qCritical("a newer kv6d migrated this store: install that version here, then start kv6d again "
                      "(exit status %d: not restarted)",
                      kExitStoreNewer);
            result.exitCode = kExitStoreNewer;
            return result;
        }
        result.display = store.displayLocation();
        if (store.readOnly()) {
            qCritical("the store %s is read-only: kv6d needs write access to it and to its folder",
                      qPrintable(store.displayLocation()));
            result.exitCode = 1;
            return result;
        }
        // A second server on the same SQLite file would run every job twice.
        if (!store.lockForServer(error)) {
            qCritical("%s", error.c_str());
            result.exitCode = 1;
            return result;
        }
        // Whatever was running when this server (or, on a shared database, a
        // server whose lease expired) stopped or was killed goes back to the queue.
        result.recovered = store.recoverLeases();
        if (result.recovered < 0) {
            qCritical("the store keeps no change: %s", store.lastError().c_str());
            result.exitCode = 1;
        }
        return result;
    });
    if (opened.exitCode != 0) return opened.exitCode;
    if (opened.recovered > 0) qInfo("%d interrupted job(s) back in the queue", opened.recovered);

    kv6::fleet::FleetServer server(storeThread, options.server);
    const kv6::fleet::ListenAddress& modules = options.modules;
    if (!server.listen(modules.port(), modules.address())) {
        qCritical("cannot listen on port %u%s: %s", modules.port(), qPrintable(at(modules)),
                  qPrintable(server.errorString()));
        return 1;
    }
    qInfo("listening on port %u%s, store %s", server.serverPort(), qPrintable(at(modules)), qPrintable(opened.display));

    kv6::daemon::RolloutDriver rollouts(storeThread, options.rolloutSeconds, [&server] { return server.storeReachable(); });
    rollouts.start();

    // The operator API reads and queues on a connection and a thread of its own.
    auto apiStore = std::make_unique<kv6::fleet::SqlFleetStore>(location, owner + QStringLiteral(" api"),
                                                                options.server.leaseSeconds);
    apiStore->setTimeouts(options.timeouts);
    kv6::daemon::OperatorApi api(std::move(apiStore), server, options);
    if (QString problem; !api.start(problem)) {
        qCritical("cannot start the operator API on %s: %s", qPrintable(options.apiListen),
                     qPrintable(problem));
        return 1;
    }
    qInfo("operator API on %s", qPrintable(api.url()));

    // Retention runs its batches on the store's thread, between the modules' statements.
    std::unique_ptr<kv6::fleet::RetentionPruner> pruner;
    storeThread.call([&pruner, &options](kv6::fleet::FleetStore& onThread) {
        pruner = std::make_unique<kv6::fleet::RetentionPruner>(onThread, options.retention);
        const auto retained = [&onThread](int backups, int jobs, bool failed) {
            if (failed)
                qWarning("retention: the store could not delete old records: %s", onThread.lastError().c_str());
            else if (backups > 0 || jobs > 0)
                qInfo("retention: deleted %d old backup(s) and %d ended job(s)", backups, jobs);
        };
        QObject::connect(pruner.get(), &kv6::fleet::RetentionPruner::passEnded, pruner.get(), retained);
        pruner->start();
    });

    kv6::process::TerminationWatcher watcher;
    QObject::connect(&watcher, &kv6::process::TerminationWatcher::terminationRequested, &app, [&](int signalNumber) {
        qInfo("signal %d, stopping", signalNumber);
        server.shutdown();
        app.quit();
    });
    const int exitStatus = app.exec();
    // Its timers are the store thread's: stopped there.
    storeThread.call([&pruner](kv6::fleet::FleetStore&) { pruner.reset(); });
    return exitStatus;
}
