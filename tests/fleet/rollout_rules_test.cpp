// A rollout's rules: how its modules split into waves, when a wave halts it
// or lets the next start, and how its failures are grouped.
#include <gtest/gtest.h>

#include "fleet/failure_limit.h"
#include "fleet/failure_reason.h"
#include "fleet/rollout_waves.h"

namespace kv6::fleet::test {

namespace {

std::vector<std::size_t> endsOf(const std::string& text, std::size_t total) {
    std::string error;
    const auto waves = RolloutWaves::parse(text, error);
    EXPECT_TRUE(waves) << error;
    return waves ? waves->ends(total, error) : std::vector<std::size_t>{};
}

std::string refusal(const std::string& text) {
    std::string error;
    EXPECT_FALSE(RolloutWaves::parse(text, error)) << text;
    return error;
}

}  // namespace

TEST(RolloutWaves, SharesAreCumulativeRoundedUpAndEachWaveTakesAtLeastOneModuleMore) {
    EXPECT_EQ(endsOf("1%,10%,100%", 300), (std::vector<std::size_t>{3, 30, 300}));
    EXPECT_EQ(endsOf("1%,10%,100%", 100000), (std::vector<std::size_t>{1000, 10000, 100000}));
    // 1 % of 7 is a fraction of a module: one; 10 % too, so the second wave takes one more.
    EXPECT_EQ(endsOf("1%,10%,100%", 7), (std::vector<std::size_t>{1, 2, 7}));
    // Fewer modules than waves: no wave is empty.
    EXPECT_EQ(endsOf("1%,2%,3%,100%", 2), (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(endsOf("100%", 5), (std::vector<std::size_t>{5}));
    EXPECT_EQ(endsOf("10,50,300", 300), (std::vector<std::size_t>{10, 50, 300}));
}

TEST(RolloutWaves, ListsThatAreNoIncreasingWavesToAllModulesAreRefused) {
    EXPECT_EQ(refusal(""), "waves: a list such as 1%,10%,100% or 10,100,500 is needed");
    EXPECT_EQ(refusal("10%,5%,100%"), "waves: each wave must reach further than the one before (10%,5%,100%)");
    EXPECT_EQ(refusal("1%,10%"), "waves: the last wave must be 100%");
    EXPECT_EQ(refusal("1%,150%"), "waves: 150% is more than all modules");
    EXPECT_EQ(refusal("1%,10,100%"), "waves: either all percentages or all counts");
    EXPECT_EQ(refusal("0,10"), "waves: '0' is no positive whole number or percentage");
    EXPECT_EQ(refusal("1%,,100%"), "waves: '' is no positive whole number or percentage");
    EXPECT_EQ(refusal("-1,10"), "waves: '-1' is no positive whole number or percentage");
    EXPECT_FALSE(refusal("a,b").empty());

    std::string error;
    const auto counts = RolloutWaves::parse("10,50,200", error);
    ASSERT_TRUE(counts);
    EXPECT_TRUE(counts->ends(300, error).empty());
    EXPECT_EQ(error, "waves: the last wave must take all 300 modules, not 200");
    const auto shares = RolloutWaves::parse("50%,100%", error);
    ASSERT_TRUE(shares);
    EXPECT_TRUE(shares->ends(0, error).empty());
    EXPECT_EQ(error, "the target holds no module");
}

TEST(FailureLimit, AWaveHaltsAsSoonAsItsFailuresPassTheLimitAndGoesOnOnlyOnceItEnded) {
    std::string error;
    const auto share = FailureLimit::parse("5%", error);
    ASSERT_TRUE(share) << error;
    // 5 % of 270 is 13.5: 13 failures are within, 14 are past it.
    EXPECT_FALSE(share->exceeded(13, 270));
    EXPECT_TRUE(share->exceeded(14, 270));
    // Exactly at the limit is within it.
    EXPECT_FALSE(share->exceeded(1, 20));
    EXPECT_TRUE(share->exceeded(2, 20));
    // In a first wave of one module, its failure is the whole wave.
    EXPECT_TRUE(share->exceeded(1, 1));

    EXPECT_EQ(share->decide({270, 100, 14}, false), WaveDecision::Halt);  // jobs still running: halted all the same
    EXPECT_EQ(share->decide({270, 100, 13}, false), WaveDecision::Wait);
    EXPECT_EQ(share->decide({270, 0, 13}, false), WaveDecision::NextWave);
    EXPECT_EQ(share->decide({270, 0, 13}, true), WaveDecision::Finished);
    EXPECT_EQ(share->decide({270, 0, 14}, true), WaveDecision::Halt);

    const auto count = FailureLimit::parse("0", error);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->decide({1000, 999, 1}, false), WaveDecision::Halt);
    EXPECT_EQ(count->decide({1000, 0, 0}, false), WaveDecision::NextWave);

    for (const char* bad : {"", "%", "5%%", "101%", "-1", "five"}) {
        EXPECT_FALSE(FailureLimit::parse(bad, error)) << bad;
        EXPECT_EQ(error, "max-failed: a share such as 5% or a count such as 3 is needed, not '" + std::string(bad) + "'");
    }
}

TEST(FailureReason, TheJobRunnersResultsAreGroupedByWhatWentWrong) {
    EXPECT_EQ(failureReason("the module's read password differs from the one recorded for object 1001"),
              "password mismatch");
    EXPECT_EQ(failureReason("gave up after 5 attempts: the module did not answer"), "no answer");
    EXPECT_EQ(failureReason("gave up after 5 attempts: the module did not answer the read"), "no answer");
    EXPECT_EQ(failureReason("gave up after 5 attempts: the connection dropped"), "no answer");
    EXPECT_EQ(failureReason("gave up after 3 attempts: the module did not acknowledge a write"), "no answer");
    EXPECT_EQ(failureReason("did not hold: gsm.apn"), "verify failed");
    EXPECT_EQ(failureReason("no read password is recorded for object 1001; nothing written"), "no password recorded");
    EXPECT_EQ(failureReason("the settings were refused: codes.code1: invalid value; nothing written"), "other");
}

}  // namespace kv6::fleet::test
