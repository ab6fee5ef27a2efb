// The SQLite store as a file: who may read it, one server at a time, and a
// store this program may only read.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"
#include "support/file_privileges.h"

namespace kv6::fleet::test {

namespace {

unsigned modeOf(const QString& path) {
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

NewJob readJob(const std::string& object) {
    NewJob job;
    job.object = object;
    job.kind = JobKind::Read;
    return job;
}

class StoreFileTest : public ::testing::Test {
protected:
    StoreFileTest() { kv6::test::coreApp(); }
    [[nodiscard]] QString path() const { return dir.filePath(QStringLiteral("data/fleet.sqlite")); }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(StoreFileTest, ANewStoreAndItsSideFilesAreReadableByTheirOwnerOnly) {
    const mode_t old = ::umask(022);
    SqlFleetStore store(path(), QStringLiteral("kv6d@host:1"));
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    ASSERT_TRUE(store.lockForServer(error)) << error;
    EXPECT_TRUE(store.recordPassword("1001", 1234));
    ::umask(old);
    EXPECT_EQ(modeOf(path()), 0600u);
    for (const char* side : {"-wal", "-shm", ".lock"}) {
        ASSERT_TRUE(QFile::exists(path() + side)) << side;
        EXPECT_EQ(modeOf(path() + side), 0600u) << side;
    }
}

TEST_F(StoreFileTest, OneServerHoldsAnSqliteStoreAndSaysSoToTheNext) {
    SqlFleetStore first(path(), QStringLiteral("kv6d@host-a:4242"));
    SqlFleetStore second(path(), QStringLiteral("kv6d@host-b:77"));
    SqlFleetStore tool(path());  // kv6ctl takes no lock: it reads and queues beside the server
    std::string error;
    ASSERT_TRUE(first.open(error) && second.open(error) && tool.open(error)) << error;
    ASSERT_TRUE(first.lockForServer(error)) << error;
    EXPECT_FALSE(second.lockForServer(error));
    EXPECT_EQ(error, "the store " + path().toStdString() +
                         " is in use by kv6d@host-a:4242: one kv6d per SQLite file (servers that share a store use "
                         "PostgreSQL)");
    EXPECT_GT(tool.queueJob(readJob("1001")), 0);
}

TEST_F(StoreFileTest, AStoreThisProgramMayNotWriteOpensForReading) {
    {
        SqlFleetStore store(path());
        std::string error;
        ASSERT_TRUE(store.open(error)) << error;
        ASSERT_GT(store.queueJob(readJob("1001")), 0);
        EXPECT_TRUE(store.recordPassword("1001", 5));
        EXPECT_FALSE(store.readOnly());
    }
    ASSERT_TRUE(kv6::test::dropFilePermissionOverride());
    const QString folder = dir.filePath(QStringLiteral("data"));
    ASSERT_EQ(::chmod(path().toLocal8Bit().constData(), 0400), 0);
    ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0500), 0);
    SqlFleetStore store(path());
    std::string error;
    EXPECT_TRUE(store.open(error)) << error;
    EXPECT_TRUE(store.readOnly());
    const auto jobs = store.jobs(std::nullopt, std::nullopt);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].object, "1001");
    EXPECT_EQ(store.recordedPassword("1001"), std::optional<std::uint16_t>(5));
    EXPECT_EQ(store.queueJob(readJob("1001")), 0);
    ::chmod(folder.toLocal8Bit().constData(), 0700);
}

}  // namespace kv6::fleet::test
