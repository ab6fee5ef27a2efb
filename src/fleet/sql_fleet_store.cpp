#include "fleet/sql_fleet_store.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>
#include <algorithm>

namespace kv6::fleet {

namespace {

Q_LOGGING_CATEGORY(lcStore, "kv6.store")

// Each entry moves the schema one version on; a store is never migrated back.
const QStringList kMigrations[] = {
    {
        QStringLiteral("CREATE TABLE modules (object VARCHAR(8) PRIMARY KEY, peer TEXT NOT NULL, "
                       "identification TEXT NOT NULL, first_seen VARCHAR(20) NOT NULL, "
                       "last_seen VARCHAR(20) NOT NULL, connected INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE object_passwords (object VARCHAR(8) PRIMARY KEY, password INTEGER NOT NULL, "
                       "recorded_at VARCHAR(20) NOT NULL)"),
        QStringLiteral("CREATE TABLE jobs (id {id}, object VARCHAR(8) NOT NULL, kind VARCHAR(16) NOT NULL, "
                       "state VARCHAR(16) NOT NULL, attempts INTEGER NOT NULL, payload_format VARCHAR(8) NOT NULL, "
                       "payload {blob}, new_password INTEGER NOT NULL, force_reset INTEGER NOT NULL, "
                       "queued_at VARCHAR(20) NOT NULL, started_at VARCHAR(20), finished_at VARCHAR(20), "
                       "result TEXT NOT NULL, lease_owner TEXT, lease_at VARCHAR(20))"),
        QStringLiteral("CREATE INDEX jobs_queue ON jobs (state, object, id)"),
        QStringLiteral("CREATE TABLE backups (id {id}, object VARCHAR(8) NOT NULL, job_id BIGINT, "
                       "taken_at VARCHAR(20) NOT NULL, source TEXT NOT NULL, image {blob} NOT NULL)"),
        QStringLiteral("CREATE INDEX backups_object ON backups (object, id)"),
        QStringLiteral("CREATE TABLE journal_entries (backup_id BIGINT NOT NULL REFERENCES backups (id), "
                       "position INTEGER NOT NULL, event_time VARCHAR(20) NOT NULL, code VARCHAR(8) NOT NULL, "
                       "partition_no INTEGER NOT NULL, zone_no INTEGER NOT NULL, PRIMARY KEY (backup_id, position))"),
        QStringLiteral("CREATE TABLE audit (id {id}, at VARCHAR(20) NOT NULL, object VARCHAR(8) NOT NULL, "
                       "job_id BIGINT, difference TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX audit_object ON audit (object, id)"),
    },
};

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

QString q(const std::string& text) { return QString::fromStdString(text); }
std::string s(const QVariant& value) { return value.toString().toStdString(); }
QString q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

JobRecord jobRecordOf(const QSqlQuery& query) {
    JobRecord r;
    r.id = query.value(0).toLongLong();
    r.object = s(query.value(1));
    r.kind = kindFromName(s(query.value(2))).value_or(JobKind::Read);
    r.state = stateFromName(s(query.value(3))).value_or(JobState::Failed);
    r.attempts = query.value(4).toInt();
    r.queuedAt = s(query.value(5));
    r.startedAt = s(query.value(6));
    r.finishedAt = s(query.value(7));
    r.result = s(query.value(8));
    return r;
}

}  // namespace

SqlFleetStore::SqlFleetStore(const QString& location, const QString& leaseOwner)
    : m_location(location),
      m_leaseOwner(leaseOwner),
      m_connection(QStringLiteral("kv6-fleet-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_dialect(SqlDialect::forKind(SqlDialect::Kind::Sqlite)) {}

SqlFleetStore::~SqlFleetStore() {
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QString SqlFleetStore::defaultLocation() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/korvel-kv6/fleet.sqlite");
}

int SqlFleetStore::schemaVersion() { return static_cast<int>(std::size(kMigrations)); }

QString SqlFleetStore::now() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODate); }

bool SqlFleetStore::open(std::string& error) {
    QString file = m_location;
    if (file.startsWith(QLatin1String("postgres://")) || file.startsWith(QLatin1String("postgresql://"))) {
        error = "PostgreSQL stores are not supported yet; give a file";
        return false;
    }
    if (file.startsWith(QLatin1String("sqlite://"))) file = file.mid(9);
    else if (file.startsWith(QLatin1String("sqlite:"))) file = file.mid(7);
    if (file.isEmpty()) {
        error = "no database file given";
        return false;
    }
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        error = "cannot create the folder " + info.absolutePath().toStdString();
        return false;
    }
    m_db = QSqlDatabase::addDatabase(m_dialect.driverName(), m_connection);
    if (!m_db.isValid()) {
        error = "the Qt SQL driver " + m_dialect.driverName().toStdString() + " is not installed (libqt6sql6-sqlite)";
        return false;
    }
    m_db.setDatabaseName(info.absoluteFilePath());
    if (!m_db.open()) {
        error = "cannot open " + info.absoluteFilePath().toStdString() + ": " + m_db.lastError().text().toStdString();
        return false;
    }
    QSqlQuery query(m_db);
    for (const QString& statement : m_dialect.sessionSetup()) run(query, statement);
    return migrate(error);
}

