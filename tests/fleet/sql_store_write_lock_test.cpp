// Changes that read before they write, while another program writes to the
// same SQLite store: each takes the write lock before its first read, so the
// other program's write comes before or after it, never in between.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "fleet/sql_fleet_store.h"
#include "job_for.h"
#include "support/core_app.h"
#include "writer_between_statements.h"

namespace kv6::fleet::test {

TEST(StoreWriteLock, AKeyAndAClaimHoldTheWriteLockFromTheirFirstRead) {
    kv6::test::coreApp();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fleet.sqlite"));
    std::string error;
    std::int64_t queued = 0;
    {
        SqlFleetStore made(path);
        ASSERT_TRUE(made.open(error)) << error;
        queued = made.queueJob(jobFor("1001", JobKind::Read));
        ASSERT_GT(queued, 0);
    }
    // kv6ctl adding a key while kv6d writes: the key's check for its name
    // and its insert are one change.
    {
        WriterBetweenStatements other(path);
        SqlFleetStore ctl(path);
        ASSERT_TRUE(ctl.open(error)) << error;
        EXPECT_TRUE(ctl.addApiKey("desk", "operator", std::string(64, 'a'))) << ctl.lastError();
        EXPECT_TRUE(other.tried());
        EXPECT_FALSE(other.gotTheLock()) << "another program wrote between the key's check and its insert";
        EXPECT_EQ(other.finish(), SQLITE_OK);
        EXPECT_FALSE(ctl.addApiKey("desk", "viewer", std::string(64, 'b')));
        EXPECT_EQ(ctl.lastError(), "a key named desk exists: revoke it first");
    }
    // kv6d claiming a job while kv6ctl queues another: the claim's choice and its update are one change.
    {
        WriterBetweenStatements other(path);
        SqlFleetStore server(path);
        ASSERT_TRUE(server.open(error)) << error;
        const auto claimed = server.claimNextJob("1001");
        ASSERT_TRUE(claimed);
        EXPECT_EQ(claimed->id, queued);
        EXPECT_TRUE(other.tried());
        EXPECT_FALSE(other.gotTheLock()) << "another program wrote between the claim's choice and its update";
        EXPECT_EQ(other.finish(), SQLITE_OK);
    }
}

}  // namespace kv6::fleet::test
