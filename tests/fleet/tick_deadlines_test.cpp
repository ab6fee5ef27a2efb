#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fake_module.h"
#include "fleet/job_runner.h"
#include "fleet/tick_deadlines.h"
#include "recording_listener.h"

namespace kv6::fleet::test {

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// One module connection as a server drives it. Swept: every connection
// ticked every second. Scheduled: through TickDeadlines, visited only when
// its runner says a tick matters, as FleetServer does.
struct Side final : remote::FrameSink {
    struct Sent {
        std::int64_t tick;
        Bytes bytes;
        bool operator==(const Sent&) const = default;
    };

    explicit Side(const JobRunner::Options& options) : runner(1, *this, events, options) {}
    void sendBytes(int, std::span<const std::uint8_t> bytes) override {
        sent.push_back({tick, Bytes(bytes.begin(), bytes.end())});
        pending.emplace_back(bytes.begin(), bytes.end());
    }

    FakeModule module{0};
    RecordingListener events;
    std::int64_t tick = 0;
    std::vector<Sent> sent;
    std::vector<Bytes> pending;  // frames the module has not seen yet
    int visits = 0;              // Timer4 ticks run
    JobRunner runner;
};

class TickDrivingTest : public ::testing::Test {
protected:
    void SetUp() override { build({}); }
    void build(const JobRunner::Options& options) {
        swept = std::make_unique<Side>(options);
        scheduled = std::make_unique<Side>(options);
        deadlines = TickDeadlines();
        deadlines.add(1, 0);
    }

    // An event at the current tick, handed to both runners; the scheduled
    // one is brought up to the tick first and scheduled again after.
    void event(const std::function<void(JobRunner&)>& what) {
        what(swept->runner);
        scheduled->runner.skipQuietTicks(deadlines.catchUp(1, now));
        what(scheduled->runner);
        deadlines.schedule(1, scheduled->runner.ticksUntilDue());
        answer();
    }
    void connect() { event([](JobRunner& r) { r.onConnected(4000); }); }
    void text(const std::string& line) { event([line](JobRunner& r) { r.onData(bytesOf(line)); }); }
    void identify() { text("#0000000000000SR 1001"); }

    // The ticks up to `last`, with Timer2 three times between ticks while a job runs.
    void runTo(std::int64_t last) {
        while (now < last) {
            ++now;
            swept->tick = scheduled->tick = now;
            swept->runner.Timer4Timer();
            ++swept->visits;
            for (const TickDeadlines::Due& due : deadlines.advance(now)) {
                scheduled->runner.skipQuietTicks(due.quiet);
                scheduled->runner.Timer4Timer();
                ++scheduled->visits;
                deadlines.schedule(due.id, scheduled->runner.ticksUntilDue());
            }
            answer();
            for (int i = 0; i < 3; ++i) {
                for (Side* side : {swept.get(), scheduled.get()})
                    if (side->runner.busy()) side->runner.Timer2Timer();
                answer();
            }
        }
    }

    // The modules answer what they were sent, if `answers` lets them.
    void answer() {
        for (Side* side : {swept.get(), scheduled.get()}) {
            for (int round = 0; round < 1000 && !side->pending.empty(); ++round) {
                const Bytes frame = side->pending.front();
                side->pending.erase(side->pending.begin());
                if (frame.size() != 129 || !answers(frame[3])) continue;
                const Bytes reply = side->module.answer(frame);
                if (reply.empty()) continue;
                if (side == scheduled.get()) {
                    side->runner.skipQuietTicks(deadlines.catchUp(1, now));
                    side->runner.onData(reply);
                    deadlines.schedule(1, side->runner.ticksUntilDue());
                } else {
                    side->runner.onData(reply);
                }
            }
        }
    }

    FleetJob job(JobKind kind) const {
        FleetJob j;
        j.id = 7;
        j.object = "1001";
        j.kind = kind;
        j.password = 0;
        j.newPassword = 9;
        if (kind == JobKind::Write) {
            j.format = WriteFormat::SettingsJson;
            j.payload = bytesOf(R"({"object": {"apn": "fleet.apn"}})");
        }
        return j;
    }