bool SqlFleetStore::migrate(std::string& error) {
    QSqlQuery query(m_db);
    if (!m_db.tables().contains(QStringLiteral("schema_version"))) {
        if (!run(query, QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)")) ||
            !run(query, QStringLiteral("INSERT INTO schema_version (version) VALUES (0)"))) {
            error = "cannot create the schema: " + query.lastError().text().toStdString();
            return false;
        }
    }
    if (!run(query, QStringLiteral("SELECT version FROM schema_version")) || !query.next()) {
        error = "the store has no schema version";
        return false;
    }
    const int version = query.value(0).toInt();
    if (version > schemaVersion()) {
        error = "the store has schema version " + std::to_string(version) + ", newer than this program's " +
                std::to_string(schemaVersion());
        return false;
    }
    for (int next = version; next < schemaVersion(); ++next) {
        m_db.transaction();
        bool ok = true;
        for (const QString& statement : kMigrations[next]) ok = ok && run(query, m_dialect.schema(statement));
        ok = ok && run(query, QStringLiteral("UPDATE schema_version SET version = ?"), {next + 1});
        if (!ok) {
            error = "migration to schema version " + std::to_string(next + 1) +
                    " failed: " + query.lastError().text().toStdString();
            m_db.rollback();
            return false;
        }
        m_db.commit();
    }
    return true;
}

bool SqlFleetStore::run(QSqlQuery& query, const QString& sql, std::initializer_list<QVariant> values) {
    if (!query.prepare(sql)) {
        qCWarning(lcStore) << "prepare failed:" << sql << query.lastError().text();
        return false;
    }
    for (const QVariant& value : values) query.addBindValue(value);
    if (!query.exec()) {
        qCWarning(lcStore) << "statement failed:" << sql << query.lastError().text();
        return false;
    }
    return true;
}

std::int64_t SqlFleetStore::queueJob(const NewJob& job) {
    QSqlQuery query(m_db);
    const QByteArray payload(reinterpret_cast<const char*>(job.payload.data()), static_cast<qsizetype>(job.payload.size()));
    if (!run(query,
             QStringLiteral("INSERT INTO jobs (object, kind, state, attempts, payload_format, payload, new_password, "
                            "force_reset, queued_at, result) VALUES (?, ?, 'queued', 0, ?, ?, ?, ?, ?, '') RETURNING id"),
             {q(job.object), q(kindName(job.kind)), formatName(job.format), payload, int{job.newPassword},
              job.force ? 1 : 0, now()}) ||
        !query.next())
        return 0;
    return query.value(0).toLongLong();
}

std::optional<FleetJob> SqlFleetStore::claimNextJob(const std::string& object) {
    QSqlQuery query(m_db);
    if (!run(query,
             QStringLiteral("SELECT id FROM jobs WHERE object = ? AND state = 'queued' ORDER BY id LIMIT 1") +
                 m_dialect.claimLock(),
             {q(object)}) ||
        !query.next())
        return std::nullopt;
    const qlonglong id = query.value(0).toLongLong();
    const QString at = now();
    // Conditional on the state: a job cancelled meanwhile is not taken.
    if (!run(query,
             QStringLiteral("UPDATE jobs SET state = 'running', attempts = attempts + 1, started_at = ?, "
                            "lease_owner = ?, lease_at = ? WHERE id = ? AND state = 'queued'"),
             {at, m_leaseOwner, at, id}) ||
        query.numRowsAffected() != 1)
        return std::nullopt;
    if (!run(query,
             QStringLiteral("SELECT object, kind, payload_format, payload, new_password, force_reset FROM jobs "
                            "WHERE id = ?"),
             {id}) ||
        !query.next())
        return std::nullopt;
    FleetJob job;
    job.id = id;
    job.object = s(query.value(0));
    job.kind = kindFromName(s(query.value(1))).value_or(JobKind::Read);
    job.format = formatFromName(query.value(2).toString());
    const QByteArray payload = query.value(3).toByteArray();
    job.payload.assign(payload.begin(), payload.end());
    job.newPassword = static_cast<std::uint16_t>(query.value(4).toInt());
    job.force = query.value(5).toInt() != 0;
    job.password = recordedPassword(job.object);
    return job;
}

