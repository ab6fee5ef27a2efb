#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "fleet/retention_pruner.h"
#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

class Pruning : public ::testing::Test {
protected:
    Pruning() {
        kv6::test::coreApp();
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
    }
    // `count` backups of `object` (and a journal row each), all taken long ago.
    void oldBackups(const std::string& object, int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_NE(store.addBackup(object, 0, "read", image::Image{}, {{"t", "1130", "", 1, 1}}),
                      0);
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pruning-raw"));
        db.setDatabaseName(path());
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec(
            QStringLiteral("UPDATE backups SET taken_at = '2020-01-01T00:00:00Z'")));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("pruning-raw"));
    }
    [[nodiscard]] QString path() const { return dir.filePath(QStringLiteral("fleet.sqlite")); }

    QTemporaryDir dir;
    SqlFleetStore store{path(), QStringLiteral("test")};
};

}  // namespace

TEST_F(Pruning, APassDeletesInBatchesWithTheEventLoopRunningBetweenThem) {
    oldBackups("1001", 1210);
    RetentionPruner pruner(store, {10, 90});
    int passes = 0;
    int backups = -1;
    bool failed = true;
    QObject::connect(&pruner, &RetentionPruner::passEnded, [&](int b, int, bool f) {
        ++passes;
        backups = b;
        failed = f;
    });
    // Something else the loop serves meanwhile, such as a module's frame: it
    // runs between the batches, not after the whole pass.
    int served = 0;
    int servedBeforeTheEnd = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] {
        ++served;
        if (passes == 0) servedBeforeTheEnd = served;
    });
    other.start(0);
    pruner.start(0);
    QElapsedTimer clock;
    clock.start();
    while (passes == 0 && clock.elapsed() < 30000) QCoreApplication::processEvents();
    ASSERT_EQ(passes, 1);
    EXPECT_FALSE(failed);
    EXPECT_EQ(backups, 1200);
    EXPECT_GE(servedBeforeTheEnd, 3);
    EXPECT_EQ(store.backups("1001").size(), 10u);
}

TEST_F(Pruning, BatchesAreNoLargerThanTheLimitAndZeroDaysDeletesNothing) {
    oldBackups("1001", 1010);
    {
        RetentionPruner never(store, {1, 0});
        bool ended = false;
        QObject::connect(&never, &RetentionPruner::passEnded, [&] { ended = true; });
        never.start(0);
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
        EXPECT_FALSE(ended);
        EXPECT_EQ(store.backups("1001").size(), 1010u);
    }
    RetentionPruner pruner(store, {10, 90});
    std::vector<std::size_t> left;
    while (pruner.step()) left.push_back(store.backups("1001").size());
    // Two full batches, the rest of the objects (none), the end of the backups, then the jobs.
    EXPECT_EQ(left, (std::vector<std::size_t>{510, 10, 10, 10}));
}

}  // namespace kv6::fleet::test
