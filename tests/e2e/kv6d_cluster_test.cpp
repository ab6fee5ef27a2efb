#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QThread>
#include <QSqlError>
#include <csignal>
#include <map>
#include <pwd.h>
#include <unistd.h>

#include "fleet/sql_fleet_store.h"
#include "frame_tap.h"
#include "health_check.h"
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
    QString apiPort;  // the operator API's, where HAProxy checks its health

    void start(const QString& db, const QStringList& more = {}) {
        process.setProcessEnvironment(quietLeaks());
        // HAProxy (on this machine) names each module in a PROXY header;
        // every simulated module calls from 127.0.0.1, all at once.
        process.start(QStringLiteral(KV6D_PATH), QStringList{"--port", "0", "--api-listen", "127.0.0.1:0", "--db", db, "--lease",
                                                             "3", "--no-inventory-read", "--proxy-from", "127.0.0.1",
                                                             "--max-unidentified-per-address", "0"} +
                                                     more);
        const QRegularExpression listening(QStringLiteral("listening on port (\\d+)"));
        const QRegularExpression api(QStringLiteral("operator API on http://127\\.0\\.0\\.1:(\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (apiPort.isEmpty() && clock.elapsed() < 30000) {
            process.waitForReadyRead(100);
            log += process.readAllStandardError();
            port = listening.match(QString::fromUtf8(log)).captured(1);
            apiPort = api.match(QString::fromUtf8(log)).captured(1);
        }
    }
    void stop() {
        if (process.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(process.processId()), SIGCONT);  // in case a test stopped it
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

    // The database as the README sets it up on a fresh machine: a role of its
    // own with a password (stored as SCRAM), a database it owns, its password
    // in a passfile of mode 0600 that belongs to the user the servers run as,
    // and TLS with the server's certificate checked against its own CA and
    // host name (sslmode=verify-full). Returns the servers' --db.
    QString prepareStore() {
        const QString certificates = makeCertificates();
        if (certificates.isEmpty()) return {};
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("cluster-setup"));
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(postgres.port());
            db.setUserName(QString::fromLatin1(kv6::test::ThrowawayPostgres::kUser));
            db.setPassword(QString::fromLatin1(kv6::test::ThrowawayPostgres::kPassword));
            db.setDatabaseName(QStringLiteral("postgres"));
            EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
            QSqlQuery query(db);
            for (const QString& sql :
                 {QStringLiteral("CREATE ROLE kv6d LOGIN PASSWORD '%1'").arg(QLatin1String(kRolePassword)),
                  QStringLiteral("CREATE DATABASE fleet OWNER kv6d"),
                  QStringLiteral("ALTER SYSTEM SET ssl_cert_file = '%1/server.crt'").arg(certificates),
                  QStringLiteral("ALTER SYSTEM SET ssl_key_file = '%1/server.key'").arg(certificates),
                  QStringLiteral("ALTER SYSTEM SET ssl = on"), QStringLiteral("SELECT pg_reload_conf()")})
                EXPECT_TRUE(query.exec(sql)) << sql.toStdString() << ": " << query.lastError().text().toStdString();
            // Stored as scram-sha-256 (Debian's pg_hba.conf asks for it), and no superuser.
            EXPECT_TRUE(query.exec(QStringLiteral("SELECT rolpassword LIKE 'SCRAM-SHA-256$%' AND NOT rolsuper "
                                                  "FROM pg_authid WHERE rolname = 'kv6d'")) &&
                        query.next() && query.value(0).toBool());
            QElapsedTimer reload;
            reload.start();
            while (reload.elapsed() < 10000 && !(query.exec(QStringLiteral("SHOW ssl")) && query.next() &&
                                                  query.value(0).toString() == QLatin1String("on")))
                QThread::msleep(100);
            EXPECT_EQ(query.value(0).toString().toStdString(), "on") << "PostgreSQL did not take its certificate";
        }
        QSqlDatabase::removeDatabase(QStringLiteral("cluster-setup"));
        const QString passfile = dir.filePath(QStringLiteral("pgpass"));
        QFile file(passfile);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("127.0.0.1:%1:fleet:kv6d:%2\n").arg(postgres.port()).arg(QLatin1String(kRolePassword)).toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return QStringLiteral("postgresql://kv6d@127.0.0.1:%1/fleet?passfile=%2&sslmode=verify-full&sslrootcert=%3/ca.crt")
            .arg(postgres.port())
            .arg(passfile, certificates);
    }
    // A CA and the database server's certificate for 127.0.0.1 signed by it,
    // in a folder the PostgreSQL server may read (its key its own, mode 0600).
    QString makeCertificates() {
        const QString folder = certificateDir.path();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                          QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
        // The README's commands, for the name the servers use here.
        const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        const QList<QStringList> steps = {
            QStringList{"req", "-x509"} + ec +
                QStringList{"-days", "2", "-subj", "/CN=fleet database CA", "-keyout", "ca.key", "-out", "ca.crt"},
            QStringList{"req"} + ec +
                QStringList{"-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", "server.key",
                            "-out", "server.csr"},
            {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
             "-copy_extensions", "copy", "-out", "server.crt"},
        };
        for (const QStringList& args : steps) {
            QProcess openssl;
            openssl.setWorkingDirectory(folder);
            openssl.setProcessChannelMode(QProcess::MergedChannels);
            openssl.start(QStringLiteral("openssl"), args);
            if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
                ADD_FAILURE() << "openssl " << args.join(' ').toStdString() << ": " << openssl.readAll().toStdString()
                              << " (scripts/install-deps installs it)";
                return {};
            }
        }
        const QString key = folder + QStringLiteral("/server.key");
        QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
        // As root the throwaway server runs as nobody: the key must be that user's.
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            EXPECT_TRUE(nobody != nullptr && ::chown(qPrintable(key), nobody->pw_uid, nobody->pw_gid) == 0);
        }
        return folder;
    }

    void queueWrites(int count = kModules) {
        kv6::fleet::SqlFleetStore store(storeUrl);
        std::string error;
        ASSERT_TRUE(store.open(error)) << error;
        const std::string settings = R"({"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}})";
        for (int i = 0; i < count; ++i) {
            kv6::fleet::NewJob job;
            job.object = std::to_string(kFirstObject + i);
            job.kind = kv6::fleet::JobKind::Write;
            job.format = kv6::fleet::WriteFormat::SettingsJson;
            job.payload.assign(settings.begin(), settings.end());
            ASSERT_TRUE(store.recordPassword(job.object, 0));
            ASSERT_GT(store.queueJob(job), 0);
        }
    }
    // The store as the README sets it up, the jobs, three servers on it and
    // HAProxy in front of them.
    void startCluster(bool withJobs = true) {
        storeUrl = prepareStore();
        ASSERT_FALSE(storeUrl.isEmpty());
        if (withJobs) queueWrites();
        if (HasFatalFailure()) return;
        for (Server& server : servers) {
            server.start(storeUrl);
            ASSERT_FALSE(server.apiPort.isEmpty()) << "kv6d did not start: " << server.log.toStdString();
        }
        clock.start();
        startHaproxy();
    }
    // `count` simulated modules calling HAProxy, each again a second after
    // its connection ends; the clock starts anew.
    void startModules(int count, const QStringList& more) {
        QDir().mkpath(dir.filePath("dump"));
        modules.setProcessEnvironment(quietLeaks());
        modules.start(QStringLiteral(KV6SIM_PATH), QStringList{"--connect", "127.0.0.1:" + frontPort, "--object",
                                                               QString::number(kFirstObject), "--modules",
                                                               QString::number(count), "--reconnect",
                                                               "--reconnect-after", "1"} +
                                                       more);
        clock.restart();
    }
    void startHaproxy() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        frontPort = QString::number(probe.serverPort());
        probe.close();
        environment.insert(QStringLiteral("KV6_LISTEN"), "127.0.0.1:" + frontPort);
        // Its log to its output, which said() shows: no syslog here.
        environment.insert(QStringLiteral("KV6_LOG"), QStringLiteral("stderr"));
        environment.insert(QStringLiteral("KV6_LOG_FORMAT"), QStringLiteral("raw"));
        for (int i = 0; i < 3; ++i) {
            environment.insert(QStringLiteral("KV6D_%1").arg(i + 1),
                               "127.0.0.1:" + (backends[i].isEmpty() ? servers[i].port : backends[i]));
            environment.insert(QStringLiteral("KV6D_%1_API_PORT").arg(i + 1), servers[i].apiPort);
        }
        haproxy.setProcessEnvironment(environment);
        haproxy.setProcessChannelMode(QProcess::MergedChannels);
        // In a file: a pipe nobody reads while the test waits would fill.
        haproxy.setStandardOutputFile(dir.filePath(QStringLiteral("haproxy.log")));
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
        std::string text = "haproxy: " + haproxyLog().right(2000).toStdString();
        for (Server& server : servers)
            text += "\nkv6d: " + (server.log += server.process.readAllStandardError()).right(2000).toStdString();
        return text + "\nkv6sim: " + modules.readAllStandardError().right(2000).toStdString();
    }
    QByteArray haproxyLog() { return readFile(dir.filePath(QStringLiteral("haproxy.log"))); }
    // HAProxy's changes of each server's state and what the servers said of
    // their store, for a failure's message.
    std::string serverStates() {
        std::string states;
        for (const QByteArray& line : haproxyLog().split('\n'))
            if (line.startsWith("Server ")) states += line.toStdString() + '\n';
        for (Server& server : servers)
            for (const QByteArray& line : (server.log += server.process.readAllStandardError()).split('\n'))
                if (line.contains("store") || line.contains("database")) states += line.toStdString() + '\n';
        return states;
    }
    // The health check's answer of server i (status 0 when none came within `ms`).
    HealthAnswer health(int i, int ms) { return askHealth(servers[i].apiPort.toUShort(), ms); }
    QString ownerOf(int i) { return QStringLiteral("kv6d@%:%1").arg(servers[i].process.processId()); }
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
            db.setDatabaseName(QStringLiteral("fleet"));
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

    static constexpr const char* kRolePassword = "Fleet pw-7#x";

    kv6::test::ThrowawayPostgres postgres;
    QTemporaryDir dir;
    QTemporaryDir certificateDir{kv6::test::ThrowawayPostgres::serverFolderBase() + QStringLiteral("/kv6-tls-XXXXXX")};
    QString storeUrl;
    Server servers[3];
    QString backends[3];  // where HAProxy reaches server i, when not at its own port
    QProcess haproxy;
    QString frontPort;
    QProcess modules;
    QElapsedTimer clock;
};

}  // namespace

