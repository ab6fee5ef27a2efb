#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <string>

#include "commands.h"
#include "ctl_options.h"
#include "ctl_time_zone.h"
#include "fields_file.h"
#include "pages/configuration.h"
#include "side_text_file.h"

namespace kv6::ctl {

namespace {

constexpr const char* kUsage = "journal FILE.prg [--json] [--parame FILE] [--force]";

// Tabs and line breaks inside a description would break the columns.
std::string column(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return out;
}

}  // namespace

// kv6ctl journal FILE.prg: the fifty rows of "Журнал событий", newest first,
// as the desktop tool's table shows them in the run's time zone.
int runJournal(const QStringList& args) {
    QString path;
    QString parame;
    bool json = false;
    bool force = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--force") {
            force = true;
        } else if (arg == "--parame" && i + 1 < args.size()) {
            parame = args[++i];
        } else if (arg.startsWith("--parame=")) {
            parame = arg.mid(9);
        } else if (arg.startsWith("--") || !path.isEmpty()) {
            return usageError("journal", QStringLiteral("unexpected argument '%1'").arg(arg), kUsage);
        } else {
            path = arg;
        }
    }
    if (path.isEmpty()) return usageError("journal", QStringLiteral("a FILE.prg is needed"), kUsage);

    std::vector<std::string> descriptions;
    if (!parame.isEmpty()) {
        bool ok = false;
        descriptions = readSideFileLines(parame, &ok);
        if (!ok) {
            std::fprintf(stderr, "kv6ctl: cannot read %s\n", qPrintable(parame));
            return 2;
        }
    } else if (const QString found = locateSideFile(QStringLiteral("parame")); !found.isEmpty()) {
        descriptions = readSideFileLines(found);
    }

    pages::Configuration configuration;
    applyRunTimeZone(configuration);
    if (!loadFieldsFile(configuration, path, "journal", force)) return 2;
    const auto rows = configuration.journal.rows(configuration.settings.zoneHours(), descriptions);
    if (json) {
        QJsonArray array;
        for (const journal::JournalRow& row : rows)
            array.append(QJsonObject{{"time", QString::fromStdString(row.time)},
                                     {"code", QString::fromStdString(row.code)},
                                     {"description", QString::fromStdString(row.description)},
                                     {"partition", row.partition},
                                     {"zone", row.zone}});
        const QByteArray text = QJsonDocument(array).toJson(QJsonDocument::Indented);
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
        return 0;
    }
    for (const journal::JournalRow& row : rows) {
        const std::string line = row.time + '\t' + row.code + '\t' + column(row.description) + '\t' +
                                 std::to_string(row.partition) + '\t' + std::to_string(row.zone) + '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}

}  // namespace kv6::ctl
