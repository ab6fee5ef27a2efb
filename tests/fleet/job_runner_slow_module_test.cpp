// The runner against a module whose every answer comes 3 s late, in
// simulated time: its reads still bring the module's own bytes and a write
// still ends verified.

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "fake_module.h"
#include "fleet/job_runner.h"
#include "recording_listener.h"

namespace kv6::fleet::test {

namespace {

struct Recorder final : RecordingListener, remote::FrameSink {
    std::vector<std::vector<std::uint8_t>> sent;
    void sendBytes(int, std::span<const std::uint8_t> bytes) override { sent.emplace_back(bytes.begin(), bytes.end()); }
};

class LateModule : public ::testing::Test {
protected:
    static constexpr long kLateMs = 3000;

    LateModule() : module(0) {
        std::mt19937 random(3000);
        for (std::size_t i = 0; i < module.memory.size(); ++i)
            if (i < 244 || i > 245) module.memory[i] = static_cast<std::uint8_t>(random());
    }

    // Runs in 100 ms steps until the job ends (or `limitMs` pass): frames
    // reach the module at once, each answer reaches the runner 3 s later.
    void runJob(FleetJob job, long limitMs = 600000) {
        runner.onConnected(4000);
        const std::string hello = "#0000000000000SR 1001";
        runner.onData(std::vector<std::uint8_t>(hello.begin(), hello.end()));
        runner.start(std::move(job));
        std::deque<std::pair<long, std::vector<std::uint8_t>>> inFlight;
        for (long now = 0; now < limitMs && recorder.outcomes.empty(); now += 100) {
            for (auto& frame : recorder.sent)
                if (frame.size() == 129) {
                    auto answer = module.answer(frame);
                    if (!answer.empty()) inFlight.emplace_back(now + kLateMs, std::move(answer));
                }
            recorder.sent.clear();
            while (!inFlight.empty() && inFlight.front().first <= now) {
                runner.onData(inFlight.front().second);
                inFlight.pop_front();
            }
            if (now % 300 == 0) runner.Timer2Timer();
            if (now % 1000 == 0) runner.Timer4Timer();
        }
    }

    [[nodiscard]] bool readExactly(const image::Image& image) const {
        return std::equal(image.begin(), image.begin() + JobRunner::kRemoteReadBytes, module.memory.begin());
    }

    FakeModule module;
    Recorder recorder;
    JobRunner runner{3, recorder, recorder, JobRunner::Options{}};
};

FleetJob makeJob(JobKind kind) {
    FleetJob job;
    job.id = 9;
    job.object = "1001";
    job.kind = kind;
    job.password = 0;
    return job;
}

}  // namespace

TEST_F(LateModule, AReadJobBringsTheModulesOwnBytes) {
    runJob(makeJob(JobKind::Read));
    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_EQ(recorder.outcomes[0].end, JobEnd::Done) << recorder.outcomes[0].result;
    ASSERT_EQ(recorder.images.size(), 1u);
    EXPECT_TRUE(readExactly(recorder.images[0]));
}

TEST_F(LateModule, AWriteIsReadBeforeAndVerifiedAfter) {
    FleetJob job = makeJob(JobKind::Write);
    job.format = WriteFormat::SettingsJson;
    const std::string settings = R"({"object": {"apn": "late.apn"}})";
    job.payload.assign(settings.begin(), settings.end());
    // Settings that encode back as they are (all zero), and a journal that
    // tells every block of it apart.
    module.memory.fill(0);
    for (std::size_t i = 246; i < 696; ++i) module.memory[i] = static_cast<std::uint8_t>(i * 7);
    const image::Image before = module.memory;
    runJob(job);
    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_EQ(recorder.outcomes[0].end, JobEnd::Done) << recorder.outcomes[0].result;
    ASSERT_FALSE(recorder.images.empty());
    EXPECT_TRUE(std::equal(recorder.images[0].begin(), recorder.images[0].begin() + JobRunner::kRemoteReadBytes,
                           before.begin()));
    EXPECT_EQ(std::string(module.memory.begin() + 134, module.memory.begin() + 143), "late.apn;");
}

}  // namespace kv6::fleet::test
