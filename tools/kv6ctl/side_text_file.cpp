#include "side_text_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "image/win1251.h"

namespace kv6::ctl {

namespace {
constexpr qint64 kMaxFileSize = 1 << 20;
}

std::vector<std::string> readSideFileLines(const QString& path, bool* ok) {
    if (ok) *ok = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) return {};
    std::string text = file.readAll().toStdString();
    if (file.error() != QFileDevice::NoError) return {};
    if (!image::isValidUtf8(text)) text = image::windows1251ToUtf8(text);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    if (ok) *ok = true;
    return lines;
}

QString locateSideFile(const QString& name) {
    for (const QString& directory : {QCoreApplication::applicationDirPath(), QDir::currentPath()}) {
        const QFileInfo info(QDir(directory).filePath(name));
        if (info.isFile()) return info.filePath();
    }
    return {};
}

}  // namespace kv6::ctl