    // Both drivings sent the same frames at the same ticks and told the same.
    void expectSame() const {
        EXPECT_EQ(swept->sent, scheduled->sent);
        EXPECT_EQ(swept->events.closes, scheduled->events.closes);
        EXPECT_EQ(swept->events.identified, scheduled->events.identified);
        EXPECT_EQ(swept->events.proofs, scheduled->events.proofs);
        ASSERT_EQ(swept->events.outcomes.size(), scheduled->events.outcomes.size());
        for (std::size_t i = 0; i < swept->events.outcomes.size(); ++i) {
            EXPECT_EQ(swept->events.outcomes[i].end, scheduled->events.outcomes[i].end);
            EXPECT_EQ(swept->events.outcomes[i].result, scheduled->events.outcomes[i].result);
        }
    }
    // The ticks at which keep-alives (command byte 0) went out.
    [[nodiscard]] std::vector<std::int64_t> keepAlives(const Side& side) const {
        std::vector<std::int64_t> ticks;
        for (const Side::Sent& s : side.sent)
            if (s.bytes.size() == 129 && s.bytes[3] == 0) ticks.push_back(s.tick);
        return ticks;
    }
    [[nodiscard]] std::vector<std::int64_t> requestsAt(const Side& side, std::uint8_t command) const {
        std::vector<std::int64_t> ticks;
        for (const Side::Sent& s : side.sent)
            if (s.bytes.size() == 129 && s.bytes[3] == command) ticks.push_back(s.tick);
        return ticks;
    }

    std::function<bool(std::uint8_t)> answers = [](std::uint8_t) { return true; };
    std::unique_ptr<Side> swept;
    std::unique_ptr<Side> scheduled;
    TickDeadlines deadlines;
    std::int64_t now = 0;
};

}  // namespace

TEST(TickDeadlines, GivesOnlyWhatIsDueAndCountsTheQuietTicksBetween) {
    TickDeadlines deadlines;
    deadlines.add(1, 10);
    deadlines.add(2, 10);
    deadlines.add(3, 12);
    deadlines.schedule(1, 5);                     // tick 15
    deadlines.schedule(2, 2);                     // tick 12
    deadlines.schedule(3, TickDeadlines::kNever);  // nothing due
    EXPECT_EQ(deadlines.earliest(), 12);
    EXPECT_TRUE(deadlines.advance(11).empty());

    const auto at12 = deadlines.advance(12);
    ASSERT_EQ(at12.size(), 1u);
    EXPECT_EQ(at12[0].id, 2);
    EXPECT_EQ(at12[0].quiet, 1);  // tick 11
    EXPECT_EQ(deadlines.earliest(), 15);

    // An event at tick 13 counts 11, 12, 13 for connection 1; it is still due at 15.
    EXPECT_EQ(deadlines.catchUp(1, 13), 3);
    EXPECT_EQ(deadlines.catchUp(1, 13), 0);
    // Never past its due tick, even when the wake for it is late.
    EXPECT_EQ(deadlines.catchUp(1, 20), 1);
    const auto late = deadlines.advance(20);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].id, 1);
    EXPECT_EQ(late[0].quiet, 0);
    // The ticks missed while held up are not run: the next one counts from tick 20.
    deadlines.schedule(1, 1);
    EXPECT_EQ(deadlines.earliest(), 21);

    deadlines.remove(1);
    EXPECT_EQ(deadlines.earliest(), -1);
    EXPECT_EQ(deadlines.size(), 2u);
    EXPECT_EQ(deadlines.catchUp(3, 40), 28);
    EXPECT_EQ(deadlines.catchUp(1, 40), 0);  // gone
}

TEST_F(TickDrivingTest, AnIdleConnectionIsVisitedOnlyForItsKeepAlives) {
    connect();
    identify();
    runTo(200);
    expectSame();
    EXPECT_EQ(keepAlives(*swept), (std::vector<std::int64_t>{31, 62, 93, 124, 155, 186}));
    EXPECT_EQ(swept->visits, 200);
    EXPECT_EQ(scheduled->visits, 6);

    // Frames sent for other reasons put the next keep-alive off on both.
    event([](JobRunner& r) { r.prove(0); });
    runTo(400);
    expectSame();
    EXPECT_EQ(keepAlives(*scheduled).size(), 12u);
    EXPECT_EQ(scheduled->visits, 12);
    EXPECT_EQ(scheduled->events.proofs, std::vector<Proof>{Proof::Proved});
}

