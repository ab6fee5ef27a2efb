// Rollouts run by kv6d over simulated modules: waves, the halt when a wave
// fails beyond its limit, retry, pause, a module that calls late, a server
// killed mid-wave, and a dynamic target.

#include "kv6d_api_fixture.h"

namespace kv6::e2e {

namespace {

class Kv6dRollouts : public Kv6dApi {
protected:
    void SetUp() override {
        writeText("apn.json", R"({"format": "kv6-settings", "version": 1, "object": {"apn": "fleet.apn"}})");
    }
    void startRolloutServer() {
        startApiServer({"--rollout-interval", "1", "--address-mismatch-limit", "0", "--max-unidentified-per-address",
                        "0"});
    }
    // `count` objects from `first`, tagged `north` with kv6ctl and their password recorded.
    void prepare(int first, int count, std::uint16_t password = 0) {
        QByteArray list = "# sites\n";
        fleet::SqlFleetStore store(db());
        std::string error;
        ASSERT_TRUE(store.open(error)) << error;
        for (int i = first; i < first + count; ++i) {
            list += QByteArray::number(i) + "\n";
            ASSERT_TRUE(store.recordPassword(std::to_string(i), password));
        }
        writeText("sites.txt", list);
        const CtlResult tagged = fleet({"tag", "add", "north", "--from", dir.filePath("sites.txt")});
        ASSERT_EQ(tagged.exitCode, 0) << tagged.err.toStdString();
    }
    // Created with kv6ctl on the store, approved through the API by another person.
    void createAndApprove(const QStringList& options) {
        create(options);
        approve();
    }
    void create(const QStringList& options) {
        const CtlResult created = fleet(QStringList{"rollout", "create", "apn", "--settings", dir.filePath("apn.json"),
                                                    "--target", "tag:north"} +
                                        options);
        ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
        ASSERT_EQ(created.out, "1\n");
    }
    void approve() {
        writeText("bob.key", addKey("bob", "operator"));
        const CtlResult approved = overApi({"rollout", "approve", "1"});
        ASSERT_EQ(approved.exitCode, 0) << approved.err.toStdString();
        EXPECT_EQ(approved.out, "rollout 1 'apn' approved\n");
    }
    CtlResult overApi(const QStringList& args) {
        return runCtl(QStringList{"fleet"} + args + QStringList{"--server", apiUrl, "--key-file", dir.filePath("bob.key")});
    }
    fleet::RolloutRecord rollout() {
        fleet::SqlFleetStore store(db());
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
        const auto found = store.rollouts(1);
        return found && !found->empty() ? found->front() : fleet::RolloutRecord{};
    }
    // Waits (at most `ms`) for the rollout's state.
    fleet::RolloutRecord waitFor(const std::string& state, int ms = 90000) {
        QElapsedTimer clock;
        clock.start();
        fleet::RolloutRecord last;
        while (clock.elapsed() < ms) {
            last = rollout();
            if (last.state == state) return last;
            pause(200);
        }
        ADD_FAILURE() << "rollout stayed " << last.state << " in wave " << last.wave << ": " << last.haltReason
                      << "\n" << fleet({"rollout", "status", "1"}).out.toStdString() << "server's last words:\n"
                      << serverLog.right(6000).toStdString();
        return last;
    }
    fleet::JobRecord jobOf(const std::string& object) {
        fleet::SqlFleetStore store(db());
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
        const auto jobs = store.jobs(object, std::nullopt);
        return jobs.empty() ? fleet::JobRecord{} : jobs.back();
    }
};

}  // namespace

TEST_F(Kv6dRollouts, AWaveWithTooManyWrongPasswordsHaltsAndRetryFinishesItOnceTheyAreRecorded) {
    prepare(2000, 300);
    startRolloutServer();
    create({"--waves", "1%,10%,100%", "--max-failed", "5%"});
    const CtlResult own = fleet({"rollout", "approve", "1"});
    EXPECT_EQ(own.exitCode, 1);
    EXPECT_TRUE(own.err.endsWith(": another person must approve it\n")) << own.err.toStdString();
    EXPECT_EQ(fleet({"rollout", "start", "1"}).err,
              "kv6ctl fleet: rollout 1 'apn' is awaiting approval: it needs another person's approval first\n");
    approve();
    ASSERT_EQ(fleet({"rollout", "start", "1"}).exitCode, 0);
    // The last twenty modules (wave 3: 270) have another password than the one recorded.
    startModule({"--object", "2000", "--modules", "280", "--reconnect", "--reconnect-after", "1"});
    startModule({"--object", "2280", "--modules", "20", "--password", "7", "--reconnect", "--reconnect-after", "1"});
    const fleet::RolloutRecord halted = waitFor("halted");
    EXPECT_EQ(halted.wave, 3);
    EXPECT_EQ(halted.halts, 1);
    EXPECT_TRUE(serverSaid(QStringLiteral("kv6d: rollout 1 'apn': halted: wave 3 of 3: ")));
    const QString status = fleet({"rollout", "status", "1"}).out;
    EXPECT_TRUE(status.startsWith("rollout 1 'apn': halted, wave 3 of 3\n")) << status.toStdString();
    EXPECT_TRUE(status.contains("wave 3 failures: password mismatch ")) << status.toStdString();
    EXPECT_TRUE(call("GET", "/metrics", addKey("eye", "viewer")).body.contains("kv6_rollout_halts_total 1\n"));
    // Held jobs stay held: nothing of the rollout runs while it is halted.
    pause(2500);
    fleet::SqlFleetStore store(db());
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    const auto held = store.jobs(std::nullopt, fleet::JobState::Held).size();
    pause(1500);
    EXPECT_EQ(store.jobs(std::nullopt, fleet::JobState::Held).size(), held);
    EXPECT_TRUE(store.jobs(std::nullopt, fleet::JobState::Queued).empty());

    for (int i = 2280; i < 2300; ++i) ASSERT_TRUE(store.recordPassword(std::to_string(i), 7));
    const CtlResult retried = fleet({"rollout", "retry-failed", "1"});
    ASSERT_EQ(retried.exitCode, 0) << retried.err.toStdString();
    waitFor("finished");
    const auto waves = store.rolloutWaves(1);
    ASSERT_TRUE(waves);
    ASSERT_EQ(waves->size(), 3u);
    EXPECT_EQ(waves->at(0).verified + waves->at(1).verified + waves->at(2).verified, 300);
    // Every step in the audit with who took it.
    const QString audit = fleet({"audit", "--json"}).out;
    for (const char* step : {"approved", "started: wave 1 of 3", "wave 3 of 3 started", "halted: wave 3", "retrying",
                             "finished"})
        EXPECT_TRUE(audit.contains(step)) << step;
    EXPECT_TRUE(audit.contains("\"by\": \"bob\""));
}

TEST_F(Kv6dRollouts, NoWaveStartsEarlyAcrossAKilledServerAndPauseHoldsWhatAModuleCallingLateWouldGet) {
    prepare(2000, 10);
    startRolloutServer();
    createAndApprove({"--waves", "2,10", "--max-failed", "0"});
    ASSERT_EQ(fleet({"rollout", "start", "1"}).exitCode, 0);
    // Wave 1 is 2000 and 2001; 2001 is offline.
    startModule({"--object", "2000", "--reconnect", "--reconnect-after", "1"});
    EXPECT_EQ(waitForJob(jobOf("2000").id, ended).result, "verified");
    server.kill();
    server.waitForFinished(5000);
    for (QProcess& module : modules) stopProcess(module);
    startRolloutServer();
    startModule({"--object", "2002", "--modules", "8", "--reconnect", "--reconnect-after", "1"});
    pause(3000);
    EXPECT_EQ(rollout().wave, 1);
    EXPECT_EQ(rollout().state, "running");
    EXPECT_EQ(jobOf("2002").id, 0);

    ASSERT_EQ(fleet({"rollout", "pause", "1"}).out, "rollout 1 'apn' paused: 1 queued jobs held\n");
    startModule({"--object", "2001", "--reconnect", "--reconnect-after", "1"});
    pause(3000);
    EXPECT_EQ(jobOf("2001").state, fleet::JobState::Held);
    EXPECT_EQ(fleet({"jobs", "--state", "held", "--json"}).out.count("\"object\": \"2001\""), 1);
    ASSERT_EQ(overApi({"rollout", "resume", "1"}).exitCode, 0);
    waitFor("finished");
    EXPECT_EQ(jobOf("2001").result, "verified");
    EXPECT_EQ(jobOf("2009").result, "verified");
}

TEST_F(Kv6dRollouts, ADynamicRolloutWritesAModuleTaggedWhileItRuns) {
    prepare(2000, 1);
    {
        fleet::SqlFleetStore store(db());
        std::string error;
        ASSERT_TRUE(store.open(error)) << error;
        ASSERT_TRUE(store.recordPassword("2001", 0));
    }
    startRolloutServer();
    createAndApprove({"--waves", "100%", "--max-failed", "0", "--dynamic"});
    ASSERT_EQ(fleet({"rollout", "start", "1"}).exitCode, 0);
    startModule({"--object", "2000", "--modules", "2", "--reconnect", "--reconnect-after", "1"});
    EXPECT_EQ(waitForJob(jobOf("2000").id, ended).result, "verified");
    EXPECT_EQ(jobOf("2001").id, 0);
    const CtlResult tagged = overApi({"tag", "add", "north", "2001"});
    ASSERT_EQ(tagged.exitCode, 0) << tagged.err.toStdString();
    EXPECT_EQ(tagged.out, "tagged 'north': 1 of 1 modules changed\n");
    QElapsedTimer clock;
    clock.start();
    while (jobOf("2001").id == 0 && clock.elapsed() < 20000) pause(200);
    EXPECT_EQ(waitForJob(jobOf("2001").id, ended).result, "verified");
    EXPECT_EQ(rollout().state, "running");
    EXPECT_EQ(fleet({"modules", "--tag", "north", "--json"}).out.count("\"object\""), 2);
}

}  // namespace kv6::e2e
