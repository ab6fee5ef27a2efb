#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QThread>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

#include "fleet/sql_fleet_store.h"
#include "health_check.h"
#include "kv6ctl_serial_fixture.h"
#include "kv6d_log.h"
#include "support/file_size_limit.h"

using namespace kv6::e2e;

namespace {

QProcessEnvironment quietLeaks() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return environment;
}

// kv6d on a free port and a store in a temporary folder, with modules that
// call it, and kv6ctl fleet on the same store.
class FleetRun : public ::testing::Test {
protected:
    FleetRun() { e2eApp(); }
    ~FleetRun() override {
        for (QProcess* module : {&module1, &module2}) stop(*module);
        stop(server);
    }

    // Without `defaults`, a first-seen module gets no read of its own.
    void startServer(const QStringList& options = {}, bool defaults = false) {
        server.setProcessEnvironment(quietLeaks());
        // A file-size limit set on it later is a full disk, not a signal that ends it.
        server.setChildProcessModifier([] { kv6::test::ignoreFileSizeSignal(); });
        server.start(QStringLiteral(KV6D_PATH),
                     QStringList{"--port", "0", "--api-listen", "127.0.0.1:0", "--db", db()} +
                         (defaults ? QStringList{} : QStringList{"--no-inventory-read"}) + options);
        const QRegularExpression listening(QStringLiteral("listening on port (\\d+)"));
        const QRegularExpression api(QStringLiteral("operator API on http://127\\.0\\.0\\.1:(\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            serverLog += server.readAllStandardError();
            port = listening.match(QString::fromUtf8(serverLog)).captured(1);
            apiPort = api.match(QString::fromUtf8(serverLog)).captured(1);
            if (!apiPort.isEmpty()) return;
            server.waitForReadyRead(100);
        }
        FAIL() << "kv6d did not start: " << serverLog.toStdString();
    }
    // The health check's answer, its body only.
    QByteArray health() { return askHealth(apiPort.toUShort(), 5000).body; }
    void startModule(QProcess& module, const QStringList& options) {
        module.setProcessEnvironment(quietLeaks());
        module.start(QStringLiteral(KV6SIM_PATH), QStringList{"--connect", "127.0.0.1:" + port} + options);
        ASSERT_TRUE(module.waitForStarted(5000));
    }
    // Waits (at most `ms`) until kv6d's log holds `needle`.
    bool serverSaid(const QByteArray& needle, int ms = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (!kv6::test::withoutStamps(serverLog += server.readAllStandardError()).contains(needle) &&
               clock.elapsed() < ms)
            server.waitForReadyRead(50);
        return kv6::test::withoutStamps(serverLog).contains(needle);
    }
    static void stop(QProcess& process) {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(10000)) process.kill();
        process.waitForFinished(2000);
    }
    [[nodiscard]] QString db() const { return dir.filePath(QStringLiteral("fleet.sqlite")); }
    CtlResult fleet(QStringList args) { return runCtl(QStringList{"fleet"} + args + QStringList{"--db", db()}); }
    std::int64_t queue(const QStringList& args) {
        const CtlResult r = fleet(QStringList{"queue"} + args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out.trimmed().toLongLong();
    }
    // Waits (at most `ms`) until `done` holds for the job as the store has it.
    kv6::fleet::JobRecord waitForJob(std::int64_t id, const std::function<bool(const kv6::fleet::JobRecord&)>& done,
                                     int ms = 60000) {
        kv6::fleet::SqlFleetStore store(db());
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
        QElapsedTimer clock;
        clock.start();
        kv6::fleet::JobRecord last;
        while (clock.elapsed() < ms) {
            for (const auto& job : store.jobs(std::nullopt, std::nullopt))
                if (job.id == id) last = job;
            if (done(last)) return last;
            QThread::msleep(50);
        }
        ADD_FAILURE() << "job " << id << " stayed " << kv6::fleet::stateName(last.state) << ": " << last.result;
        return last;
    }
    static bool ended(const kv6::fleet::JobRecord& job) {
        return job.state == kv6::fleet::JobState::Done || job.state == kv6::fleet::JobState::Failed;
    }
    void writeApnSettings() {
        QFile file(dir.filePath("apn.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}})");
    }

    QTemporaryDir dir;
    QProcess server;
    QByteArray serverLog;
    QString port;
    QString apiPort;
    QProcess module1;
    QProcess module2;
};

}  // namespace

TEST_F(FleetRun, AQueuedWriteEndsVerifiedWithItsBackupAndAuditListed) {
    writeApnSettings();
    startServer();
    const auto id = queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    startModule(module1, {"--object", "1001", "--save", dir.filePath("module.prg")});
    waitForJob(id, ended);

    const CtlResult jobs = fleet({"jobs", "--json"});
    EXPECT_TRUE(jobs.out.contains(QStringLiteral("\"state\": \"done\""))) << jobs.out.toStdString();
    EXPECT_EQ(runCtl({"fleet", "--db", db(), "jobs", "--json"}).out, jobs.out);  // the store named first
    EXPECT_TRUE(jobs.out.contains(QStringLiteral("\"result\": \"verified\"")));
    const CtlResult audit = fleet({"audit", "--object", "1001"});
    // Queued with kv6ctl on the store: by the local account.
    const QString user = QString::fromLocal8Bit(getpwuid(geteuid())->pw_name);
    EXPECT_TRUE(audit.out.contains("  object 1001  job 1  verified  by " + user + "\n  object.apn: internet -> fleet.apn\n"))
        << audit.out.toStdString();
    EXPECT_FALSE(audit.out.contains(QStringLiteral("no field shows it"))) << audit.out.toStdString();  // only the APN
    const CtlResult backups = fleet({"backups", "--object", "1001"});
    EXPECT_TRUE(backups.out.contains(QStringLiteral("before job ")));
    EXPECT_TRUE(backups.out.contains(QStringLiteral("after job ")));
    const CtlResult exported = fleet({"backup", "2", "--out", dir.filePath("after.prg")});
    EXPECT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    // A whole settings export (tens of kilobytes) is a write like a partial one.
    ASSERT_EQ(runCtl({"export", dir.filePath("after.prg"), "--out", dir.filePath("whole.json")}).exitCode, 0);
    EXPECT_GT(queue({"write", dir.filePath("whole.json"), "--object", "1001"}), id);
    // So for an object never read: its "????" codes are what an erased module holds.
    EXPECT_GT(queue({"write", dir.filePath("whole.json"), "--object", "1002", "--password", "0"}), id);

    stop(module1);  // saves its memory
    const CtlResult shown = runCtl({"show", dir.filePath("module.prg")});
    EXPECT_TRUE(shown.out.contains(QStringLiteral("object.apn = fleet.apn\n")));
    EXPECT_EQ(readFile(dir.filePath("after.prg")).left(1920), readFile(dir.filePath("module.prg")).left(1920));

    server.terminate();  // SIGTERM: a clean stop
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
}

TEST_F(FleetRun, AFirstSeenModuleIsReadAndAJobQueuedWhileItWaitsRunsAtOnce) {
    writeApnSettings();
    startServer({}, true);
    startModule(module1, {"--object", "1001"});
    EXPECT_TRUE(serverSaid("kv6d: object 1001 identified from 127.0.0.1 (first seen)\n")) << serverLog.toStdString();
    // Its inventory read: no password recorded yet, so none to prove.
    const auto inventory = waitForJob(1, ended);
    EXPECT_EQ(kv6::fleet::stateName(inventory.state), "done");
    EXPECT_EQ(inventory.result, "read, backup kept (no password recorded to check)");
    EXPECT_TRUE(fleet({"backups", "--object", "1001"}).out.contains(QStringLiteral("read job 1, password not proven")));

    // Queued while the module is connected and idle, on a store that sends
    // no notifications: the server's poll of the queue finds it.
    const auto write = queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    EXPECT_EQ(waitForJob(write, ended, 20000).result, "verified");
}

// The heartbeat renews the leases of the jobs a server runs well before they
// run out: a lease that lapses lets another server take a running job.
TEST_F(FleetRun, ARunningJobsLeaseIsNeverLeftUnrenewedForHalfItsLength) {
    writeApnSettings();
    startServer({"--lease", "6"});
    const auto id = queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    // Slow answers: the job runs some seven seconds, longer than its lease.
    startModule(module1, {"--object", "1001", "--delay", "130"});
    QElapsedTimer clock;
    qint64 runningMs = -1;
    qint64 changedMs = 0;
    qint64 longestMs = 0;
    QString lease;
    {
        QSqlDatabase watch = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lease-watch"));
        watch.setDatabaseName(db());
        ASSERT_TRUE(watch.open());
        QSqlQuery query(watch);
        clock.start();
        while (clock.elapsed() < 60000) {
            ASSERT_TRUE(query.exec(QStringLiteral("SELECT state, lease_at FROM jobs WHERE id = %1").arg(id)));
            const bool running = query.next() && query.value(0).toString() == QLatin1String("running");
            if (running && runningMs < 0) runningMs = changedMs = clock.elapsed();
            if (runningMs >= 0) {
                longestMs = std::max(longestMs, clock.elapsed() - changedMs);
                if (!running) break;
                if (query.value(1).toString() != lease) {
                    lease = query.value(1).toString();
                    changedMs = clock.elapsed();
                }
            }
            query.finish();
            QThread::msleep(50);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("lease-watch"));
    ASSERT_GE(runningMs, 0) << serverLog.toStdString();
    EXPECT_GT(clock.elapsed() - runningMs, 6000) << "the job ended too soon to show its renewals";
    EXPECT_LT(longestMs, 3000) << "the lease went " << longestMs << " ms without renewal";
    EXPECT_EQ(waitForJob(id, ended).result, "verified");
}

TEST_F(FleetRun, AModuleWhosePasswordDoesNotMatchIsRefusedAndNothingIsWritten) {
    writeApnSettings();
    auto image = randomImage(27);
    image[244] = 0x04;  // read password 1234
    image[245] = 0xD2;
    writeFile(dir.filePath("module.prg"), image);
    startServer();
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 3; ++i)
        ids.push_back(queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"}));
    startModule(module1, {"--object", "1001", "--image", dir.filePath("module.prg"), "--save", dir.filePath("after.prg")});
    for (const auto id : ids) {
        const auto job = waitForJob(id, ended);
        EXPECT_EQ(job.state, kv6::fleet::JobState::Failed);
        EXPECT_EQ(job.result, "the module's read password differs from the one recorded for object 1001; nothing written");
    }
    stop(module1);
    EXPECT_EQ(readFile(dir.filePath("after.prg")), readFile(dir.filePath("module.prg")));
    EXPECT_TRUE(fleet({"audit"}).out.isEmpty());

    // Three mismatches of object 1001: its next call is closed once it says who it is.
    startModule(module2, {"--object", "1001"});
    EXPECT_TRUE(module2.waitForFinished(5000));
    EXPECT_TRUE(serverSaid("kv6d: refusing object 1001 from 127.0.0.1: locked out until "))
        << serverLog.toStdString();
}

TEST_F(FleetRun, AModuleThatDropsMidWriteAndCallsAgainEndsVerified) {
    writeApnSettings();
    startServer();
    const auto id = queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    // Slow answers: the write of twenty frames takes about two seconds.
    startModule(module1, {"--object", "1001", "--delay", "100", "--save", dir.filePath("module.prg")});
    waitForJob(id, [&](const auto&) { return fleet({"audit"}).out.contains("object.apn"); });
    QThread::msleep(700);
    stop(module1);  // mid-write: the memory holds part of the new configuration
    const auto requeued = waitForJob(id, [](const auto& job) { return job.state == kv6::fleet::JobState::Queued; });
    EXPECT_EQ(requeued.result, "the connection dropped");

    startModule(module2, {"--object", "1001", "--image", dir.filePath("module.prg")});
    const auto job = waitForJob(id, ended);
    EXPECT_EQ(job.state, kv6::fleet::JobState::Done);
    EXPECT_EQ(job.result, "verified");
    EXPECT_EQ(job.attempts, 2);
}

TEST_F(FleetRun, AJobWhoseConnectionDropsFailsOnceItHadMaxAttempts) {
    writeApnSettings();
    startServer({"--max-attempts", "1"});
    const auto id = queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    startModule(module1, {"--object", "1001", "--delay", "100"});
    waitForJob(id, [](const auto& job) { return job.state == kv6::fleet::JobState::Running; });
    stop(module1);
    const auto job = waitForJob(id, [](const auto& job) { return job.state != kv6::fleet::JobState::Running; });
    EXPECT_EQ(kv6::fleet::stateName(job.state), "failed");
    EXPECT_EQ(job.result, "gave up after 1 attempts: the connection dropped");
}

TEST_F(FleetRun, AServerKilledMidJobPutsItBackInTheQueueOnRestart) {
    writeApnSettings();
    startServer({"--max-attempts", "1"});
    const auto id = queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    startModule(module1, {"--object", "1001", "--delay", "100", "--save", dir.filePath("module.prg")});
    waitForJob(id, [](const auto& job) { return job.state == kv6::fleet::JobState::Running; });
    QThread::msleep(500);
    ::kill(static_cast<pid_t>(server.processId()), SIGKILL);
    server.waitForFinished(5000);
    module1.waitForFinished(10000);  // the module saves and ends when its connection goes

    serverLog.clear();
    startServer({"--max-attempts", "1"});
    EXPECT_TRUE(serverLog.contains("kv6d: 1 interrupted job(s) back in the queue")) << serverLog.toStdString();
    // The attempt the kill cut short was the server's, not the module's: it is not counted.
    EXPECT_EQ(waitForJob(id, [](const auto& job) { return job.state == kv6::fleet::JobState::Queued; }).attempts, 0);
    startModule(module2, {"--object", "1001", "--image", dir.filePath("module.prg")});
    const auto job = waitForJob(id, ended);
    EXPECT_EQ(job.result, "verified");
    EXPECT_EQ(job.attempts, 1);

    kv6::fleet::SqlFleetStore store(db());
    std::string error;
    ASSERT_TRUE(store.open(error));
    EXPECT_EQ(store.integrityCheck(), "ok");
}

TEST_F(FleetRun, FiftyModulesInOneProcessEachEndVerified) {
    writeApnSettings();
    startServer();
    constexpr int kModules = 50;
    std::vector<std::int64_t> ids;
    {
        kv6::fleet::SqlFleetStore store(db());
        std::string error;
        ASSERT_TRUE(store.open(error)) << error;
        QFile settings(dir.filePath("apn.json"));
        ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
        const QByteArray text = settings.readAll();
        for (int i = 0; i < kModules; ++i) {
            kv6::fleet::NewJob job;
            job.object = std::to_string(3000 + i);
            job.kind = kv6::fleet::JobKind::Write;
            job.format = kv6::fleet::WriteFormat::SettingsJson;
            job.payload.assign(text.begin(), text.end());
            ASSERT_TRUE(store.recordPassword(job.object, 0));
            ids.push_back(store.queueJob(job));
        }
    }
    startModule(module1, {"--object", "3000", "--modules", QString::number(kModules), "--dump-dir",
                          dir.path()});
    for (const auto id : ids) {
        const auto job = waitForJob(id, ended);
        EXPECT_EQ(job.result, "verified") << "job " << id;
    }
    stop(module1);
    const CtlResult shown = runCtl({"show", dir.filePath("3049.prg")});
    EXPECT_TRUE(shown.out.contains(QStringLiteral("object.apn = fleet.apn\n"))) << shown.err.toStdString();
}

TEST_F(FleetRun, QueueingRefusesWhatCouldNotRunAndStoresNothing) {
    writeApnSettings();
    const CtlResult reset = fleet({"queue", "reset", "--object", "1001", "--password", "0"});
    EXPECT_EQ(reset.exitCode, 2);
    EXPECT_TRUE(reset.err.startsWith("kv6ctl fleet: reset restores factory settings: it needs --force\n"));
    const CtlResult noPassword = fleet({"queue", "write", dir.filePath("apn.json"), "--object", "1001"});
    EXPECT_EQ(noPassword.exitCode, 2);
    EXPECT_EQ(noPassword.err, "kv6ctl fleet: no read password is recorded for object 1001: give --password N, the "
                              "module's read password\n");
    writeFile(dir.filePath("short.prg"), randomImage(1));
    QFile::resize(dir.filePath("short.prg"), 4000);
    EXPECT_EQ(fleet({"queue", "write", dir.filePath("short.prg"), "--object", "1001", "--password", "0"}).exitCode, 2);
    EXPECT_EQ(fleet({"queue", "read", "--object", "10015"}).exitCode, 2);

    writeFile(dir.filePath("site.prg"), randomImage(2));
    // Settings `kv6ctl apply` refuses, refused with its words.
    for (const auto& [value, shown] : std::vector<std::pair<QByteArray, QString>>{{"\"ten\"", "ten"}, {"-5", "-5"}}) {
        const QString path = dir.filePath("poll.json");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(R"({"object": {"pollTimeMinutes": )" + value + "}}");
        file.close();
        const QString problem =
            QStringLiteral("object.pollTimeMinutes: invalid value \"%1\"; accepts a number 0..32767\n").arg(shown);
        EXPECT_EQ(runCtl({"apply", dir.filePath("site.prg"), path}).err,
                  "kv6ctl apply: " + problem + "kv6ctl apply: nothing written\n");
        const CtlResult queued = fleet({"queue", "write", path, "--object", "1001", "--password", "0"});
        EXPECT_EQ(queued.exitCode, 2);
        EXPECT_EQ(queued.err, "kv6ctl fleet: " + problem + "kv6ctl fleet: " + path + ": nothing queued\n");
        EXPECT_TRUE(queued.out.isEmpty());
    }
    // What a write may change beyond the settings belongs to writes, and a password to a .prg.
    EXPECT_EQ(fleet({"queue", "read", "--object", "1001", "--renumber"}).exitCode, 2);
    const CtlResult fromFile =
        fleet({"queue", "write", dir.filePath("apn.json"), "--object", "1001", "--password", "0", "--password-from-file"});
    EXPECT_EQ(fromFile.exitCode, 2);
    EXPECT_EQ(fromFile.err, "kv6ctl fleet: " + dir.filePath("apn.json") +
                                ": a settings document holds no read password: --password-from-file takes a .prg\n");
    const CtlResult noNumber =
        fleet({"queue", "write", dir.filePath("apn.json"), "--object", "1001", "--password", "0", "--renumber"});
    EXPECT_EQ(noNumber.exitCode, 2);
    EXPECT_EQ(noNumber.err, "kv6ctl fleet: " + dir.filePath("apn.json") +
                                ": --renumber, but the settings name no object.objectNumber\n");
    EXPECT_EQ(fleet({"jobs", "--json"}).out.trimmed(), QStringLiteral("[]"));
    const auto renumber = queue({"write", dir.filePath("site.prg"), "--object", "1001", "--password", "0", "--renumber",
                                 "--password-from-file"});
    EXPECT_TRUE(fleet({"jobs"}).out.contains(QStringLiteral("write --renumber --password-from-file")));
    EXPECT_TRUE(fleet({"jobs", "--json"}).out.contains(QStringLiteral("\"options\": \"--renumber --password-from-file\"")));
    EXPECT_EQ(fleet({"cancel", QString::number(renumber)}).exitCode, 0);

    const auto id = queue({"read", "--object", "1001"});
    EXPECT_GT(id, renumber);
    EXPECT_EQ(fleet({"cancel", QString::number(id)}).exitCode, 0);
    const CtlResult again = fleet({"cancel", QString::number(id)});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, QStringLiteral("kv6ctl fleet: job %1 is cancelled, not queued\n").arg(id));
}

namespace {

// A bad argument stops kv6d before it opens any store: one line saying what
// the option needs, the usage, exit 2.
TEST(Kv6dArguments, ABadArgumentIsNamedWithWhatItNeeds) {
    e2eApp();
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{"--port", "70000"}, "kv6d: --port needs a number 0..65535\n"},
        {{"--lease=2"}, "kv6d: --lease needs seconds 3..3600\n"},
        {{"--identify-timeout", "soon"}, "kv6d: --identify-timeout needs seconds 1..86400\n"},
        {{"--max-attempts"}, "kv6d: --max-attempts needs a value\n"},
        {{"--pace", "fast"}, "kv6d: --pace needs module or reactive\n"},
        {{"--bind"}, "kv6d: unknown argument '--bind'\n"},
        {{"--proxy-from", "haproxy.local"},
         "kv6d: --proxy-from needs addresses or ADDRESS/BITS: 'haproxy.local' is not an address or ADDRESS/BITS\n"},
        {{"--proxy-from", ","}, "kv6d: --proxy-from needs addresses or ADDRESS/BITS: none given\n"},
        {{"--mismatch-limit", "0"}, "kv6d: --mismatch-limit needs a number 1..1000\n"},
        {{"--backoff=-1"}, "kv6d: --backoff needs seconds 1..604800\n"},
        {{"--max-unidentified-per-address", "many"}, "kv6d: --max-unidentified-per-address needs a number 0..1000000\n"},
        {{"--keep-backups", "0"}, "kv6d: --keep-backups needs a number 1..100000\n"},
        {{"--keep-days=-1"}, "kv6d: --keep-days needs days 0..3650\n"},
        {{"--backup-every", "0"}, "kv6d: --backup-every needs days 1..3650\n"},
        {{"--backup-every=weekly"}, "kv6d: --backup-every needs days 1..3650\n"},
    };
    for (const auto& [arguments, line] : cases) {
        QProcess server;
        server.setProcessEnvironment(quietLeaks());
        server.start(QStringLiteral(KV6D_PATH), arguments);
        ASSERT_TRUE(server.waitForFinished(10000));
        EXPECT_EQ(server.exitCode(), 2) << arguments.join(' ').toStdString();
        const QString err = QString::fromUtf8(server.readAllStandardError());
        EXPECT_TRUE(err.startsWith(line + "Usage: kv6d ")) << err.toStdString();
    }
}

}  // namespace