TEST_F(TickDrivingTest, AConnectionThatNeverIdentifiesIsClosedAtItsTick) {
    connect();
    runTo(20);
    text("#00000000");  // a text cut short, taken once it stops coming
    runTo(100);
    expectSame();
    ASSERT_EQ(scheduled->events.closes, std::vector<std::string>{"no identification"});
    EXPECT_EQ(keepAlives(*scheduled), std::vector<std::int64_t>{31});
    // Visited for the keep-alive, the two ticks the text waits and the close.
    EXPECT_EQ(scheduled->visits, 4);
    // The close came at tick 60: nothing after it moved.
    EXPECT_TRUE(deadlines.advance(1000).empty());
}

TEST_F(TickDrivingTest, ATextCutByTcpAndFinishedByQuietIdentifies) {
    connect();
    runTo(3);
    text("ADM#AB77");
    runTo(10);
    expectSame();
    EXPECT_EQ(scheduled->events.identified, std::vector<std::string>{"77"});
}

TEST_F(TickDrivingTest, AReadNobodyAnswersRepeatsAndEndsAtItsWindow) {
    answers = [](std::uint8_t) { return false; };
    connect();
    identify();
    runTo(5);
    event([this](JobRunner& r) { r.start(job(JobKind::Read)); });
    runTo(5 + JobRunner::kReadTicks + 40);
    expectSame();
    ASSERT_EQ(scheduled->events.outcomes.size(), 1u);
    EXPECT_EQ(scheduled->events.outcomes[0].result, "the module did not answer the read");
    const auto reads = requestsAt(*swept, 'R');
    ASSERT_GE(reads.size(), 2u);
    EXPECT_EQ(reads[0], 5);
    EXPECT_EQ(reads[1], 5 + remote::RemoteSession::kReplyWaitTicks);
}

TEST_F(TickDrivingTest, AServiceCommandNobodyAnswersEndsAtItsWindow) {
    answers = [](std::uint8_t command) { return command == 'R'; };
    connect();
    identify();
    runTo(2);
    event([this](JobRunner& r) { r.start(job(JobKind::Password)); });
    runTo(60);
    expectSame();
    ASSERT_EQ(scheduled->events.outcomes.size(), 1u);
    EXPECT_EQ(scheduled->events.outcomes[0].result, "the module did not answer");
    EXPECT_EQ(requestsAt(*scheduled, 'P'), std::vector<std::int64_t>{2});
}

TEST_F(TickDrivingTest, WritesNobodyAcknowledgesEndTheJobAsBefore) {
    connect();
    identify();
    for (Side* side : {swept.get(), scheduled.get()}) side->module.acknowledgesWrites = false;
    runTo(3);
    event([this](JobRunner& r) { r.start(job(JobKind::Write)); });
    runTo(700);
    expectSame();
    ASSERT_EQ(scheduled->events.outcomes.size(), 1u);
    EXPECT_EQ(scheduled->events.outcomes[0].result, "the module did not acknowledge a write");
    EXPECT_GT(scheduled->module.writeFrames, 0);
}

TEST_F(TickDrivingTest, AWholeWriteAndAProofNobodyAnswersRunAsBefore) {
    connect();
    identify();
    runTo(40);
    event([this](JobRunner& r) { r.start(job(JobKind::Write)); });
    runTo(80);
    ASSERT_EQ(scheduled->events.outcomes.size(), 1u);
    EXPECT_EQ(scheduled->events.outcomes[0].result, "verified");

    answers = [](std::uint8_t) { return false; };
    event([](JobRunner& r) { r.prove(0); });
    runTo(200);
    expectSame();
    EXPECT_EQ(scheduled->events.proofs, std::vector<Proof>{Proof::NoAnswer});
    // Idle again after the proof: visited for keep-alives only.
    const int visits = scheduled->visits;
    const std::size_t sent = keepAlives(*scheduled).size();
    runTo(260);
    expectSame();
    EXPECT_GE(keepAlives(*scheduled).size(), sent + 1);
    EXPECT_EQ(static_cast<std::size_t>(scheduled->visits - visits), keepAlives(*scheduled).size() - sent);
}

}  // namespace kv6::fleet::test
