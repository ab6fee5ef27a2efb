#pragma once

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QString>
#include <QVariant>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "fleet/duration_histogram.h"

namespace kv6::fleet {

// The SQL store's log category and its conversions between the core's texts
// and Qt SQL's values, shared by the files of SqlFleetStore.
Q_DECLARE_LOGGING_CATEGORY(lcStore)

inline QString qText(const std::string& text) { return QString::fromStdString(text); }
inline QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
inline std::string stdText(const QVariant& value) { return value.toString().toStdString(); }

// Counts how long a statement took into the store's times as it goes.
class StatementTimer {
public:
    explicit StatementTimer(DurationHistogram& times) : m_times(times) { m_clock.start(); }
    ~StatementTimer() { m_times.observe(static_cast<double>(m_clock.nsecsElapsed()) / 1e9); }
    StatementTimer(const StatementTimer&) = delete;
    StatementTimer& operator=(const StatementTimer&) = delete;

private:
    DurationHistogram& m_times;
    QElapsedTimer m_clock;
};

// The condition on `id` of a page after `after` (one placeholder: `after`),
// in either order; 0 starts at either end.
inline QString afterId(long long after, bool newestFirst) {
    if (after == 0) return QStringLiteral("? = 0");
    return newestFirst ? QStringLiteral("id < ?") : QStringLiteral("id > ?");
}

// " LIMIT ?" with its value added, or nothing for a whole list (the largest limit).
inline QString limitClause(std::size_t limit, QVariantList& values) {
    if (limit == std::numeric_limits<std::size_t>::max()) return {};
    values << static_cast<qlonglong>(limit);
    return QStringLiteral(" LIMIT ?");
}

}  // namespace kv6::fleet