namespace {

// kv6ctl with every file it writes unable to grow, as on a full disk.
CtlResult runCtlOnAFullDisk(const QStringList& args) {
    QProcess ctl;
    ctl.setChildProcessModifier([] { kv6::test::startsWithFileSizeLimit(1); });
    ctl.start(QStringLiteral(KV6CTL_PATH), args);
    CtlResult result;
    if (!ctl.waitForFinished(60000)) return result;
    result.exitCode = ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
    result.out = QString::fromUtf8(ctl.readAllStandardOutput());
    result.err = QString::fromUtf8(ctl.readAllStandardError());
    return result;
}

}  // namespace

TEST_F(FleetRun, AJobTheStoreDidNotKeepGetsNoIdAndExitOne) {
    writeApnSettings();
    // Held open, the store keeps its log and shared-memory files, as beside a running kv6d.
    kv6::fleet::SqlFleetStore store(db());
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    ASSERT_TRUE(store.recordPassword("1001", 0));
    for (int i = 0; i < 2; ++i) {
        const CtlResult queued = runCtlOnAFullDisk({"fleet", "queue", "write", dir.filePath("apn.json"), "--object",
                                                    "1001", "--db", db()});
        EXPECT_EQ(queued.exitCode, 1);
        EXPECT_EQ(queued.out, "");
        EXPECT_TRUE(queued.err.endsWith("\nkv6ctl fleet: the job could not be stored: disk I/O error\n"))
            << queued.err.toStdString();
    }
    const CtlResult recorded =
        runCtlOnAFullDisk({"fleet", "queue", "read", "--object", "1001", "--password", "5", "--db", db()});
    EXPECT_EQ(recorded.exitCode, 1);
    EXPECT_TRUE(recorded.err.endsWith("\nkv6ctl fleet: the password could not be recorded: disk I/O error; nothing queued\n"))
        << recorded.err.toStdString();
    EXPECT_TRUE(store.jobs(std::nullopt, std::nullopt).empty());
    EXPECT_EQ(store.recordedPassword("1001"), std::optional<std::uint16_t>(0));
}

