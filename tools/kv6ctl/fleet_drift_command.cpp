// kv6ctl fleet drift: how far each module of a target has drifted from a
// settings document or image, against its newest backup. Nothing is queued.
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

#include "fleet/drift_json.h"
#include "fleet/queue_checks.h"
#include "fleet/utc_time.h"
#include "fleet_commands.h"
#include "fleet_input_file.h"
#include "settings/settings_json.h"

namespace kv6::ctl {

namespace {

// Modules compared per page: each costs its backup image, read and dropped.
constexpr std::size_t kPageModules = 100;

void print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

std::optional<fleet::DriftSource> loadSource(fleet::FleetStore& store, const FleetOptions& options) {
    fleet::DriftSource source;
    const QString& path = options.prg.isEmpty() ? options.settings : options.prg;
    const auto bytes = readFleetInputFile(path);
    if (!bytes) return std::nullopt;
    if (!options.prg.isEmpty()) {
        if (bytes->size() != static_cast<qsizetype>(image::kImageSize)) {
            std::fprintf(stderr, "kv6ctl fleet: %s: a .prg holds exactly %zu bytes, this one %lld\n", qPrintable(path),
                         image::kImageSize, static_cast<long long>(bytes->size()));
            return std::nullopt;
        }
        source.format = fleet::WriteFormat::Prg;
        std::copy(bytes->begin(), bytes->end(), source.prg.begin());
        return source;
    }
    std::string error;
    if (!settings::parseJson(std::string_view(bytes->constData(), static_cast<std::size_t>(bytes->size())),
                             source.document, error)) {
        std::fprintf(stderr, "kv6ctl fleet: %s: %s\n", qPrintable(path), error.c_str());
        return std::nullopt;
    }
    // Values no module could take are refused before any module is looked at.
    const std::vector<std::string> problems = fleet::settingsProblems(store, std::string(), source.document);
    for (const std::string& problem : problems) std::fprintf(stderr, "kv6ctl fleet: %s\n", problem.c_str());
    if (!problems.empty()) return std::nullopt;
    source.format = fleet::WriteFormat::SettingsJson;
    return source;
}

// "all", "tag:T", or "objects:FILE": object numbers separated by blanks,
// commas or lines, "#" starting a comment.
std::optional<fleet::FleetTarget> loadTarget(const QString& text) {
    std::string error;
    if (text.startsWith(QLatin1String("objects:"))) {
        const QString path = text.mid(8);
        const auto bytes = readFleetInputFile(path);
        if (!bytes) return std::nullopt;
        std::vector<std::string> objects;
        static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
        for (const QString& line : QString::fromUtf8(*bytes).split(QLatin1Char('\n')))
            for (const QString& word : line.section(QLatin1Char('#'), 0, 0).split(separators, Qt::SkipEmptyParts))
                objects.push_back(word.toStdString());
        const auto target = fleet::FleetTarget::objectList(std::move(objects), error);
        if (!target) std::fprintf(stderr, "kv6ctl fleet: %s: %s\n", qPrintable(path), error.c_str());
        return target;
    }
    const auto target = fleet::FleetTarget::parse(text.toStdString(), error);
    if (!target) fleetUsageError(QStringLiteral("--target needs all, objects:FILE or tag:T, not '%1'").arg(text));
    return target;
}

std::string padded(std::string text, std::size_t width) {
    text.resize(std::max(width, text.size() + 1), ' ');
    return text;
}

// A module's lines of the table: the first with its backup, then one per changed field.
std::string rowText(const fleet::DriftRow& row, std::int64_t now) {
    std::string head = padded(row.object, 8);
    if (!row.backupId) return head + padded("-", 8) + padded("-", 22) + padded("-", 7) + "no backup\n";
    const auto taken = fleet::utcSeconds(row.takenAt);
    head += padded(std::to_string(*row.backupId), 8) + padded(row.takenAt, 22) +
            padded(taken ? fleet::ageText(now - *taken) : "?", 7);
    std::vector<std::string> lines;
    for (const std::string& problem : row.problems) lines.push_back("refused: " + problem);
    if (row.problems.empty()) {
        const std::string text = settings::diffText(row.difference);
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        if (lines.empty()) lines.push_back("(none)");
    }
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i == 0 ? head : std::string(45, ' ')) + lines[i] + "\n";
    return out;
}

}  // namespace

int fleetDrift(fleet::FleetStore& store, const FleetOptions& options) {
    if (!options.positional.isEmpty())
        return fleetUsageError(QStringLiteral("drift takes no argument '%1'").arg(options.positional[0]));
    if (options.settings.isEmpty() == options.prg.isEmpty())
        return fleetUsageError(QStringLiteral("drift needs either --settings FILE or --prg FILE"));
    if (options.target.isEmpty()) return fleetUsageError(QStringLiteral("drift needs --target all|objects:FILE|tag:T"));
    const auto target = loadTarget(options.target);
    if (!target) return 2;
    const auto source = loadSource(store, options);
    if (!source) return 2;

    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    fleet::DriftQuery query;
    query.source = *source;
    query.target = *target;
    query.limit = kPageModules;
    long long differ = 0, same = 0, none = 0, refused = 0;
    bool first = true;
    print(options.json ? "[" : "OBJECT  BACKUP  TAKEN                 AGE    DIFFERENCE\n");
    // A page at a time, printed as it comes: a fleet of any size in little memory.
    do {
        const auto page = store.driftPage(query);
        if (!page || !page->error.empty()) {
            if (options.json) print("]\n");
            std::fprintf(stderr, "kv6ctl fleet: %s\n",
                         page ? ("--target: " + page->error).c_str()
                              : ("the store could not be read: " + store.lastError()).c_str());
            return 1;
        }
        for (const fleet::DriftRow& row : page->rows) {
            if (options.json) {
                print((first ? "\n  " : ",\n  ") +
                      fleet::driftRowJson(row, now).dump(-1, ' ', false, settings::Json::error_handler_t::replace));
            } else {
                print(rowText(row, now));
            }
            first = false;
            ++(!row.backupId ? none : !row.problems.empty() ? refused : row.difference.empty() ? same : differ);
        }
        query.after = page->next;
    } while (!query.after.empty());
    if (options.json) {
        print(first ? "]\n" : "\n]\n");
        return 0;
    }
    const long long total = differ + same + none + refused;
    std::string summary = std::to_string(total) + (total == 1 ? " module: " : " modules: ") + std::to_string(differ) +
                          " differ, " + std::to_string(same) + " the same, " + std::to_string(none) + " without a backup";
    if (refused > 0) summary += ", " + std::to_string(refused) + " whose backup refuses the settings";
    print(summary + "\n");
    return 0;
}

}  // namespace kv6::ctl
