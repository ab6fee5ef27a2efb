#include <gtest/gtest.h>

#include <algorithm>

#include <random>
#include <utility>
#include <string>
#include <vector>

#include "fake_module.h"
#include "fleet/job_runner.h"
#include "recording_listener.h"

namespace kv6::fleet::test {

namespace {

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

using Events = RecordingListener;

// The wire between the runner and the fake module, run until it is quiet.
struct Wire final : remote::FrameSink {
    std::vector<std::vector<std::uint8_t>> pending;
    void sendBytes(int, std::span<const std::uint8_t> bytes) override { pending.emplace_back(bytes.begin(), bytes.end()); }
};

class JobRunnerTest : public ::testing::Test {
protected:
    explicit JobRunnerTest(std::uint16_t modulePassword = 0) : module(modulePassword) {}

    void connectAndIdentify() {
        runner.onConnected(4000);
        ASSERT_EQ(wire.pending.size(), 1u);  // the greeting
        ASSERT_EQ(wire.pending[0].size(), 24u);
        wire.pending.clear();
        runner.onData(bytesOf("#0000000000000SR 1001"));
        pump();
    }
    // Hands every frame to the module and every answer back, until nothing moves.
    void pump(bool answer = true) {
        for (int rounds = 0; rounds < 10000 && !wire.pending.empty(); ++rounds) {
            auto frame = wire.pending.front();
            wire.pending.erase(wire.pending.begin());
            if (frame.size() != 129 || !answer) continue;
            const auto reply = module.answer(frame);
            if (!reply.empty()) runner.onData(reply);
        }
    }
    FleetJob job(JobKind kind, std::optional<std::uint16_t> password = 0) {
        FleetJob j;
        j.id = 7;
        j.object = "1001";
        j.kind = kind;
        j.password = password;
        return j;
    }
    FleetJob apnWrite(const std::string& apn) {
        FleetJob j = job(JobKind::Write);
        j.format = WriteFormat::SettingsJson;
        j.payload = bytesOf(R"({"object": {"apn": ")" + apn + R"("}})");
        return j;
    }
    [[nodiscard]] std::string memoryText(int offset, int length) const {
        return {module.memory.begin() + offset, module.memory.begin() + offset + length};
    }
    FleetJob imageWrite(const std::array<std::uint8_t, 4096>& image, WriteOptions options = {}) {
        FleetJob j = job(JobKind::Write);
        j.format = WriteFormat::Prg;
        j.payload.assign(image.begin(), image.end());
        j.options = options;
        return j;
    }
    static std::array<std::uint8_t, 4096> noise(unsigned seed, std::uint16_t password) {
        std::mt19937 random(seed);
        std::array<std::uint8_t, 4096> image{};
        for (auto& b : image) b = static_cast<std::uint8_t>(random());
        image[244] = static_cast<std::uint8_t>(password >> 8);
        image[245] = static_cast<std::uint8_t>(password & 0xFF);
        return image;
    }
    [[nodiscard]] bool sameAs(const std::array<std::uint8_t, 4096>& image, int first, int last) const {
        return std::equal(image.begin() + first, image.begin() + last + 1, module.memory.begin() + first);
    }

    FakeModule module;
    Events events;
    Wire wire;
    JobRunner runner{3, wire, events, JobRunner::Options{}};
};

class JobRunnerForeignPasswordTest : public JobRunnerTest {
protected:
    JobRunnerForeignPasswordTest() : JobRunnerTest(4321) {}
};

}  // namespace

TEST_F(JobRunnerTest, IdentifiesOnceAndClosesAConnectionThatNeverDoes) {
    JobRunner::Options quick;
    quick.identifyTicks = 3;
    JobRunner silent{4, wire, events, quick};
    silent.onConnected(4001);
    silent.Timer4Timer();
    silent.Timer4Timer();
    EXPECT_TRUE(events.closes.empty());
    silent.Timer4Timer();
    EXPECT_EQ(events.closes, std::vector<std::string>{"no identification"});
    wire.pending.clear();

    connectAndIdentify();
    runner.onData(bytesOf("#0000000000000SR 1001"));  // the same text again
    EXPECT_EQ(events.identified, std::vector<std::string>{"1001"});
    EXPECT_TRUE(runner.idle());
    runner.onData(bytesOf("#0000000000000SR 2002"));  // now speaking for another object
    EXPECT_EQ(events.closes.size(), 2u);
}

TEST_F(JobRunnerTest, WriteAppliesTheSettingsOntoTheModulesImageAndEndsVerified) {
    connectAndIdentify();
    runner.start(apnWrite("fleet.apn"));
    pump();
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::Done);
    EXPECT_EQ(events.outcomes[0].result, "verified");
    EXPECT_EQ(events.outcomes[0].recordedPassword, std::optional<std::uint16_t>(0));
    EXPECT_EQ(module.writeFrames, 20);
    EXPECT_EQ(events.sources, (std::vector<std::string>{"before job 7", "after job 7"}));
    ASSERT_EQ(events.differences.size(), 1u);
    EXPECT_NE(events.differences[0].find("object.apn:  -> fleet.apn\n"), std::string::npos) << events.differences[0];
    EXPECT_TRUE(runner.idle());

