#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_module.h"
#include "fleet/job_runner.h"
#include "fleet/lease_fence.h"
#include "recording_listener.h"

namespace kv6::fleet::test {

namespace {

constexpr std::int64_t kLeaseMs = 3000;

using Outcomes = RecordingListener;

struct Wire final : remote::FrameSink {
    std::vector<std::vector<std::uint8_t>> pending;
    void sendBytes(int, std::span<const std::uint8_t> bytes) override {
        pending.emplace_back(bytes.begin(), bytes.end());
    }
};

// A runner on a server whose heartbeat was kept at 0 ms, with a clock the test moves.
class FencedRunnerTest : public ::testing::Test {
protected:
    explicit FencedRunnerTest(link::Pacing pacing = link::Pacing::Reactive) : runner{3, wire, events, fenced(pacing)} {
        fence.renewed(0, 20);
        runner.onConnected(4000);
        wire.pending.clear();  // the greeting
        const std::string text = "#0000000000000SR 1001";
        runner.onData(std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    JobRunner::Options fenced(link::Pacing pacing) {
        JobRunner::Options o;
        o.pacing = pacing;
        o.fence = &fence;
        o.monotonicMs = [this] { return now; };
        return o;
    }
    static FleetJob job(JobKind kind) {
        FleetJob j;
        j.id = 9;
        j.object = "1001";
        j.kind = kind;
        j.password = 0;
        j.newPassword = 77;
        if (kind == JobKind::Write) {
            const std::string settings = R"({"object": {"apn": "fleet.apn"}})";
            j.format = WriteFormat::SettingsJson;
            j.payload.assign(settings.begin(), settings.end());
        }
        return j;
    }
    // Hands frames to the module and its answers back until nothing moves.
    // Once the module has been handed `lapseBefore` frames of `command`, the
    // server stalls past its lease: the next one is the lapse's (it left
    // while the lease held); every frame after it is counted in `late`.
    void pump() {
        while (!wire.pending.empty()) {
            auto frame = wire.pending.front();
            if (frame.size() == 129 && frame[3] == lapseCommand && !lapsed && ++seen == lapseBefore) {
                now += kLeaseMs;
                lapsed = true;
                late -= static_cast<int>(wire.pending.size());  // those already out left before the lapse
            }
            wire.pending.erase(wire.pending.begin());
            if (lapsed) ++late;
            if (frame.size() != 129) continue;
            commands += static_cast<char>(frame[3] == 0 ? '.' : frame[3]);
            const auto reply = module.answer(frame);
            if (!reply.empty()) runner.onData(reply);
        }
    }
    // The server's timers, as many ticks as asked, the frames handed on each.
    void tick(int rounds) {
        for (int i = 0; i < rounds; ++i) {
            runner.Timer2Timer();
            if (i % 3 == 0) runner.Timer4Timer();
            pump();
        }
    }
    void lapseAt(char command, int count) {
        lapseCommand = static_cast<std::uint8_t>(command);
        lapseBefore = count;
    }
    [[nodiscard]] std::string commandsAfter(char command) const {
        const auto last = commands.rfind(command);
        return last == std::string::npos ? std::string() : commands.substr(last + 1);
    }

    LeaseFence fence{kLeaseMs};
    std::int64_t now = 100;
    FakeModule module{0};
    Outcomes events;
    Wire wire;
    JobRunner runner;
    std::string commands;  // the command of every frame handed to the module, in order ('.': keep-alive)
    std::uint8_t lapseCommand = 0;
    int lapseBefore = 0;
    int seen = 0;
    bool lapsed = false;
    int late = 0;  // frames the runner sent after the lapse
};

class FencedModulePacedRunnerTest : public FencedRunnerTest {
protected:
    FencedModulePacedRunnerTest() : FencedRunnerTest(link::Pacing::Module) {}
};

}  // namespace

TEST(LeaseFence, HoldsForALeaseFromTheStartOfTheLastKeptHeartbeatAndSaysHowTheStoreFares) {
    LeaseFence fence(kLeaseMs);
    EXPECT_FALSE(fence.holds(0));  // no heartbeat kept yet
    EXPECT_EQ(fence.health(0), LeaseFence::Health::Lapsed);

    // Counted from the heartbeat's start: the database stamped the lease
    // somewhere between its start and its end.
    fence.renewed(1000, 1400);
    EXPECT_TRUE(fence.holds(1000 + kLeaseMs - 1));
    EXPECT_FALSE(fence.holds(1000 + kLeaseMs));
    EXPECT_FALSE(fence.holds(1400 + kLeaseMs - 1));
    EXPECT_EQ(fence.health(1500), LeaseFence::Health::Up);
    EXPECT_EQ(fence.health(1000 + 2000), LeaseFence::Health::Slow);  // two heartbeats late
    EXPECT_EQ(fence.health(1000 + kLeaseMs), LeaseFence::Health::Lapsed);

    // One that took a second or more is slow, though on time.
    fence.renewed(5000, 6200);
    EXPECT_EQ(fence.health(6300), LeaseFence::Health::Slow);
    EXPECT_EQ(fence.lastHeartbeatMs(), 1200);
    // A late answer to an older heartbeat does not move the lease back.
    fence.renewed(4000, 6400);
    EXPECT_TRUE(fence.holds(5000 + kLeaseMs - 1));
    EXPECT_EQ(fence.ageMs(6400), 1400);

    // A server that lost its store holds nothing until it keeps a heartbeat again.
    fence.forget();
    EXPECT_FALSE(fence.holds(6400));
}

TEST_F(FencedRunnerTest, AWriteStopsAtTheFirstFrameAfterTheLeaseLapsedAndAsksForTheClose) {
    lapseAt('W', 3);
    runner.start(job(JobKind::Write));
    pump();
    tick(10);
    EXPECT_EQ(module.writeFrames, 3);
    EXPECT_EQ(late, 0) << commands;
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::LeaseLost);
    EXPECT_EQ(events.outcomes[0].result,
              "no heartbeat kept for 3 s, the lease may be another server's: nothing more sent");
    EXPECT_EQ(events.closes, std::vector<std::string>{"the lease of its job lapsed"});
    EXPECT_FALSE(runner.busy());
}

TEST_F(FencedRunnerTest, AWriteWhoseLastFrameLeftBeforeTheLapseIsNotVerified) {
    lapseAt('W', 20);  // this write's last frame
    runner.start(job(JobKind::Write));
    pump();
    EXPECT_EQ(module.writeFrames, 20);
    EXPECT_EQ(commandsAfter('W'), "");  // no read of the verification
    EXPECT_EQ(events.sources, std::vector<std::string>{"before job 9"});
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::LeaseLost);
}

TEST_F(FencedRunnerTest, ANewPasswordIsNotSentOnceTheLeaseLapsedDuringItsRead) {
    lapseAt('R', 5);
    runner.start(job(JobKind::Password));
    pump();
    // The read goes to its end (it changes nothing); then nothing more.
    EXPECT_EQ(commands.find_first_not_of('R'), std::string::npos) << commands;
    EXPECT_EQ(module.passwordFrames, 0);
    EXPECT_EQ(module.memory[245], 0);
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::LeaseLost);
}