TEST_F(FleetRun, NothingIsSentToAModuleWhileTheStoreCannotKeepItsBackup) {
    writeApnSettings();
    auto image = randomImage(3);
    image[244] = image[245] = 0;
    writeFile(dir.filePath("module.prg"), image);
    startServer({"--lease", "3600"});
    const auto id = queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    // Slow answers: the read alone takes over a second.
    startModule(module1, {"--object", "1001", "--delay", "100", "--image", dir.filePath("module.prg"), "--save",
                          dir.filePath("after.prg")});
    waitForJob(id, [](const auto& job) { return job.state == kv6::fleet::JobState::Running; });
    // The store's files stop growing while the module is being read.
    ASSERT_TRUE(kv6::test::limitFileSize(static_cast<pid_t>(server.processId()), 1));
    EXPECT_TRUE(serverSaid("kv6d: the store could not keep the backup of object 1001 (job 1): disk I/O error"))
        << serverLog.toStdString();
    EXPECT_TRUE(serverSaid("kv6d: the store failed: disk I/O error; the jobs running here go back to the queue"));
    // Each line stamped with its time and level; the database's reason, never the SQL text.
    const QRegularExpression failure(QStringLiteral(
        R"(\n\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z warning kv6d: the store could not keep the backup of object 1001 \(job 1\): disk I/O error\n)"));
    EXPECT_TRUE(failure.match(QString::fromUtf8(serverLog)).hasMatch()) << serverLog.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"( warning kv6d: kv6\.store: [a-z ]+ failed[a-z ]*: disk I/O error\n)"))
                    .match(QString::fromUtf8(serverLog))
                    .hasMatch())
        << serverLog.toStdString();
    for (const char* sql : {"INSERT", "UPDATE", "SELECT", "DELETE"}) EXPECT_FALSE(serverLog.contains(sql)) << sql;
    EXPECT_TRUE(health().startsWith("down: the store failed: disk I/O error\n"));
    ASSERT_TRUE(module1.waitForFinished(20000));  // its connection closed, it saved its memory
    EXPECT_EQ(readFile(dir.filePath("after.prg")), readFile(dir.filePath("module.prg")));

    // Once the store keeps changes again the job is back in the queue, its
    // attempt not counted, and runs whole when the module calls again.
    ASSERT_TRUE(kv6::test::limitFileSize(static_cast<pid_t>(server.processId()), RLIM_INFINITY));
    EXPECT_TRUE(serverSaid("kv6d: the store is reachable again", 60000)) << serverLog.toStdString();
    EXPECT_TRUE(health().startsWith("up\n"));
    const auto back = waitForJob(id, [](const auto& job) { return job.state == kv6::fleet::JobState::Queued; });
    EXPECT_EQ(back.attempts, 0);
    EXPECT_TRUE(fleet({"audit"}).out.isEmpty());
    startModule(module2, {"--object", "1001", "--image", dir.filePath("after.prg")});
    const auto job = waitForJob(id, ended);
    EXPECT_EQ(job.result, "verified");
    EXPECT_EQ(job.attempts, 1);
    EXPECT_TRUE(fleet({"audit"}).out.contains(QStringLiteral("object.apn: ")));
}