    // Run again on the module that now holds it: safe to repeat, and verified again.
    runner.start(apnWrite("fleet.apn"));
    pump();
    EXPECT_EQ(events.outcomes.back().result, "verified");
}

TEST_F(JobRunnerTest, AFieldThatDidNotHoldIsNamedAndTheJobFails) {
    connectAndIdentify();
    module.forgetWritesAt = {128};  // the job that holds the APN (134..174)
    runner.start(apnWrite("fleet.apn"));
    pump();
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::Failed);
    EXPECT_NE(events.outcomes[0].result.find("did not hold: "), std::string::npos);
    EXPECT_NE(events.outcomes[0].result.find("object.apn"), std::string::npos) << events.outcomes[0].result;

    // The same for a write lost in the second range sent (750..1773): the
    // job that holds the poll time (1579-1580).
    module.forgetWritesAt = {1518};
    FleetJob poll = job(JobKind::Write);
    poll.format = WriteFormat::SettingsJson;
    poll.payload = bytesOf(R"({"object": {"pollTimeMinutes": 77}})");
    runner.start(poll);
    pump();
    ASSERT_EQ(events.outcomes.size(), 2u);
    EXPECT_EQ(events.outcomes[1].end, JobEnd::Failed);
    EXPECT_NE(events.outcomes[1].result.find("did not hold: "), std::string::npos) << events.outcomes[1].result;
    EXPECT_NE(events.outcomes[1].result.find("pollTime"), std::string::npos) << events.outcomes[1].result;
}

TEST_F(JobRunnerForeignPasswordTest, AModuleThatDoesNotProveTheObjectGetsNoChange) {
    connectAndIdentify();
    const auto before = module.memory;
    for (JobKind kind : {JobKind::Write, JobKind::Password, JobKind::ClearJournal, JobKind::Reset}) {
        FleetJob j = kind == JobKind::Write ? apnWrite("x") : job(kind);
        j.force = true;
        j.newPassword = 5;
        runner.start(j);
        pump();
        ASSERT_FALSE(events.outcomes.empty());
        EXPECT_EQ(events.outcomes.back().end, JobEnd::Failed);
        EXPECT_TRUE(events.outcomes.back().passwordMismatch);
        EXPECT_EQ(events.outcomes.back().result,
                  "the module's read password differs from the one recorded for object 1001; nothing written");
    }
    EXPECT_EQ(module.writeFrames + module.passwordFrames + module.resetFrames, 0);
    EXPECT_EQ(module.memory, before);
    EXPECT_TRUE(events.differences.empty());

    // A change with no password recorded is refused before anything is sent.
    runner.start(job(JobKind::ClearJournal, std::nullopt));
    EXPECT_TRUE(wire.pending.empty());
    EXPECT_EQ(events.outcomes.back().result, "no read password is recorded for object 1001; nothing written");
}

