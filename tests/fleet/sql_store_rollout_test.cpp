// Rollouts as the store keeps them: approval, waves queued one after the
// other, the halt that holds what is queued, pause, retry, dynamic targets,
// and servers sharing the store that never start a wave twice.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>
#include <set>

#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

const char* const kMismatch = "the module's read password differs from the one recorded for object ";

class StoreRolloutTest : public ::testing::Test {
protected:
    StoreRolloutTest() {
        kv6::test::coreApp();
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
    }

    static std::string objectNumber(int i) { return std::to_string(1000 + i); }

    // `count` objects 1000.., tagged `tag`.
    void tagObjects(int count, const std::string& tag = "north", int first = 0) {
        std::vector<std::string> objects;
        for (int i = first; i < first + count; ++i) objects.push_back(objectNumber(i));
        ASSERT_EQ(store.changeTags(tag, objects, true), count);
    }

    std::int64_t create(const std::string& waves, const std::string& maxFailed, bool dynamic = false,
                        const std::string& target = "tag:north") {
        NewRollout r;
        r.name = "apn";
        r.format = WriteFormat::SettingsJson;
        const std::string doc = R"({"gsm": {"apn": "internet.new"}})";
        r.payload.assign(doc.begin(), doc.end());
        r.target = target;
        r.waves = waves;
        r.maxFailed = maxFailed;
        r.dynamic = dynamic;
        r.by = "alice";
        const RolloutOutcome created = store.createRollout(r);
        EXPECT_TRUE(created.done()) << created.message;
        return created.id;
    }

    // Created, approved by another person and started.
    std::int64_t started(const std::string& waves, const std::string& maxFailed, bool dynamic = false) {
        const std::int64_t id = create(waves, maxFailed, dynamic);
        EXPECT_TRUE(store.stepRollout(id, RolloutStep::Approve, "bob").done());
        EXPECT_TRUE(store.stepRollout(id, RolloutStep::Start, "bob").done());
        return id;
    }

    // The module calls: its next job runs and ends as `fails` says.
    bool runFor(const std::string& object, bool fails = false) {
        const auto job = store.claimNextJob(object);
        if (!job) return false;
        EXPECT_EQ(job->kind, JobKind::Write);
        EXPECT_EQ(std::string(job->payload.begin(), job->payload.end()), R"({"gsm": {"apn": "internet.new"}})");
        EXPECT_TRUE(store.finishJob(job->id, fails ? JobState::Failed : JobState::Done,
                                    fails ? kMismatch + object : "verified"));
        return true;
    }

    // Every module of the range calls once; those in `failing` fail. How many ran a job.
    int runAll(int count, const std::set<int>& failing = {}) {
        int ran = 0;
        for (int i = 0; i < count; ++i) ran += runFor(objectNumber(i), failing.count(i) > 0) ? 1 : 0;
        return ran;
    }

    RolloutRecord record(std::int64_t id) {
        const auto found = store.rollouts(id);
        EXPECT_TRUE(found && found->size() == 1);
        return found && !found->empty() ? found->front() : RolloutRecord{};
    }

    std::vector<std::string> advance(SqlFleetStore& on) {
        const auto events = on.advanceRollouts();
        EXPECT_TRUE(events) << on.lastError();
        std::vector<std::string> texts;
        for (const RolloutEvent& e : events.value_or(std::vector<RolloutEvent>{})) texts.push_back(e.what);
        return texts;
    }

    long long jobsIn(JobState state) { return static_cast<long long>(store.jobs(std::nullopt, state).size()); }

    QTemporaryDir dir;
    SqlFleetStore store{dir.filePath(QStringLiteral("fleet.sqlite")), QStringLiteral("kv6d@a")};
};

}  // namespace

TEST_F(StoreRolloutTest, TagsFilterTheModuleListAndAModuleMayCarryMany) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(store.moduleSeen(objectNumber(i), "198.51.100.1", "KV6"));
    tagObjects(2, "north");
    tagObjects(1, "pilot", 1);
    // Adding again changes nothing; an object never seen may be tagged before it calls.
    EXPECT_EQ(store.changeTags("north", {"1000", "1001", "1777"}, true), 1);
    EXPECT_EQ(store.tagsOf("1001"), (std::vector<std::string>{"north", "pilot"}));
    ModuleQuery query;
    query.tag = "north";
    const auto north = store.modulesPage(query);
    ASSERT_TRUE(north);
    ASSERT_EQ(north->size(), 2u);
    EXPECT_EQ(north->at(1).object, "1001");
    EXPECT_EQ(store.changeTags("north", {"1001"}, false), 1);
    EXPECT_EQ(store.tagsOf("1001"), (std::vector<std::string>{"pilot"}));
}