TEST_F(FencedRunnerTest, AResetIsNotSentOnceTheLeaseLapsedDuringItsRead) {
    lapseAt('R', 15);  // the read's last block
    FleetJob reset = job(JobKind::Reset);
    reset.force = true;
    runner.start(reset);
    pump();
    EXPECT_EQ(late, 0);
    EXPECT_EQ(module.resetFrames, 0);
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::LeaseLost);
}

TEST_F(FencedModulePacedRunnerTest, ARunnerWhoseHeartbeatsAreKeptWritesAndVerifiesHoweverLongTheJobTakes) {
    runner.start(job(JobKind::Write));
    // A second of the clock per tick, a heartbeat kept every other one.
    for (int i = 0; i < 2000 && runner.busy(); ++i) {
        now += 1000;
        if (i % 2 == 0) fence.renewed(now, now + 50);
        tick(1);
    }
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].result, "verified");
    EXPECT_EQ(module.writeFrames, 20);
    EXPECT_TRUE(events.closes.empty());
}

TEST_F(FencedModulePacedRunnerTest, TheTimersSendNothingMoreOnceTheLeaseLapsed) {
    lapseAt('W', 2);
    runner.start(job(JobKind::Write));
    tick(400);
    EXPECT_EQ(module.writeFrames, 2) << commands;
    EXPECT_EQ(late, 0) << commands;
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::LeaseLost);
}

}  // namespace kv6::fleet::test