TEST_F(JobRunnerTest, AWholeImageBringsItsSettingsAndLeavesTheModuleItsOwnBytes) {
    module.memory = noise(5, 0);  // the recorded password
    const auto before = module.memory;
    const auto file = noise(6, 0x5102);  // another site's image, with its own number and password
    connectAndIdentify();
    runner.start(imageWrite(file));
    pump();
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].result, "verified");
    EXPECT_EQ(events.outcomes[0].recordedPassword, std::optional<std::uint16_t>(0));

    // The module's identity, password, clock, state and bus are its own.
    EXPECT_TRUE(sameAs(before, 0, 5)) << "object number";
    EXPECT_TRUE(sameAs(before, 244, 245)) << "read password";
    EXPECT_TRUE(sameAs(before, 1525, 1528)) << "clock";
    EXPECT_TRUE(sameAs(before, 1156, 1158) && sameAs(before, 1161, 1161)) << "last code, armed partitions";
    EXPECT_TRUE(sameAs(before, 1581, 1582)) << "devices on the bus";
    // The file's settings arrived as the file holds them.
    EXPECT_TRUE(sameAs(file, 6, 13)) << "receiver and line";
    EXPECT_TRUE(sameAs(file, 14, 113)) << "GSM numbers";
    EXPECT_TRUE(sameAs(file, 134, 216)) << "APN, user, password";
    EXPECT_TRUE(sameAs(file, 1195, 1242)) << "user codes";
    EXPECT_TRUE(sameAs(file, 1579, 1580)) << "poll time";
    // Every bit sent is the file's or the module's: nothing re-encoded.
    for (std::size_t i = 0; i < 4096; ++i)
        ASSERT_EQ((module.memory[i] ^ before[i]) & (module.memory[i] ^ file[i]), 0) << "byte " << i;
    // Beyond what a write sends, nothing changed.
    EXPECT_TRUE(sameAs(before, 246, 749));
    EXPECT_TRUE(sameAs(before, 1774, 4095));
    ASSERT_EQ(events.differences.size(), 1u);
    const std::string& audit = events.differences[0];
    for (const char* absent : {"object.objectNumber", "settings.clock", "bytes 244", "read password"})
        EXPECT_EQ(audit.find(absent), std::string::npos) << absent << " in\n" << audit;
    EXPECT_NE(audit.find("object.apn: "), std::string::npos) << audit;
}

TEST_F(JobRunnerTest, RenumberAndPasswordFromFileChangeWhatTheyNameAndTheRepeatProvesTheNewPassword) {
    auto file = module.memory;
    const std::string number = "5102\0\0";
    std::copy(number.begin(), number.end(), file.begin());
    file[244] = 0x12;
    file[245] = 0x34;
    connectAndIdentify();
    const FleetJob renumber = imageWrite(file, {.renumber = true, .passwordFromFile = true});
    runner.start(renumber);
    pump();
    EXPECT_EQ(events.outcomes.back().result, "verified");
    EXPECT_EQ(memoryText(0, 4), "5102");
    EXPECT_EQ(module.memory[244], 0x12);
    EXPECT_EQ(events.outcomes.back().recordedPassword, std::optional<std::uint16_t>(0x1234));
    ASSERT_EQ(events.differences.size(), 1u);
    EXPECT_EQ(events.differences[0],
              "object.objectNumber:  -> 5102\n"
              "object number changed, as the job asks (--renumber)\n"
              "read password changed, as the job asks (--password-from-file)\n");

    // The same job again (its end was lost): the module proves the password the job set.
    runner.start(renumber);
    pump();
    EXPECT_EQ(events.outcomes.back().result, "verified");
    // Without the option the file's password proves nothing.
    runner.start(imageWrite(file));
    pump();
    EXPECT_TRUE(events.outcomes.back().passwordMismatch);
}

TEST_F(JobRunnerTest, ASettingsDocumentKeepsTheObjectNumberAndTheClockUnlessRenumbered) {
    const auto before = module.memory;
    connectAndIdentify();
    FleetJob whole = job(JobKind::Write);
    whole.format = WriteFormat::SettingsJson;
    whole.payload = bytesOf(R"({"object": {"objectNumber": "5102", "apn": "site.apn"},
                               "settings": {"clock": "2030-01-02 03:04:05"}})");
    runner.start(whole);
    pump();
    EXPECT_EQ(events.outcomes.back().result, "verified");
    EXPECT_EQ(memoryText(134, 9), "site.apn;");
    EXPECT_TRUE(sameAs(before, 0, 5));
    EXPECT_TRUE(sameAs(before, 1525, 1528));

    whole.options.renumber = true;
    runner.start(whole);
    pump();
    EXPECT_EQ(memoryText(0, 4), "5102");
    EXPECT_TRUE(sameAs(before, 1525, 1528));
}

TEST_F(JobRunnerForeignPasswordTest, AFileHoldingTheModulesPasswordDoesNotProveTheObject) {
    auto file = module.memory;  // password 4321, as the module; 0 is recorded
    file[134] = 'x';
    connectAndIdentify();
    runner.start(imageWrite(file));
    pump();
    EXPECT_TRUE(events.outcomes.back().passwordMismatch);
    EXPECT_EQ(module.writeFrames, 0);
    EXPECT_FALSE(events.outcomes.back().recordedPassword);
}

