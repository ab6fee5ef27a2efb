#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "fleet/sql_fleet_store.h"
#include "job_for.h"
#include "support/core_app.h"
#include "support/file_size_limit.h"

namespace kv6::fleet::test {

namespace {

class StoreTest : public ::testing::Test {
protected:
    StoreTest() {
        kv6::test::coreApp();
    }
    [[nodiscard]] QString path() const { return dir.filePath(QStringLiteral("data/fleet.sqlite")); }
    std::unique_ptr<SqlFleetStore> open() {
        auto store = std::make_unique<SqlFleetStore>(path(), QStringLiteral("test"));
        std::string error;
        EXPECT_TRUE(store->open(error)) << error;
        return store;
    }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(StoreTest, CreatesTheSchemaOnceAndRefusesANewerOne) {
    { auto store = open(); }
    { auto store = open(); }  // reopening migrates nothing and keeps the data
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral("SELECT version FROM schema_version")) && query.next());
        EXPECT_EQ(query.value(0).toInt(), SqlFleetStore::schemaVersion());
        ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next());
        EXPECT_EQ(query.value(0).toString(), QStringLiteral("wal"));
        ASSERT_TRUE(query.exec(QStringLiteral("UPDATE schema_version SET version = 99")));
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    SqlFleetStore newer(path());
    std::string error;
    EXPECT_FALSE(newer.open(error));
    EXPECT_EQ(error, "the store has schema version 99, newer than this program's 9");
}

TEST_F(StoreTest, ProgramsOpeningANewStoreAtOnceAllGetTheSchema) {
    // As two kv6ctl started together on a fresh machine: each thread is one
    // program with its own connection.
    for (int round = 0; round < 5; ++round) {
        const QString file = dir.filePath(QStringLiteral("fresh%1.sqlite").arg(round));
        std::vector<std::string> errors(4);
        std::vector<std::thread> programs;
        for (std::string& error : errors)
            programs.emplace_back([&file, &error] {
                SqlFleetStore store(file);
                if (!store.open(error) && error.empty()) error = "failed";
            });
        for (std::thread& program : programs) program.join();
        for (const std::string& error : errors) EXPECT_EQ(error, "") << "round " << round;
        SqlFleetStore store(file);
        std::string error;
        ASSERT_TRUE(store.open(error)) << error;
        EXPECT_GT(store.queueJob(jobFor("1001", JobKind::Read)), 0);
    }
}

TEST_F(StoreTest, JobsRunPerObjectInQueueOrderAndCancelOnlyWhileQueued) {
    auto store = open();
    const auto first = store->queueJob(jobFor("1001", JobKind::Read));
    const auto other = store->queueJob(jobFor("2002", JobKind::Read));
    NewJob write = jobFor("1001", JobKind::Write);
    write.format = WriteFormat::Prg;
    write.payload.assign(4096, 0x5A);
    const auto second = store->queueJob(write);
    ASSERT_TRUE(store->recordPassword("1001", 77));

    EXPECT_EQ(store->objectsWithQueuedJobs(), (std::vector<std::string>{"1001", "2002"}));
    const auto claimed = store->claimNextJob("1001");
    ASSERT_TRUE(claimed);
    EXPECT_EQ(claimed->id, first);
    EXPECT_EQ(claimed->password, std::optional<std::uint16_t>(77));
    std::string why;
    EXPECT_FALSE(store->cancelJob(first, why));
    EXPECT_EQ(why, "job " + std::to_string(first) + " is running, not queued");
    EXPECT_TRUE(store->finishJob(first, JobState::Done, "read"));

    const auto next = store->claimNextJob("1001");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->id, second);
    EXPECT_EQ(next->format, WriteFormat::Prg);
    EXPECT_EQ(next->payload, write.payload);
    EXPECT_FALSE(store->claimNextJob("1001"));

    EXPECT_TRUE(store->cancelJob(other, why));
    EXPECT_FALSE(store->claimNextJob("2002"));
    const auto jobs = store->jobs(std::nullopt, JobState::Cancelled);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].object, "2002");

    // What another program (kv6ctl) queues and records after the server's
    // claims found nothing, the server's next claim sees.
    auto operatorStore = open();
    const auto later = operatorStore->queueJob(jobFor("1001", JobKind::Read));
    ASSERT_TRUE(operatorStore->recordPassword("1001", 5));
    const auto seen = store->claimNextJob("1001");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->id, later);
    EXPECT_EQ(seen->password, std::optional<std::uint16_t>(5));
}

