#include <QFile>
#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "kv6d_api_fixture.h"

namespace kv6::e2e {

namespace {

class Kv6dDrift : public Kv6dApi {
protected:
    // `kv6ctl fleet drift` on the store (--db) or through the API (--server).
    CtlResult drift(const QStringList& args, bool throughApi) {
        if (!throughApi) return fleet(QStringList{"drift"} + args);
        return runCtl(QStringList{"fleet", "drift"} + args +
                      QStringList{"--server", apiUrl, "--key-file", dir.filePath("viewer.key")});
    }
    void readModule(const QString& object) {
        const std::int64_t read = queue({"read", "--object", object});
        startModule({"--object", object});
        EXPECT_EQ(waitForJob(read, ended).state, fleet::JobState::Done);
    }
    std::vector<fleet::JobRecord> jobsOf(const std::string& object) {
        fleet::SqlFleetStore store(db());
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
        return store.jobs(object, std::nullopt);
    }
    std::size_t backupsOf(const std::string& object) {
        fleet::SqlFleetStore store(db());
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
        return store.backups(object).size();
    }
};

}  // namespace

TEST_F(Kv6dDrift, DriftNamesExactlyTheChangedFieldsTheSameOnTheStoreAndThroughTheApiAndQueuesNothing) {
    startApiServer();
    writeText("viewer.key", addKey("watch", "viewer"));
    readModule("1001");
    const std::size_t jobsBefore = jobCount();
    writeText("apn.json", R"({"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn", "ipPort": "6001"}})");
    writeText("sites.txt", "1001, 1003\n# a site not installed yet\n1003\n");
    const QStringList args = {"--settings", dir.filePath("apn.json"), "--target", "objects:" + dir.filePath("sites.txt")};

    const CtlResult local = drift(args, false);
    ASSERT_EQ(local.exitCode, 0) << local.err.toStdString();
    const QStringList lines = local.out.split('\n');
    ASSERT_EQ(lines.size(), 6) << local.out.toStdString();
    EXPECT_EQ(lines[0], "OBJECT  BACKUP  TAKEN                 AGE    DIFFERENCE");
    EXPECT_TRUE(QRegularExpression(R"(^1001    \d+ +\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ  (now|\d+ min) +object\.ipPort: \S* -> 6001$)")
                    .match(lines[1])
                    .hasMatch())
        << local.out.toStdString();
    EXPECT_EQ(lines[2], QString(45, ' ') + "object.apn: internet -> fleet.apn");
    EXPECT_EQ(lines[3], "1003    -       -                     -      no backup");
    EXPECT_EQ(lines[4], "2 modules: 1 differ, 0 the same, 1 without a backup");
    const CtlResult remote = drift(args, true);
    ASSERT_EQ(remote.exitCode, 0) << remote.err.toStdString();
    EXPECT_EQ(remote.out, local.out);

    const CtlResult json = drift(QStringList{"--settings", dir.filePath("apn.json"), "--target", "all", "--json"}, false);
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 1) << json.out.toStdString();
    EXPECT_EQ(rows[0].toObject().value("state"), QStringLiteral("differs"));
    const QJsonArray items = rows[0].toObject().value("items").toArray();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].toObject().value("key"), QStringLiteral("object.ipPort"));
    EXPECT_EQ(items[1].toObject().value("key"), QStringLiteral("object.apn"));
    EXPECT_EQ(drift(QStringList{"--settings", dir.filePath("apn.json"), "--target", "all", "--json"}, true).out, json.out);

    // The module's own image as a .prg: nothing would change.
    const std::int64_t backup = QJsonDocument::fromJson(json.out.toUtf8()).array()[0].toObject().value("backup").toInteger();
    ASSERT_EQ(fleet({"backup", QString::number(backup), "--out", dir.filePath("site.prg")}).exitCode, 0);
    const CtlResult same = drift(QStringList{"--prg", dir.filePath("site.prg"), "--target", "all"}, true);
    EXPECT_TRUE(same.out.contains(QRegularExpression(R"(\n1001 .*  \(none\)\n)"))) << same.out.toStdString();
    EXPECT_TRUE(same.out.endsWith("1 module: 0 differ, 1 the same, 0 without a backup\n")) << same.out.toStdString();
    EXPECT_EQ(jobCount(), jobsBefore);

    // A tag takes only the modules that carry it.
    ASSERT_EQ(fleet({"tag", "add", "north", "1001"}).exitCode, 0);
    for (const bool throughApi : {false, true}) {
        const CtlResult tag =
            drift(QStringList{"--settings", dir.filePath("apn.json"), "--target", "tag:north", "--json"}, throughApi);
        EXPECT_EQ(tag.exitCode, 0) << tag.err.toStdString();
        EXPECT_EQ(tag.out, json.out);
        const CtlResult nobody =
            drift(QStringList{"--settings", dir.filePath("apn.json"), "--target", "tag:south"}, throughApi);
        EXPECT_EQ(nobody.exitCode, 0) << nobody.err.toStdString();
        EXPECT_TRUE(nobody.out.endsWith("0 modules: 0 differ, 0 the same, 0 without a backup\n")) << nobody.out.toStdString();
        EXPECT_EQ(drift(QStringList{"--settings", dir.filePath("apn.json"), "--target", "some"}, throughApi).exitCode, 2);
        EXPECT_EQ(drift(QStringList{"--target", "all"}, throughApi).exitCode, 2);
    }
    // A file far larger than any settings document is refused before it is read whole.
    QFile big(dir.filePath("big.json"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(QByteArray((4 << 20) + 1, ' '));
    big.close();
    const CtlResult large = drift(QStringList{"--settings", big.fileName(), "--target", "all"}, false);
    EXPECT_EQ(large.exitCode, 2);
    EXPECT_EQ(large.err, "kv6ctl fleet: " + big.fileName() + " is too large\n");
}

TEST_F(Kv6dDrift, AModuleWhoseBackupIsOlderThanThePolicyGetsOneReadWhenItCallsAndAFreshOneNone) {
    startServer();
    readModule("1001");
    readModule("1002");
    for (QProcess& module : modules) stopProcess(module);
    modules.clear();
    stopProcess(server);
    {
        // Nine days pass for 1001's backup.
        QSqlDatabase store = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("aging"));
        store.setDatabaseName(db());
        ASSERT_TRUE(store.open());
        QSqlQuery age(store);
        ASSERT_TRUE(age.exec(QStringLiteral("UPDATE backups SET taken_at = '%1' WHERE object = '1001'")
                                 .arg(QDateTime::currentDateTimeUtc().addDays(-9).toString(Qt::ISODate))))
            << age.lastError().text().toStdString();
        store.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("aging"));

    startServer({"--backup-every", "7"});
    for (const char* object : {"1001", "1002", "1003"}) startModule({"--object", object});
    ASSERT_TRUE(serverSaid(QStringLiteral("object 1003: read job "))) << serverLog.toStdString();
    ASSERT_TRUE(serverSaid(QStringLiteral("object 1002 identified"))) << serverLog.toStdString();
    ASSERT_TRUE(serverSaid(QStringLiteral("object 1001: read job "))) << serverLog.toStdString();
    const auto jobs = jobsOf("1001");
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_TRUE(serverSaid(QStringLiteral("object 1001: read job %1 queued to keep a recent backup (every 7 d): "
                                          "its newest backup is 9 d old")
                               .arg(jobs[1].id)))
        << serverLog.toStdString();
    EXPECT_EQ(jobs[1].by, "backup-policy");
    EXPECT_EQ(waitForJob(jobs[1].id, ended).state, fleet::JobState::Done);
    EXPECT_EQ(backupsOf("1001"), 2u);
    EXPECT_TRUE(serverSaid(QStringLiteral("object 1003: read job %1 queued to keep a recent backup (every 7 d): "
                                          "it has no backup")
                               .arg(jobsOf("1003").at(0).id)));
    EXPECT_EQ(jobsOf("1002").size(), 1u);

    // 1001 calls again with its backup fresh: nothing more.
    stopProcess(modules.front());
    startModule({"--object", "1001"});
    const int identified = linesSaying(QStringLiteral("object 1001 identified"));
    QElapsedTimer clock;
    clock.start();
    while (linesSaying(QStringLiteral("object 1001 identified")) == identified && clock.elapsed() < 15000)
        server.waitForReadyRead(50);
    EXPECT_GT(linesSaying(QStringLiteral("object 1001 identified")), identified) << serverLog.toStdString();
    EXPECT_EQ(jobsOf("1001").size(), 2u);
    EXPECT_EQ(jobsOf("1002").size(), 1u);
    EXPECT_EQ(linesSaying(QStringLiteral("object 1001: read job")), 1);
}

}  // namespace kv6::e2e