void SqlFleetStore::finishJob(std::int64_t id, JobState state, const std::string& result) {
    QSqlQuery query(m_db);
    run(query,
        QStringLiteral("UPDATE jobs SET state = ?, result = ?, finished_at = ?, lease_owner = NULL, lease_at = NULL "
                       "WHERE id = ? AND state = 'running'"),
        {q(stateName(state)), q(result), now(), qlonglong{id}});
}

void SqlFleetStore::requeueJob(std::int64_t id, const std::string& result, int maxAttempts) {
    QSqlQuery query(m_db);
    if (!run(query, QStringLiteral("SELECT attempts FROM jobs WHERE id = ? AND state = 'running'"), {qlonglong{id}}) ||
        !query.next())
        return;
    const int attempts = query.value(0).toInt();
    if (attempts >= maxAttempts) {
        finishJob(id, JobState::Failed, "gave up after " + std::to_string(attempts) + " attempts: " + result);
        return;
    }
    run(query,
        QStringLiteral("UPDATE jobs SET state = 'queued', result = ?, lease_owner = NULL, lease_at = NULL "
                       "WHERE id = ? AND state = 'running'"),
        {q(result), qlonglong{id}});
}

int SqlFleetStore::recoverLeases() {
    QSqlQuery query(m_db);
    if (!run(query,
             QStringLiteral("UPDATE jobs SET state = 'queued', result = 'the server stopped during the job', "
                            "lease_owner = NULL, lease_at = NULL WHERE state = 'running'")))
        return 0;
    return query.numRowsAffected();
}

bool SqlFleetStore::cancelJob(std::int64_t id, std::string& why) {
    QSqlQuery query(m_db);
    if (!run(query,
             QStringLiteral("UPDATE jobs SET state = 'cancelled', finished_at = ? WHERE id = ? AND state = 'queued'"),
             {now(), qlonglong{id}})) {
        why = "the store could not be changed";
        return false;
    }
    if (query.numRowsAffected() == 1) return true;
    if (run(query, QStringLiteral("SELECT state FROM jobs WHERE id = ?"), {qlonglong{id}}) && query.next())
        why = "job " + std::to_string(id) + " is " + s(query.value(0)) + ", not queued";
    else
        why = "no job " + std::to_string(id);
    return false;
}

std::vector<std::string> SqlFleetStore::objectsWithQueuedJobs() {
    QSqlQuery query(m_db);
    std::vector<std::string> objects;
    if (run(query, QStringLiteral("SELECT DISTINCT object FROM jobs WHERE state = 'queued'")))
        while (query.next()) objects.push_back(s(query.value(0)));
    return objects;
}

std::vector<JobRecord> SqlFleetStore::jobs(const std::optional<std::string>& object,
                                           const std::optional<JobState>& state) {
    QSqlQuery query(m_db);
    std::vector<JobRecord> records;
    const QString sql = QStringLiteral(
        "SELECT id, object, kind, state, attempts, queued_at, started_at, finished_at, result FROM jobs "
        "WHERE (? = '' OR object = ?) AND (? = '' OR state = ?) ORDER BY id");
    const QString o = object ? q(*object) : QString(QLatin1String(""));
    const QString st = state ? q(stateName(*state)) : QString(QLatin1String(""));
    if (run(query, sql, {o, o, st, st}))
        while (query.next()) records.push_back(jobRecordOf(query));
    return records;
}

void SqlFleetStore::recordPassword(const std::string& object, std::uint16_t password) {
    QSqlQuery query(m_db);
    run(query, QStringLiteral("UPDATE object_passwords SET password = ?, recorded_at = ? WHERE object = ?"),
        {int{password}, now(), q(object)});
    if (query.numRowsAffected() == 1) return;
    run(query, QStringLiteral("INSERT INTO object_passwords (object, password, recorded_at) VALUES (?, ?, ?)"),
        {q(object), int{password}, now()});
}

std::optional<std::uint16_t> SqlFleetStore::recordedPassword(const std::string& object) {
    QSqlQuery query(m_db);
    if (!run(query, QStringLiteral("SELECT password FROM object_passwords WHERE object = ?"), {q(object)}) ||
        !query.next())
        return std::nullopt;
    return static_cast<std::uint16_t>(query.value(0).toInt());
}

bool SqlFleetStore::moduleSeen(const std::string& object, const std::string& peer, const std::string& identification) {
    QSqlQuery query(m_db);
    const QString at = now();
    run(query,
        QStringLiteral("UPDATE modules SET peer = ?, identification = ?, last_seen = ?, connected = 1 WHERE object = ?"),
        {q(peer), q(identification), at, q(object)});
    if (query.numRowsAffected() == 1) return false;
    run(query,
        QStringLiteral("INSERT INTO modules (object, peer, identification, first_seen, last_seen, connected) "
                       "VALUES (?, ?, ?, ?, ?, 1)"),
        {q(object), q(peer), q(identification), at, at});
    return true;
}

