// kv6d while its store makes a statement wait: the modules, their time-outs
// and the health check are served meanwhile.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "kv6d_guard_fixture.h"

using namespace kv6::e2e;

namespace {

QByteArray identification(const char* object) { return QByteArray("#0000000000000SR ") + object; }

// Another program's write transaction on the store's file: kv6d's own
// writes wait on it (up to SQLite's busy timeout) until it ends.
class WriteLock {
public:
    explicit WriteLock(const QString& path) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("write-lock"));
        m_db.setDatabaseName(path);
        m_held = m_db.open() && QSqlQuery(m_db).exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
    ~WriteLock() {
        release();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("write-lock"));
    }
    [[nodiscard]] bool held() const { return m_held; }
    void release() {
        if (m_held) QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        m_held = false;
        m_db.close();
    }

private:
    QSqlDatabase m_db;
    bool m_held = false;
};

}  // namespace

TEST_F(Kv6dGuard, AStatementWaitingOnALockHoldsUpNeitherModulesNorTimeOutsNorTheHealthCheck) {
    startServer({"--identify-timeout", "2"});
    ASSERT_TRUE(serverSaid("kv6d: operator API on "));
    WriteLock lock(db());
    ASSERT_TRUE(lock.held());

    HandModule first;
    ASSERT_TRUE(first.connect(port.toUShort()) && first.greeted());
    first.send(identification("1001"));  // its record now waits on the lock
    QThread::msleep(2500);

    QElapsedTimer clock;
    clock.start();
    const HealthAnswer answer = health();
    EXPECT_LT(clock.elapsed(), 1000) << "the health check waited on the store";
    EXPECT_EQ(answer.status, 200) << answer.head.toStdString();
    EXPECT_TRUE(answer.body.startsWith("slow: a statement has run for ")) << answer.body.toStdString();

    // A new module is greeted at once, and one that never identifies is
    // closed on time, while the statement still waits.
    HandModule second;
    ASSERT_TRUE(second.connect(port.toUShort()));
    EXPECT_TRUE(second.greeted(1000));
    EXPECT_TRUE(second.closedWithin(4000));
    EXPECT_TRUE(serverSaid("kv6d: closing the connection from 127.0.0.1: no identification\n", 100));
    EXPECT_FALSE(serverSaid("kv6d: object 1001 identified", 0)) << "kept while the store was locked?";

    lock.release();
    EXPECT_TRUE(serverSaid("kv6d: object 1001 identified from 127.0.0.1")) << serverLog.toStdString();
    const HealthAnswer after = health();
    EXPECT_EQ(after.status, 200) << after.head.toStdString();
    EXPECT_EQ(after.body, "up\nconnections 1\n");
}