TEST_F(StoreTest, InterruptedJobsComeBackUntilTheirAttemptsRunOutAndACrashLeavesNoneRunning) {
    constexpr auto kCounted = FleetStore::Attempt::Counted;
    std::int64_t id = 0;
    {
        auto store = open();
        id = store->queueJob(jobFor("1001", JobKind::Write));
        ASSERT_TRUE(store->claimNextJob("1001"));
        ASSERT_TRUE(store->requeueJob(id, "the connection dropped", 2, kCounted));
        ASSERT_TRUE(store->claimNextJob("1001"));  // attempt 2, then the server dies
    }
    // The attempt the server's death cut short is given back, however often
    // it dies: the job never runs past its attempts.
    for (int crash = 0; crash < 3; ++crash) {
        auto store = open();
        EXPECT_EQ(store->recoverLeases(), 1);
        const auto jobs = store->jobs("1001", std::nullopt);
        ASSERT_EQ(jobs.size(), 1u);
        EXPECT_EQ(jobs[0].state, JobState::Queued);
        EXPECT_EQ(jobs[0].attempts, 1);
        EXPECT_EQ(jobs[0].result, "the server stopped during the job");
        ASSERT_TRUE(store->claimNextJob("1001"));
    }
    auto store = open();
    EXPECT_EQ(store->recoverLeases(), 1);
    ASSERT_TRUE(store->claimNextJob("1001"));
    // So is one the server cut short itself (it stopped, its store failed).
    ASSERT_TRUE(store->requeueJob(id, "the server stopped", 2, FleetStore::Attempt::GivenBack));
    ASSERT_TRUE(store->claimNextJob("1001"));
    ASSERT_TRUE(store->requeueJob(id, "the connection dropped", 2, kCounted));
    const auto jobs = store->jobs("1001", std::nullopt);
    EXPECT_EQ(jobs[0].state, JobState::Failed);
    EXPECT_EQ(jobs[0].attempts, 2);
    EXPECT_EQ(jobs[0].result, "gave up after 2 attempts: the connection dropped");
    EXPECT_EQ(store->integrityCheck(), "ok");
}

TEST_F(StoreTest, InventoryBackupsJournalAndAudit) {
    auto store = open();
    EXPECT_EQ(store->moduleSeen("1001", "192.0.2.7", "SR 1001"), std::optional<bool>(true));
    EXPECT_EQ(store->moduleSeen("1001", "192.0.2.8", "SR 1001"), std::optional<bool>(false));
    EXPECT_EQ(store->moduleSeen("2002", "192.0.2.9", "SR 2002"), std::optional<bool>(true));
    EXPECT_TRUE(store->moduleGone("2002"));
    const auto connected = store->modules(true);
    ASSERT_EQ(connected.size(), 1u);
    EXPECT_EQ(connected[0].peer, "192.0.2.8");

    image::Image image{};
    image[4095] = 0xA5;
    const auto backup = store->addBackup("1001", 3, "read job 3", image, {{"2012-04-10 14-30-05", "1130", "", 1, 5}});
    ASSERT_GT(backup, 0);
    EXPECT_EQ(store->backupImage(backup), std::optional<image::Image>(image));
    const auto rows = store->journal(backup);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].code, "1130");
    EXPECT_EQ(rows[0].partition, 1);
    EXPECT_EQ(rows[0].zone, 5);
    EXPECT_EQ(store->backups("1001").at(0).source, "read job 3");
    EXPECT_TRUE(store->journal(store->addBackup("1001", 4, "read job 4", image, {})).empty());

    // A journal the store cannot read back is no journal, and its backup's image still reads.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        for (const char* stored : {"[[\"2012-04-10 14-30-05\", \"1130\", \"1\", 5]]", "{\"entries\": []}", "[[\"2012"}) {
            SCOPED_TRACE(stored);
            query.prepare(QStringLiteral("UPDATE backups SET journal = ? WHERE id = ?"));
            query.addBindValue(QString::fromLatin1(stored));
            query.addBindValue(qlonglong{backup});
            ASSERT_TRUE(query.exec());
            EXPECT_TRUE(store->journal(backup).empty());
            EXPECT_EQ(store->backupImage(backup), std::optional<image::Image>(image));
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));

    EXPECT_TRUE(store->addAudit("1001", 3, "object.apn: internet -> fleet.apn\n"));
    EXPECT_TRUE(store->audit(std::string("2002")).empty());
    EXPECT_EQ(store->audit(std::nullopt).at(0).difference, "object.apn: internet -> fleet.apn\n");
}