void SqlFleetStore::moduleGone(const std::string& object) {
    QSqlQuery query(m_db);
    run(query, QStringLiteral("UPDATE modules SET connected = 0, last_seen = ? WHERE object = ?"), {now(), q(object)});
}

void SqlFleetStore::clearConnected() {
    QSqlQuery query(m_db);
    run(query, QStringLiteral("UPDATE modules SET connected = 0 WHERE connected <> 0"));
}

std::vector<ModuleRecord> SqlFleetStore::modules(bool connectedOnly) {
    QSqlQuery query(m_db);
    std::vector<ModuleRecord> records;
    if (run(query,
            QStringLiteral("SELECT object, peer, identification, first_seen, last_seen, connected FROM modules "
                           "WHERE (? = 0 OR connected = 1) ORDER BY object"),
            {connectedOnly ? 1 : 0}))
        while (query.next())
            records.push_back({s(query.value(0)), s(query.value(1)), s(query.value(2)), s(query.value(3)),
                               s(query.value(4)), query.value(5).toInt() != 0});
    return records;
}

std::int64_t SqlFleetStore::addBackup(const std::string& object, std::int64_t jobId, const std::string& source,
                                      const image::Image& image, const std::vector<journal::JournalRow>& journal) {
    QSqlQuery query(m_db);
    m_db.transaction();
    const QByteArray bytes(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
    if (!run(query,
             QStringLiteral("INSERT INTO backups (object, job_id, taken_at, source, image) VALUES (?, ?, ?, ?, ?) "
                            "RETURNING id"),
             {q(object), qlonglong{jobId}, now(), q(source), bytes}) ||
        !query.next()) {
        m_db.rollback();
        return 0;
    }
    const qlonglong id = query.value(0).toLongLong();
    query.finish();
    QVariantList ids, positions, times, codes, partitions, zones;
    for (std::size_t i = 0; i < journal.size(); ++i) {
        ids << id;
        positions << static_cast<int>(i);
        times << q(journal[i].time);
        codes << q(journal[i].code);
        partitions << journal[i].partition;
        zones << journal[i].zone;
    }
    bool ok = true;
    if (!journal.empty()) {
        ok = query.prepare(QStringLiteral("INSERT INTO journal_entries (backup_id, position, event_time, code, "
                                          "partition_no, zone_no) VALUES (?, ?, ?, ?, ?, ?)"));
        for (const QVariantList& column : {ids, positions, times, codes, partitions, zones}) query.addBindValue(column);
        ok = ok && query.execBatch();
    }
    if (!ok) {
        qCWarning(lcStore) << "journal not stored:" << query.lastError().text();
        m_db.rollback();
        return 0;
    }
    m_db.commit();
    return id;
}

std::vector<BackupRecord> SqlFleetStore::backups(const std::string& object) {
    QSqlQuery query(m_db);
    std::vector<BackupRecord> records;
    if (run(query, QStringLiteral("SELECT id, object, taken_at, source, job_id FROM backups WHERE object = ? ORDER BY id"),
            {q(object)}))
        while (query.next())
            records.push_back({query.value(0).toLongLong(), s(query.value(1)), s(query.value(2)), s(query.value(3)),
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
    QSqlQuery query(m_db);
    std::vector<journal::JournalRow> rows;
    if (run(query,
            QStringLiteral("SELECT event_time, code, partition_no, zone_no FROM journal_entries WHERE backup_id = ? "
                           "ORDER BY position"),
            {qlonglong{backupId}}))
        while (query.next())
            rows.push_back({s(query.value(0)), s(query.value(1)), {}, query.value(2).toInt(), query.value(3).toInt()});
    return rows;
}

void SqlFleetStore::addAudit(const std::string& object, std::int64_t jobId, const std::string& difference) {
    QSqlQuery query(m_db);
    run(query, QStringLiteral("INSERT INTO audit (at, object, job_id, difference) VALUES (?, ?, ?, ?)"),
        {now(), q(object), qlonglong{jobId}, q(difference)});
}

std::vector<AuditRecord> SqlFleetStore::audit(const std::optional<std::string>& object) {
    QSqlQuery query(m_db);
    std::vector<AuditRecord> records;
    const QString o = object ? q(*object) : QString(QLatin1String(""));
    if (run(query,
            QStringLiteral("SELECT id, at, object, job_id, difference FROM audit WHERE (? = '' OR object = ?) ORDER BY id"),
            {o, o}))
        while (query.next())
            records.push_back({query.value(0).toLongLong(), s(query.value(1)), s(query.value(2)),
                               query.value(3).toLongLong(), s(query.value(4))});
    return records;
}

std::string SqlFleetStore::integrityCheck() {
    QSqlQuery query(m_db);
    if (!run(query, m_dialect.integrityCheck()) || !query.next()) return "the check could not run";
    return s(query.value(0));
}

}  // namespace kv6::fleet
