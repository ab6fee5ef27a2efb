#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <future>

#include "fleet/sql_dialect.h"
#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"
#include "support/throwaway_postgres.h"

namespace kv6::fleet::test {

namespace {

// A session of another program (or of a server that stalled), beside the stores.
class RawSession {
public:
    RawSession(const kv6::test::ThrowawayPostgres& postgres, const QString& name) : m_name(name) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(postgres.port());
        db.setUserName(QString::fromLatin1(kv6::test::ThrowawayPostgres::kUser));
        db.setPassword(QString::fromLatin1(kv6::test::ThrowawayPostgres::kPassword));
        db.setDatabaseName(QStringLiteral("postgres"));
        m_open = db.open();
    }
    ~RawSession() {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    RawSession(const RawSession&) = delete;
    RawSession& operator=(const RawSession&) = delete;

    [[nodiscard]] bool open() const { return m_open; }
    // The database's error text, empty when the statement ran.
    QString exec(const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        if (query.exec(sql)) return {};
        const QString text = query.lastError().databaseText();
        return text.isEmpty() ? query.lastError().text() : text;
    }

private:
    QString m_name;
    bool m_open = false;
};

class PostgresStallTest : public ::testing::Test {
protected:
    PostgresStallTest() { kv6::test::coreApp(); }
    void SetUp() override { ASSERT_TRUE(postgres.error().isEmpty()) << postgres.error().toStdString(); }

    std::unique_ptr<SqlFleetStore> open(const QString& server, const SqlDialect::Timeouts& timeouts, int lease = 30) {
        auto store = std::make_unique<SqlFleetStore>(postgres.url(), server, lease);
        store->setTimeouts(timeouts);
        std::string error;
        EXPECT_TRUE(store->open(error)) << error;
        return store;
    }

    kv6::test::ThrowawayPostgres postgres;
};

}  // namespace

TEST_F(PostgresStallTest, AServerWaitingForAStalledPeersRowGivesUpAndWorksOnOnceTheRowIsFree) {
    auto a = open(QStringLiteral("server-a"), {500, 2000, 2000});
    NewJob job;
    job.object = "1001";
    job.kind = JobKind::Read;
    const auto id = a->queueJob(job);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(a->claimNextJob("1001"));

    // Another session holds the job's row, as a server stopped in the middle
    // of its transaction does.
    RawSession stalled(postgres, QStringLiteral("stalled"));
    ASSERT_TRUE(stalled.open());
    ASSERT_EQ(stalled.exec(QStringLiteral("BEGIN")), QString());
    ASSERT_EQ(stalled.exec(QStringLiteral("SELECT id FROM jobs WHERE id = %1 FOR UPDATE").arg(id)), QString());

    // A bound of its own, so that the test fails rather than hangs.
    auto ended = std::async(std::launch::async, [&] {
        QElapsedTimer clock;
        clock.start();
        const bool stored = a->finishJob(id, JobState::Done, "read, backup kept");
        return std::pair{stored, clock.elapsed()};
    });
    const bool gaveUp = ended.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!gaveUp) (void)stalled.exec(QStringLiteral("ROLLBACK"));  // else the statement waits on for ever
    ASSERT_TRUE(gaveUp) << "the statement waited on";
    const auto [stored, waited] = ended.get();
    EXPECT_FALSE(stored);
    EXPECT_LT(waited, 1800);
    EXPECT_NE(a->lastError().find("lock timeout"), std::string::npos) << a->lastError();

    ASSERT_EQ(stalled.exec(QStringLiteral("ROLLBACK")), QString());
    EXPECT_TRUE(a->finishJob(id, JobState::Done, "read, backup kept")) << a->lastError();
}

TEST_F(PostgresStallTest, ALongStatementAndAnIdleTransactionEndWithinTheirTimeouts) {
    RawSession session(postgres, QStringLiteral("bounded"));
    ASSERT_TRUE(session.open());
    const SqlDialect postgresDialect = SqlDialect::forKind(SqlDialect::Kind::Postgres);
    for (const QString& statement : postgresDialect.sessionSetup(false, {400, 600, 800}))
        ASSERT_EQ(session.exec(statement), QString()) << statement.toStdString();

    EXPECT_TRUE(session.exec(QStringLiteral("SELECT pg_sleep(5)")).contains(QStringLiteral("statement timeout")));
    EXPECT_EQ(session.exec(QStringLiteral("SELECT pg_sleep(0.3)")), QString());

    // A transaction left open is ended by the database, its locks with it.
    ASSERT_EQ(session.exec(QStringLiteral("BEGIN")), QString());
    ASSERT_EQ(session.exec(QStringLiteral("SELECT 1")), QString());
    QThread::msleep(1500);
    EXPECT_NE(session.exec(QStringLiteral("SELECT 1")), QString());
}

TEST_F(PostgresStallTest, AServerStartingWhileAnotherMigratesWaitsForItDespiteItsTimeouts) {
    (void)open(QStringLiteral("first"), {});
    // Another program holds the schema's lock longer than the lock time-out.
    RawSession migrating(postgres, QStringLiteral("migrating"));
    ASSERT_TRUE(migrating.open());
    const SqlDialect postgresDialect = SqlDialect::forKind(SqlDialect::Kind::Postgres);
    ASSERT_EQ(migrating.exec(postgresDialect.migrationLock()), QString());
    auto opened = std::async(std::launch::async, [&] {
        SqlFleetStore store(postgres.url(), QStringLiteral("second"), 30);
        store.setTimeouts({300, 300, 300});
        std::string error;
        return store.open(error) ? std::string("opened") : error;
    });
    EXPECT_EQ(opened.wait_for(std::chrono::milliseconds(1200)), std::future_status::timeout) << "it did not wait";
    ASSERT_EQ(migrating.exec(postgresDialect.migrationUnlock()), QString());
    ASSERT_EQ(opened.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(opened.get(), "opened");
}

TEST_F(PostgresStallTest, TheEndOfAJobAnotherServerTookOverIsDiscardedAndSaidToBe) {
    auto a = open(QStringLiteral("server-a"), {}, 1);
    auto b = open(QStringLiteral("server-b"), {}, 1);
    NewJob job;
    job.object = "1001";
    job.kind = JobKind::Read;
    const auto first = a->queueJob(job);
    const auto second = a->queueJob(job);
    ASSERT_TRUE(a->claimNextJob("1001"));
    ASSERT_TRUE(a->finishJob(first, JobState::Done, "read, backup kept"));
    EXPECT_FALSE(a->lastEndDiscarded());

    // Server a stalls past its lease: b takes the job over.
    ASSERT_TRUE(a->claimNextJob("1001"));
    QThread::msleep(2600);
    ASSERT_TRUE(b->heartbeat());
    const auto taken = b->claimNextJob("1001");
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->id, second);
    EXPECT_TRUE(a->finishJob(second, JobState::Done, "read, backup kept"));
    EXPECT_TRUE(a->lastEndDiscarded());
    EXPECT_TRUE(a->requeueJob(second, "the connection dropped", 5, FleetStore::Attempt::Counted));
    EXPECT_TRUE(a->lastEndDiscarded());
    ASSERT_TRUE(b->finishJob(second, JobState::Done, "read, backup kept"));
    EXPECT_FALSE(b->lastEndDiscarded());
    for (const JobRecord& record : b->jobs(std::nullopt, std::nullopt)) EXPECT_EQ(record.state, JobState::Done);
}

}  // namespace kv6::fleet::test
