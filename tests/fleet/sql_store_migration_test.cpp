// Stores made by older programs, and programs that open a new store at once.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include "fleet/sql_fleet_store.h"
#include "job_for.h"
#include "support/core_app.h"
#include "writer_between_statements.h"

namespace kv6::fleet::test {

namespace {

// A raw connection to an SQLite file, beside any store's own.
class RawDatabase {
public:
    explicit RawDatabase(const QString& file)
        : m_name(QStringLiteral("raw-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(file);
        db.open();
    }
    ~RawDatabase() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    RawDatabase(const RawDatabase&) = delete;
    RawDatabase& operator=(const RawDatabase&) = delete;

    // Runs a script of statements each ending with ";" at a line's end;
    // lines starting with "--" are comments. Empty when all ran, else the error.
    QString runScript(const QString& script) {
        QString statement;
        for (const QString& line : script.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("--"))) continue;
            statement += line + QLatin1Char('\n');
            if (!line.endsWith(QLatin1Char(';'))) continue;
            QSqlQuery query(QSqlDatabase::database(m_name, false));
            if (!query.exec(statement)) return query.lastError().text() + QStringLiteral(": ") + statement;
            statement.clear();
        }
        return {};
    }
    // The first column of every row `sql` gives, as text.
    QStringList column(const QString& sql) {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        QStringList values;
        if (!query.exec(sql)) return {query.lastError().text()};
        while (query.next()) values << query.value(0).toString();
        return values;
    }

private:
    QString m_name;
};

QString testData(const char* name) {
    QFile file(QStringLiteral(KV6_SOURCE_DIR "/tests/fleet/data/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class StoreMigrationTest : public ::testing::Test {
protected:
    StoreMigrationTest() { kv6::test::coreApp(); }
    [[nodiscard]] QString file(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

// Every table and index as the database describes it.
const QString kSchema = QStringLiteral(
    "SELECT type || ' ' || name || ': ' || sql FROM sqlite_master WHERE name NOT LIKE 'sqlite_%' ORDER BY name");

}  // namespace

TEST_F(StoreMigrationTest, AStoreOfEachOlderSchemaOpensWithItsRecordsAndTheAuditsOutcomes) {
    {
        SqlFleetStore fresh(file(QStringLiteral("fresh.sqlite")));
        std::string error;
        ASSERT_TRUE(fresh.open(error)) << error;
    }
    const QStringList newSchema = RawDatabase(file(QStringLiteral("fresh.sqlite"))).column(kSchema);

    struct Case {
        const char* data;
        // The outcomes of the audit lines of job 2 (a write done), job 3
        // (a write failed) and job 4 (queued again after a cut-short attempt).
        std::vector<std::string> outcomes;
    };
    // Schema 1 kept no outcome: a done write's line is taken as verified,
    // any other stays "sent".
    for (const Case& c : {Case{"schema1.sql", {"verified", "sent"}}, Case{"schema2.sql", {"verified", "failed", "sent"}}}) {
        SCOPED_TRACE(c.data);
        const QString path = file(QString::fromLatin1(c.data) + QStringLiteral(".sqlite"));
        {
            RawDatabase raw(path);
            ASSERT_EQ(raw.runScript(testData(c.data)), QString());
        }
        {
            SqlFleetStore store(path);
            std::string error;
            ASSERT_TRUE(store.open(error)) << error;

            std::vector<std::string> outcomes;
            for (const auto& line : store.audit(std::string("1001"))) outcomes.push_back(line.outcome);
            EXPECT_EQ(outcomes, c.outcomes);
            const auto jobs = store.jobs(std::nullopt, std::nullopt);
            ASSERT_EQ(jobs.size(), 4u);
            EXPECT_EQ(kindName(jobs[2].kind), "write");
            EXPECT_EQ(stateName(jobs[2].state), "failed");
            EXPECT_EQ(jobs[2].result, "did not hold: object.apn");
            EXPECT_FALSE(store.modules(false).at(0).connected);
            const auto backups = store.backups("1001");
            ASSERT_EQ(backups.size(), 1u);
            EXPECT_EQ(store.backupImage(backups[0].id), std::optional<image::Image>(image::Image{}));
            const auto journal = store.journal(backups[0].id);
            ASSERT_EQ(journal.size(), 1u);
            EXPECT_EQ(journal[0].time, "2026-01-05 12-59-30");
            EXPECT_EQ(journal[0].partition, 1);
            EXPECT_EQ(journal[0].zone, 5);

            // The queued write runs as queued, with the recorded password,
            // and its end marks its own line.
            const auto next = store.claimNextJob("1001");
            ASSERT_TRUE(next);
            EXPECT_EQ(next->id, 4);
            EXPECT_EQ(next->password, std::optional<std::uint16_t>(1234));
            const std::string payload(next->payload.begin(), next->payload.end());
            EXPECT_EQ(payload, R"({"format": "kv6-settings", "version": 1, "object": {"apn": "third.apn"}})");
            EXPECT_TRUE(store.addAudit("1001", 4, "object.apn: fleet.apn -> third.apn\n"));
            EXPECT_TRUE(store.finishJob(4, JobState::Done, "verified"));
            EXPECT_EQ(store.audit(std::string("1001")).back().outcome, "verified");
            EXPECT_GT(store.queueJob(jobFor("1001", JobKind::Read)), 4);
            EXPECT_EQ(store.integrityCheck(), "ok");
        }
        // Upgraded, the store is what a new one is.
        EXPECT_EQ(RawDatabase(path).column(kSchema), newSchema);
        EXPECT_EQ(RawDatabase(path).column(QStringLiteral("SELECT version FROM schema_version")),
                  QStringList{QString::number(SqlFleetStore::schemaVersion())});
    }
}

TEST_F(StoreMigrationTest, AMigrationStepHoldsTheWriteLockFromItsFirstStatement) {
    // Two programs open a new store at once: the one that reads the schema's
    // version first keeps every other out until its step is committed, so
    // none fails with "database is locked" nor takes a step twice.
    const QString path = file(QStringLiteral("new.sqlite"));
    WriterBetweenStatements other(path);
    SqlFleetStore store(path);
    std::string error;
    EXPECT_TRUE(store.open(error)) << error;
    EXPECT_TRUE(other.tried());
    EXPECT_FALSE(other.gotTheLock()) << "another program took the write lock in the middle of a migration step";
    EXPECT_EQ(other.finish(), SQLITE_OK);
    EXPECT_GT(store.queueJob(jobFor("1001", JobKind::Read)), 0);
}

}  // namespace kv6::fleet::test
