#include <cstdio>
#include <functional>
#include <map>

#include <QFile>

#include "api_fleet_store.h"
#include "commands.h"
#include "fleet/sql_fleet_store.h"
#include "fleet_commands.h"

namespace kv6::ctl {

namespace {
const char* const kFleetUsage =
    "usage: kv6ctl fleet queue (read | write FILE | password --new N | clear-journal | reset --force)\n"
    "                          --object NNNN [--password N] [--db FILE|URL]\n"
    "                          (write only: [--renumber] [--password-from-file])\n"
    "       kv6ctl fleet jobs [--object N] [--state S] [--json] [--db FILE|URL]\n"
    "       kv6ctl fleet modules [--connected] [--tag T] [--json] [--db FILE|URL]\n"
    "       kv6ctl fleet tag (add | remove) TAG (OBJECT... | --from FILE) [--db FILE|URL]\n"
    "       kv6ctl fleet rollout create NAME (--settings FILE | --prg FILE)\n"
    "                          --target tag:T|objects:FILE|all --waves 1%,10%,100% (or counts)\n"
    "                          --max-failed 5% (or a count) [--dynamic] [--db FILE|URL]\n"
    "       kv6ctl fleet rollout (approve | start | pause | resume | cancel | retry-failed) ID\n"
    "       kv6ctl fleet rollout (status ID | list) [--json] [--db FILE|URL]\n"
    "       kv6ctl fleet backups --object N [--json] [--db FILE|URL]\n"
    "       kv6ctl fleet backup ID --out FILE.prg [--db FILE|URL]\n"
    "       kv6ctl fleet cancel JOB [--db FILE|URL]\n"
    "       kv6ctl fleet audit [--object N] [--json] [--db FILE|URL]\n"
    "       kv6ctl fleet lockouts [--json] [--clear OBJECT|ADDRESS|--all] [--db FILE|URL]\n"
    "       kv6ctl fleet key (add NAME --role viewer|operator|admin | list [--json] | revoke NAME)\n"
    "                        [--db FILE|URL]\n"
    "       kv6ctl fleet drift (--settings FILE | --prg FILE) --target all|objects:FILE|tag:T\n"
    "                          [--json] [--db FILE|URL]\n"
    "drift lists, for each module of the target, the fields a write of the file would change\n"
    "against its newest backup, and the backup's age; it queues nothing. objects:FILE holds\n"
    "object numbers separated by blanks, commas or lines. Exit codes: 0 done (whether or not\n"
    "modules differ), 1 the store or server failed, 2 bad arguments or files.\n"
    "Instead of --db: --server URL (kv6d's operator API, e.g. http://127.0.0.1:8098) with the key\n"
    "in KV6_API_KEY or --key-file FILE, for every command (lockouts --clear and key need an admin's key).\n"
    "A rollout awaits approval by someone other than its creator (an operator's key or more; an\n"
    "admin's for more than 1000 modules); its waves start one after the other, each once the last\n"
    "has no job left and no more failures than --max-failed; past that it halts and holds its jobs.\n";
}  // namespace

namespace {

// The same subcommand through kv6d's operator API, with the caller's key.
int runFleetOverApi(const std::function<int(fleet::FleetStore&, const FleetOptions&)>& run, const FleetOptions& options) {
    if (!options.db.isEmpty()) return fleetUsageError(QStringLiteral("--server and --db exclude each other"));
    QByteArray key = qgetenv("KV6_API_KEY");
    if (!options.keyFile.isEmpty()) {
        QFile file(options.keyFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "kv6ctl fleet: cannot read %s: %s\n", qPrintable(options.keyFile),
                         qPrintable(file.errorString()));
            return 2;
        }
        key = file.readLine(1024).trimmed();
    }
    if (key.isEmpty()) return fleetUsageError(QStringLiteral("--server needs a key: KV6_API_KEY or --key-file FILE"));
    ApiFleetStore store(options.server, key);
    std::string error;
    if (!store.open(error)) {
        std::fprintf(stderr, "kv6ctl fleet: %s\n", error.c_str());
        return 1;
    }
    return run(store, options);
}

}  // namespace

int fleetUsageError(const QString& message) {
    std::fprintf(stderr, "kv6ctl fleet: %s\n%s", qPrintable(message), kFleetUsage);
    return 2;
}

// kv6ctl fleet SUBCOMMAND ...: the operator's side of kv6d, on the same store.
int runFleet(const QStringList& args) {
    const std::map<QString, std::function<int(fleet::FleetStore&, const FleetOptions&)>> subcommands = {
        {"queue", fleetQueue},   {"jobs", fleetJobs},     {"modules", fleetModules}, {"backups", fleetBackups},
        {"backup", fleetBackup}, {"cancel", fleetCancel}, {"audit", fleetAudit},     {"lockouts", fleetLockouts},
        {"key", fleetKey},       {"drift", fleetDrift},       {"tag", fleetTag},       {"rollout", fleetRollout},
    };
    if (args.isEmpty()) return fleetUsageError(QStringLiteral("a subcommand is needed"));
    if (args.first() == QLatin1String("--help")) {
        std::fputs(kFleetUsage, stdout);
        return 0;
    }
    // The store may be named before the subcommand as well as after it.
    qsizetype at = 0;
    while (at < args.size() && (args[at].startsWith(QLatin1String("--db")) || args[at].startsWith(QLatin1String("--server")) ||
                                args[at].startsWith(QLatin1String("--key-file"))))
        at += args[at].contains(QLatin1Char('=')) ? 1 : 2;
    if (at >= args.size()) return fleetUsageError(QStringLiteral("a subcommand is needed"));
    const auto found = subcommands.find(args[at]);
    if (found == subcommands.end()) return fleetUsageError(QStringLiteral("unknown subcommand '%1'").arg(args[at]));
    QStringList rest = args;
    rest.removeAt(at);
    const FleetOptions options = parseFleetOptions(rest);
    if (!options.error.isEmpty()) return fleetUsageError(options.error);

    if (!options.server.isEmpty()) return runFleetOverApi(found->second, options);

    const QString location = options.db.isEmpty() ? fleet::SqlFleetStore::defaultLocation() : options.db;
    fleet::SqlFleetStore store(location);
    std::string error;
    if (!store.open(error)) {
        std::fprintf(stderr, "kv6ctl fleet: %s\n", error.c_str());
        return 2;
    }
    const bool changes = args[at] == QLatin1String("queue") || args[at] == QLatin1String("cancel") ||
                         (args[at] == QLatin1String("lockouts") && options.clear) ||
                         (args[at] == QLatin1String("key") && options.positional.value(0) != QLatin1String("list")) ||
                         args[at] == QLatin1String("tag") ||
                         (args[at] == QLatin1String("rollout") && options.positional.value(0) != QLatin1String("list") &&
                          options.positional.value(0) != QLatin1String("status"));
    if (changes && store.readOnly()) {
        std::fprintf(stderr, "kv6ctl fleet: the store %s is read-only: %s needs write access to it and to its folder\n",
                     qPrintable(store.displayLocation()), qPrintable(args[at]));
        return 1;
    }
    return found->second(store, options);
}

}  // namespace kv6::ctl