TEST_F(JobRunnerForeignPasswordTest, AConfirmedResetRecordsTheFactoryPassword) {
    connectAndIdentify();
    FleetJob reset = job(JobKind::Reset, 4321);
    reset.force = true;
    runner.start(reset);
    pump();
    EXPECT_EQ(events.outcomes.back().result, "factory settings restored");
    EXPECT_EQ(events.outcomes.back().recordedPassword, std::optional<std::uint16_t>(0));
}

TEST_F(JobRunnerTest, NothingIsSentUntilTheBackupAndTheAuditLineAreKept) {
    connectAndIdentify();
    FleetJob change = job(JobKind::Password);
    change.newPassword = 9;
    FleetJob reset = job(JobKind::Reset);
    reset.force = true;
    for (const bool backupFails : {true, false}) {
        (backupFails ? events.backupProblem : events.auditProblem) = "database or disk is full";
        const std::string what = backupFails ? "backup" : "audit line";
        for (const FleetJob& j : {apnWrite("fleet.apn"), job(JobKind::ClearJournal), change, reset}) {
            runner.start(j);
            pump();
            ASSERT_FALSE(events.outcomes.empty());
            EXPECT_EQ(events.outcomes.back().end, JobEnd::StoreFailed);
            EXPECT_EQ(events.outcomes.back().result,
                      "the store could not keep the " + what + ": database or disk is full; nothing sent");
            EXPECT_TRUE(runner.idle());
        }
        events.backupProblem.clear();
        events.auditProblem.clear();
    }
    EXPECT_EQ(module.writeFrames + module.passwordFrames + module.resetFrames, 0);
    EXPECT_TRUE(events.differences.empty());

    // A read job's backup the same: the job is not done while its backup is not kept.
    events.backupProblem = "disk I/O error";
    runner.start(job(JobKind::Read));
    pump();
    EXPECT_EQ(events.outcomes.back().end, JobEnd::StoreFailed);
    EXPECT_EQ(events.outcomes.back().result, "the store could not keep the backup: disk I/O error");
}

TEST_F(JobRunnerTest, PasswordChangeAndItsRepeatAfterTheModuleAlreadyChanged) {
    connectAndIdentify();
    FleetJob change = job(JobKind::Password);
    change.newPassword = 0x1234;
    runner.start(change);
    pump();
    EXPECT_EQ(module.lastPasswordData, (std::vector<std::uint8_t>{0x00, 0x00, 0x12, 0x34}));
    EXPECT_EQ(events.outcomes.back().end, JobEnd::Done);
    EXPECT_EQ(events.outcomes.back().recordedPassword, std::optional<std::uint16_t>(0x1234));

    // The same job again (its answer was lost): the module proves the new password.
    runner.start(change);
    pump();
    EXPECT_EQ(module.passwordFrames, 1);
    EXPECT_EQ(events.outcomes.back().end, JobEnd::Done);
    EXPECT_EQ(events.outcomes.back().result, "the module already holds the new password");
}

TEST_F(JobRunnerTest, ResetOnlyWithForceAndClearJournalZeroesTheRegion) {
    connectAndIdentify();
    runner.start(job(JobKind::Reset));
    EXPECT_TRUE(wire.pending.empty());
    EXPECT_EQ(events.outcomes.back().end, JobEnd::Failed);

    std::fill(module.memory.begin() + 246, module.memory.begin() + 696, std::uint8_t{0x5A});
    runner.start(job(JobKind::ClearJournal));
    pump();
    EXPECT_EQ(events.outcomes.back().result, "journal cleared");
    EXPECT_EQ(module.writeFrames, 9);
    EXPECT_EQ(std::count(module.memory.begin() + 246, module.memory.begin() + 696, 0), 450);

    FleetJob reset = job(JobKind::Reset);
    reset.force = true;
    runner.start(reset);
    pump();
    EXPECT_EQ(module.resetFrames, 1);
    EXPECT_EQ(events.outcomes.back().result, "factory settings restored");
}

