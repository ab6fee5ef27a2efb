#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <set>
#include <thread>

#include "fleet/retention_scenario.h"
#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"
#include "support/throwaway_postgres.h"

namespace kv6::fleet::test {

namespace {

constexpr int kLeaseSeconds = 2;

// Stores on one throwaway PostgreSQL, each as another server would open it.
class PostgresStoreTest : public ::testing::Test {
protected:
    PostgresStoreTest() {
        kv6::test::coreApp();
    }
    void SetUp() override { ASSERT_TRUE(postgres.error().isEmpty()) << postgres.error().toStdString(); }

    std::unique_ptr<SqlFleetStore> open(const QString& server) {
        auto store = std::make_unique<SqlFleetStore>(postgres.url(), server, kLeaseSeconds);
        std::string error;
        EXPECT_TRUE(store->open(error)) << error;
        return store;
    }
    static NewJob write(const std::string& object) {
        NewJob job;
        job.object = object;
        job.kind = JobKind::Write;
        job.format = WriteFormat::Prg;
        job.payload.assign(4096, 0x5A);
        return job;
    }
    static JobRecord jobOf(FleetStore& store, std::int64_t id) {
        for (const auto& job : store.jobs(std::nullopt, std::nullopt))
            if (job.id == id) return job;
        return {};
    }

    kv6::test::ThrowawayPostgres postgres;
};

}  // namespace

TEST_F(PostgresStoreTest, ThreeServersMigrateAtOnceAndTwoRacingForTheSameJobsClaimEachOnce) {
    // Three servers start on an empty database at the same moment.
    std::vector<std::string> errors(3);
    std::vector<std::thread> starts;
    for (int i = 0; i < 3; ++i)
        starts.emplace_back([&, i] {
            SqlFleetStore store(postgres.url(), QStringLiteral("server-%1").arg(i));
            if (!store.open(errors[i])) return;
            if (store.integrityCheck() != "ok") errors[i] = "store unusable after the migration";
        });
    for (auto& start : starts) start.join();
    for (const auto& error : errors) EXPECT_EQ(error, "");

    auto a = open(QStringLiteral("server-a"));
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 40; ++i) ids.push_back(a->queueJob(write(std::to_string(1000 + i % 20))));

    // Two servers each try every object's jobs at once; a job goes to one of them.
    std::vector<std::int64_t> claimed[2];
    std::vector<std::thread> racers;
    for (int r = 0; r < 2; ++r)
        racers.emplace_back([&, r] {
            SqlFleetStore store(postgres.url(), QStringLiteral("racer-%1").arg(r), kLeaseSeconds);
            std::string error;
            if (!store.open(error)) return;
            for (int round = 0; round < 2; ++round)
                for (int i = 0; i < 20; ++i)
                    if (const auto job = store.claimNextJob(std::to_string(1000 + i))) claimed[r].push_back(job->id);
        });
    for (auto& racer : racers) racer.join();
    std::multiset<std::int64_t> all(claimed[0].begin(), claimed[0].end());
    all.insert(claimed[1].begin(), claimed[1].end());
    EXPECT_EQ(all.size(), std::set<std::int64_t>(all.begin(), all.end()).size()) << "a job was claimed twice";
    EXPECT_EQ(all.size(), ids.size());
    for (const auto id : all) EXPECT_EQ(jobOf(*a, id).attempts, 1);
}

