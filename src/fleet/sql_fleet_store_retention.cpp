// The store's retention: old backups (with their journals) and ended jobs
// deleted in small batches, each batch a short transaction of its own.
#include "fleet/sql_fleet_store.h"

#include <QSqlQuery>

#include "fleet/sql_store_text.h"

namespace kv6::fleet {

namespace {

constexpr int kSecondsPerDay = 86400;

QString idList(const QVariantList& ids) {
    QStringList texts;
    texts.reserve(ids.size());
    for (const QVariant& id : ids) texts << QString::number(id.toLongLong());
    return texts.join(QLatin1Char(','));
}

}  // namespace

std::optional<FleetStore::Pruned> SqlFleetStore::pruneBackups(int keepNewest, int days, std::int64_t after, int limit) {
    QSqlQuery query(m_db);
    // The write lock from the start (on SQLite): the rows chosen are the rows deleted.
    if (!run(query, m_dialect.beginWriting())) return std::nullopt;
    const auto giveUp = [&]() -> std::optional<Pruned> {
        m_db.rollback();
        return std::nullopt;
    };
    // In id order from `after`, so that a pass over a large store moves on
    // past the old backups it keeps. Counting the newer backups of the same
    // object walks the (object, id) index.
    const QString chosen =
        QStringLiteral("SELECT b.id FROM backups b WHERE b.id > ? AND b.taken_at < %1 "
                       "AND (SELECT count(*) FROM backups n WHERE n.object = b.object AND n.id > b.id) >= ? "
                       "AND NOT EXISTS (SELECT 1 FROM jobs j WHERE j.id = b.job_id AND j.state IN ('queued', 'running')) "
                       "ORDER BY b.id LIMIT ?")
            .arg(m_dialect.clock(days * kSecondsPerDay));
    if (!run(query, chosen, {qlonglong{after}, std::max(1, keepNewest), limit})) return giveUp();
    QVariantList ids;
    while (query.next()) ids << query.value(0);
    if (!finished(query, chosen)) return giveUp();
    Pruned pruned;
    if (ids.isEmpty()) {
        m_db.rollback();
        return pruned;
    }
    // Numbers the store itself gave: written into the statement as they are.
    const QString list = idList(ids);
    if (!run(query, QStringLiteral("DELETE FROM journal_entries WHERE backup_id IN (%1)").arg(list)) ||
        !run(query, QStringLiteral("DELETE FROM backups WHERE id IN (%1)").arg(list)))
        return giveUp();
    pruned.deleted = query.numRowsAffected();
    pruned.lastId = ids.last().toLongLong();
    if (!commit()) return std::nullopt;
    return pruned;
}

int SqlFleetStore::pruneJobs(int days, int limit) {
    QSqlQuery query(m_db);
    const QString sql =
        QStringLiteral("DELETE FROM jobs WHERE id IN (SELECT id FROM jobs WHERE state IN ('done', 'failed', 'cancelled') "
                       "AND finished_at < %1 ORDER BY id LIMIT ?)")
            .arg(m_dialect.clock(days * kSecondsPerDay));
    if (!run(query, sql, {limit})) return -1;
    return query.numRowsAffected();
}

}  // namespace kv6::fleet
