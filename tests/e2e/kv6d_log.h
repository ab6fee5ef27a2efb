#pragma once

#include <QByteArray>
#include <QRegularExpression>

namespace kv6::test {

// kv6d's log with each line's time and level taken off
// ("2026-12-08T05:40:12.345Z info kv6d: ..." as "kv6d: ..."), for tests that
// look for what was said, and in which order.
inline QByteArray withoutStamps(const QByteArray& log) {
    static const QRegularExpression stamp(
        QStringLiteral(R"((^|\n)\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z [a-z]+ )"));
    return QString::fromUtf8(log).replace(stamp, QStringLiteral("\\1")).toUtf8();
}

}  // namespace kv6::test
