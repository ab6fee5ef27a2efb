#include "fleet_input_file.h"

#include <QFile>
#include <cstdio>

namespace kv6::ctl {

std::optional<QByteArray> readFleetInputFile(const QString& path) {
    constexpr qint64 kMaxFileBytes = 4 << 20;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kv6ctl fleet: cannot read %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return std::nullopt;
    }
    QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes) {
        std::fprintf(stderr, "kv6ctl fleet: %s is too large\n", qPrintable(path));
        return std::nullopt;
    }
    return bytes;
}

}  // namespace kv6::ctl