TEST_F(JobRunnerTest, EachBackupKeepsTheJournalItsOwnReadFound) {
    connectAndIdentify();
    // Fifty records of one event; another is logged while the write's
    // backup and audit line are being kept.
    for (int r = 0; r < 50; ++r) {
        const std::array<std::uint8_t, 9> record{0x00, 0x10, 0x00, 0x20, 0x01, 0x30, 0x00, 1, 2};
        std::copy(record.begin(), record.end(), module.memory.begin() + 246 + r * 9);
    }
    events.deferred = true;
    runner.start(apnWrite("fleet.apn"));
    pump();
    ASSERT_EQ(events.asked, std::vector<std::string>{"backup before job 7"});
    const std::array<std::uint8_t, 9> logged{0x00, 0x20, 0x00, 0x20, 0x02, 0x40, 0x00, 3, 14};
    std::copy(logged.begin(), logged.end(), module.memory.begin() + 246);
    runner.storeAnswered(7, "");
    runner.storeAnswered(7, "");
    pump();
    ASSERT_EQ(events.asked.size(), 3u);
    EXPECT_EQ(events.asked[2], "backup after job 7");
    runner.storeAnswered(7, "");
    EXPECT_EQ(events.outcomes.back().result, "verified");

    ASSERT_EQ(events.journals.size(), 2u);
    const auto zones = [](const std::vector<journal::JournalRow>& rows) {
        std::vector<int> found;
        for (const journal::JournalRow& row : rows) found.push_back(row.partition * 100 + row.zone);
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(zones(events.journals[0]), std::vector<int>(50, 102));
    std::vector<int> after(49, 102);
    after.push_back(314);
    EXPECT_EQ(zones(events.journals[1]), after);
    EXPECT_EQ(events.journals[1].front().zone, 14);  // the newest first

    // A second write with nothing logged: both of its backups keep that journal.
    events.deferred = false;
    runner.start(apnWrite("other.apn"));
    pump();
    EXPECT_EQ(events.outcomes.back().result, "verified");
    ASSERT_EQ(events.journals.size(), 4u);
    EXPECT_EQ(events.journals[2], events.journals[1]);
    EXPECT_EQ(events.journals[3], events.journals[1]);
}

TEST_F(JobRunnerTest, ADroppedConnectionOrASilentModuleInterruptsTheJob) {
    connectAndIdentify();
    runner.start(apnWrite("fleet.apn"));
    // The module answers the read, then falls silent during the write.
    for (int i = 0; i < 16 && !wire.pending.empty(); ++i) {
        auto frame = wire.pending.front();
        wire.pending.erase(wire.pending.begin());
        const auto reply = module.answer(frame);
        if (frame[3] == 'R') runner.onData(reply);
    }
    ASSERT_TRUE(runner.busy());
    runner.onDisconnected();
    ASSERT_EQ(events.outcomes.size(), 1u);
    EXPECT_EQ(events.outcomes[0].end, JobEnd::Interrupted);
    EXPECT_EQ(events.outcomes[0].result, "the connection dropped");

    JobRunner other{5, wire, events, JobRunner::Options{}};
    other.onConnected(4002);
    other.onData(bytesOf("#0000000000000SR 1001"));
    other.start(job(JobKind::Read));
    for (int i = 0; i < JobRunner::kReadTicks; ++i) other.Timer4Timer();
    EXPECT_EQ(events.outcomes.back().end, JobEnd::Interrupted);
    EXPECT_EQ(events.outcomes.back().result, "the module did not answer the read");

    // Writes that are never acknowledged: interrupted too, so that the job
    // runs again when the module calls next, never failed for good.
    module.acknowledgesWrites = false;
    JobRunner mute{6, wire, events, JobRunner::Options{}};
    wire.pending.clear();
    mute.onConnected(4003);
    mute.onData(bytesOf("#0000000000000SR 1001"));
    mute.start(apnWrite("fleet.apn"));
    const std::size_t before = events.outcomes.size();
    for (int tick = 0; tick < 2000 && events.outcomes.size() == before; ++tick) {
        for (const auto& frame : std::exchange(wire.pending, {}))
            if (frame.size() == 129)
                if (const auto reply = module.answer(frame); !reply.empty()) mute.onData(reply);
        mute.Timer2Timer();
        if (tick % 3 == 0) mute.Timer4Timer();
    }
    ASSERT_EQ(events.outcomes.size(), before + 1);
    EXPECT_GT(module.writeFrames, 0);
    EXPECT_EQ(events.outcomes.back().end, JobEnd::Interrupted);
    EXPECT_EQ(events.outcomes.back().result, "the module did not acknowledge a write");
    EXPECT_FALSE(events.outcomes.back().passwordMismatch);
}

}  // namespace kv6::fleet::test