TEST_F(Cluster, EveryJobRunsOnceWhileOneOfThreeServersIsKilled) {
    ASSERT_TRUE(postgres.error().isEmpty()) << postgres.error().toStdString();
    startCluster();
    if (HasFatalFailure()) return;
    // Every server's session is the password role's, over TLS.
    EXPECT_GE(count(QStringLiteral("SELECT count(*) FROM pg_stat_activity a JOIN pg_stat_ssl s USING (pid) "
                                   "WHERE a.usename = 'kv6d' AND s.ssl")),
              3);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM pg_stat_activity a JOIN pg_stat_ssl s USING (pid) "
                                   "WHERE a.usename = 'kv6d' AND NOT s.ssl")),
              0);
    // What HAProxy asks each server: no key, and nothing but the state and the connection count.
    const HealthAnswer answer = health(1, 5000);
    EXPECT_EQ(answer.status, 200) << answer.head.toStdString();
    // Connections 0 or 1: HAProxy's probe may still be counted.
    EXPECT_TRUE(answer.body == "up\nconnections 0\n" || answer.body == "up\nconnections 1\n") << answer.body.toStdString();
    startModules(kModules, {"--delay", "5", "--dump-dir", dir.filePath("dump")});

    // In the middle of the run, a server dies while it runs jobs: whichever
    // holds a lease then (HAProxy may have given one server no module at all).
    ASSERT_TRUE(waitFor(QStringLiteral("SELECT count(*) FROM jobs WHERE state = 'done'"), kModules / 3)) << said();
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
        << "the dead server held " << interrupted.toStdString() << "\n" << serverStates();
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM audit WHERE outcome <> 'verified' AND job_id NOT IN (%1)")
                        .arg(interrupted)),
              0)
        << serverStates() << "audit lines: "
        << ids(QStringLiteral("SELECT job_id || ':' || outcome || ':' || at FROM audit WHERE outcome <> 'verified' "
                              "AND job_id NOT IN (%1) ORDER BY id LIMIT 8").arg(interrupted))
               .toStdString()
        << "\nverified: "
        << ids(QStringLiteral("SELECT job_id || ':' || outcome || ':' || at FROM audit WHERE outcome = 'verified' "
                              "ORDER BY id LIMIT 8"))
               .toStdString();
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
        EXPECT_FALSE(server.log.contains(kRolePassword));
    }
    EXPECT_LT(clock.elapsed(), kBoundMs);
}

