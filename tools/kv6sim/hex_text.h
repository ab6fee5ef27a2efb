#pragma once

#include <QByteArray>

namespace kv6::sim {

// "49 50 7E ..." for the --verbose log.
[[nodiscard]] inline QByteArray hexText(const QByteArray& bytes) { return bytes.toHex(' ').toUpper(); }

}  // namespace kv6::sim
