// The store's records beside the job queue: recorded passwords, the module
// inventory, backups with their journals, and the audit.
#include "fleet/sql_fleet_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>

#include "fleet/sql_store_text.h"

namespace kv6::fleet {

bool SqlFleetStore::recordPassword(const std::string& object, std::uint16_t password) {
    const Kept updated = runKept(QStringLiteral("UPDATE object_passwords SET password = ?, recorded_at = ? WHERE object = ?"),
                                 {int{password}, now(), qText(object)});
    if (!updated.ok) return false;
    if (updated.changed == 1) return true;
    return runKept(QStringLiteral("INSERT INTO object_passwords (object, password, recorded_at) VALUES (?, ?, ?)"),
                   {qText(object), int{password}, now()})
        .ok;
}

std::optional<std::uint16_t> SqlFleetStore::recordedPassword(const std::string& object) {
    const Kept found = runKept(QStringLiteral("SELECT password FROM object_passwords WHERE object = ?"), {qText(object)});
    if (found.rows.empty()) return std::nullopt;
    return static_cast<std::uint16_t>(found.rows.front().at(0).toInt());
}

std::optional<bool> SqlFleetStore::moduleSeen(const std::string& object, const std::string& peer,
                                              const std::string& identification) {
    const QString at = now();
    const Kept updated =
        runKept(QStringLiteral("UPDATE modules SET peer = ?, identification = ?, last_seen = ?, connected = 1, server = ? "
                               "WHERE object = ?"),
                {qText(peer), qText(identification), at, m_leaseOwner, qText(object)});
    if (!updated.ok) return std::nullopt;
    if (updated.changed == 1) return false;
    // Two servers may meet the same new module at once: the second one's
    // insert adds nothing and it counts the module as seen before.
    const Kept added = runKept(QStringLiteral("INSERT INTO modules (object, peer, identification, first_seen, last_seen, "
                                              "connected, server) VALUES (?, ?, ?, ?, ?, 1, ?) "
                                              "ON CONFLICT (object) DO NOTHING"),
                               {qText(object), qText(peer), qText(identification), at, at, m_leaseOwner});
    if (!added.ok) return std::nullopt;
    return added.changed == 1;
}

bool SqlFleetStore::moduleGone(const std::string& object) {
    // Unless the module has called another server meanwhile.
    return runKept(QStringLiteral("UPDATE modules SET connected = 0, server = NULL, last_seen = ? WHERE object = ? AND server = ?"),
                   {now(), qText(object), m_leaseOwner})
        .ok;
}

bool SqlFleetStore::clearConnected() {
    QSqlQuery query(m_db);
    if (m_dialect.shared())
        return run(query, QStringLiteral("UPDATE modules SET connected = 0, server = NULL WHERE server = ?"), {m_leaseOwner});
    return run(query, QStringLiteral("UPDATE modules SET connected = 0, server = NULL WHERE connected <> 0"));
}

std::vector<ModuleRecord> SqlFleetStore::modules(bool connectedOnly) {
    ModuleQuery query;
    query.connectedOnly = connectedOnly;
    query.limit = std::numeric_limits<std::size_t>::max();
    return modulesPage(query).value_or(std::vector<ModuleRecord>{});
}

std::optional<std::vector<ModuleRecord>> SqlFleetStore::modulesPage(const ModuleQuery& q) {
    QString sql = QStringLiteral("SELECT object, peer, identification, first_seen, last_seen, connected FROM modules "
                                 "WHERE ") +
                  (q.after.empty() ? QStringLiteral("? = ''") : q.newestFirst ? QStringLiteral("object < ?") : QStringLiteral("object > ?"));
    QVariantList values{qText(q.after)};
    if (q.connectedOnly) sql += QStringLiteral(" AND connected = 1");
    if (!q.object.empty()) {
        sql += QStringLiteral(" AND object = ?");
        values << qText(q.object);
    }
    if (!q.tag.empty()) {
        sql += QStringLiteral(" AND object IN (SELECT object FROM module_tags WHERE tag = ?)");
        values << qText(q.tag);
    }
    if (!q.contains.empty()) {
        sql += QStringLiteral(" AND ") + m_dialect.holds(QStringLiteral("object"));
        values << qText(q.contains);
    }
    sql += QStringLiteral(" ORDER BY object") + (q.newestFirst ? QStringLiteral(" DESC") : QString()) +
           limitClause(q.limit, values);
    QSqlQuery query(m_db);
    if (!run(query, sql, values)) return std::nullopt;
    std::vector<ModuleRecord> records;
    while (query.next())
        records.push_back({stdText(query.value(0)), stdText(query.value(1)), stdText(query.value(2)),
                           stdText(query.value(3)), stdText(query.value(4)), query.value(5).toInt() != 0});
    if (!finished(query, sql)) return std::nullopt;
    return records;
}

std::int64_t SqlFleetStore::addBackup(const std::string& object, std::int64_t jobId, const std::string& source,
                                      const image::Image& image, const std::vector<journal::JournalRow>& journal) {
    const QByteArray bytes(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
    // The journal goes with its backup as one value, [[time, code, partition,
    // zone], ...]: a row per entry cost the store more than the rest of the
    // backup, and nothing reads a journal but whole.
    nlohmann::json entries = nlohmann::json::array();
    for (const journal::JournalRow& row : journal) entries.push_back({row.time, row.code, row.partition, row.zone});
    const Kept added = runKept(
        QStringLiteral("INSERT INTO backups (object, job_id, taken_at, source, image, journal) "
                       "VALUES (?, ?, ?, ?, ?, ?) RETURNING id"),
        {qText(object), qlonglong{jobId}, now(), qText(source), bytes,
         QString::fromStdString(entries.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))});
    if (added.rows.empty()) return 0;
    return added.rows.front().at(0).toLongLong();
}

std::vector<BackupRecord> SqlFleetStore::backups(const std::string& object) {
    QSqlQuery query(m_db);
    std::vector<BackupRecord> records;
    if (run(query, QStringLiteral("SELECT id, object, taken_at, source, job_id FROM backups WHERE object = ? ORDER BY id"),
            {qText(object)}))
        while (query.next())
            records.push_back({query.value(0).toLongLong(), stdText(query.value(1)), stdText(query.value(2)), stdText(query.value(3)),
                               query.value(4).toLongLong()});
    return records;
}

std::optional<image::Image> SqlFleetStore::backupImage(std::int64_t id) {
    QSqlQuery query(m_db);
    if (!run(query, QStringLiteral("SELECT image FROM backups WHERE id = ?"), {qlonglong{id}}) || !query.next())
        return std::nullopt;
    const QByteArray bytes = query.value(0).toByteArray();
    if (bytes.size() != static_cast<qsizetype>(image::kImageSize)) return std::nullopt;
    image::Image image{};
    std::copy(bytes.begin(), bytes.end(), image.begin());
    return image;
}

std::vector<journal::JournalRow> SqlFleetStore::journal(std::int64_t backupId) {
    std::vector<journal::JournalRow> rows;
    const Kept found = runKept(QStringLiteral("SELECT journal FROM backups WHERE id = ?"), {qlonglong{backupId}});
    if (found.rows.empty()) return rows;
    const QVariant& stored = found.rows.front().at(0);
    if (!stored.isNull()) {
        const nlohmann::json entries = nlohmann::json::parse(stored.toString().toStdString(), nullptr, false);
        const auto entryOk = [](const nlohmann::json& e) {
            return e.is_array() && e.size() == 4 && e[0].is_string() && e[1].is_string() &&
                   e[2].is_number_integer() && e[3].is_number_integer();
        };
        if (!entries.is_array() || !std::all_of(entries.begin(), entries.end(), entryOk)) {
            qCWarning(lcStore) << "the journal of backup" << backupId << "is not readable";
            return rows;
        }
        for (const nlohmann::json& e : entries)
            rows.push_back({e[0].get<std::string>(), e[1].get<std::string>(), {}, e[2].get<int>(), e[3].get<int>()});
        return rows;
    }
    // A backup stored before journals went with their backups keeps its entries as rows.
    QSqlQuery query(m_db);
    if (run(query,
            QStringLiteral("SELECT event_time, code, partition_no, zone_no FROM journal_entries WHERE backup_id = ? "
                           "ORDER BY position"),
            {qlonglong{backupId}}))
        while (query.next())
            rows.push_back({stdText(query.value(0)), stdText(query.value(1)), {}, query.value(2).toInt(), query.value(3).toInt()});
    return rows;
}

bool SqlFleetStore::addAudit(const std::string& object, std::int64_t jobId, const std::string& difference) {
    // Who queued the job stays with the line: jobs that ended are deleted in time, the audit is not.
    return runKept(QStringLiteral("INSERT INTO audit (at, object, job_id, difference, outcome, queued_by) VALUES "
                                  "(?, ?, ?, ?, 'sent', COALESCE((SELECT queued_by FROM jobs WHERE id = ?), ''))"),
                   {now(), qText(object), qlonglong{jobId}, qText(difference), qlonglong{jobId}})
        .ok;
}

std::vector<AuditRecord> SqlFleetStore::audit(const std::optional<std::string>& object) {
    AuditQuery query;
    query.object = object;
    query.limit = std::numeric_limits<std::size_t>::max();
    return auditPage(query).value_or(std::vector<AuditRecord>{});
}

std::optional<std::vector<AuditRecord>> SqlFleetStore::auditPage(const AuditQuery& q) {
    QString sql = QStringLiteral("SELECT id, at, object, job_id, difference, outcome, queued_by FROM audit WHERE ") +
                  afterId(q.after, q.newestFirst);
    QVariantList values{qlonglong{q.after}};
    if (q.object) {
        sql += QStringLiteral(" AND object = ?");
        values << qText(*q.object);
    }
    if (q.by) {
        sql += QStringLiteral(" AND queued_by = ?");
        values << qText(*q.by);
    }
    if (!q.since.empty()) {
        sql += QStringLiteral(" AND at >= ?");
        values << qText(q.since);
    }
    sql += QStringLiteral(" ORDER BY id") + (q.newestFirst ? QStringLiteral(" DESC") : QString()) +
           limitClause(q.limit, values);
    QSqlQuery query(m_db);
    if (!run(query, sql, values)) return std::nullopt;
    std::vector<AuditRecord> records;
    while (query.next())
        records.push_back({query.value(0).toLongLong(), stdText(query.value(1)), stdText(query.value(2)),
                           query.value(3).toLongLong(), stdText(query.value(4)), stdText(query.value(5)),
                           stdText(query.value(6))});
    if (!finished(query, sql)) return std::nullopt;
    return records;
}

}  // namespace kv6::fleet