// A server that stops answering its health checks (here: stopped, as a
// paused VM is) is marked down, and HAProxy closes the sessions it held: its
// modules call again and reach the servers that are up. Were the sessions
// left open, they would hang on the stopped server for as long as it stays so.
TEST_F(Cluster, TheModulesOfAServerMarkedDownCallAgainAndReachTheOthers) {
    ASSERT_TRUE(postgres.error().isEmpty()) << postgres.error().toStdString();
    startCluster(false);
    if (HasFatalFailure()) return;
    constexpr int kIdle = 60;
    startModules(kIdle, {});
    ASSERT_TRUE(waitFor(QStringLiteral("SELECT count(*) FROM modules WHERE connected = 1"), kIdle)) << said();
    // The README's database set-up: every server's session is the password role's, over TLS.
    EXPECT_GE(count(QStringLiteral("SELECT count(*) FROM pg_stat_activity a JOIN pg_stat_ssl s USING (pid) "
                                   "WHERE a.usename = 'kv6d' AND s.ssl")),
              3);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM pg_stat_activity a JOIN pg_stat_ssl s USING (pid) "
                                   "WHERE a.usename = 'kv6d' AND NOT s.ssl")),
              0);
    const QString owner = QStringLiteral("kv6d@%:%1").arg(servers[0].process.processId());
    const int held = count(QStringLiteral("SELECT count(*) FROM modules WHERE connected = 1 AND server LIKE '%1'").arg(owner));
    ASSERT_GT(held, 0) << "HAProxy gave the first server no module: " << said();

    const auto stalled = static_cast<pid_t>(servers[0].process.processId());
    ::kill(stalled, SIGSTOP);
    // Every module is connected to a running server again: the stopped one
    // cannot record a call, so each row naming another server is a new call.
    const QString elsewhere =
        QStringLiteral("SELECT count(*) FROM modules WHERE connected = 1 AND server NOT LIKE '%1'").arg(owner);
    const bool moved = waitFor(elsewhere, kIdle);
    ::kill(stalled, SIGCONT);
    EXPECT_TRUE(moved) << count(elsewhere) << " of " << kIdle << " modules on the running servers, " << held
                       << " were on the stopped one: " << said();
    EXPECT_TRUE(haproxyLog().contains("Server kv6d/kv6d-1 is DOWN")) << said();
    EXPECT_LT(clock.elapsed(), kBoundMs);
}

