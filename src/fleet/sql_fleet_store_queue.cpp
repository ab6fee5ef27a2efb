// The job queue as the store keeps it: queued, claimed under a lease,
// ended or given back, cancelled, listed.
#include <QSqlError>
#include <QSqlQuery>

#include "fleet/sql_fleet_store.h"
#include "fleet/sql_store_text.h"

namespace kv6::fleet {

namespace {

QString formatName(WriteFormat format) {
    switch (format) {
        case WriteFormat::SettingsJson: return QStringLiteral("json");
        case WriteFormat::Prg: return QStringLiteral("prg");
        case WriteFormat::None: break;
    }
    return QStringLiteral("");  // an empty text, not NULL
}

WriteFormat formatFromName(const QString& name) {
    if (name == QLatin1String("json")) return WriteFormat::SettingsJson;
    if (name == QLatin1String("prg")) return WriteFormat::Prg;
    return WriteFormat::None;
}

JobRecord jobRecordOf(const QSqlQuery& query) {
    JobRecord r;
    r.id = query.value(0).toLongLong();
    r.object = stdText(query.value(1));
    r.kind = kindFromName(stdText(query.value(2))).value_or(JobKind::Read);
    r.state = stateFromName(stdText(query.value(3))).value_or(JobState::Failed);
    r.attempts = query.value(4).toInt();
    r.queuedAt = stdText(query.value(5));
    r.startedAt = stdText(query.value(6));
    r.finishedAt = stdText(query.value(7));
    r.result = stdText(query.value(8));
    r.options.renumber = query.value(9).toInt() != 0;
    r.options.passwordFromFile = query.value(10).toInt() != 0;
    r.by = stdText(query.value(11));
    r.cancelledBy = stdText(query.value(12));
    return r;
}

}  // namespace

std::int64_t SqlFleetStore::queueJob(const NewJob& job) {
    QSqlQuery query(m_db);
    const QByteArray payload(reinterpret_cast<const char*>(job.payload.data()), static_cast<qsizetype>(job.payload.size()));
    const QString sql = QStringLiteral(
        "INSERT INTO jobs (object, kind, state, attempts, payload_format, payload, new_password, force_reset, "
        "renumber, password_from_file, queued_at, result, queued_by) "
        "VALUES (?, ?, 'queued', 0, ?, ?, ?, ?, ?, ?, ?, '', ?) RETURNING id");
    if (!run(query, sql,
             {qText(job.object), qText(kindName(job.kind)), formatName(job.format), payload, int{job.newPassword},
              job.force ? 1 : 0, job.options.renumber ? 1 : 0, job.options.passwordFromFile ? 1 : 0, now(),
              qText(job.by)}))
        return 0;
    // The id comes before the commit: only a statement that ends well stored the job.
    const qlonglong id = query.next() ? query.value(0).toLongLong() : 0;
    if (!finished(query, sql)) return 0;
    if (id == 0) {
        m_lastError = "the job was given no id";
        return 0;
    }
    notifyQueued(qText(job.object));
    return id;
}

void SqlFleetStore::notifyQueued(const QString& object) {
    if (m_dialect.notifyQueued().isEmpty()) return;
    QSqlQuery query(m_db);
    run(query, m_dialect.notifyQueued(), {object});
}

int SqlFleetStore::announce(QSqlQuery& query, const QString& sql) {
    QStringList objects;
    while (query.next()) objects << query.value(0).toString();
    const int rows = static_cast<int>(objects.size());
    if (!finished(query, sql)) return -1;
    objects.removeDuplicates();
    for (const QString& object : objects) notifyQueued(object);
    return rows;
}

std::optional<FleetJob> SqlFleetStore::claimNextJob(const std::string& object) {
    // A queued job, or one whose server stopped renewing its lease. The row
    // stays locked until the commit; another server skips it rather than
    // waiting, and the conditional UPDATE guards SQLite the same way.
    const QString claimable =
        QStringLiteral("(state = 'queued' OR (state = 'running' AND lease_at < %1))").arg(m_dialect.clock(m_leaseSeconds));
    // The write lock from the start (on SQLite), as the claim reads before it
    // writes: otherwise a job kv6ctl queued in between fails the claim at once.
    QSqlQuery begin(m_db);
    if (!run(begin, m_dialect.beginWriting())) return std::nullopt;
    const auto give_up = [&] {
        m_db.rollback();
        return std::nullopt;
    };
    const Kept next = runKept(QStringLiteral("SELECT id FROM jobs WHERE object = ? AND ") + claimable +
                                  QStringLiteral(" ORDER BY id LIMIT 1") + m_dialect.claimLock(),
                              {qText(object)});
    if (next.rows.empty()) return give_up();
    const qlonglong id = next.rows.front().at(0).toLongLong();
    // A job taken over from a server that stopped keeps that server's count:
    // the attempt it cut short is not the module's.
    const Kept claimed = runKept(QStringLiteral("UPDATE jobs SET attempts = attempts + CASE WHEN state = 'running' "
                                                "THEN 0 ELSE 1 END, state = 'running', started_at = ?, "
                                                "lease_owner = ?, lease_at = %1 WHERE id = ? AND ")
                                         .arg(m_dialect.clock()) +
                                     claimable,
                                 {now(), m_leaseOwner, id});
    if (claimed.changed != 1) return give_up();
    const Kept row = runKept(QStringLiteral("SELECT object, kind, payload_format, payload, new_password, force_reset, "
                                            "renumber, password_from_file FROM jobs WHERE id = ?"),
                             {id});
    if (row.rows.empty()) return give_up();
    const QVariantList& values = row.rows.front();
    FleetJob job;
    job.id = id;
    job.object = stdText(values.at(0));
    job.kind = kindFromName(stdText(values.at(1))).value_or(JobKind::Read);
    job.format = formatFromName(values.at(2).toString());
    const QByteArray payload = values.at(3).toByteArray();
    job.payload.assign(payload.begin(), payload.end());
    job.newPassword = static_cast<std::uint16_t>(values.at(4).toInt());
    job.force = values.at(5).toInt() != 0;
    job.options.renumber = values.at(6).toInt() != 0;
    job.options.passwordFromFile = values.at(7).toInt() != 0;
    job.password = recordedPassword(job.object);
    if (!commit()) return std::nullopt;
    return job;
}

bool SqlFleetStore::finishJob(std::int64_t id, JobState state, const std::string& result) {
    // Only while this server still holds the lease: a job taken over by
    // another server after the lease expired is that server's to finish.
    // The job's end and its audit line's outcome are one change.
    m_endDiscarded = false;
    m_db.transaction();
    const Kept ended = runKept(QStringLiteral("UPDATE jobs SET state = ?, result = ?, finished_at = ?, lease_owner = NULL, "
                                              "lease_at = NULL WHERE id = ? AND state = 'running' AND lease_owner = ?"),
                               {qText(stateName(state)), qText(result), now(), qlonglong{id}, m_leaseOwner});
    if (!ended.ok || ended.changed != 1) {
        m_db.rollback();
        m_endDiscarded = ended.ok;
        return ended.ok;
    }
    if (!runKept(QStringLiteral("UPDATE audit SET outcome = ? WHERE id = (SELECT MAX(id) FROM audit WHERE job_id = ?) "
                                "AND outcome = 'sent'"),
                 {state == JobState::Done ? QStringLiteral("verified") : QStringLiteral("failed"), qlonglong{id}})
             .ok) {
        m_db.rollback();
        return false;
    }
    return commit();
}

bool SqlFleetStore::requeueJob(std::int64_t id, const std::string& result, int maxAttempts, Attempt attempt) {
    m_endDiscarded = false;
    QSqlQuery query(m_db);
    const QString held = QStringLiteral("SELECT attempts, object FROM jobs WHERE id = ? AND state = 'running' AND lease_owner = ?");
    if (!run(query, held, {qlonglong{id}, m_leaseOwner})) return false;
    if (!query.next()) {  // another server's now
        m_endDiscarded = true;
        return finished(query, held);
    }
    const int attempts = query.value(0).toInt();
    const QString object = query.value(1).toString();
    if (!finished(query, held)) return false;
    if (attempt == Attempt::Counted && attempts >= maxAttempts)
        return finishJob(id, JobState::Failed, "gave up after " + std::to_string(attempts) + " attempts: " + result);
    const QString count = attempt == Attempt::Counted ? QStringLiteral("attempts = attempts") : givenBack();
    if (!run(query,
             QStringLiteral("UPDATE jobs SET state = %2, result = ?, %1, lease_owner = NULL, "
                            "lease_at = NULL WHERE id = ? AND state = 'running' AND lease_owner = ?")
                 .arg(count, backInQueue()),
             {qText(result), qlonglong{id}, m_leaseOwner}))
        return false;
    // The module may already have called another server.
    m_endDiscarded = query.numRowsAffected() != 1;
    if (!m_endDiscarded) notifyQueued(object);
    return true;
}

QString SqlFleetStore::backInQueue() {
    return QStringLiteral(
        "CASE WHEN rollout_id IS NULL THEN 'queued' ELSE COALESCE((SELECT CASE r.state WHEN 'paused' THEN 'held' "
        "WHEN 'halted' THEN 'held' WHEN 'cancelled' THEN 'cancelled' END FROM rollouts r WHERE r.id = jobs.rollout_id), "
        "'queued') END");
}

QString SqlFleetStore::givenBack() {
    return QStringLiteral("attempts = CASE WHEN attempts > 0 THEN attempts - 1 ELSE 0 END");
}

int SqlFleetStore::recoverLeases() {
    QSqlQuery query(m_db);
    const QString which = m_dialect.shared()
                              ? QStringLiteral("state = 'running' AND lease_at < %1").arg(m_dialect.clock(m_leaseSeconds))
                              : QStringLiteral("state = 'running'");
    const QString sql = QStringLiteral("UPDATE jobs SET state = ") + backInQueue() +
                        QStringLiteral(", result = 'the server stopped during the job', "
                                       "lease_owner = NULL, lease_at = NULL, ") +
                        givenBack() + QStringLiteral(" WHERE ") + which + QStringLiteral(" RETURNING object");
    if (!run(query, sql)) return -1;
    return announce(query, sql);
}

bool SqlFleetStore::cancelJob(std::int64_t id, const std::string& by, std::string& why) {
    QSqlQuery query(m_db);
    if (!run(query,
             QStringLiteral("UPDATE jobs SET state = 'cancelled', finished_at = ?, cancelled_by = ? "
                            "WHERE id = ? AND state = 'queued'"),
             {now(), qText(by), qlonglong{id}})) {
        why = "the store could not be changed";
        return false;
    }
    if (query.numRowsAffected() == 1) return true;
    if (run(query, QStringLiteral("SELECT state FROM jobs WHERE id = ?"), {qlonglong{id}}) && query.next())
        why = "job " + std::to_string(id) + " is " + stdText(query.value(0)) + ", not queued";
    else
        why = "no job " + std::to_string(id);
    return false;
}

std::vector<std::string> SqlFleetStore::objectsWithQueuedJobs() {
    QSqlQuery query(m_db);
    std::vector<std::string> objects;
    if (run(query, QStringLiteral("SELECT DISTINCT object FROM jobs WHERE state = 'queued'")))
        while (query.next()) objects.push_back(stdText(query.value(0)));
    return objects;
}

std::vector<JobRecord> SqlFleetStore::jobs(const std::optional<std::string>& object,
                                           const std::optional<JobState>& state) {
    JobQuery query;
    query.object = object;
    query.state = state;
    query.limit = std::numeric_limits<std::size_t>::max();
    return jobsPage(query).value_or(std::vector<JobRecord>{});
}

std::optional<std::vector<JobRecord>> SqlFleetStore::jobsPage(const JobQuery& q) {
    QString sql = QStringLiteral(
        "SELECT id, object, kind, state, attempts, queued_at, started_at, finished_at, result, renumber, "
        "password_from_file, queued_by, cancelled_by FROM jobs WHERE ") + afterId(q.after, q.newestFirst);
    QVariantList values{qlonglong{q.after}};
    if (q.object) {
        sql += QStringLiteral(" AND object = ?");
        values << qText(*q.object);
    }
    if (q.state) {
        sql += QStringLiteral(" AND state = ?");
        values << qText(stateName(*q.state));
    }
    if (q.id != 0) {
        sql += QStringLiteral(" AND id = ?");
        values << qlonglong{q.id};
    }
    sql += QStringLiteral(" ORDER BY id") + (q.newestFirst ? QStringLiteral(" DESC") : QString()) +
           limitClause(q.limit, values);
    QSqlQuery query(m_db);
    if (!run(query, sql, values)) return std::nullopt;
    std::vector<JobRecord> records;
    while (query.next()) records.push_back(jobRecordOf(query));
    if (!finished(query, sql)) return std::nullopt;
    return records;
}

std::optional<std::vector<JobTally>> SqlFleetStore::jobTallies() {
    const QString sql = QStringLiteral("SELECT state, kind, count(*) FROM jobs GROUP BY state, kind");
    QSqlQuery query(m_db);
    if (!run(query, sql)) return std::nullopt;
    std::vector<JobTally> tallies;
    while (query.next()) {
        const auto state = stateFromName(stdText(query.value(0)));
        const auto kind = kindFromName(stdText(query.value(1)));
        if (state && kind) tallies.push_back({*state, *kind, query.value(2).toLongLong()});
    }
    if (!finished(query, sql)) return std::nullopt;
    return tallies;
}

}  // namespace kv6::fleet
