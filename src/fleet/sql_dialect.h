#pragma once

#include <QString>
#include <QStringList>

namespace kv6::fleet {

// Everything that differs between the databases the store runs on, in one
// place; every other statement is plain SQL both accept. Schema texts may
// hold {id} (an auto-numbered primary key) and {blob} (a byte column).
class SqlDialect {
public:
    enum class Kind { Sqlite, Postgres };

    [[nodiscard]] static SqlDialect forKind(Kind kind) { return SqlDialect(kind); }

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] QString driverName() const;
    // Run once on every new connection.
    [[nodiscard]] QStringList sessionSetup() const;
    // The schema statement with its placeholders filled in.
    [[nodiscard]] QString schema(QString statement) const;
    // Appended to the SELECT that picks a job to claim.
    [[nodiscard]] QString claimLock() const;
    // The statement that checks the database's own consistency; its first
    // column is "ok" when sound.
    [[nodiscard]] QString integrityCheck() const;

private:
    explicit SqlDialect(Kind kind) : m_kind(kind) {}
    Kind m_kind;
};

}  // namespace kv6::fleet
