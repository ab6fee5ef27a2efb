// What a connection's object number is worth to the runner: taken from the
// module's identification text alone, proved by the read password.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_module.h"
#include "fleet/job_runner.h"
#include "recording_listener.h"

namespace kv6::fleet::test {

namespace {

std::vector<std::uint8_t> textBytes(const std::string& text) { return {text.begin(), text.end()}; }

using ClaimEvents = RecordingListener;

// The runner's frames go to the fake module and its answers back; every
// frame sent is kept.
class ClaimTest : public ::testing::Test {
protected:
    struct Wire final : remote::FrameSink {
        std::vector<std::vector<std::uint8_t>> pending;
        std::vector<std::vector<std::uint8_t>> frames;
        void sendBytes(int, std::span<const std::uint8_t> bytes) override {
            pending.emplace_back(bytes.begin(), bytes.end());
            if (bytes.size() == 129) frames.emplace_back(bytes.begin(), bytes.end());
        }
    };

    explicit ClaimTest(std::uint16_t modulePassword = 0) : module(modulePassword) {}

    void connect(const std::string& identification) {
        runner.onConnected(4000);
        wire.pending.clear();
        runner.onData(textBytes(identification));
        pump();
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
    static FleetJob job(JobKind kind, const std::string& object, std::optional<std::uint16_t> password) {
        FleetJob j;
        j.id = 9;
        j.object = object;
        j.kind = kind;
        j.password = password;
        return j;
    }

    FakeModule module;
    ClaimEvents events;
    Wire wire;
    JobRunner runner{3, wire, events, JobRunner::Options{}};
};

class ForeignModuleClaimTest : public ClaimTest {
protected:
    ForeignModuleClaimTest() : ClaimTest(4321) {}
};

}  // namespace

TEST_F(ClaimTest, AnIdentificationCutByTcpIsTakenWhole) {
    runner.onConnected(4000);
    runner.onData(textBytes("#0000000000000SR 10"));
    EXPECT_TRUE(events.identified.empty());
    runner.onData(textBytes("01"));
    EXPECT_EQ(events.identified, std::vector<std::string>{"1001"});
    EXPECT_EQ(events.texts, std::vector<std::string>{"#0000000000000SR 1001"});

    // One cut short and never finished is taken after it stopped coming.
    JobRunner other{4, wire, events, JobRunner::Options{}};
    other.onConnected(4001);
    other.onData(textBytes("ADM#AB77"));
    other.Timer4Timer();
    EXPECT_EQ(events.identified.size(), 1u);
    other.Timer4Timer();
    EXPECT_EQ(events.identified.back(), "77");
}

TEST_F(ClaimTest, ReplyDataHoldingSrNeverRenameTheConnection) {
    // 5352 packs to 'S', 'R': every reply frame starts "~SR".
    connect("#0000000000000SR 5352");
    const std::string text = "SR  0000000000000 9999";
    std::copy(text.begin(), text.end(), module.memory.begin() + 128);
    runner.start(job(JobKind::Read, "5352", 0));
    pump();
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].result, "read, backup kept");
    EXPECT_TRUE(events.closes.empty());
    ASSERT_EQ(wire.frames.size(), 15u);
    for (const auto& frame : wire.frames) {
        EXPECT_EQ(frame[1], 0x53);
        EXPECT_EQ(frame[2], 0x52);
    }
}

TEST_F(ClaimTest, AReadWithNoRecordedPasswordKeepsABackupMarkedNotProven) {
    connect("#0000000000000SR 1001");
    runner.start(job(JobKind::Read, "1001", std::nullopt));
    pump();
    EXPECT_EQ(events.sources, std::vector<std::string>{"read job 9, password not proven"});
    EXPECT_TRUE(events.proved.empty());
    runner.start(job(JobKind::Read, "1001", 0));
    pump();
    EXPECT_EQ(events.sources.back(), "read job 9");
    EXPECT_EQ(events.proved, std::vector<std::string>{"1001"});
}

TEST_F(ClaimTest, AProofReadsTheOneBlockThatHoldsThePassword) {
    connect("#0000000000000SR 1001");
    runner.prove(0);
    pump();
    EXPECT_EQ(events.proofs, std::vector<Proof>{Proof::Proved});
    ASSERT_EQ(wire.frames.size(), 1u);
    EXPECT_EQ(wire.frames[0][3], 'R');
    EXPECT_EQ(wire.frames[0][4] << 8 | wire.frames[0][5], 128);
    EXPECT_TRUE(runner.idle());

    // A module that never answers fails its proof after its time.
    runner.prove(0);
    wire.pending.clear();
    for (int tick = 0; tick < JobRunner::kProofTicks; ++tick) runner.Timer4Timer();
    EXPECT_EQ(events.proofs.back(), Proof::NoAnswer);
    EXPECT_TRUE(runner.idle());
}

TEST_F(ForeignModuleClaimTest, AModuleHoldingAnotherPasswordFailsItsProof) {
    connect("#0000000000000SR 1001");
    runner.prove(0);
    pump();
    EXPECT_EQ(events.proofs, std::vector<Proof>{Proof::Mismatch});
    EXPECT_TRUE(events.proved.empty());
    EXPECT_TRUE(runner.idle());
}

}  // namespace kv6::fleet::test
