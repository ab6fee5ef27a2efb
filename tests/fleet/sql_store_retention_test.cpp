#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "fleet/retention_scenario.h"
#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

// The store's file, opened again beside it, as another program would.
class RawFile {
public:
    explicit RawFile(const QString& file) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
        db.setDatabaseName(file);
        EXPECT_TRUE(db.open());
    }
    ~RawFile() { QSqlDatabase::removeDatabase(kName); }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;
    void operator()(const QString& sql) const {
        QSqlQuery query(QSqlDatabase::database(kName));
        EXPECT_TRUE(query.exec(sql)) << query.lastError().text().toStdString();
    }

private:
    static constexpr auto kName = "retention-raw";
};

class StoreRetention : public ::testing::Test {
protected:
    StoreRetention() { kv6::test::coreApp(); }
    [[nodiscard]] QString path() const { return dir.filePath(QStringLiteral("fleet.sqlite")); }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(StoreRetention, PrunesOldBackupsJournalsAndEndedJobsInBatchesKeepingWhatIsStillNeeded) {
    SqlFleetStore store(path(), QStringLiteral("test"));
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    const RawFile raw(path());
    pruneOldRecords(store, [&raw](const QString& sql) { raw(sql); });
    EXPECT_EQ(store.integrityCheck(), "ok");
}

}  // namespace kv6::fleet::test
