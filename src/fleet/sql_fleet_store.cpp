#include "fleet/sql_fleet_store.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "fleet/sql_migrations.h"
#include "fleet/sql_store_text.h"

namespace kv6::fleet {

Q_LOGGING_CATEGORY(lcStore, "kv6.store", QtInfoMsg)  // the statements at debug

namespace {

// Whether this program may write the file or folder (as its effective user).
bool writable(const QString& path) { return ::faccessat(AT_FDCWD, path.toLocal8Bit().constData(), W_OK, AT_EACCESS) == 0; }

}  // namespace

SqlFleetStore::SqlFleetStore(const QString& location, const QString& leaseOwner, int leaseSeconds)
    : m_location(location),
      m_leaseOwner(leaseOwner),
      m_leaseSeconds(leaseSeconds),
      m_connection(QStringLiteral("kv6-fleet-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_dialect(SqlDialect::forKind(SqlDialect::Kind::Sqlite)) {}

SqlFleetStore::~SqlFleetStore() {
    QObject::disconnect(m_notifications);
    m_kept.clear();
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

int SqlFleetStore::schemaVersion() { return static_cast<int>(schemaMigrations().size()); }

QString SqlFleetStore::now() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODate); }

QString SqlFleetStore::displayLocation() const { return m_parsed ? m_parsed->display() : m_location; }

bool SqlFleetStore::open(std::string& error) {
    m_parsed = SqlLocation::parse(m_location, error);
    if (!m_parsed) return false;
    m_dialect = SqlDialect::forKind(m_parsed->kind());
    if (!connectDatabase(error)) return false;
    return m_readOnly ? checkVersion(error) : migrate(error);
}

bool SqlFleetStore::readable() {
    QSqlQuery query(m_db);
    return query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && query.next();
}

bool SqlFleetStore::checkVersion(std::string& error) {
    QSqlQuery query(m_db);
    if (!run(query, QStringLiteral("SELECT version FROM schema_version")) || !query.next()) {
        error = "cannot read the store " + displayLocation().toStdString() + ": " + query.lastError().text().toStdString();
        return false;
    }
    const int version = query.value(0).toInt();
    if (version == schemaVersion()) return true;
    m_schemaNewer = version > schemaVersion();
    error = "the store " + displayLocation().toStdString() + " is read-only and has schema version " +
            std::to_string(version) + ", not this program's " + std::to_string(schemaVersion()) +
            ": open it once with write access";
    return false;
}

bool SqlFleetStore::lockForServer(std::string& error) {
    if (!m_parsed || m_parsed->kind() != SqlDialect::Kind::Sqlite) return true;
    auto lock = std::make_unique<SqlFileLock>(m_db.databaseName());
    if (!lock->take(m_leaseOwner, error)) return false;
    m_lock = std::move(lock);
    return true;
}

bool SqlFleetStore::connectDatabase(std::string& error) {
    const SqlLocation& where = *m_parsed;
    if (!m_db.isValid()) {
        m_db = QSqlDatabase::addDatabase(m_dialect.driverName(), m_connection);
        if (!m_db.isValid()) {
            error = "the Qt SQL driver " + m_dialect.driverName().toStdString() + " is not installed (" +
                    (where.kind() == SqlDialect::Kind::Sqlite ? "libqt6sql6-sqlite" : "libqt6sql6-psql") + ")";
            return false;
        }
    }
    if (where.kind() == SqlDialect::Kind::Sqlite) {
        const QFileInfo info(where.file());
        const QString file = info.absoluteFilePath();
        if (info.exists()) {
            // SQLite writes beside the file too (its -wal and -shm files).
            m_readOnly = !writable(file) || !writable(info.absolutePath());
        } else {
            if (!QDir().mkpath(info.absolutePath())) {
                error = "cannot create the folder " + info.absolutePath().toStdString();
                return false;
            }
            // It holds every module's read password and codes: readable by its
            // owner only. SQLite gives its -wal and -shm files the same mode.
            const int fd = ::open(file.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0)
                ::close(fd);
            else if (errno != EEXIST) {
                error = "cannot create " + file.toStdString() + ": " + std::strerror(errno);
                return false;
            }
        }
        m_db.setDatabaseName(file);
        m_db.setConnectOptions(m_readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY") : QString());
    } else {
        m_db.setHostName(where.host());
        m_db.setPort(where.port());
        m_db.setUserName(where.user());
        m_db.setPassword(where.password());
        m_db.setDatabaseName(where.database());
        m_db.setConnectOptions(where.connectOptions());
    }
    if (!m_db.open()) {
        // libpq's messages name the host and the user, never the password.
        error = "cannot open " + where.display().toStdString() + ": " + m_db.lastError().text().toStdString();
        return false;
    }
    if (m_readOnly && !readable()) {
        // A WAL store whose -shm file is gone (its last writer closed it) and
        // cannot be made in a folder this program may not write: read the file
        // as it stands, which is the whole store then.
        m_db.close();
        m_db.setDatabaseName(QUrl::fromLocalFile(m_db.databaseName()).toString(QUrl::FullyEncoded) +
                             QStringLiteral("?immutable=1"));
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        if (!m_db.open()) {
            error = "cannot open " + where.display().toStdString() + ": " + m_db.lastError().text().toStdString();
            return false;
        }
    }
    QSqlQuery query(m_db);
    for (const QString& statement : m_dialect.sessionSetup(m_readOnly, m_timeouts)) run(query, statement);
    return true;
}

bool SqlFleetStore::migrate(std::string& error) {
    QSqlQuery lock(m_db);
    // Another program may hold the schema for a while, and a step may take
    // long on a big store: the session's time-outs wait until it is done.
    for (const QString& statement : m_dialect.liftTimeouts()) run(lock, statement);
    const bool migrated = lockAndMigrate(error);
    for (const QString& statement : m_dialect.restoreTimeouts(m_timeouts)) run(lock, statement);
    return migrated;
}

bool SqlFleetStore::lockAndMigrate(std::string& error) {
    QSqlQuery lock(m_db);
    if (!m_dialect.migrationLock().isEmpty() && !run(lock, m_dialect.migrationLock())) {
        error = "cannot lock the schema: " + lock.lastError().text().toStdString();
        return false;
    }
    const bool ok = migrateLocked(error);
    if (!m_dialect.migrationUnlock().isEmpty()) run(lock, m_dialect.migrationUnlock());
    return ok;
}

bool SqlFleetStore::migrateLocked(std::string& error) {
    QSqlQuery query(m_db);
    // Each statement stands alone, so that programs opening a new store at
    // the same moment all get past them. (Only a new store is asked to
    // create the table: PostgreSQL says so on every start otherwise.)
    const bool created = m_db.tables().contains(QStringLiteral("schema_version")) ||
                         run(query, QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"));
    if (!created || !run(query, QStringLiteral("INSERT INTO schema_version (version) SELECT 0 "
                                               "WHERE NOT EXISTS (SELECT 1 FROM schema_version)"))) {
        error = "cannot create the schema: " + query.lastError().text().toStdString();
        return false;
    }
    for (;;) {
        // The version is read under the write lock: a step another program
        // took meanwhile is not taken again.
        if (!run(query, m_dialect.beginWriting())) {
            error = "cannot lock the schema: " + query.lastError().text().toStdString();
            return false;
        }
        if (!run(query, QStringLiteral("SELECT version FROM schema_version")) || !query.next()) {
            m_db.rollback();
            error = "the store has no schema version";
            return false;
        }
        const int version = query.value(0).toInt();
        query.finish();
        if (version >= schemaVersion()) {
            m_db.rollback();
            if (version == schemaVersion()) return true;
            m_schemaNewer = true;
            error = "the store has schema version " + std::to_string(version) + ", newer than this program's " +
                    std::to_string(schemaVersion());
            return false;
        }
        bool ok = true;
        for (const QString& statement : schemaMigrations()[static_cast<std::size_t>(version)])
            ok = ok && run(query, m_dialect.schema(statement));
        ok = ok && run(query, QStringLiteral("UPDATE schema_version SET version = ?"), {version + 1});
        if (!ok || !m_db.commit()) {
            error = "migration to schema version " + std::to_string(version + 1) +
                    " failed: " + query.lastError().text().toStdString();
            m_db.rollback();
            return false;
        }
    }
}

bool SqlFleetStore::heartbeat() {
    QSqlQuery query(m_db);
    const QString clock = m_dialect.clock();
    if (!run(query,
             QStringLiteral("INSERT INTO servers (name, started_at, heartbeat_at) VALUES (?, %1, %1) "
                            "ON CONFLICT (name) DO UPDATE SET heartbeat_at = excluded.heartbeat_at")
                 .arg(clock),
             {m_leaseOwner}))
        return false;
    if (!run(query, QStringLiteral("UPDATE jobs SET lease_at = %1 WHERE state = 'running' AND lease_owner = ?").arg(clock),
             {m_leaseOwner}))
        return false;
    // Whatever a stopped server held: its modules are no longer connected,
    // its jobs go back to the queue for the next server their module reaches.
    const QString stopped = QStringLiteral("heartbeat_at < %1").arg(m_dialect.clock(m_leaseSeconds));
    m_db.transaction();
    const bool reaped =
        run(query, QStringLiteral("UPDATE modules SET connected = 0, server = NULL WHERE server IN "
                                  "(SELECT name FROM servers WHERE ") + stopped + QStringLiteral(")")) &&
        run(query, QStringLiteral("DELETE FROM servers WHERE ") + stopped);
    if (!reaped) {
        m_db.rollback();
        return false;
    }
    if (!commit()) return false;
    const QString expired = QStringLiteral("UPDATE jobs SET state = ") + backInQueue() +
                            QStringLiteral(", result = 'the server running it stopped', "
                                           "lease_owner = NULL, lease_at = NULL, ") +
                            givenBack() +
                            QStringLiteral(" WHERE state = 'running' AND lease_at < %1 RETURNING object")
                                .arg(m_dialect.clock(m_leaseSeconds));
    return run(query, expired) && announce(query, expired) >= 0;
}

bool SqlFleetStore::reconnect(std::string& error) {
    QObject::disconnect(m_notifications);
    m_kept.clear();
    m_db.close();
    if (!connectDatabase(error)) return false;
    if (m_queued) watchQueued(m_queued);
    QSqlQuery query(m_db);
    const QString sql = QStringLiteral("UPDATE jobs SET state = ") + backInQueue() +
                        QStringLiteral(", result = 'the server lost its database during the "
                                       "job', lease_owner = NULL, lease_at = NULL, ") +
                        givenBack() + QStringLiteral(" WHERE state = 'running' AND lease_owner = ? RETURNING object");
    if (!run(query, sql, {m_leaseOwner}) || announce(query, sql) < 0) {
        error = "the store answers no statement: " + m_lastError;
        return false;
    }
    return true;
}

bool SqlFleetStore::watchQueued(std::function<void(const std::string& object)> queued) {
    m_queued = std::move(queued);
    if (m_dialect.notifyQueued().isEmpty() || !m_db.isOpen()) return false;
    QSqlDriver* driver = m_db.driver();
    QObject::disconnect(m_notifications);
    if (!driver->subscribedToNotifications().contains(SqlDialect::queuedChannel()) &&
        !driver->subscribeToNotification(SqlDialect::queuedChannel()))
        return false;
    m_notifications = QObject::connect(
        driver, &QSqlDriver::notification, driver,
        [this](const QString& name, QSqlDriver::NotificationSource, const QVariant& payload) {
            if (name == SqlDialect::queuedChannel() && m_queued) m_queued(stdText(payload));
        });
    return true;
}

bool SqlFleetStore::leave() {
    QSqlQuery query(m_db);
    return run(query, QStringLiteral("DELETE FROM servers WHERE name = ?"), {m_leaseOwner});
}

std::string SqlFleetStore::integrityCheck() {
    QSqlQuery query(m_db);
    if (!run(query, m_dialect.integrityCheck()) || !query.next()) return "the check could not run";
    return stdText(query.value(0));
}

}  // namespace kv6::fleet
