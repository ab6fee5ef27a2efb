#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "fleet/fleet_store.h"
#include "fleet/sql_dialect.h"
#include "fleet/sql_file_lock.h"
#include "fleet/sql_location.h"

namespace kv6::fleet {

// The fleet store over Qt SQL. The location is a file (SQLite, created with
// its folder when missing), a "sqlite:" URL or a postgresql:// URL (see
// SqlLocation); the schema is created and migrated from the version table on
// open(), once however many servers open the same database at once.
//
// A server claims a job with a lease (its name and the database's time),
// renewed by each heartbeat; a lease older than `leaseSeconds` is free for
// any server to take, so a job whose server died runs again elsewhere.
class SqlFleetStore final : public FleetStore {
public:
    static constexpr int kDefaultLeaseSeconds = 30;

    // `leaseOwner` names the server that claims jobs (kept with each running
    // job and each connected module).
    explicit SqlFleetStore(const QString& location, const QString& leaseOwner = QStringLiteral("kv6ctl"),
                           int leaseSeconds = kDefaultLeaseSeconds);
    ~SqlFleetStore() override;
    SqlFleetStore(const SqlFleetStore&) = delete;
    SqlFleetStore& operator=(const SqlFleetStore&) = delete;

    // The file both kv6d and kv6ctl use unless --db names another:
    // korvel-kv6/fleet.sqlite in the user's data folder.
    [[nodiscard]] static QString defaultLocation();
    // The schema version this program creates.
    [[nodiscard]] static int schemaVersion();

    [[nodiscard]] bool open(std::string& error) override;
    [[nodiscard]] std::string lastError() const override { return m_lastError; }

    [[nodiscard]] std::int64_t queueJob(const NewJob& job) override;
    [[nodiscard]] std::optional<FleetJob> claimNextJob(const std::string& object) override;
    [[nodiscard]] bool finishJob(std::int64_t id, JobState state, const std::string& result) override;
    [[nodiscard]] bool requeueJob(std::int64_t id, const std::string& result, int maxAttempts, Attempt attempt) override;
    [[nodiscard]] bool lastEndDiscarded() const override { return m_endDiscarded; }
    [[nodiscard]] int recoverLeases() override;
    [[nodiscard]] bool cancelJob(std::int64_t id, const std::string& by, std::string& why) override;
    using FleetStore::cancelJob;
    [[nodiscard]] std::vector<std::string> objectsWithQueuedJobs() override;
    [[nodiscard]] std::vector<JobRecord> jobs(const std::optional<std::string>& object,
                                              const std::optional<JobState>& state) override;

    [[nodiscard]] bool recordPassword(const std::string& object, std::uint16_t password) override;
    [[nodiscard]] std::optional<std::uint16_t> recordedPassword(const std::string& object) override;
    [[nodiscard]] std::optional<bool> moduleSeen(const std::string& object, const std::string& peer,
                                                 const std::string& identification) override;
    [[nodiscard]] bool moduleGone(const std::string& object) override;
    [[nodiscard]] bool clearConnected() override;
    [[nodiscard]] std::vector<ModuleRecord> modules(bool connectedOnly) override;

    [[nodiscard]] std::optional<std::vector<ModuleRecord>> modulesPage(const ModuleQuery& query) override;
    [[nodiscard]] std::optional<std::vector<JobRecord>> jobsPage(const JobQuery& query) override;
    [[nodiscard]] std::optional<std::vector<AuditRecord>> auditPage(const AuditQuery& query) override;
    [[nodiscard]] std::optional<std::vector<JobTally>> jobTallies() override;
    [[nodiscard]] const DurationHistogram* statementTimes() const override { return &m_statementTimes; }
    [[nodiscard]] std::int64_t addBackup(const std::string& object, std::int64_t jobId, const std::string& source,
                                         const image::Image& image,
                                         const std::vector<journal::JournalRow>& journal) override;
    [[nodiscard]] std::vector<BackupRecord> backups(const std::string& object) override;
    [[nodiscard]] std::optional<image::Image> backupImage(std::int64_t id) override;
    [[nodiscard]] std::vector<journal::JournalRow> journal(std::int64_t backupId) override;
    [[nodiscard]] bool addAudit(const std::string& object, std::int64_t jobId, const std::string& difference) override;
    [[nodiscard]] std::vector<AuditRecord> audit(const std::optional<std::string>& object) override;

    [[nodiscard]] long long changeTags(const std::string& tag, const std::vector<std::string>& objects,
                                       bool add) override;
    [[nodiscard]] std::optional<std::vector<std::string>> tagsOf(const std::string& object) override;
    [[nodiscard]] RolloutOutcome createRollout(const NewRollout& rollout) override;
    [[nodiscard]] RolloutOutcome stepRollout(std::int64_t id, RolloutStep step, const std::string& by) override;
    [[nodiscard]] std::optional<std::vector<RolloutRecord>> rollouts(std::int64_t id) override;
    [[nodiscard]] std::optional<std::vector<RolloutWaveStatus>> rolloutWaves(std::int64_t id) override;
    [[nodiscard]] std::optional<std::vector<RolloutEvent>> advanceRollouts() override;

    std::optional<LockoutRecord> countMismatch(LockoutKind kind, const std::string& subject, int limit,
                                               int seconds) override;
    void clearMismatches(const std::string& object) override;
    void expireLockouts(int seconds) override;
    [[nodiscard]] std::vector<LockoutRecord> lockouts(bool lockedOnly) override;
    [[nodiscard]] std::optional<std::vector<LockoutRecord>> listLockouts(bool lockedOnly) override;
    int clearLockouts(const std::optional<std::string>& subject) override;