TEST_F(StoreRolloutTest, ARolloutAwaitsAnotherPersonsApprovalBeforeAnythingIsQueued) {
    tagObjects(10);
    const std::int64_t id = create("10%,100%", "0");
    EXPECT_EQ(record(id).state, "awaiting approval");
    EXPECT_EQ(record(id).modules, 10);
    EXPECT_EQ(record(id).waveCount, 2);
    const RolloutOutcome early = store.stepRollout(id, RolloutStep::Start, "alice");
    EXPECT_EQ(early.status, RolloutOutcome::Status::Conflict);
    EXPECT_EQ(early.message, "rollout 1 'apn' is awaiting approval: it needs another person's approval first");
    const RolloutOutcome own = store.stepRollout(id, RolloutStep::Approve, "alice");
    EXPECT_EQ(own.status, RolloutOutcome::Status::Forbidden);
    EXPECT_EQ(own.message, "rollout 1 'apn' was created by alice: another person must approve it");
    EXPECT_EQ(jobsIn(JobState::Queued), 0);
    EXPECT_TRUE(store.stepRollout(id, RolloutStep::Approve, "bob").done());
    EXPECT_EQ(store.stepRollout(id, RolloutStep::Approve, "carol").status, RolloutOutcome::Status::Conflict);
    EXPECT_TRUE(store.stepRollout(id, RolloutStep::Start, "alice").done());
    // Wave 1 only: one module.
    EXPECT_EQ(jobsIn(JobState::Queued), 1);
    EXPECT_EQ(store.stepRollout(99, RolloutStep::Start, "bob").status, RolloutOutcome::Status::NotFound);

    // Every step is in the audit with who took it.
    std::vector<std::string> steps;
    for (const AuditRecord& line : store.audit(std::string("*"))) steps.push_back(line.by + ": " + line.difference);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0], "alice: rollout 1 'apn': created for tag:north (10 modules, waves 10%,100%, max-failed 0)");
    EXPECT_EQ(steps[1], "bob: rollout 1 'apn': approved");
    EXPECT_EQ(steps[2], "alice: rollout 1 'apn': started: wave 1 of 2 queued (1 modules)");
}

TEST_F(StoreRolloutTest, TheNextWaveStartsOnlyOnceTheLastEndedWithinItsLimit) {
    tagObjects(20);
    const std::int64_t id = started("10%,100%", "10%");
    EXPECT_TRUE(advance(store).empty());  // wave 1's jobs are still queued
    EXPECT_EQ(runAll(20), 2);
    EXPECT_EQ(advance(store), (std::vector<std::string>{"wave 2 of 2 started (18 modules)"}));
    EXPECT_EQ(record(id).wave, 2);
    EXPECT_TRUE(advance(store).empty());
    // One failure of 18 is within 10 %; the rollout finishes once all ended.
    EXPECT_EQ(runAll(20, {5}), 18);
    EXPECT_EQ(advance(store), (std::vector<std::string>{"finished"}));
    EXPECT_EQ(record(id).state, "finished");
    const auto waves = store.rolloutWaves(id);
    ASSERT_TRUE(waves);
    ASSERT_EQ(waves->size(), 2u);
    EXPECT_EQ(waves->at(0).verified, 2);
    EXPECT_EQ(waves->at(1).verified, 17);
    EXPECT_EQ(waves->at(1).failed, 1);
    EXPECT_EQ(waves->at(1).failures, (std::map<std::string, long long>{{"password mismatch", 1}}));
}

