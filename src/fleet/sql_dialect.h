#pragma once

#include <QString>
#include <QStringList>

namespace kv6::fleet {

// Bounds on one session's waits, in milliseconds (0: none). A server that
// stalls while it holds a row lock must not stall the servers waiting for
// that row, and a statement that cannot finish is an error, never a hang.
// Only a database server has them.
struct SessionTimeouts {
    int lockMs = 0;               // waiting for another session's lock
    int statementMs = 0;          // one statement
    int idleInTransactionMs = 0;  // a transaction left open between statements
};

// Everything that differs between the databases the store runs on, in one
// place; every other statement is plain SQL both accept. Schema texts may
// hold {id} (an auto-numbered primary key) and {blob} (a byte column).
class SqlDialect {
public:
    enum class Kind { Sqlite, Postgres };
    using Timeouts = SessionTimeouts;

    [[nodiscard]] static SqlDialect forKind(Kind kind) { return SqlDialect(kind); }

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] QString driverName() const;
    // Run once on every new connection (one that may only read changes nothing).
    [[nodiscard]] QStringList sessionSetup(bool readOnly = false, const Timeouts& timeouts = {}) const;
    // Lifts the lock and statement time-outs (the migrations, which may wait
    // for another program's and take long on a big store), and puts them back.
    [[nodiscard]] QStringList liftTimeouts() const;
    [[nodiscard]] QStringList restoreTimeouts(const Timeouts& timeouts) const;
    // The schema statement with its placeholders filled in.
    [[nodiscard]] QString schema(QString statement) const;
    // Appended to the SELECT that picks a job to claim.
    [[nodiscard]] QString claimLock() const;
    // True where the column's text holds the next placeholder's text.
    [[nodiscard]] QString holds(const QString& column) const;
    // The statement that checks the database's own consistency; its first
    // column is "ok" when sound.
    [[nodiscard]] QString integrityCheck() const;
    // The database's own clock as "YYYY-MM-DDTHH:MM:SSZ", `secondsAgo` back:
    // leases and heartbeats of several servers are timed by one clock. Read
    // once per statement (or transaction), not once per row. A negative
    // `secondsAgo` is a time ahead.
    [[nodiscard]] QString clock(int secondsAgo = 0) const;
    // Held around the migrations so that servers starting at once migrate
    // one after another (empty where one file has one writer at a time).
    [[nodiscard]] QString migrationLock() const;
    [[nodiscard]] QString migrationUnlock() const;
    // Starts a transaction that holds the write lock from its first
    // statement: what it reads no other program changes before it commits.
    [[nodiscard]] QString beginWriting() const;
    // The statement that tells listeners an object has a queued job (one
    // placeholder: the object), and the channel they listen on; empty where
    // the database has no notifications.
    [[nodiscard]] QString notifyQueued() const;
    [[nodiscard]] static QString queuedChannel() { return QStringLiteral("kv6_jobs_queued"); }
    // Whether several servers may share the store. An embedded file is
    // served by one server, which owns whatever is marked running or
    // connected in it; a database server is shared, and only expired leases
    // and stopped heartbeats free what another server holds.
    [[nodiscard]] bool shared() const { return m_kind == Kind::Postgres; }

private:
    explicit SqlDialect(Kind kind) : m_kind(kind) {}
    Kind m_kind;
};

}  // namespace kv6::fleet
