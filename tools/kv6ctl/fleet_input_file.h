#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kv6::ctl {

// A file the fleet commands read whole (a settings document, a .prg, a list
// of object numbers): up to 4 MiB, far more than any of them holds. None,
// with the reason on stderr, when it cannot be read or is larger.
[[nodiscard]] std::optional<QByteArray> readFleetInputFile(const QString& path);

}  // namespace kv6::ctl