TEST_F(StoreTest, EveryChangeTheStoreCannotKeepIsReportedAndNoneOfItStays) {
    auto store = open();
    // Something for each change below to change.
    ASSERT_TRUE(store->recordPassword("1001", 0));
    ASSERT_EQ(store->moduleSeen("1001", "192.0.2.7", "SR 1001"), std::optional<bool>(true));
    const auto running = store->queueJob(jobFor("1001", JobKind::Write));
    const auto queued = store->queueJob(jobFor("1001", JobKind::Read));
    ASSERT_TRUE(store->claimNextJob("1001"));

    // The files stop growing, as on a full disk: SQLite makes each change
    // (and gives the new job's id) before the commit that then fails.
    kv6::test::ignoreFileSizeSignal();
    ASSERT_TRUE(kv6::test::limitFileSize(0, 1));
    EXPECT_EQ(store->queueJob(jobFor("1001", JobKind::Read)), 0);
    EXPECT_EQ(store->lastError(), "disk I/O error");
    EXPECT_FALSE(store->recordPassword("1001", 5));
    EXPECT_FALSE(store->recordPassword("2002", 5));
    image::Image image{};
    EXPECT_EQ(store->addBackup("1001", running, "before job", image, {{"2012-04-10 14-30-05", "1130", "", 1, 5}}), 0);
    EXPECT_FALSE(store->addAudit("1001", running, "object.apn: internet -> fleet.apn\n"));
    EXPECT_FALSE(store->finishJob(running, JobState::Done, "verified"));
    EXPECT_FALSE(store->requeueJob(running, "the connection dropped", 5, FleetStore::Attempt::Counted));
    EXPECT_EQ(store->moduleSeen("2002", "192.0.2.9", "SR 2002"), std::nullopt);
    EXPECT_EQ(store->moduleSeen("1001", "192.0.2.8", "SR 1001"), std::nullopt);
    EXPECT_FALSE(store->moduleGone("1001"));
    EXPECT_FALSE(store->clearConnected());
    EXPECT_EQ(store->recoverLeases(), -1);
    std::string why;
    EXPECT_FALSE(store->cancelJob(queued, why));
    ASSERT_TRUE(kv6::test::limitFileSize(0, RLIM_INFINITY));

    const auto jobs = store->jobs(std::nullopt, std::nullopt);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].state, JobState::Running);
    EXPECT_EQ(jobs[0].attempts, 1);
    EXPECT_EQ(jobs[1].state, JobState::Queued);
    EXPECT_EQ(store->recordedPassword("1001"), std::optional<std::uint16_t>(0));
    EXPECT_FALSE(store->recordedPassword("2002"));
    EXPECT_TRUE(store->backups("1001").empty());
    EXPECT_TRUE(store->audit(std::nullopt).empty());
    const auto modules = store->modules(false);
    ASSERT_EQ(modules.size(), 1u);
    EXPECT_EQ(modules[0].peer, "192.0.2.7");
    EXPECT_TRUE(modules[0].connected);
    EXPECT_EQ(store->integrityCheck(), "ok");

    // A database that may not grow says it is full.
    QStringList names = QSqlDatabase::connectionNames().filter(QStringLiteral("kv6-fleet-"));
    ASSERT_EQ(names.size(), 1);
    QSqlQuery limit(QSqlDatabase::database(names.first()));
    ASSERT_TRUE(limit.exec(QStringLiteral("PRAGMA page_count")) && limit.next());
    const int pages = limit.value(0).toInt();
    ASSERT_TRUE(limit.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages)));
    limit.finish();
    EXPECT_EQ(store->addBackup("1001", running, "before job", image, {}), 0);
    EXPECT_EQ(store->lastError(), "database or disk is full");
    EXPECT_TRUE(store->backups("1001").empty());
}

}  // namespace kv6::fleet::test