    [[nodiscard]] std::optional<Pruned> pruneBackups(int keepNewest, int days, const std::string& cursor,
                                                     int limit) override;
    [[nodiscard]] std::optional<Pruned> pruneJobs(int days, const std::string& cursor, int limit) override;
    [[nodiscard]] bool addApiKey(const std::string& name, const std::string& role,
                                 const std::string& sha256Hex) override;
    [[nodiscard]] std::vector<ApiKeyRecord> apiKeys() override;
    [[nodiscard]] int revokeApiKey(const std::string& name) override;
    [[nodiscard]] std::optional<ApiKeyRecord> apiKeyByHash(const std::string& sha256Hex) override;

    [[nodiscard]] std::string integrityCheck() override;

    [[nodiscard]] bool heartbeat() override;
    [[nodiscard]] bool reconnect(std::string& error) override;
    bool watchQueued(std::function<void(const std::string& object)> queued) override;
    [[nodiscard]] bool leave() override;
    [[nodiscard]] bool shared() const override { return m_dialect.shared(); }

    // The location as it may be shown: no password.
    [[nodiscard]] QString displayLocation() const;
    // An SQLite file this program may not write (or whose folder it may not
    // write) is opened for reading: lists work, changes fail.
    [[nodiscard]] bool readOnly() const { return m_readOnly; }
    // Whether open() failed because a newer program migrated the store past
    // this one's schema: only installing that program mends it.
    [[nodiscard]] bool schemaNewer() const { return m_schemaNewer; }
    // A server's claim on the store: on an SQLite file, the lock that keeps a
    // second server off it (false with the reason, naming the holder); a
    // PostgreSQL database is shared by design. After open().
    [[nodiscard]] bool lockForServer(std::string& error);
    // Time-outs of every session this store opens on a database server
    // (before open(); the reconnections keep them).
    void setTimeouts(const SqlDialect::Timeouts& timeouts) { m_timeouts = timeouts; }

private:
    bool connectDatabase(std::string& error);
    // Whether a statement can read the open database.
    [[nodiscard]] bool readable();
    // A read-only store's schema must be this program's: nothing can migrate it.
    bool checkVersion(std::string& error);
    void notifyQueued(const QString& object);
    // Jobs that went back to the queue get their objects announced.
    // Reads the objects a statement RETURNING them gave; returns how many rows.
    // -1 when the statement failed while its rows were read.
    int announce(QSqlQuery& query, const QString& sql);
    // The SET clause that gives back the attempt a stopped server cut short.
    [[nodiscard]] static QString givenBack();
    // The state a job goes back to: queued, unless its rollout was paused or
    // halted meanwhile (held) or cancelled.
    [[nodiscard]] static QString backInQueue();
    // Prepares and runs a statement; a failure is logged, kept for
    // lastError() and returns false.
    bool run(QSqlQuery& query, const QString& sql, const QVariantList& values = {});
    // Reads what rows the statement has left: a change SQLite made while
    // giving its first row (RETURNING) is committed only at the end, and may
    // fail there. False, kept for lastError(), when it did.
    bool finished(QSqlQuery& query, const QString& sql);
    // Ends the transaction begun for a change; false, kept for lastError(),
    // when the commit failed (then nothing of it is stored).
    bool commit();
    void failed(const QString& what, const QString& sql, const QSqlError& error);
    // A statement of the job path, prepared once and kept for the next run
    // (SQLite; PostgreSQL gets it in one round trip as run() does). Every row
    // is read and the statement reset at once: a kept statement with rows
    // still unread would hold its snapshot open. A failure is logged.
    struct Kept {
        bool ok = false;
        int changed = 0;  // rows an INSERT, UPDATE or DELETE changed
        std::vector<QVariantList> rows;
    };
    Kept runKept(const QString& sql, const QVariantList& values);
    // A value as the driver writes it into a statement's text, quoted as the
    // database expects.
    [[nodiscard]] QString literal(const QVariant& value) const;
    // The statement with each question mark replaced by the next literal.
    [[nodiscard]] QString inlined(const QString& sql, const QVariantList& values) const;
    // Every row a statement gives; none (logged, kept for lastError()) when it failed.
    std::optional<std::vector<QVariantList>> selectRows(const QString& sql, const QVariantList& values = {});
    // A rollout's step as an audit line: object "*", no job, `by` who took it.
    bool auditRollout(std::int64_t id, const std::string& name, const std::string& text, const std::string& by);
    // Queues the write job of each module of the rollout in the waves `waves`
    // ("= ?" or "<= ?" of `wave`) that has none; how many, -1 when the store failed.
    long long queueRolloutJobs(std::int64_t id, const QString& waves, int wave);
    // One pass of advanceRollouts() over one running rollout, in its own transaction.
    bool advanceRollout(const QVariantList& row, std::vector<RolloutEvent>& events);
    bool migrate(std::string& error);
    bool lockAndMigrate(std::string& error);
    bool migrateLocked(std::string& error);
    [[nodiscard]] static QString now();

    QString m_location;
    std::optional<SqlLocation> m_parsed;
    QString m_leaseOwner;
    int m_leaseSeconds;
    std::function<void(const std::string&)> m_queued;
    QMetaObject::Connection m_notifications;
    QString m_connection;  // this store's own Qt SQL connection name
    SqlDialect m_dialect;
    QSqlDatabase m_db;
    std::map<QString, QSqlQuery> m_kept;  // by statement text
    std::string m_lastError;
    SqlDialect::Timeouts m_timeouts;
    bool m_endDiscarded = false;
    bool m_readOnly = false;
    bool m_schemaNewer = false;
    std::unique_ptr<SqlFileLock> m_lock;
    DurationHistogram m_statementTimes;
};

}  // namespace kv6::fleet
