#include "zone_types_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <string>
#include <vector>

#include "image/win1251.h"
#include "pages/configuration.h"

namespace kv6::ctl {

namespace {

constexpr const char* kOption = "--paramp";
constexpr const char* kFileName = "paramp";
constexpr qint64 kMaxFileSize = 1 << 20;  // larger is no settings file

// The lines of a side file: UTF-8 when valid, else Windows-1251; CR, LF or
// CR LF end a line and a final line break adds no empty line.
std::optional<std::vector<std::string>> readLines(const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > kMaxFileSize) {
        error = QStringLiteral("larger than %1 bytes").arg(kMaxFileSize);
        return std::nullopt;
    }
    const std::string raw = file.readAll().toStdString();
    std::string text = image::isValidUtf8(raw) ? raw : image::windows1251ToUtf8(raw);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            line.push_back(c);
            continue;
        }
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        lines.push_back(std::move(line));
        line.clear();
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

QString locate() {
    for (const QString& directory : {QCoreApplication::applicationDirPath(), QDir::currentPath()}) {
        const QFileInfo info(QDir(directory).filePath(QString::fromLatin1(kFileName)));
        if (info.isFile()) return info.filePath();
    }
    return {};
}

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
    const QString path = explicitPath.isEmpty() ? locate() : explicitPath;
    if (path.isEmpty()) return true;
    auto lines = readLines(path, error);
    if (!lines) {
        // A side file found by looking is optional: an unreadable one is skipped.
        if (explicitPath.isEmpty()) return true;
        error = QStringLiteral("cannot read %1: %2").arg(explicitPath, error);
        return false;
    }
    configuration.zones.setZoneTypes(pages::ZoneTypeList::fromFileLines(std::move(*lines)));
    return true;
}

}  // namespace kv6::ctl
