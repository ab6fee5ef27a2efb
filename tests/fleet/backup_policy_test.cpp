#include <gtest/gtest.h>

#include <QDateTime>
#include <QTemporaryDir>

#include "fleet/backup_policy.h"
#include "fleet/sql_fleet_store.h"
#include "fleet/utc_time.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

constexpr std::int64_t kDay = 86400;

class BackupPolicyTest : public ::testing::Test {
protected:
    BackupPolicyTest() {
        kv6::test::coreApp();
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
    }
    // The store stamps its own times: the policy is asked as if `days` had passed since.
    BackupPolicy::Decision after(double days, const std::string& object) {
        return policy.apply(store, object, QDateTime::currentSecsSinceEpoch() + static_cast<std::int64_t>(days * kDay));
    }
    std::vector<JobRecord> jobsOf(const std::string& object) { return store.jobs(object, std::nullopt); }
    void endNext(const std::string& object, JobState state) {
        const auto job = store.claimNextJob(object);
        ASSERT_TRUE(job);
        ASSERT_TRUE(store.finishJob(job->id, state, "test"));
    }

    QTemporaryDir dir;
    SqlFleetStore store{dir.filePath(QStringLiteral("fleet.sqlite")), QStringLiteral("test")};
    BackupPolicy policy{7};
};

}  // namespace

TEST_F(BackupPolicyTest, AnOldBackupGetsExactlyOneReadAndAFreshOneNone) {
    ASSERT_GT(store.addBackup("1001", 0, "read", image::Image{}, {}), 0);
    EXPECT_EQ(after(6.9, "1001").action, BackupPolicy::Decision::Action::None);
    EXPECT_TRUE(jobsOf("1001").empty());

    const auto due = after(9, "1001");
    ASSERT_EQ(due.action, BackupPolicy::Decision::Action::Queued);
    EXPECT_EQ(due.why, "its newest backup is 9 d old");
    const auto jobs = jobsOf("1001");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].id, due.jobId);
    EXPECT_EQ(jobs[0].kind, JobKind::Read);
    EXPECT_EQ(jobs[0].by, "backup-policy");
    // It calls again before the read ran, and while it runs: no second one.
    EXPECT_EQ(after(9, "1001").action, BackupPolicy::Decision::Action::None);
    ASSERT_TRUE(store.claimNextJob("1001"));
    EXPECT_EQ(after(9, "1001").action, BackupPolicy::Decision::Action::None);
    EXPECT_EQ(jobsOf("1001").size(), 1u);
}

TEST_F(BackupPolicyTest, AModuleWithoutABackupIsReadUnlessAJobOfAnyKindWaits) {
    NewJob write;
    write.object = "1002";
    write.kind = JobKind::Reset;
    ASSERT_GT(store.queueJob(write), 0);
    EXPECT_EQ(after(0, "1002").action, BackupPolicy::Decision::Action::None);
    endNext("1002", JobState::Done);
    const auto due = after(0, "1002");
    ASSERT_EQ(due.action, BackupPolicy::Decision::Action::Queued);
    EXPECT_EQ(due.why, "it has no backup");
}

TEST_F(BackupPolicyTest, AFailedReadIsTriedAgainADayLaterAtTheSoonest) {
    ASSERT_EQ(after(0, "1003").action, BackupPolicy::Decision::Action::Queued);
    endNext("1003", JobState::Failed);
    EXPECT_EQ(after(0.5, "1003").action, BackupPolicy::Decision::Action::None);
    EXPECT_EQ(after(1.1, "1003").action, BackupPolicy::Decision::Action::Queued);
    EXPECT_EQ(jobsOf("1003").size(), 2u);
}

TEST(UtcTime, StoreTimesRoundTripAndAnythingElseIsRefused) {
    EXPECT_EQ(utcSeconds("1970-01-02T00:00:01Z"), 86401);
    EXPECT_EQ(utcText(*utcSeconds("2028-02-29T23:59:59Z")), "2028-02-29T23:59:59Z");
    for (const char* bad : {"", "2026-02-30T00:00:00Z", "2026-12-08 10:00:00", "2026-12-08T25:00:00Z", "2026-1a-08T10:00:00Z"})
        EXPECT_FALSE(utcSeconds(bad)) << bad;
    EXPECT_EQ(ageText(3 * kDay + 7200), "3 d");
    EXPECT_EQ(ageText(5 * 3600), "5 h");
    EXPECT_EQ(ageText(12 * 60), "12 min");
    EXPECT_EQ(ageText(5), "now");
}

}  // namespace kv6::fleet::test