TEST_F(StoreRolloutTest, AWavePastItsLimitHaltsAtOnceHoldsItsQueuedJobsAndRetryFinishesIt) {
    tagObjects(100);
    const std::int64_t id = started("10%,100%", "5%");
    runAll(100);
    advance(store);  // wave 2: 90 modules
    // Seven of the first twenty fail: 7 of 90 is past 5 % while 70 jobs are still queued.
    std::set<int> failing;
    for (int i = 10; i < 17; ++i) failing.insert(i);
    for (int i = 10; i < 30; ++i) runFor(objectNumber(i), failing.count(i) > 0);
    const auto events = store.advanceRollouts();
    ASSERT_TRUE(events);
    ASSERT_EQ(events->size(), 1u);
    EXPECT_TRUE(events->front().halted);
    EXPECT_EQ(events->front().what,
              "halted: wave 2 of 2: 7 of 90 modules failed, more than 5%; 70 queued jobs held");
    EXPECT_EQ(record(id).state, "halted");
    EXPECT_EQ(record(id).halts, 1);
    // Held jobs go to no module, and nothing more is queued.
    EXPECT_EQ(runAll(100), 0);
    EXPECT_EQ(jobsIn(JobState::Held), 70);
    EXPECT_TRUE(store.objectsWithQueuedJobs().empty());
    EXPECT_TRUE(advance(store).empty());
    EXPECT_EQ(store.stepRollout(id, RolloutStep::Resume, "bob").message,
              "rollout 1 'apn' is halted: retry-failed or cancel it");

    // The passwords recorded again, the failed modules are retried with the held ones.
    const RolloutOutcome retried = store.stepRollout(id, RolloutStep::RetryFailed, "bob");
    ASSERT_TRUE(retried.done()) << retried.message;
    EXPECT_EQ(retried.message, "rollout 1 'apn' retrying 7 failed modules, 70 held jobs queued again");
    EXPECT_EQ(record(id).state, "running");
    EXPECT_EQ(runAll(100), 77);
    EXPECT_EQ(advance(store), (std::vector<std::string>{"finished"}));
    const auto waves = store.rolloutWaves(id);
    ASSERT_TRUE(waves);
    EXPECT_EQ(waves->at(1).verified, 90);
    EXPECT_EQ(waves->at(1).failed, 0);
}

TEST_F(StoreRolloutTest, PauseHoldsWhatIsNotRunningAndResumeSendsItInQueueOrder) {
    tagObjects(4);
    const std::int64_t id = started("100%", "0");
    const auto running = store.claimNextJob("1000");
    ASSERT_TRUE(running);
    // A single job queued for a module after the rollout's runs after it.
    NewJob single;
    single.object = "1001";
    single.kind = JobKind::Read;
    const std::int64_t read = store.queueJob(single);
    ASSERT_TRUE(store.stepRollout(id, RolloutStep::Pause, "bob").done());
    EXPECT_EQ(jobsIn(JobState::Held), 3);
    // The job already running finishes; the held ones go nowhere, the single read does.
    EXPECT_TRUE(store.finishJob(running->id, JobState::Done, "verified"));
    const auto next = store.claimNextJob("1001");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->id, read);
    EXPECT_TRUE(store.finishJob(next->id, JobState::Done, "read"));
    EXPECT_FALSE(store.claimNextJob("1002"));
    EXPECT_TRUE(advance(store).empty());
    EXPECT_EQ(store.stepRollout(id, RolloutStep::Pause, "bob").status, RolloutOutcome::Status::Conflict);
    ASSERT_TRUE(store.stepRollout(id, RolloutStep::Resume, "bob").done());
    EXPECT_EQ(runAll(4), 3);
    EXPECT_EQ(advance(store), (std::vector<std::string>{"finished"}));
}

TEST_F(StoreRolloutTest, AJobCutShortWhileItsRolloutIsPausedGoesBackHeldNotQueued) {
    tagObjects(2);
    const std::int64_t id = started("100%", "0");
    const auto running = store.claimNextJob("1000");
    ASSERT_TRUE(running);
    ASSERT_TRUE(store.stepRollout(id, RolloutStep::Pause, "bob").done());
    // The server stops mid-job (kill -9, then a start): the job must not run while paused.
    EXPECT_EQ(store.recoverLeases(), 1);
    EXPECT_EQ(jobsIn(JobState::Held), 2);
    EXPECT_FALSE(store.claimNextJob("1000"));
    // An interrupted attempt of a cancelled rollout is not sent again either.
    ASSERT_TRUE(store.stepRollout(id, RolloutStep::Resume, "bob").done());
    const auto again = store.claimNextJob("1000");
    ASSERT_TRUE(again);
    ASSERT_TRUE(store.stepRollout(id, RolloutStep::Cancel, "bob").done());
    ASSERT_TRUE(store.requeueJob(again->id, "the connection dropped", 5, FleetStore::Attempt::Counted));
    EXPECT_EQ(jobsIn(JobState::Cancelled), 2);
    EXPECT_FALSE(store.claimNextJob("1000"));
}

