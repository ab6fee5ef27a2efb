#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QThread>
#include <csignal>
#include <map>

#include "fleet/sql_fleet_store.h"
#include "kv6ctl_serial_fixture.h"
#include "support/throwaway_postgres.h"

using namespace kv6::e2e;

namespace {

constexpr int kModules = 300;
constexpr int kFirstObject = 5000;
// About 20 s on an idle 2-core machine; the bound leaves room for a loaded one.
constexpr int kBoundMs = 120000;

QProcessEnvironment quietLeaks() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return environment;
}

// One kv6d of the cluster, on free ports, its log kept.
struct Server {
    QProcess process;
    QByteArray log;
    QString port;
    QString statusPort;

    void start(const QString& db) {
        process.setProcessEnvironment(quietLeaks());
        // HAProxy (on this machine) names each module in a PROXY header;
        // every simulated module calls from 127.0.0.1, all at once.
        process.start(QStringLiteral(KV6D_PATH), {"--port", "0", "--api-listen", "127.0.0.1:0", "--status-port", "0", "--db", db, "--lease", "3",
                                                  "--no-inventory-read", "--proxy-from", "127.0.0.1",
                                                  "--max-unidentified-per-address", "0"});
        const QRegularExpression listening(QStringLiteral("listening on port (\\d+)"));
        const QRegularExpression checks(QStringLiteral("health checks on port (\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (statusPort.isEmpty() && clock.elapsed() < 30000) {
            process.waitForReadyRead(100);
            log += process.readAllStandardError();
            port = listening.match(QString::fromUtf8(log)).captured(1);
            statusPort = checks.match(QString::fromUtf8(log)).captured(1);
        }
    }
    void stop() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(10000)) process.kill();
        process.waitForFinished(2000);
        log += process.readAllStandardError();
    }
};

// Three kv6d on a throwaway PostgreSQL behind HAProxy with the sample
// configuration, and a fleet of simulated modules calling HAProxy.
class Cluster : public ::testing::Test {
protected:
    Cluster() { e2eApp(); }
    ~Cluster() override {
        for (QProcess* process : {&modules, &haproxy}) {
            process->terminate();
            if (!process->waitForFinished(10000)) process->kill();
        }
        for (Server& server : servers) server.stop();
        QSqlDatabase::removeDatabase(QStringLiteral("cluster-check"));
    }

    void queueWrites() {
        kv6::fleet::SqlFleetStore store(postgres.url());
        std::string error;
        ASSERT_TRUE(store.open(error)) << error;
        const std::string settings = R"({"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}})";
        for (int i = 0; i < kModules; ++i) {
            kv6::fleet::NewJob job;
            job.object = std::to_string(kFirstObject + i);
            job.kind = kv6::fleet::JobKind::Write;
            job.format = kv6::fleet::WriteFormat::SettingsJson;
            job.payload.assign(settings.begin(), settings.end());
            ASSERT_TRUE(store.recordPassword(job.object, 0));
            ASSERT_GT(store.queueJob(job), 0);
        }
    }
    void startHaproxy() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        frontPort = QString::number(probe.serverPort());
        probe.close();
        environment.insert(QStringLiteral("KV6_LISTEN"), "127.0.0.1:" + frontPort);
        for (int i = 0; i < 3; ++i) {
            environment.insert(QStringLiteral("KV6D_%1").arg(i + 1), "127.0.0.1:" + servers[i].port);
            environment.insert(QStringLiteral("KV6D_%1_STATUS").arg(i + 1), servers[i].statusPort);
        }
        haproxy.setProcessEnvironment(environment);
        haproxy.setProcessChannelMode(QProcess::MergedChannels);
        haproxy.start(QStringLiteral("haproxy"), {"-db", "-f", QStringLiteral(KV6_SOURCE_DIR "/deploy/haproxy.cfg")});
        ASSERT_TRUE(haproxy.waitForStarted(5000)) << "haproxy: run scripts/install-deps";
        // Ready once a call through it is greeted by a kv6d.
        while (clock.elapsed() < 30000) {
            QTcpSocket call;
            call.connectToHost(QHostAddress::LocalHost, frontPort.toUShort());
            if (call.waitForConnected(2000) && call.waitForReadyRead(2000)) return;
            QThread::msleep(200);
        }
        FAIL() << "no kv6d greets through HAProxy: " << said();
    }
    // What the programs said, for a failure's message.
    std::string said() {
        std::string text = "haproxy: " + haproxy.readAll().right(2000).toStdString();
        for (Server& server : servers)
            text += "\nkv6d: " + (server.log += server.process.readAllStandardError()).right(2000).toStdString();
        return text + "\nkv6sim: " + modules.readAllStandardError().right(2000).toStdString();
    }
    // A number the database gives for `sql`.
    int count(const QString& sql) {
        QSqlQuery query(database());
        return query.exec(sql) && query.next() ? query.value(0).toInt() : -1;
    }
    // The numbers in the first column of the rows `sql` gives, as "0, 7, 9"
    // (0 first: never empty, and no job's id).
    QString ids(const QString& sql) {
        QSqlQuery query(database());
        QStringList list{QStringLiteral("0")};
        if (query.exec(sql))
            while (query.next()) list << query.value(0).toString();
        return list.join(QStringLiteral(", "));
    }
    QSqlDatabase database() {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("cluster-check"), false);
        if (!db.isValid()) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("cluster-check"));
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(postgres.port());
            db.setUserName(QString::fromLatin1(kv6::test::ThrowawayPostgres::kUser));
            db.setPassword(QString::fromLatin1(kv6::test::ThrowawayPostgres::kPassword));
            db.setDatabaseName(QStringLiteral("postgres"));
        }
        if (!db.isOpen()) db.open();
        return db;
    }
    // Waits (at most until the run's bound) for `sql` to count `wanted`.
    bool waitFor(const QString& sql, int wanted) {
        while (clock.elapsed() < kBoundMs) {
            if (count(sql) >= wanted) return true;
            QThread::msleep(200);
        }
        return false;
    }

    kv6::test::ThrowawayPostgres postgres;
    QTemporaryDir dir;
    Server servers[3];
    QProcess haproxy;
    QString frontPort;
    QProcess modules;
    QElapsedTimer clock;
};

}  // namespace

