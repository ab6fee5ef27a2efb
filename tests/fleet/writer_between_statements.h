#pragma once

#include <sqlite3.h>

#include <QString>

namespace kv6::fleet::test {

// Another program that reaches a store at the worst moment: inside a
// transaction the store began, just before its first change. SQLite
// announces each statement of a connection opened while the trap is set;
// the other program then tries to take the write lock, without waiting.
class WriterBetweenStatements {
public:
    explicit WriterBetweenStatements(const QString& file) {
        sqlite3_open_v2(file.toUtf8().constData(), &m_other, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        s_armed = this;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&watch));
    }
    ~WriterBetweenStatements() {
        sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&watch));
        s_armed = nullptr;
        sqlite3_exec(m_other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_other);
    }
    WriterBetweenStatements(const WriterBetweenStatements&) = delete;
    WriterBetweenStatements& operator=(const WriterBetweenStatements&) = delete;

    // Whether the other program's try came, and whether it got the lock.
    [[nodiscard]] bool tried() const { return m_tried; }
    [[nodiscard]] bool gotTheLock() const { return m_gotTheLock; }
    // Its own change, made after this one's store is open.
    [[nodiscard]] int finish() {
        const int rc = sqlite3_exec(m_other, m_gotTheLock ? "COMMIT" : "BEGIN IMMEDIATE; COMMIT", nullptr, nullptr, nullptr);
        m_gotTheLock = false;
        return rc;
    }

private:
    static int watch(sqlite3* db, const char**, const sqlite3_api_routines*) {
        if (s_armed != nullptr && db != s_armed->m_other) sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &statement, s_armed);
        return SQLITE_OK;
    }
    static int statement(unsigned, void* context, void* prepared, void*) {
        auto* self = static_cast<WriterBetweenStatements*>(context);
        auto* stmt = static_cast<sqlite3_stmt*>(prepared);
        // The first change inside a transaction the store began.
        if (self->m_tried || sqlite3_stmt_readonly(stmt) || sqlite3_get_autocommit(sqlite3_db_handle(stmt))) return 0;
        self->m_tried = true;
        self->m_gotTheLock = sqlite3_exec(self->m_other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
        return 0;
    }

    static inline WriterBetweenStatements* s_armed = nullptr;  // SQLite's hook takes no context
    sqlite3* m_other = nullptr;
    bool m_tried = false;
    bool m_gotTheLock = false;
};

}  // namespace kv6::fleet::test
