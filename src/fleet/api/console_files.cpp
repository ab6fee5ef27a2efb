#include "fleet/api/console_files.h"

#include <QFile>
#include <QRegularExpression>

namespace kv6::fleet::api {

namespace {

QByteArray contentTypeOf(const QString& name) {
    if (name.endsWith(QLatin1String(".html"))) return "text/html; charset=utf-8";
    if (name.endsWith(QLatin1String(".js"))) return "text/javascript; charset=utf-8";
    if (name.endsWith(QLatin1String(".css"))) return "text/css; charset=utf-8";
    if (name.endsWith(QLatin1String(".svg"))) return "image/svg+xml";
    if (name.endsWith(QLatin1String(".png"))) return "image/png";
    return {};
}

}  // namespace

bool ConsoleFiles::owns(const QString& path) {
    return path == QLatin1String("/") || path == QLatin1String("/index.html") ||
           path.startsWith(QLatin1String("/console/")) || path == QLatin1String("/favicon.ico");
}

std::optional<ConsoleFiles::File> ConsoleFiles::find(const QString& path) {
    static const QRegularExpression kName(QStringLiteral("^[a-z0-9_-]+(/[a-z0-9_-]+)*\\.(html|js|css|svg|png)$"));
    QString name;
    if (path == QLatin1String("/") || path == QLatin1String("/index.html")) name = QStringLiteral("index.html");
    else if (path.startsWith(QLatin1String("/console/"))) name = path.mid(9);
    if (name.isEmpty() || !kName.match(name).hasMatch()) return std::nullopt;
    QFile file(QStringLiteral(":/console/") + name);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return File{contentTypeOf(name), file.readAll()};
}

}  // namespace kv6::fleet::api
