#include "zone_types_file.h"

#include <string>
#include <vector>

#include "pages/configuration.h"
#include "side_text_file.h"

namespace kv6::ctl {

namespace {
constexpr const char* kOption = "--paramp";
constexpr const char* kFileName = "paramp";
}  // namespace

bool takeParampOption(QStringList& args, QString& path, QString& error) {
    const QString option = QString::fromLatin1(kOption);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == option) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--paramp needs a file");
                return false;
            }
            path = args[i + 1];
            args.remove(i, 2);
            return true;
        }
        if (args[i].startsWith(option + '=')) {
            path = args[i].mid(option.size() + 1);
            args.removeAt(i);
            if (path.isEmpty()) {
                error = QStringLiteral("--paramp needs a file");
                return false;
            }
            return true;
        }
    }
    return true;
}

bool applyZoneTypes(pages::Configuration& configuration, const QString& explicitPath, QString& error) {
    const QString path = explicitPath.isEmpty() ? locateSideFile(QString::fromLatin1(kFileName)) : explicitPath;
    if (path.isEmpty()) return true;
    bool ok = false;
    std::vector<std::string> lines = readSideFileLines(path, &ok);
    if (!ok) {
        // A side file found by looking is optional: an unreadable one is skipped.
        if (explicitPath.isEmpty()) return true;
        error = QStringLiteral("cannot read %1").arg(explicitPath);
        return false;
    }
    configuration.zones.setZoneTypes(pages::ZoneTypeList::fromFileLines(std::move(lines)));
    return true;
}

}  // namespace kv6::ctl
