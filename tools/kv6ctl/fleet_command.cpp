#include <cstdio>
#include <functional>
#include <map>

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
    "       kv6ctl fleet modules [--connected] [--json] [--db FILE|URL]\n"
    "       kv6ctl fleet backups --object N [--json] [--db FILE|URL]\n"
    "       kv6ctl fleet backup ID --out FILE.prg [--db FILE|URL]\n"
    "       kv6ctl fleet cancel JOB [--db FILE|URL]\n"
    "       kv6ctl fleet audit [--object N] [--json] [--db FILE|URL]\n"
    "       kv6ctl fleet lockouts [--json] [--clear OBJECT|ADDRESS|--all] [--db FILE|URL]\n";
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
    };
    if (args.isEmpty()) return fleetUsageError(QStringLiteral("a subcommand is needed"));
    if (args.first() == QLatin1String("--help")) {
        std::fputs(kFleetUsage, stdout);
        return 0;
    }
    // The store may be named before the subcommand as well as after it.
    qsizetype at = 0;
    while (at < args.size() && args[at].startsWith(QLatin1String("--db")))
        at += args[at] == QLatin1String("--db") ? 2 : 1;
    if (at >= args.size()) return fleetUsageError(QStringLiteral("a subcommand is needed"));
    const auto found = subcommands.find(args[at]);
    if (found == subcommands.end()) return fleetUsageError(QStringLiteral("unknown subcommand '%1'").arg(args[at]));
    QStringList rest = args;
    rest.removeAt(at);
    const FleetOptions options = parseFleetOptions(rest);
    if (!options.error.isEmpty()) return fleetUsageError(options.error);

    const QString location = options.db.isEmpty() ? fleet::SqlFleetStore::defaultLocation() : options.db;
    fleet::SqlFleetStore store(location);
    std::string error;
    if (!store.open(error)) {
        std::fprintf(stderr, "kv6ctl fleet: %s\n", error.c_str());
        return 2;
    }
    const bool changes = args[at] == QLatin1String("queue") || args[at] == QLatin1String("cancel") ||
                         (args[at] == QLatin1String("lockouts") && options.clear);
    if (changes && store.readOnly()) {
        std::fprintf(stderr, "kv6ctl fleet: the store %s is read-only: %s needs write access to it and to its folder\n",
                     qPrintable(store.displayLocation()), qPrintable(args[at]));
        return 1;
    }
    return found->second(store, options);
}

}  // namespace kv6::ctl
