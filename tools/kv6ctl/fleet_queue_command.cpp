#include <QFile>
#include <cstdio>

#include "fleet/queue_checks.h"
#include "fleet_commands.h"
#include "local_user.h"
#include "settings/settings_json.h"

namespace kv6::ctl {

namespace {

// A whole settings export is some tens of kilobytes; anything far beyond is no settings file.
constexpr qint64 kMaxSettingsBytes = 1 << 20;

// Prints apply's problems, each with its key; false when any value is refused.
bool settingsApply(fleet::FleetStore& store, const std::string& object, const settings::Json& document,
                   const QString& path) {
    const std::vector<std::string> problems = fleet::settingsProblems(store, object, document);
    for (const std::string& problem : problems) std::fprintf(stderr, "kv6ctl fleet: %s\n", problem.c_str());
    if (problems.empty()) return true;
    std::fprintf(stderr, "kv6ctl fleet: %s: nothing queued\n", qPrintable(path));
    return false;
}

// A write's payload: a settings document (checked as `kv6ctl apply` checks
// it, and applied again onto the module's own image when the job runs) or a
// whole 4096-byte image.
bool loadWritePayload(fleet::FleetStore& store, const QString& path, fleet::NewJob& job) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kv6ctl fleet: cannot read %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    const QByteArray bytes = file.read(kMaxSettingsBytes + 1);
    const bool json = path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive) || bytes.trimmed().startsWith('{');
    if (json) {
        settings::Json document;
        std::string error;
        if (bytes.size() > kMaxSettingsBytes ||
            !settings::parseJson(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), document,
                                 error)) {
            std::fprintf(stderr, "kv6ctl fleet: %s: %s\n", qPrintable(path),
                         error.empty() ? "too large for a settings document" : error.c_str());
            return false;
        }
        if (job.options.passwordFromFile) {
            std::fprintf(stderr, "kv6ctl fleet: %s: a settings document holds no read password: "
                                 "--password-from-file takes a .prg\n", qPrintable(path));
            return false;
        }
        if (job.options.renumber && !fleet::namesObjectNumber(document)) {
            std::fprintf(stderr, "kv6ctl fleet: %s: --renumber, but the settings name no object.objectNumber\n",
                         qPrintable(path));
            return false;
        }
        if (!settingsApply(store, job.object, document, path)) return false;
        job.format = fleet::WriteFormat::SettingsJson;
    } else {
        if (bytes.size() != static_cast<qsizetype>(image::kImageSize)) {
            std::fprintf(stderr, "kv6ctl fleet: %s: a .prg holds exactly %zu bytes, this one %lld\n", qPrintable(path),
                         image::kImageSize, static_cast<long long>(file.size()));
            return false;
        }
        job.format = fleet::WriteFormat::Prg;
    }
    job.payload.assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

int fleetQueue(fleet::FleetStore& store, const FleetOptions& options) {
    if (options.positional.isEmpty()) return fleetUsageError(QStringLiteral("queue needs a job kind"));
    const auto kind = fleet::kindFromName(options.positional.first().toStdString());
    if (!kind) return fleetUsageError(QStringLiteral("unknown job kind '%1'").arg(options.positional.first()));
    if (!options.object) return fleetUsageError(QStringLiteral("queue needs --object NNNN"));
    const int files = *kind == fleet::JobKind::Write ? 1 : 0;
    if (options.positional.size() != 1 + files)
        return fleetUsageError(files ? QStringLiteral("write needs exactly one FILE (.json or .prg)")
                                     : QStringLiteral("unexpected argument '%1'").arg(options.positional.last()));
    if (*kind == fleet::JobKind::Password && !options.newPassword)
        return fleetUsageError(QStringLiteral("password needs --new N"));
    if (*kind != fleet::JobKind::Password && options.newPassword)
        return fleetUsageError(QStringLiteral("--new belongs to password jobs"));
    if (*kind == fleet::JobKind::Reset && !options.force)
        return fleetUsageError(QStringLiteral("reset restores factory settings: it needs --force"));
    if (*kind != fleet::JobKind::Write && (options.renumber || options.passwordFromFile))
        return fleetUsageError(QStringLiteral("--renumber and --password-from-file belong to write jobs"));

    fleet::NewJob job;
    job.object = options.object->toStdString();
    job.kind = *kind;
    job.newPassword = options.newPassword.value_or(0);
    job.force = options.force;
    job.options.renumber = options.renumber;
    job.options.passwordFromFile = options.passwordFromFile;
    if (*kind == fleet::JobKind::Write && !loadWritePayload(store, options.positional[1], job)) return 2;
    job.by = localUserName();
    const fleet::QueueOutcome outcome = fleet::queueJob(store, job, options.password);
    if (outcome.status == fleet::QueueOutcome::Status::NoPassword) {
        std::fprintf(stderr,
                     "kv6ctl fleet: no read password is recorded for object %s: give --password N, the module's "
                     "read password\n",
                     job.object.c_str());
        return 2;
    }
    if (!outcome.queued()) {
        std::fprintf(stderr, "kv6ctl fleet: %s\n", outcome.reason.c_str());
        return 1;
    }
    const std::int64_t id = outcome.id;
    std::printf("%lld\n", static_cast<long long>(id));
    return 0;
}

}  // namespace kv6::ctl