TEST_F(Cluster, EveryJobRunsOnceWhileOneOfThreeServersIsKilled) {
    ASSERT_TRUE(postgres.error().isEmpty()) << postgres.error().toStdString();
    queueWrites();
    for (Server& server : servers) {
        server.start(postgres.url());
        ASSERT_FALSE(server.statusPort.isEmpty()) << "kv6d did not start: " << server.log.toStdString();
    }
    clock.start();
    startHaproxy();
    if (HasFatalFailure()) return;
    QTcpSocket check;  // what HAProxy asks each server
    check.connectToHost(QHostAddress::LocalHost, servers[1].statusPort.toUShort());
    ASSERT_TRUE(check.waitForConnected(5000));
    check.write("GET / HTTP/1.0\r\n\r\n");
    while (check.waitForReadyRead(5000)) {
    }
    const QByteArray answer = check.readAll();  // connections 0 or 1: HAProxy's probe may still be counted
    EXPECT_TRUE(answer.startsWith("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 17\r\n"
                                  "Connection: close\r\n\r\nup\nconnections "))
        << answer.toStdString();
    QDir().mkpath(dir.filePath("dump"));
    modules.setProcessEnvironment(quietLeaks());
    modules.start(QStringLiteral(KV6SIM_PATH),
                  {"--connect", "127.0.0.1:" + frontPort, "--object", QString::number(kFirstObject), "--modules",
                   QString::number(kModules), "--reconnect", "--reconnect-after", "1", "--delay", "5", "--dump-dir",
                   dir.filePath("dump")});
    clock.restart();

    // In the middle of the run, a server dies while it runs jobs: whichever
    // holds a lease then (HAProxy may have given one server no module at all).
    ASSERT_TRUE(waitFor(QStringLiteral("SELECT count(*) FROM jobs WHERE state = 'done'"), kModules / 3)) << said();
    const auto ownerOf = [this](int i) { return QStringLiteral("kv6d@%:%1").arg(servers[i].process.processId()); };
    int dying = -1;
    while (dying < 0 && clock.elapsed() < kBoundMs) {
        for (int i = 0; i < 3 && dying < 0; ++i)
            if (count(QStringLiteral("SELECT count(*) FROM jobs WHERE lease_owner LIKE '%1'").arg(ownerOf(i))) >= 1)
                dying = i;
        if (dying < 0) QThread::msleep(20);
    }
    ASSERT_GE(dying, 0) << "no server held a lease: " << said();
    const QString victim = ownerOf(dying);
    ::kill(static_cast<pid_t>(servers[dying].process.processId()), SIGKILL);
    servers[dying].process.waitForFinished(5000);
    // Only these jobs may run twice: the others hold them only once the
    // dead server's leases expired.
    const QString interrupted = ids(QStringLiteral("SELECT id FROM jobs WHERE lease_owner LIKE '%1'").arg(victim));

    EXPECT_TRUE(waitFor(QStringLiteral("SELECT count(*) FROM jobs WHERE state IN ('done', 'failed')"), kModules))
        << count(QStringLiteral("SELECT count(*) FROM jobs WHERE state IN ('done', 'failed')")) << " jobs ended";
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM jobs WHERE state = 'done' AND result = 'verified'")), kModules);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM (SELECT job_id FROM audit WHERE outcome = 'verified' "
                                   "GROUP BY job_id HAVING count(*) = 1) once")),
              kModules);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM audit WHERE outcome = 'verified'")), kModules);
    // A live server's job is neither taken from it nor written twice.
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM jobs WHERE attempts <> 1 AND id NOT IN (%1)").arg(interrupted)), 0)
        << "the dead server held " << interrupted.toStdString();
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM audit WHERE outcome <> 'verified' AND job_id NOT IN (%1)")
                        .arg(interrupted)),
              0);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM jobs WHERE lease_owner IS NOT NULL OR state = 'running'")), 0);
    // The dead server's heartbeat has stopped: no module counts as connected to it.
    EXPECT_TRUE(waitFor(QStringLiteral("SELECT 1 - least(1, count(*)) FROM modules WHERE server LIKE '%1'").arg(victim), 1));

    modules.terminate();  // SIGTERM: every module's memory to the dump folder
    ASSERT_TRUE(modules.waitForFinished(20000));
    const CtlResult shown = runCtl({"show", dir.filePath(QStringLiteral("dump/%1.prg").arg(kFirstObject))});
    EXPECT_TRUE(shown.out.contains(QStringLiteral("object.apn = fleet.apn\n"))) << shown.err.toStdString();
    // Every module holds what the first one holds, but for its own number (bytes 0-5).
    const QByteArray first = readFile(dir.filePath(QStringLiteral("dump/%1.prg").arg(kFirstObject)));
    int same = 0;
    for (int i = 0; i < kModules; ++i)
        if (readFile(dir.filePath(QStringLiteral("dump/%1.prg").arg(kFirstObject + i))).mid(6, 1914) == first.mid(6, 1914))
            ++same;
    EXPECT_EQ(same, kModules);

    for (Server& server : servers) {
        server.stop();
        EXPECT_FALSE(server.log.contains(kv6::test::ThrowawayPostgres::kPassword));
    }
    EXPECT_LT(clock.elapsed(), kBoundMs);
}
