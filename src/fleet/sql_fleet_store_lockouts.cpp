// The password back-off's records: mismatch counts and lock-outs, timed by
// the database's clock so that every server of the store agrees on them.
#include <QSqlQuery>

#include "fleet/sql_fleet_store.h"
#include "fleet/sql_store_text.h"

namespace kv6::fleet {

namespace {

QString kindText(LockoutKind kind) { return qText(lockoutKindName(kind)); }

LockoutRecord lockoutOf(const QSqlQuery& query) {
    LockoutRecord r;
    r.kind = query.value(0).toString() == QLatin1String("address") ? LockoutKind::Address : LockoutKind::Object;
    r.subject = stdText(query.value(1));
    r.mismatches = query.value(2).toInt();
    r.lastAt = stdText(query.value(3));
    r.lockedUntil = stdText(query.value(4));
    return r;
}

}  // namespace

std::optional<LockoutRecord> SqlFleetStore::countMismatch(LockoutKind kind, const std::string& subject, int limit,
                                                          int seconds) {
    QSqlQuery query(m_db);
    const QString stale = QStringLiteral("lockouts.last_at < %1").arg(m_dialect.clock(seconds));
    // One statement, so that servers counting the same subject at once add up.
    if (!run(query,
             QStringLiteral("INSERT INTO lockouts (kind, subject, mismatches, last_at, locked_until) "
                            "VALUES (?, ?, 1, %1, NULL) ON CONFLICT (kind, subject) DO UPDATE SET "
                            "mismatches = CASE WHEN %2 THEN 1 ELSE lockouts.mismatches + 1 END, "
                            "locked_until = CASE WHEN %2 THEN NULL ELSE lockouts.locked_until END, "
                            "last_at = excluded.last_at")
                 .arg(m_dialect.clock(), stale),
             {kindText(kind), qText(subject)}))
        return std::nullopt;
    // A lock-out starts at the limit unless one is in force already.
    if (!run(query,
             QStringLiteral("UPDATE lockouts SET locked_until = %1 WHERE kind = ? AND subject = ? AND mismatches >= ? "
                            "AND (locked_until IS NULL OR locked_until < %2)")
                 .arg(m_dialect.clock(-seconds), m_dialect.clock()),
             {kindText(kind), qText(subject), limit}))
        return std::nullopt;
    if (!run(query,
             QStringLiteral("SELECT kind, subject, mismatches, last_at, CASE WHEN locked_until > %1 THEN locked_until "
                            "ELSE '' END FROM lockouts WHERE kind = ? AND subject = ?")
                 .arg(m_dialect.clock()),
             {kindText(kind), qText(subject)}) ||
        !query.next())
        return std::nullopt;
    return lockoutOf(query);
}

void SqlFleetStore::clearMismatches(const std::string& object) {
    QSqlQuery query(m_db);
    run(query,
        QStringLiteral("DELETE FROM lockouts WHERE kind = 'object' AND subject = ? AND "
                       "(locked_until IS NULL OR locked_until < %1)")
            .arg(m_dialect.clock()),
        {qText(object)});
}

void SqlFleetStore::expireLockouts(int seconds) {
    QSqlQuery query(m_db);
    run(query, QStringLiteral("DELETE FROM lockouts WHERE last_at < %1 AND (locked_until IS NULL OR locked_until < %2)")
                   .arg(m_dialect.clock(seconds), m_dialect.clock()));
}

std::vector<LockoutRecord> SqlFleetStore::lockouts(bool lockedOnly) {
    return listLockouts(lockedOnly).value_or(std::vector<LockoutRecord>());
}

std::optional<std::vector<LockoutRecord>> SqlFleetStore::listLockouts(bool lockedOnly) {
    QSqlQuery query(m_db);
    const QString now = m_dialect.clock();
    if (!run(query, QStringLiteral("SELECT kind, subject, mismatches, last_at, CASE WHEN locked_until > %1 THEN "
                                   "locked_until ELSE '' END FROM lockouts %2 ORDER BY kind DESC, subject")
                        .arg(now, lockedOnly ? QStringLiteral("WHERE locked_until > %1").arg(now) : QString())))
        return std::nullopt;
    std::vector<LockoutRecord> records;
    while (query.next()) records.push_back(lockoutOf(query));
    return records;
}

int SqlFleetStore::clearLockouts(const std::optional<std::string>& subject) {
    QSqlQuery query(m_db);
    const bool ok = subject ? run(query, QStringLiteral("DELETE FROM lockouts WHERE subject = ?"), {qText(*subject)})
                            : run(query, QStringLiteral("DELETE FROM lockouts"));
    return ok ? query.numRowsAffected() : -1;
}

}  // namespace kv6::fleet
