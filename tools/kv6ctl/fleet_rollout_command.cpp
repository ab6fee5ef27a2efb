// kv6ctl fleet tag ... and kv6ctl fleet rollout ...: groups of modules, and
// one write to a group in waves.
#include <QFile>
#include <QRegularExpression>
#include <cstdio>

#include "fleet/api/rollout_json.h"
#include "fleet/queue_checks.h"
#include "fleet_commands.h"
#include "fleet_input_file.h"
#include "local_user.h"
#include "settings/settings_json.h"
#include "text_table.h"

namespace kv6::ctl {

namespace {


void print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// Object numbers one a line (blank lines and "#" comments skipped); none,
// said, when a line is no object number.
std::optional<std::vector<std::string>> objectsFromFile(const QString& path) {
    const auto bytes = readFleetInputFile(path);
    if (!bytes) return std::nullopt;
    std::vector<std::string> objects;
    int line = 0;
    for (const QByteArray& raw : bytes->split('\n')) {
        ++line;
        const QString text = QString::fromUtf8(raw).trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#'))) continue;
        if (!validObjectNumber(text)) {
            std::fprintf(stderr, "kv6ctl fleet: %s:%d: '%s' is no object number (one to four letters or digits)\n",
                         qPrintable(path), line, qPrintable(text.left(32)));
            return std::nullopt;
        }
        objects.push_back(text.toStdString());
    }
    return objects;
}

bool validTagName(const QString& tag) { return fleet::validTagName(tag.toStdString()); }

int storeFailed(fleet::FleetStore& store) {
    std::fprintf(stderr, "kv6ctl fleet: the store could not be read: %s\n", store.lastError().c_str());
    return 1;
}

std::optional<std::int64_t> rolloutIdArgument(const FleetOptions& options) {
    if (options.positional.size() != 2) return std::nullopt;
    bool ok = false;
    const qlonglong id = options.positional[1].toLongLong(&ok);
    if (!ok || id <= 0) return std::nullopt;
    return id;
}

int reportOutcome(const fleet::RolloutOutcome& outcome) {
    if (outcome.done()) {
        std::printf("%s\n", outcome.message.c_str());
        return 0;
    }
    std::fprintf(stderr, "kv6ctl fleet: %s\n", outcome.message.c_str());
    return outcome.status == fleet::RolloutOutcome::Status::StoreFailed ? 1
           : outcome.status == fleet::RolloutOutcome::Status::Invalid  ? 2
                                                                        : 1;
}

int rolloutCreate(fleet::FleetStore& store, const FleetOptions& options) {
    if (options.positional.size() != 2) return fleetUsageError(QStringLiteral("rollout create needs exactly one NAME"));
    if (options.settings.isEmpty() == options.prg.isEmpty())
        return fleetUsageError(QStringLiteral("rollout create needs either --settings FILE or --prg FILE"));
    if (options.target.isEmpty() || options.waves.isEmpty() || options.maxFailed.isEmpty())
        return fleetUsageError(QStringLiteral("rollout create needs --target, --waves and --max-failed"));
    fleet::NewRollout rollout;
    rollout.name = options.positional[1].toStdString();
    rollout.waves = options.waves.toStdString();
    rollout.maxFailed = options.maxFailed.toStdString();
    rollout.dynamic = options.dynamic;
    rollout.by = localUserName();
    if (options.target.startsWith(QLatin1String("objects:"))) {
        const auto objects = objectsFromFile(options.target.mid(8));
        if (!objects) return 2;
        rollout.target = "objects";
        rollout.objects = *objects;
    } else if (options.target == QLatin1String("all") ||
               (options.target.startsWith(QLatin1String("tag:")) && validTagName(options.target.mid(4)))) {
        rollout.target = options.target.toStdString();
    } else {
        return fleetUsageError(QStringLiteral("--target is tag:T, objects:FILE or all"));
    }
    const QString path = options.settings.isEmpty() ? options.prg : options.settings;
    const auto bytes = readFleetInputFile(path);
    if (!bytes) return 2;
    rollout.payload.assign(bytes->begin(), bytes->end());
    if (options.prg.isEmpty()) {
        settings::Json document;
        std::string error;
        if (!settings::parseJson(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())), document,
                                 error)) {
            std::fprintf(stderr, "kv6ctl fleet: %s: %s\n", qPrintable(path), error.c_str());
            return 2;
        }
        rollout.format = fleet::WriteFormat::SettingsJson;
    } else {
        rollout.format = fleet::WriteFormat::Prg;
    }
    const std::vector<std::string> problems = fleet::rolloutProblems(store, rollout);
    for (const std::string& problem : problems) std::fprintf(stderr, "kv6ctl fleet: %s\n", problem.c_str());
    if (!problems.empty()) {
        std::fprintf(stderr, "kv6ctl fleet: %s: no rollout created\n", qPrintable(path));
        return 2;
    }
    const fleet::RolloutOutcome created = store.createRollout(rollout);
    if (!created.done()) return reportOutcome(created);
    std::printf("%lld\n", static_cast<long long>(created.id));
    return 0;
}

std::string rolloutLine(const fleet::RolloutRecord& r) {
    std::string line = "rollout " + std::to_string(r.id) + " '" + r.name + "': " + r.state;
    if (r.wave > 0) line += ", wave " + std::to_string(r.wave) + " of " + std::to_string(r.waveCount);
    return line;
}

