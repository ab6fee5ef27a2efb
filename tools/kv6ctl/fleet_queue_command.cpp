#include <QFile>
#include <algorithm>
#include <cstdio>

#include "fleet_commands.h"
#include "pages/configuration.h"
#include "settings/settings_json.h"

namespace kv6::ctl {

namespace {

// A whole settings export is some tens of kilobytes; anything far beyond is no settings file.
constexpr qint64 kMaxSettingsBytes = 1 << 20;

// The problems `kv6ctl apply` finds applying the settings onto `image`
// (decoded as a file), or onto a configuration as the tool starts.
std::vector<std::string> applyProblems(const std::optional<image::Image>& image, const settings::Json& document) {
    pages::Configuration configuration;
    configuration.document.setRemembersFields(false);
    if (image) {
        configuration.workspace.ReceivedImage = *image;
        configuration.document.DecodeImage(image::DecodeSource::FileLoad);
    }
    return settings::applyJson(configuration.document, document);
}

// "codes.code1" of "codes.code1: invalid value ...".
std::string problemKey(const std::string& problem) { return problem.substr(0, problem.find(": ")); }

// The settings' values as `kv6ctl apply` checks them, onto the image the job
// will most likely meet: the object's newest backup. Some values are taken
// only where the image already holds them (a factory code shown as "????"),
// so for an object never read a value is refused only when both a new
// configuration and an erased module refuse it. Prints apply's problems,
// each with its key; false when any value is refused.
bool settingsApply(fleet::FleetStore& store, const std::string& object, const settings::Json& document,
                   const QString& path) {
    std::vector<std::string> problems;
    const std::vector<fleet::BackupRecord> backups = store.backups(object);
    if (const auto newest = backups.empty() ? std::nullopt : store.backupImage(backups.back().id)) {
        problems = applyProblems(newest, document);
    } else {
        image::Image erased{};
        erased.fill(0xFF);
        const std::vector<std::string> onErased = applyProblems(erased, document);
        for (const std::string& problem : applyProblems(std::nullopt, document))
            if (std::any_of(onErased.begin(), onErased.end(),
                            [&](const std::string& p) { return problemKey(p) == problemKey(problem); }))
                problems.push_back(problem);
    }
    for (const std::string& problem : problems) std::fprintf(stderr, "kv6ctl fleet: %s\n", problem.c_str());
    if (problems.empty()) return true;
    std::fprintf(stderr, "kv6ctl fleet: %s: nothing queued\n", qPrintable(path));
    return false;
}

[[nodiscard]] bool namesObjectNumber(const settings::Json& document) {
    const auto page = document.find("object");
    return page != document.end() && page->is_object() && page->contains("objectNumber");
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
        if (job.options.renumber && !namesObjectNumber(document)) {
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
    if (fleet::changesModule(*kind) && !options.password && !store.recordedPassword(job.object)) {
        std::fprintf(stderr,
                     "kv6ctl fleet: no read password is recorded for object %s: give --password N, the module's "
                     "read password\n",
                     job.object.c_str());
        return 2;
    }
    // An id is printed only for a job the store kept; whatever it did not keep is said with its reason.
    if (options.password && !store.recordPassword(job.object, *options.password)) {
        std::fprintf(stderr, "kv6ctl fleet: the password could not be recorded: %s; nothing queued\n",
                     store.lastError().c_str());
        return 1;
    }
    const std::int64_t id = store.queueJob(job);
    if (id == 0) {
        std::fprintf(stderr, "kv6ctl fleet: the job could not be stored: %s\n", store.lastError().c_str());
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(id));
    return 0;
}

}  // namespace kv6::ctl