TEST_F(PostgresStoreTest, AnExpiredLeaseIsTakenOverAndALostConnectionPutsItsJobsBack) {
    auto a = open(QStringLiteral("server-a"));
    auto b = open(QStringLiteral("server-b"));
    std::vector<std::string> announced;
    ASSERT_TRUE(a->watchQueued([&](const std::string& object) { announced.push_back(object); }));
    const auto waitAnnounced = [&](const std::string& object) {
        QElapsedTimer clock;
        clock.start();
        while (std::find(announced.begin(), announced.end(), object) == announced.end() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return std::find(announced.begin(), announced.end(), object) != announced.end();
    };

    const auto id = b->queueJob(write("1001"));
    EXPECT_TRUE(waitAnnounced("1001")) << "a job queued by another server is announced";
    ASSERT_TRUE(a->heartbeat());
    EXPECT_EQ(a->moduleSeen("1001", "192.0.2.1", "SR 1001"), std::optional<bool>(true));
    ASSERT_TRUE(a->claimNextJob("1001"));
    ASSERT_TRUE(a->addAudit("1001", id, "object.apn: internet -> fleet.apn\n"));

    // Renewed by the heartbeat, the lease holds past its length.
    QThread::msleep(1500);
    ASSERT_TRUE(a->heartbeat());
    QThread::msleep(1000);
    EXPECT_FALSE(b->claimNextJob("1001"));

    // Server a stops renewing: its lease expires, b takes the job over and
    // marks a's module gone; a's late result is not recorded.
    QThread::msleep(3200);
    const auto taken = b->claimNextJob("1001");
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->id, id);
    ASSERT_TRUE(b->heartbeat());
    EXPECT_TRUE(b->modules(true).empty());
    EXPECT_TRUE(a->finishJob(id, JobState::Failed, "late"));  // nothing failed: the job is b's now
    EXPECT_EQ(jobOf(*b, id).state, JobState::Running);
    ASSERT_TRUE(b->addAudit("1001", id, "object.apn: internet -> fleet.apn\n"));
    ASSERT_TRUE(b->finishJob(id, JobState::Done, "verified"));
    const auto job = jobOf(*b, id);
    EXPECT_EQ(job.result, "verified");
    EXPECT_EQ(job.attempts, 1);  // a's attempt, cut short by a's stop, is not counted twice
    const auto audit = b->audit(std::string("1001"));
    ASSERT_EQ(audit.size(), 2u);
    EXPECT_EQ(audit[0].outcome, "sent");
    EXPECT_EQ(audit[1].outcome, "verified");

    // a's connection is cut under it while it runs a job: the heartbeat
    // fails, and reconnecting puts the job back and announces it again.
    const auto second = b->queueJob(write("1001"));
    ASSERT_TRUE(a->claimNextJob("1001"));
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("killer"));
        raw.setHostName(QStringLiteral("127.0.0.1"));
        raw.setPort(postgres.port());
        raw.setUserName(QString::fromLatin1(kv6::test::ThrowawayPostgres::kUser));
        raw.setPassword(QString::fromLatin1(kv6::test::ThrowawayPostgres::kPassword));
        raw.setDatabaseName(QStringLiteral("postgres"));
        ASSERT_TRUE(raw.open());
        QSqlQuery query(raw);
        ASSERT_TRUE(query.exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                                              "pid <> pg_backend_pid() AND backend_type = 'client backend'")));
        query.finish();
        raw.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("killer"));
    EXPECT_FALSE(a->heartbeat());
    announced.clear();
    std::string error;
    ASSERT_TRUE(a->reconnect(error)) << error;
    EXPECT_TRUE(waitAnnounced("1001"));
    ASSERT_TRUE(b->reconnect(error)) << error;
    const auto back = jobOf(*b, second);
    EXPECT_EQ(back.state, JobState::Queued);
    EXPECT_EQ(back.result, "the server lost its database during the job");
    EXPECT_EQ(back.attempts, 0);
}

}  // namespace kv6::fleet::test

namespace kv6::fleet::test {

TEST_F(PostgresStoreTest, AServerClaimingSkipsTheJobAnotherServerIsClaimingInsteadOfWaiting) {
    // A claim that waits on another's lock gives up after 3 s here (and
    // fails the test) rather than hanging it.
    QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("other-claimer"));
    other.setHostName(QStringLiteral("127.0.0.1"));
    other.setPort(postgres.port());
    other.setUserName(QString::fromLatin1(kv6::test::ThrowawayPostgres::kUser));
    other.setPassword(QString::fromLatin1(kv6::test::ThrowawayPostgres::kPassword));
    other.setDatabaseName(QStringLiteral("postgres"));
    ASSERT_TRUE(other.open());
    {
        QSqlQuery query(other);
        ASSERT_TRUE(query.exec(QStringLiteral("ALTER ROLE kv6 SET lock_timeout = '3s'")));
        auto a = open(QStringLiteral("server-a"));
        const auto first = a->queueJob(write("1001"));
        const auto second = a->queueJob(write("1001"));

        // Server a is in the middle of claiming the first job: its row is
        // locked until a commits.
        ASSERT_TRUE(query.exec(QStringLiteral("BEGIN")));
        ASSERT_TRUE(query.exec(QStringLiteral("SELECT id FROM jobs WHERE id = %1 FOR UPDATE").arg(first)));
        auto b = open(QStringLiteral("server-b"));
        QElapsedTimer clock;
        clock.start();
        const auto taken = b->claimNextJob("1001");
        const qint64 waited = clock.elapsed();
        ASSERT_TRUE(query.exec(QStringLiteral("ROLLBACK")));
        ASSERT_TRUE(taken) << "the claim waited " << waited << " ms and gave up";
        EXPECT_EQ(taken->id, second);
        EXPECT_LT(waited, 1500);
        EXPECT_EQ(jobOf(*a, first).state, JobState::Queued);
    }
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other-claimer"));
}

TEST_F(PostgresStoreTest, PrunesOldBackupsJournalsAndEndedJobsInBatchesKeepingWhatIsStillNeeded) {
    auto store = open(QStringLiteral("server-a"));
    QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("retention-raw"));
    raw.setHostName(QStringLiteral("127.0.0.1"));
    raw.setPort(postgres.port());
    raw.setUserName(QString::fromLatin1(kv6::test::ThrowawayPostgres::kUser));
    raw.setPassword(QString::fromLatin1(kv6::test::ThrowawayPostgres::kPassword));
    raw.setDatabaseName(QStringLiteral("postgres"));
    ASSERT_TRUE(raw.open());
    pruneOldRecords(*store, [&](const QString& sql) {
        QSqlQuery query(raw);
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
    });
    raw.close();
    raw = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("retention-raw"));
}

}  // namespace kv6::fleet::test
