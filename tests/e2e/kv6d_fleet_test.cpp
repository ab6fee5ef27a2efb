#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <csignal>

#include "fleet/sql_fleet_store.h"
#include "kv6ctl_serial_fixture.h"

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

    void startServer(const QStringList& options = {}) {
        server.setProcessEnvironment(quietLeaks());
        server.start(QStringLiteral(KV6D_PATH), QStringList{"--port", "0", "--db", db(), "--no-inventory-read"} + options);
        const QRegularExpression listening(QStringLiteral("listening on port (\\d+)"));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000) {
            serverLog += server.readAllStandardError();
            if (const auto match = listening.match(QString::fromUtf8(serverLog)); match.hasMatch()) {
                port = match.captured(1);
                return;
            }
            server.waitForReadyRead(100);
        }
        FAIL() << "kv6d did not start: " << serverLog.toStdString();
    }
    void startModule(QProcess& module, const QStringList& options) {
        module.setProcessEnvironment(quietLeaks());
        module.start(QStringLiteral(KV6SIM_PATH), QStringList{"--connect", "127.0.0.1:" + port} + options);
        ASSERT_TRUE(module.waitForStarted(5000));
    }
    // Waits (at most `ms`) until kv6d's log holds `needle`.
    bool serverSaid(const QByteArray& needle, int ms = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (!(serverLog += server.readAllStandardError()).contains(needle) && clock.elapsed() < ms)
            server.waitForReadyRead(50);
        return serverLog.contains(needle);
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
    EXPECT_TRUE(audit.out.contains(QStringLiteral("  object 1001  job 1  verified\n  object.apn: internet -> fleet.apn\n")))
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

    stop(module1);  // saves its memory
    const CtlResult shown = runCtl({"show", dir.filePath("module.prg")});
    EXPECT_TRUE(shown.out.contains(QStringLiteral("object.apn = fleet.apn\n")));
    EXPECT_EQ(readFile(dir.filePath("after.prg")).left(1920), readFile(dir.filePath("module.prg")).left(1920));

    server.terminate();  // SIGTERM: a clean stop
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
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

    // Three mismatches from one address: its next call is closed at once.
    startModule(module2, {"--object", "1001"});
    EXPECT_TRUE(module2.waitForFinished(5000));
    EXPECT_TRUE(serverSaid("kv6d: refusing 127.0.0.1 for 600 s after repeated password mismatches"))
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
    startServer();
    const auto id = queue({"write", dir.filePath("apn.json"), "--object", "1001", "--password", "0"});
    startModule(module1, {"--object", "1001", "--delay", "100", "--save", dir.filePath("module.prg")});
    waitForJob(id, [](const auto& job) { return job.state == kv6::fleet::JobState::Running; });
    QThread::msleep(500);
    ::kill(static_cast<pid_t>(server.processId()), SIGKILL);
    server.waitForFinished(5000);
    module1.waitForFinished(10000);  // the module saves and ends when its connection goes

    serverLog.clear();
    startServer();
    EXPECT_TRUE(serverLog.contains("kv6d: 1 interrupted job(s) back in the queue")) << serverLog.toStdString();
    startModule(module2, {"--object", "1001", "--image", dir.filePath("module.prg")});
    const auto job = waitForJob(id, ended);
    EXPECT_EQ(job.result, "verified");

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
            store.recordPassword(job.object, 0);
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
    EXPECT_EQ(fleet({"jobs", "--json"}).out.trimmed(), QStringLiteral("[]"));

    const auto id = queue({"read", "--object", "1001"});
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
        {{"--listen"}, "kv6d: unknown argument '--listen'\n"},
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
