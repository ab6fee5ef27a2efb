// The job queue's rules as the store keeps them: names, attempts, leases.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "fleet/sql_fleet_store.h"
#include "job_for.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

class StoreQueueTest : public ::testing::Test {
protected:
    StoreQueueTest() { kv6::test::coreApp(); }
    ~StoreQueueTest() override {
        QSqlDatabase::database(QStringLiteral("queue-raw"), false).close();
        QSqlDatabase::removeDatabase(QStringLiteral("queue-raw"));
    }
    [[nodiscard]] QString path() const { return dir.filePath(QStringLiteral("fleet.sqlite")); }
    std::unique_ptr<SqlFleetStore> open(const QString& server = QStringLiteral("test")) {
        auto store = std::make_unique<SqlFleetStore>(path(), server);
        std::string error;
        EXPECT_TRUE(store->open(error)) << error;
        return store;
    }
    // Runs `sql` on a connection of its own; the first column of its rows.
    std::vector<std::string> raw(const QString& sql) {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("queue-raw"), false);
        if (!db.isValid()) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("queue-raw"));
            db.setDatabaseName(path());
        }
        std::vector<std::string> values;
        QSqlQuery query(db);
        if (!db.open() || !query.exec(sql)) return {"failed: " + sql.toStdString()};
        while (query.next()) values.push_back(query.value(0).toString().toStdString());
        return values;
    }
    static JobRecord jobOf(FleetStore& store, std::int64_t id) {
        for (const auto& job : store.jobs(std::nullopt, std::nullopt))
            if (job.id == id) return job;
        return {};
    }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(StoreQueueTest, KindsAndStatesAreStoredByTheNamesTheOperatorTypes) {
    auto store = open();
    for (const JobKind kind : {JobKind::Read, JobKind::Write, JobKind::Password, JobKind::ClearJournal, JobKind::Reset})
        ASSERT_GT(store->queueJob(jobFor("1001", kind)), 0);
    EXPECT_EQ(raw(QStringLiteral("SELECT kind FROM jobs ORDER BY id")),
              (std::vector<std::string>{"read", "write", "password", "clear-journal", "reset"}));
    std::vector<JobKind> kinds;
    for (const auto& job : store->jobs(std::nullopt, std::nullopt)) kinds.push_back(job.kind);
    EXPECT_EQ(kinds, (std::vector<JobKind>{JobKind::Read, JobKind::Write, JobKind::Password, JobKind::ClearJournal,
                                           JobKind::Reset}));

    ASSERT_TRUE(store->claimNextJob("1001"));
    ASSERT_TRUE(store->finishJob(1, JobState::Done, "read"));
    ASSERT_TRUE(store->claimNextJob("1001"));
    ASSERT_TRUE(store->finishJob(2, JobState::Failed, "did not hold: object.apn"));
    ASSERT_TRUE(store->claimNextJob("1001"));
    std::string why;
    ASSERT_TRUE(store->cancelJob(5, why)) << why;
    EXPECT_EQ(raw(QStringLiteral("SELECT state FROM jobs ORDER BY id")),
              (std::vector<std::string>{"done", "failed", "running", "queued", "cancelled"}));
}

TEST_F(StoreQueueTest, AnInterruptedJobGetsExactlyItsMaximumOfAttempts) {
    auto store = open();
    const auto once = store->queueJob(jobFor("1001", JobKind::Write));
    ASSERT_TRUE(store->claimNextJob("1001"));
    ASSERT_TRUE(store->requeueJob(once, "the connection dropped", 1, FleetStore::Attempt::Counted));
    EXPECT_EQ(stateName(jobOf(*store, once).state), "failed");
    EXPECT_EQ(jobOf(*store, once).result, "gave up after 1 attempts: the connection dropped");

    const auto twice = store->queueJob(jobFor("2002", JobKind::Write));
    ASSERT_TRUE(store->claimNextJob("2002"));
    ASSERT_TRUE(store->requeueJob(twice, "the connection dropped", 2, FleetStore::Attempt::Counted));
    EXPECT_EQ(stateName(jobOf(*store, twice).state), "queued");
    ASSERT_TRUE(store->claimNextJob("2002"));
    ASSERT_TRUE(store->requeueJob(twice, "the connection dropped", 2, FleetStore::Attempt::Counted));
    const auto job = jobOf(*store, twice);
    EXPECT_EQ(stateName(job.state), "failed");
    EXPECT_EQ(job.attempts, 2);
    EXPECT_EQ(job.result, "gave up after 2 attempts: the connection dropped");
}

TEST_F(StoreQueueTest, AnotherServerTakesARunningJobOnlyOnceItsLeaseExpired) {
    // Both servers keep a lease 30 s; server a's jobs were last renewed 10 s
    // and 40 s ago (set back in the database, which times the leases).
    auto a = open(QStringLiteral("server-a"));
    auto b = open(QStringLiteral("server-b"));
    const auto renewed = a->queueJob(jobFor("1001", JobKind::Write));
    const auto lapsed = a->queueJob(jobFor("2002", JobKind::Write));
    ASSERT_TRUE(a->claimNextJob("1001"));
    ASSERT_TRUE(a->claimNextJob("2002"));
    raw(QStringLiteral("UPDATE jobs SET lease_at = strftime('%Y-%m-%dT%H:%M:%SZ', 'now', '-10 seconds') WHERE id = %1")
            .arg(renewed));
    raw(QStringLiteral("UPDATE jobs SET lease_at = strftime('%Y-%m-%dT%H:%M:%SZ', 'now', '-40 seconds') WHERE id = %1")
            .arg(lapsed));

    EXPECT_FALSE(b->claimNextJob("1001"));
    ASSERT_TRUE(b->heartbeat());
    auto job = jobOf(*b, renewed);
    EXPECT_EQ(stateName(job.state), "running");
    EXPECT_EQ(raw(QStringLiteral("SELECT lease_owner FROM jobs WHERE id = %1").arg(renewed)), std::vector<std::string>{"server-a"});
    job = jobOf(*b, lapsed);
    EXPECT_EQ(stateName(job.state), "queued");
    EXPECT_EQ(job.result, "the server running it stopped");

    // Server a's result for its own job still counts; the lapsed one is b's
    // now, and the attempt a never finished is not held against the job.
    ASSERT_TRUE(a->finishJob(renewed, JobState::Done, "verified"));
    EXPECT_EQ(stateName(jobOf(*b, renewed).state), "done");
    const auto taken = b->claimNextJob("2002");
    ASSERT_TRUE(taken);
    EXPECT_EQ(jobOf(*b, lapsed).attempts, 1);
}

}  // namespace kv6::fleet::test
