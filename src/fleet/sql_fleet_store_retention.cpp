// The store's retention: old backups (with their journals) and ended jobs
// deleted in small batches, each batch a short transaction of its own.
//
// A pass must stay cheap on a store of a million backups that has nothing
// to delete: backups are looked at object by object through the (object,
// id) index, and only those beyond an object's newest few are read; jobs
// are looked at in id order, which is the order they were queued, and the
// pass stops at the first one queued after the cut-off, since no later one
// can have ended before it.
#include "fleet/sql_fleet_store.h"

#include <QSqlQuery>
#include <charconv>

#include "fleet/sql_store_text.h"

namespace kv6::fleet {

namespace {

constexpr int kSecondsPerDay = 86400;
constexpr int kObjectsPerBatch = 100;

QString idList(const QVariantList& ids) {
    QStringList texts;
    texts.reserve(ids.size());
    for (const QVariant& id : ids) texts << QString::number(id.toLongLong());
    return texts.join(QLatin1Char(','));
}

}  // namespace

std::optional<FleetStore::Pruned> SqlFleetStore::pruneBackups(int keepNewest, int days,
                                                              const std::string& cursor,
                                                              int limit) {
    QSqlQuery query(m_db);
    // The write lock from the start (on SQLite): the rows chosen are the rows deleted.
    if (!run(query, m_dialect.beginWriting())) return std::nullopt;
    const auto giveUp = [&]() -> std::optional<Pruned> {
        m_db.rollback();
        return std::nullopt;
    };
    const QString objects = QStringLiteral(
        "SELECT DISTINCT object FROM backups WHERE object > ? ORDER BY object LIMIT ?");
    if (!run(query, objects, {qText(cursor), kObjectsPerBatch})) return giveUp();
    QVariantList range;
    while (query.next()) range << query.value(0);
    if (!finished(query, objects)) return giveUp();
    Pruned pruned;
    if (range.isEmpty()) {
        m_db.rollback();
        pruned.ended = true;
        return pruned;
    }
    // The newer backups are counted on the index before a row is read.
    const QString chosen =
        QStringLiteral(
            "SELECT b.id FROM backups b WHERE b.object >= ? AND b.object <= ? "
            "AND (SELECT count(*) FROM backups n WHERE n.object = b.object AND n.id > b.id) >= ? "
            "AND b.taken_at < %1 "
            "AND NOT EXISTS (SELECT 1 FROM jobs j WHERE j.id = b.job_id AND j.state IN ('queued', "
            "'running')) "
            "ORDER BY b.id LIMIT ?")
            .arg(m_dialect.clock(days * kSecondsPerDay));
    if (!run(query, chosen, {range.first(), range.last(), std::max(1, keepNewest), limit}))
        return giveUp();
    QVariantList ids;
    while (query.next()) ids << query.value(0);
    if (!finished(query, chosen)) return giveUp();
    // A full batch may have left more in the same objects: they come again.
    pruned.cursor = ids.size() < limit ? stdText(range.last()) : cursor;
    if (ids.isEmpty()) {
        m_db.rollback();
        return pruned;
    }
    // Numbers the store itself gave: written into the statement as they are.
    const QString list = idList(ids);
    if (!run(query,
             QStringLiteral("DELETE FROM journal_entries WHERE backup_id IN (%1)").arg(list)) ||
        !run(query, QStringLiteral("DELETE FROM backups WHERE id IN (%1)").arg(list)))
        return giveUp();
    pruned.deleted = query.numRowsAffected();
    if (!commit()) return std::nullopt;
    return pruned;
}

std::optional<FleetStore::Pruned> SqlFleetStore::pruneJobs(int days, const std::string& cursor,
                                                           int limit) {
    QSqlQuery query(m_db);
    qlonglong after = 0;
    std::from_chars(cursor.data(), cursor.data() + cursor.size(), after);
    const QString cutoff = m_dialect.clock(days * kSecondsPerDay);
    // The next jobs in the order they were queued: whether each ended before
    // the cut-off, and whether it was queued before it at all.
    const QString next =
        QStringLiteral(
            "SELECT id, CASE WHEN state IN ('done', 'failed', 'cancelled') AND finished_at < %1 "
            "THEN 1 ELSE 0 END, "
            "CASE WHEN queued_at < %1 THEN 1 ELSE 0 END FROM jobs WHERE id > ? ORDER BY id LIMIT ?")
            .arg(cutoff);
    if (!run(query, next, {after, limit})) return std::nullopt;
    QVariantList ids;
    qlonglong last = after;
    int looked = 0;
    bool young = false;
    while (query.next()) {
        young = query.value(2).toInt() == 0;
        if (young) break;
        ++looked;
        last = query.value(0).toLongLong();
        if (query.value(1).toInt() == 1) ids << query.value(0);
    }
    if (!finished(query, next)) return std::nullopt;
    Pruned pruned;
    pruned.cursor = std::to_string(last);
    pruned.ended = young || looked < limit;
    if (ids.isEmpty()) return pruned;
    // The state is checked again: a job is deleted only as it was when chosen.
    if (!run(query,
             QStringLiteral(
                 "DELETE FROM jobs WHERE id IN (%1) AND state IN ('done', 'failed', 'cancelled') AND (rollout_id IS "
                 "NULL OR rollout_id IN (SELECT id FROM rollouts WHERE state IN ('finished', 'cancelled')))")
                 .arg(idList(ids))))
        return std::nullopt;
    pruned.deleted = query.numRowsAffected();
    return pruned;
}

}  // namespace kv6::fleet
