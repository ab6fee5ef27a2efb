// A store that answers later: the runner waits, sending nothing to the module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_module.h"
#include "fleet/job_runner.h"
#include "recording_listener.h"

namespace kv6::fleet::test {

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

struct Wire final : remote::FrameSink {
    std::vector<std::vector<std::uint8_t>> pending;
    int sent = 0;  // frames that read or change the module; keep-alives (command 0) go on
    void sendBytes(int, std::span<const std::uint8_t> bytes) override {
        pending.emplace_back(bytes.begin(), bytes.end());
        if (bytes.size() == 129 && bytes[3] != 0) ++sent;
    }
};

class StoreAnswerTest : public ::testing::Test {
protected:
    StoreAnswerTest() { events.deferred = true; }

    void identify() {
        runner.onConnected(4000);
        runner.onData(bytesOf("#0000000000000SR 1001"));
        wire.pending.clear();
    }
    void pump() {
        for (int rounds = 0; rounds < 10000 && !wire.pending.empty(); ++rounds) {
            const auto frame = wire.pending.front();
            wire.pending.erase(wire.pending.begin());
            if (frame.size() != 129) continue;
            const auto reply = module.answer(frame);
            if (!reply.empty()) runner.onData(reply);
        }
    }
    static FleetJob job(JobKind kind) {
        FleetJob j;
        j.id = 7;
        j.object = "1001";
        j.kind = kind;
        j.password = 0;
        return j;
    }
    static FleetJob apnWrite() {
        FleetJob j = job(JobKind::Write);
        j.format = WriteFormat::SettingsJson;
        j.payload = bytesOf(R"({"object": {"apn": "fleet.apn"}})");
        return j;
    }
    // Ticks and frames while the store has not answered: none may be a frame of the job.
    void waitWithoutAnswer() {
        const int before = wire.sent;
        for (int tick = 0; tick < 30; ++tick) {
            runner.Timer4Timer();
            runner.Timer2Timer();
            runner.onData(bytesOf("#0000000000000SR 1001"));
        }
        EXPECT_EQ(wire.sent, before);
        EXPECT_TRUE(runner.storing());
        EXPECT_TRUE(events.outcomes.empty());
    }

    FakeModule module{0};
    RecordingListener events;
    Wire wire;
    JobRunner runner{3, wire, events, JobRunner::Options{}};
};

}  // namespace

TEST_F(StoreAnswerTest, AWriteGoesOutOnlyOnceItsBackupAndAuditLineAreKept) {
    identify();
    runner.start(apnWrite());
    pump();  // the whole read
    ASSERT_EQ(events.asked, std::vector<std::string>{"backup before job 7"});
    waitWithoutAnswer();
    EXPECT_EQ(module.writeFrames, 0);

    runner.storeAnswered(7, "");
    ASSERT_EQ(events.asked.size(), 2u);
    EXPECT_EQ(events.asked[1].rfind("audit ", 0), 0u) << events.asked[1];
    EXPECT_NE(events.asked[1].find("object.apn:  -> fleet.apn"), std::string::npos) << events.asked[1];
    waitWithoutAnswer();
    EXPECT_EQ(module.writeFrames, 0);

    runner.storeAnswered(7, "");
    pump();  // the write and the read that verifies it
    EXPECT_GT(module.writeFrames, 0);
    ASSERT_EQ(events.asked.size(), 3u);
    EXPECT_EQ(events.asked[2], "backup after job 7");
    EXPECT_TRUE(events.outcomes.empty());  // not done before the backup after it is kept
    runner.storeAnswered(7, "");
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::Done);
    EXPECT_EQ(events.outcomes[0].result, "verified");
    EXPECT_TRUE(runner.idle());
}

TEST_F(StoreAnswerTest, AFailedAnswerEndsTheAttemptAndNothingMoreIsSent) {
    identify();
    FleetJob reset = job(JobKind::Reset);
    reset.force = true;
    runner.start(reset);
    pump();
    runner.storeAnswered(7, "");  // the backup kept
    const int before = wire.sent;
    runner.storeAnswered(7, "the store is busy");  // the audit line not
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::StoreFailed);
    EXPECT_EQ(events.outcomes[0].result, "the store could not keep the audit line: the store is busy; nothing sent");
    for (int tick = 0; tick < 20; ++tick) runner.Timer4Timer();
    pump();
    EXPECT_EQ(wire.sent, before);
    EXPECT_EQ(module.resetFrames, 0);
    EXPECT_TRUE(runner.idle());

    // A read job is not done while its backup is not kept.
    runner.start(job(JobKind::Read));
    pump();
    runner.storeAnswered(7, "database is locked");
    EXPECT_EQ(events.outcomes.back().end, JobEnd::StoreFailed);
    EXPECT_EQ(events.outcomes.back().result, "the store could not keep the backup: database is locked");
}

TEST_F(StoreAnswerTest, AnAnswerForAnotherJobOrAfterTheConnectionDroppedDoesNothing) {
    identify();
    runner.start(apnWrite());
    pump();
    runner.storeAnswered(8, "");  // another job's answer
    EXPECT_EQ(events.asked.size(), 1u);
    EXPECT_TRUE(runner.storing());

    runner.onDisconnected();
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::Interrupted);
    const int before = wire.sent;
    runner.storeAnswered(7, "");
    runner.storeAnswered(7, "database is locked");
    EXPECT_EQ(wire.sent, before);
    EXPECT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.asked.size(), 1u);
}

}  // namespace kv6::fleet::test