int rolloutStatus(fleet::FleetStore& store, const FleetOptions& options) {
    const auto id = rolloutIdArgument(options);
    if (!id) return fleetUsageError(QStringLiteral("rollout status needs a rollout's number"));
    const auto found = store.rollouts(*id);
    if (!found) return storeFailed(store);
    if (found->empty()) {
        std::fprintf(stderr, "kv6ctl fleet: no rollout %lld\n", static_cast<long long>(*id));
        return 1;
    }
    const auto waves = store.rolloutWaves(*id);
    if (!waves) return storeFailed(store);
    const fleet::RolloutRecord& r = found->front();
    if (options.json) {
        settings::Json body = fleet::api::rolloutJson(r);
        body["waveStatus"] = settings::Json::array();
        for (const auto& w : *waves) body["waveStatus"].push_back(fleet::api::waveJson(w));
        print(body.dump(2, ' ', false, settings::Json::error_handler_t::replace) + "\n");
        return 0;
    }
    std::string text = rolloutLine(r) + "\n";
    text += "target " + r.target + " (" + std::to_string(r.modules) + " modules), waves " + r.waves + ", max-failed " +
            r.maxFailed + (r.dynamic ? ", dynamic" : "") + "\n";
    text += "created by " + r.createdBy + " at " + r.createdAt +
            (r.approvedBy.empty() ? std::string() : ", approved by " + r.approvedBy) + "\n";
    if (r.state == fleet::kRolloutHalted) text += "halted: " + r.haltReason + "\n";
    if (r.halts > 0 && r.state != fleet::kRolloutHalted)
        text += "halted " + std::to_string(r.halts) + " time(s), last: " + r.haltReason + "\n";
    TextTable table({"WAVE", "MODULES", "WAITING", "QUEUED", "HELD", "RUNNING", "VERIFIED", "FAILED", "CANCELLED"});
    for (const auto& w : *waves)
        table.add({std::to_string(w.wave), std::to_string(w.size), std::to_string(w.waiting), std::to_string(w.queued),
                   std::to_string(w.held), std::to_string(w.running), std::to_string(w.verified),
                   std::to_string(w.failed), std::to_string(w.cancelled)});
    text += table.text();
    for (const auto& w : *waves) {
        if (w.failures.empty()) continue;
        text += "wave " + std::to_string(w.wave) + " failures:";
        bool first = true;
        for (const auto& [reason, count] : w.failures) {
            text += std::string(first ? " " : ", ") + reason + " " + std::to_string(count);
            first = false;
        }
        text += "\n";
    }
    print(text);
    return 0;
}

int rolloutList(fleet::FleetStore& store, const FleetOptions& options) {
    if (options.positional.size() != 1) return fleetUsageError(QStringLiteral("rollout list takes no argument"));
    const auto all = store.rollouts(0);
    if (!all) return storeFailed(store);
    if (options.json) {
        settings::Json list = settings::Json::array();
        for (const auto& r : *all) list.push_back(fleet::api::rolloutJson(r));
        print(list.dump(2, ' ', false, settings::Json::error_handler_t::replace) + "\n");
        return 0;
    }
    TextTable table({"ID", "NAME", "STATE", "WAVE", "MODULES", "TARGET", "CREATED BY", "APPROVED BY"});
    for (const auto& r : *all)
        table.add({std::to_string(r.id), r.name, r.state, std::to_string(r.wave) + "/" + std::to_string(r.waveCount),
                   std::to_string(r.modules), r.target, r.createdBy, r.approvedBy});
    print(table.text());
    return 0;
}

}  // namespace

int fleetTag(fleet::FleetStore& store, const FleetOptions& options) {
    const QString action = options.positional.value(0);
    if (action != QLatin1String("add") && action != QLatin1String("remove"))
        return fleetUsageError(QStringLiteral("tag needs add or remove"));
    if (options.positional.size() < 2) return fleetUsageError(QStringLiteral("tag %1 needs a TAG").arg(action));
    const QString tag = options.positional[1];
    if (!validTagName(tag)) return fleetUsageError(QStringLiteral("a tag is 1..64 letters, digits, '.', '_' or '-'"));
    std::vector<std::string> objects;
    for (qsizetype i = 2; i < options.positional.size(); ++i) {
        if (!validObjectNumber(options.positional[i]))
            return fleetUsageError(QStringLiteral("'%1' is no object number").arg(options.positional[i]));
        objects.push_back(options.positional[i].toStdString());
    }
    if (!options.from.isEmpty()) {
        const auto listed = objectsFromFile(options.from);
        if (!listed) return 2;
        objects.insert(objects.end(), listed->begin(), listed->end());
    }
    if (objects.empty()) return fleetUsageError(QStringLiteral("tag %1 needs OBJECT... or --from FILE").arg(action));
    const long long changed = store.changeTags(tag.toStdString(), objects, action == QLatin1String("add"));
    if (changed < 0) {
        std::fprintf(stderr, "kv6ctl fleet: the store could not be changed: %s\n", store.lastError().c_str());
        return 1;
    }
    std::printf("%s '%s': %lld of %zu modules changed\n", action == QLatin1String("add") ? "tagged" : "untagged",
                qPrintable(tag), changed, objects.size());
    return 0;
}

int fleetRollout(fleet::FleetStore& store, const FleetOptions& options) {
    const QString action = options.positional.value(0);
    if (action == QLatin1String("create")) return rolloutCreate(store, options);
    if (action == QLatin1String("status")) return rolloutStatus(store, options);
    if (action == QLatin1String("list")) return rolloutList(store, options);
    const auto step = fleet::rolloutStepFromName(action.toStdString());
    if (!step) return fleetUsageError(QStringLiteral("rollout needs create, approve, start, pause, resume, cancel, "
                                                     "retry-failed, status or list"));
    const auto id = rolloutIdArgument(options);
    if (!id) return fleetUsageError(QStringLiteral("rollout %1 needs a rollout's number").arg(action));
    return reportOutcome(store.stepRollout(*id, *step, localUserName()));
}

}  // namespace kv6::ctl