TEST_F(FleetRun, AWholeBackupWrittenToAnotherObjectKeepsItsNumberAndPassword) {
    startServer();
    const auto read = queue({"read", "--object", "5102", "--password", "5102"});
    // Two modules, each with its object number as its read password.
    startModule(module1, {"--object", "5101", "--modules", "2", "--password", "object", "--dump-dir", dir.path()});
    ASSERT_EQ(waitForJob(read, ended).result, "read, backup kept");
    kv6::fleet::SqlFleetStore store(db());
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    const QString site = dir.filePath("t5102.prg");
    ASSERT_EQ(fleet({"backup", QString::number(store.backups("5102").at(0).id), "--out", site}).exitCode, 0);

    const auto write = queue({"write", site, "--object", "5101", "--password", "5101"});
    EXPECT_EQ(waitForJob(write, ended).result, "verified");
    EXPECT_EQ(store.recordedPassword("5101"), std::optional<std::uint16_t>(5101));
    const QString audit = fleet({"audit", "--object", "5101"}).out;
    EXPECT_FALSE(audit.contains(QStringLiteral("objectNumber"))) << audit.toStdString();
    EXPECT_FALSE(audit.contains(QStringLiteral("password"))) << audit.toStdString();

    // A file holding the module's own password proves nothing: the check is
    // the module's password against the recorded one, and that stays.
    const QString own = dir.filePath("t5101.prg");
    ASSERT_EQ(fleet({"backup", QString::number(store.backups("5101").at(0).id), "--out", own}).exitCode, 0);
    const auto wrong = queue({"write", own, "--object", "5101", "--password", "4444"});
    EXPECT_EQ(waitForJob(wrong, ended).result,
              "the module's read password differs from the one recorded for object 5101; nothing written");
    EXPECT_EQ(store.recordedPassword("5101"), std::optional<std::uint16_t>(4444));

    stop(module1);  // dumps each module's memory
    const CtlResult shown = runCtl({"show", dir.filePath("5101.prg")});
    EXPECT_TRUE(shown.out.contains(QStringLiteral("object.objectNumber = 5101\n"))) << shown.out.toStdString();
    const QByteArray memory = readFile(dir.filePath("5101.prg"));
    ASSERT_EQ(memory.size(), 4096);
    EXPECT_EQ((static_cast<std::uint8_t>(memory[244]) << 8) | static_cast<std::uint8_t>(memory[245]), 5101);
    EXPECT_TRUE(runCtl({"show", dir.filePath("5102.prg")}).out.contains(QStringLiteral("object.objectNumber = 5102\n")));
}

TEST_F(FleetRun, AConfirmedResetLeavesTheFactoryPasswordRecorded) {
    startServer();
    const auto reset = queue({"reset", "--force", "--object", "1001", "--password", "1234"});
    const auto read = queue({"read", "--object", "1001"});
    startModule(module1, {"--object", "1001", "--password", "1234"});
    EXPECT_EQ(waitForJob(reset, ended).result, "factory settings restored");
    EXPECT_EQ(waitForJob(read, ended).result, "read, backup kept");  // proved with the factory password
}