TEST_F(StoreRolloutTest, TwoServersOnOneStoreStartEachWaveOnce) {
    tagObjects(10);
    SqlFleetStore other(dir.filePath(QStringLiteral("fleet.sqlite")), QStringLiteral("kv6d@b"));
    std::string error;
    ASSERT_TRUE(other.open(error)) << error;
    const std::int64_t id = started("10%,50%,100%", "0");
    runAll(10);
    // Both look while wave 1 has ended: one of them starts wave 2, the other sees it started.
    const auto first = advance(store);
    const auto second = advance(other);
    EXPECT_EQ(first, (std::vector<std::string>{"wave 2 of 3 started (4 modules)"}));
    EXPECT_TRUE(second.empty());
    EXPECT_EQ(record(id).wave, 2);
    EXPECT_EQ(jobsIn(JobState::Queued), 4);
    // Reopened (a server killed and started again): the same wave, its jobs still queued.
    SqlFleetStore reopened(dir.filePath(QStringLiteral("fleet.sqlite")), QStringLiteral("kv6d@c"));
    ASSERT_TRUE(reopened.open(error)) << error;
    EXPECT_TRUE(advance(reopened).empty());
    EXPECT_EQ(record(id).wave, 2);
}

TEST_F(StoreRolloutTest, ADynamicRolloutTakesModulesTaggedLaterIntoItsLastWave) {
    tagObjects(2);
    const std::int64_t id = started("50%,100%", "0", true);
    runAll(2);
    EXPECT_EQ(advance(store), (std::vector<std::string>{"wave 2 of 2 started (1 modules)"}));
    runAll(2);
    // All waves ended: a dynamic rollout stays to take what is tagged later.
    EXPECT_TRUE(advance(store).empty());
    EXPECT_EQ(record(id).state, "running");
    ASSERT_EQ(store.changeTags("north", {"1500"}, true), 1);
    EXPECT_EQ(advance(store), (std::vector<std::string>{"1 newly tagged modules joined wave 2"}));
    EXPECT_TRUE(runFor("1500"));
    EXPECT_EQ(record(id).modules, 3);
    ASSERT_TRUE(store.stepRollout(id, RolloutStep::Cancel, "bob").done());
    EXPECT_EQ(record(id).state, "cancelled");
}

TEST_F(StoreRolloutTest, AModuleIsInOneUnfinishedRolloutAtATimeAndCancelSendsNothingMore) {
    tagObjects(5);
    const std::int64_t first = started("100%", "0");
    NewRollout again;
    again.name = "sms";
    again.format = WriteFormat::SettingsJson;
    again.payload = {'{', '}'};
    again.target = "tag:north";
    again.waves = "100%";
    again.maxFailed = "0";
    again.by = "alice";
    const RolloutOutcome refused = store.createRollout(again);
    EXPECT_EQ(refused.status, RolloutOutcome::Status::Conflict);
    EXPECT_EQ(refused.message, "5 of the modules are in rollout 1, which has not ended: nothing created");
    const RolloutOutcome cancelled = store.stepRollout(first, RolloutStep::Cancel, "bob");
    EXPECT_EQ(cancelled.message, "rollout 1 'apn' cancelled: 5 jobs not sent");
    EXPECT_EQ(runAll(5), 0);
    EXPECT_EQ(store.jobs(std::string("1000"), JobState::Cancelled).front().cancelledBy, "bob");
    EXPECT_TRUE(store.createRollout(again).done());

    again.waves = "1,2";
    EXPECT_EQ(store.createRollout(again).message, "waves: the last wave must take all 5 modules, not 2");
    again.target = "tag:nobody";
    again.waves = "100%";
    EXPECT_EQ(store.createRollout(again).message, "the target holds no module");
    again.target = "everything";
    EXPECT_EQ(store.createRollout(again).status, RolloutOutcome::Status::Invalid);
}

}  // namespace kv6::fleet::test