TEST_F(Cluster, AServerStalledLongerThanItsLeaseSendsNothingMoreForItsJobsWhileTheOthersCarryOn) {
    // Few modules, each answering slowly: a write lasts seconds, so the
    // stalled server is in the middle of several.
    constexpr int kStalled = 45;
    ASSERT_TRUE(postgres.error().isEmpty()) << postgres.error().toStdString();
    storeUrl = prepareStore();
    ASSERT_FALSE(storeUrl.isEmpty());
    queueWrites(kStalled);
    const QStringList bounds{"--lock-timeout", "1", "--statement-timeout", "2", "--idle-transaction-timeout", "2"};
    for (Server& server : servers) {
        server.start(storeUrl, bounds);
        ASSERT_FALSE(server.apiPort.isEmpty()) << "kv6d did not start: " << server.log.toStdString();
    }
    FrameTap tap(servers[0].port.toUShort());  // what server 0 sends its modules
    backends[0] = QString::number(tap.port());
    clock.start();
    startHaproxy();
    if (HasFatalFailure()) return;
    startModules(kStalled, {"--delay", "100", "--dump-dir", dir.filePath("dump")});

    // Server 0 stops in the middle of its writes, its transaction open: a
    // session of the test holds its jobs' rows in its stead, as long as the
    // servers' own sessions may stay idle in a transaction and more.
    while (tap.changes() < 3 && clock.elapsed() < kBoundMs) QThread::msleep(10);
    ASSERT_GE(tap.changes(), 3) << said();
    const pid_t stalled = static_cast<pid_t>(servers[0].process.processId());
    ::kill(stalled, SIGSTOP);
    QSqlQuery lock(database());
    ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN")));
    ASSERT_TRUE(
        lock.exec(QStringLiteral("SELECT id FROM jobs WHERE lease_owner LIKE '%1' FOR UPDATE").arg(ownerOf(0))));
    // The other servers wait on those rows at most their lock time-out: they
    // answer every health check meanwhile (503 while they join again).
    QElapsedTimer stall;
    stall.start();
    QStringList unanswered;
    while (stall.elapsed() < 10000)
        for (int i : {1, 2}) {
            const qint64 asked = stall.elapsed();
            const int status = health(i, 4000).status;
            if (status != 200 && status != 503)
                unanswered << QStringLiteral("server %1 at %2 ms").arg(i).arg(asked);
            QThread::msleep(300);
        }
    EXPECT_TRUE(unanswered.isEmpty()) << "no answer from " << unanswered.join(", ").toStdString();
    ASSERT_TRUE(lock.exec(QStringLiteral("ROLLBACK")));

    // Once its leases were taken over, server 0 wakes; it sends nothing more
    // for the jobs it ran, drops their connections and joins again.
    EXPECT_TRUE(waitFor(
        QStringLiteral("SELECT 1 - least(1, count(*)) FROM jobs WHERE lease_owner LIKE '%1'").arg(ownerOf(0)), 1))
        << said();
    // A health check waits for it: the first thing it says awake.
    HealthCheck wakeCheck;
    ASSERT_TRUE(wakeCheck.send(QHostAddress::LocalHost, servers[0].apiPort.toUShort(), 5000));
    tap.markResumed();
    ::kill(stalled, SIGCONT);
    const HealthAnswer woken = wakeCheck.read(10000);
    // It finds its lease lapsed, or its session ended by the database (if it
    // stopped inside a transaction): either way it gives its jobs up.
    EXPECT_EQ(woken.status, 503) << woken.head.toStdString();
    EXPECT_TRUE(woken.body.startsWith("down: no heartbeat kept for ") || woken.body.startsWith("down: the store failed: "))
        << woken.body.toStdString();

    EXPECT_TRUE(
        waitFor(QStringLiteral("SELECT count(*) FROM jobs WHERE state = 'done' AND result = 'verified'"), kStalled))
        << said();
    EXPECT_EQ(tap.lateChanges(), 0) << "frames that change a module, sent after the wake for jobs held before it: "
                                    << (servers[0].log += servers[0].process.readAllStandardError()).toStdString();
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM audit WHERE outcome = 'verified'")), kStalled);
    EXPECT_TRUE(waitFor(QStringLiteral("SELECT count(*) FROM servers"), 3)) << "server 0 joined again: " << said();
    // Its modules are connected again, those it kept as well as those that called anew.
    EXPECT_TRUE(waitFor(QStringLiteral("SELECT count(*) FROM modules WHERE connected = 1"), kStalled))
        << count(QStringLiteral("SELECT count(*) FROM modules WHERE connected = 1")) << " connected; " << said();
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM jobs WHERE state <> 'done'")), 0);

    modules.terminate();
    ASSERT_TRUE(modules.waitForFinished(20000));
    for (Server& server : servers) server.stop();
    EXPECT_TRUE(servers[0].log.contains("longer than the lease (3 s): its jobs may be another server's now; "
                                        "the jobs running here go back to the queue") ||
                servers[0].log.contains("kv6d: the store failed: "))
        << servers[0].log.right(3000).toStdString();
}
