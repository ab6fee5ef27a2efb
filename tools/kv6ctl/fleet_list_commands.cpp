#include <cstdio>
#include <limits>

#include "fleet_commands.h"
#include "io/prg_file.h"
#include "local_user.h"
#include "settings/settings_json.h"
#include "text_table.h"

namespace kv6::ctl {

namespace {

void print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void printJson(const settings::Json& json) {
    print(json.dump(2, ' ', false, settings::Json::error_handler_t::replace) + "\n");
}

bool noPositional(const FleetOptions& options, const char* subcommand) {
    if (options.positional.isEmpty()) return true;
    fleetUsageError(QStringLiteral("%1 takes no argument '%2'").arg(subcommand, options.positional[0]));
    return false;
}

std::optional<std::string> objectFilter(const FleetOptions& options) {
    if (!options.object) return std::nullopt;
    return options.object->toStdString();
}

std::optional<std::int64_t> idArgument(const FleetOptions& options) {
    if (options.positional.size() != 1) return std::nullopt;
    bool ok = false;
    const qlonglong id = options.positional[0].toLongLong(&ok);
    if (!ok || id <= 0) return std::nullopt;
    return id;
}

// "write --renumber": the kind with what the job may change beyond the settings.
std::string kindText(const fleet::JobRecord& job) {
    const std::string options = fleet::optionsText(job.options);
    return std::string(fleet::kindName(job.kind)) + (options.empty() ? "" : " " + options);
}

}  // namespace

int fleetJobs(fleet::FleetStore& store, const FleetOptions& options) {
    if (!noPositional(options, "jobs")) return 2;
    std::optional<fleet::JobState> state;
    if (options.state) {
        state = fleet::stateFromName(options.state->toStdString());
        if (!state) return fleetUsageError(QStringLiteral("--state is queued, held, running, done, failed or cancelled"));
    }
    const auto jobs = store.jobs(objectFilter(options), state);
    if (options.json) {
        settings::Json list = settings::Json::array();
        for (const auto& j : jobs)
            list.push_back({{"id", j.id},
                            {"object", j.object},
                            {"kind", fleet::kindName(j.kind)},
                            {"options", fleet::optionsText(j.options)},
                            {"state", fleet::stateName(j.state)},
                            {"attempts", j.attempts},
                            {"queued", j.queuedAt},
                            {"started", j.startedAt},
                            {"finished", j.finishedAt},
                            {"result", j.result},
                            {"by", j.by}});
        printJson(list);
        return 0;
    }
    TextTable table({"ID", "OBJECT", "KIND", "STATE", "ATTEMPTS", "QUEUED", "FINISHED", "BY", "RESULT"});
    for (const auto& j : jobs)
        table.add({std::to_string(j.id), j.object, kindText(j),
                   std::string(fleet::stateName(j.state)), std::to_string(j.attempts), j.queuedAt, j.finishedAt,
                   j.by.empty() ? "-" : j.by, j.result});
    print(table.text());
    return 0;
}

int fleetModules(fleet::FleetStore& store, const FleetOptions& options) {
    if (!noPositional(options, "modules")) return 2;
    fleet::ModuleQuery query;
    query.connectedOnly = options.connected;
    query.tag = options.tag.toStdString();
    query.limit = std::numeric_limits<std::size_t>::max();
    const auto page = store.modulesPage(query);
    if (!page) {
        std::fprintf(stderr, "kv6ctl fleet: the store could not be read: %s\n", store.lastError().c_str());
        return 1;
    }
    const auto& modules = *page;
    if (options.json) {
        settings::Json list = settings::Json::array();
        for (const auto& m : modules)
            list.push_back({{"object", m.object},
                            {"peer", m.peer},
                            {"identification", m.identification},
                            {"firstSeen", m.firstSeen},
                            {"lastSeen", m.lastSeen},
                            {"connected", m.connected}});
        printJson(list);
        return 0;
    }
    TextTable table({"OBJECT", "PEER", "FIRST SEEN", "LAST SEEN", "CONNECTED", "IDENTIFICATION"});
    for (const auto& m : modules)
        table.add({m.object, m.peer, m.firstSeen, m.lastSeen, m.connected ? "yes" : "no", m.identification});
    print(table.text());
    return 0;
}

int fleetBackups(fleet::FleetStore& store, const FleetOptions& options) {
    if (!noPositional(options, "backups")) return 2;
    if (!options.object) return fleetUsageError(QStringLiteral("backups needs --object N"));
    const auto backups = store.backups(options.object->toStdString());
    if (options.json) {
        settings::Json list = settings::Json::array();
        for (const auto& b : backups)
            list.push_back({{"id", b.id}, {"object", b.object}, {"taken", b.takenAt}, {"source", b.source}, {"job", b.jobId}});
        printJson(list);
        return 0;
    }
    TextTable table({"ID", "OBJECT", "TAKEN", "JOB", "SOURCE"});
    for (const auto& b : backups) table.add({std::to_string(b.id), b.object, b.takenAt, std::to_string(b.jobId), b.source});
    print(table.text());
    return 0;
}

int fleetBackup(fleet::FleetStore& store, const FleetOptions& options) {
    const auto id = idArgument(options);
    if (!id) return fleetUsageError(QStringLiteral("backup needs one backup ID"));
    if (options.out.isEmpty()) return fleetUsageError(QStringLiteral("backup needs --out FILE.prg"));
    const auto image = store.backupImage(*id);
    if (!image) {
        std::fprintf(stderr, "kv6ctl fleet: no backup %lld\n", static_cast<long long>(*id));
        return 2;
    }
    const QString error = io::savePrg(options.out, *image);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "kv6ctl fleet: cannot write %s: %s\n", qPrintable(options.out), qPrintable(error));
        return 2;
    }
    return 0;
}

int fleetCancel(fleet::FleetStore& store, const FleetOptions& options) {
    const auto id = idArgument(options);
    if (!id) return fleetUsageError(QStringLiteral("cancel needs one JOB id"));
    std::string why;
    if (store.cancelJob(*id, localUserName(), why)) return 0;
    std::fprintf(stderr, "kv6ctl fleet: %s\n", why.c_str());
    return 1;
}

int fleetAudit(fleet::FleetStore& store, const FleetOptions& options) {
    if (!noPositional(options, "audit")) return 2;
    const auto entries = store.audit(objectFilter(options));
    if (options.json) {
        settings::Json list = settings::Json::array();
        for (const auto& a : entries)
            list.push_back({{"id", a.id},
                            {"at", a.at},
                            {"object", a.object},
                            {"job", a.jobId},
                            {"outcome", a.outcome},
                            {"difference", a.difference},
                            {"by", a.by}});
        printJson(list);
        return 0;
    }
    std::string out;
    for (const auto& a : entries) {
        out += a.at + "  object " + a.object + "  job " + std::to_string(a.jobId) + "  " + a.outcome +
               (a.by.empty() ? "" : "  by " + a.by) + "\n";
        std::size_t start = 0;
        while (start < a.difference.size()) {
            const std::size_t end = a.difference.find('\n', start);
            out += "  " + a.difference.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
            if (end == std::string::npos) break;
            start = end + 1;
        }
        if (a.difference.empty()) out += "  (no field changed)\n";
    }
    print(out);
    return 0;
}

}  // namespace kv6::ctl
