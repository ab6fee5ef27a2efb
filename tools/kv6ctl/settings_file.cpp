#include "settings_file.h"

#include <QFile>
#include <QSaveFile>
#include <cstdio>

namespace kv6::ctl {

namespace {
// A settings document is a few hundred fields; anything far larger is not one.
constexpr qint64 kMaxSettingsBytes = 4 << 20;
}  // namespace

std::optional<settings::Json> readSettingsFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kv6ctl: cannot read %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxSettingsBytes + 1);
    if (bytes.size() > kMaxSettingsBytes) {
        std::fprintf(stderr, "kv6ctl: %s: too large for a settings file\n", qPrintable(path));
        return std::nullopt;
    }
    settings::Json json;
    std::string error;
    if (!settings::parseJson(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), json, error)) {
        std::fprintf(stderr, "kv6ctl: %s: %s\n", qPrintable(path), error.c_str());
        return std::nullopt;
    }
    return json;
}

QString writeTextFile(const QString& path, const std::string& text) {
    if (path == QStringLiteral("-")) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return {};
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    file.write(text.data(), static_cast<qint64>(text.size()));
    if (!file.commit()) return file.errorString();
    return {};
}

}  // namespace kv6::ctl
