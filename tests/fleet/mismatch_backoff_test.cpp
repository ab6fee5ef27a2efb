// The password back-off over a real store: what it counts, when it locks
// out, and that every server of the store sees the same lock-outs.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>

#include "fleet/mismatch_backoff.h"
#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"

namespace kv6::fleet::test {

namespace {

class BackoffTest : public ::testing::Test {
protected:
    BackoffTest() { kv6::test::coreApp(); }
    ~BackoffTest() override { QSqlDatabase::removeDatabase(QStringLiteral("backoff-raw")); }

    std::unique_ptr<SqlFleetStore> open(const QString& owner) {
        auto store = std::make_unique<SqlFleetStore>(dir.filePath(QStringLiteral("fleet.sqlite")), owner);
        std::string error;
        EXPECT_TRUE(store->open(error)) << error;
        return store;
    }
    // Moves every count's last mismatch back by `seconds`, as time passing would.
    void age(int seconds) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("backoff-raw"));
        db.setDatabaseName(dir.filePath(QStringLiteral("fleet.sqlite")));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral("UPDATE lockouts SET last_at = strftime('%Y-%m-%dT%H:%M:%SZ', "
                                              "last_at, '-%1 seconds')")
                                   .arg(seconds)));
        db.close();
    }

    QTemporaryDir dir;
    MismatchBackoff::Options options{3, 6, 600, {}};
};

}  // namespace

TEST_F(BackoffTest, AnObjectIsLockedOutAtItsLimitAndAProvenPasswordStartsItsCountAgain) {
    auto store = open(QStringLiteral("kv6d@a:1"));
    MismatchBackoff backoff(*store, options);
    EXPECT_TRUE(backoff.mismatch("1001", "192.0.2.7").empty());
    EXPECT_TRUE(backoff.mismatch("1001", "192.0.2.7").empty());
    backoff.proved("1001");
    EXPECT_TRUE(backoff.mismatch("1001", "192.0.2.7").empty());
    EXPECT_TRUE(backoff.mismatch("1001", "192.0.2.7").empty());
    EXPECT_FALSE(backoff.lockedOut(LockoutKind::Object, "1001"));

    const auto started = backoff.mismatch("1001", "192.0.2.7");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].kind, LockoutKind::Object);
    EXPECT_EQ(started[0].subject, "1001");
    EXPECT_EQ(started[0].mismatches, 3);
    EXPECT_EQ(backoff.lockedOut(LockoutKind::Object, "1001"), started[0].lockedUntil);
    // Other objects behind the same address go on: it has 6 mismatches to give.
    EXPECT_FALSE(backoff.lockedOut(LockoutKind::Address, "192.0.2.7"));
    EXPECT_FALSE(backoff.lockedOut(LockoutKind::Object, "1002"));
    // A proof while locked out does not end the lock-out.
    backoff.proved("1001");
    EXPECT_EQ(store->lockouts(true).size(), 1u);
}

TEST_F(BackoffTest, AnAddressIsLockedOutAtItsOwnHigherLimitAndOldCountsStartAgain) {
    auto store = open(QStringLiteral("kv6d@a:1"));
    MismatchBackoff backoff(*store, options);
    for (const char* object : {"1001", "1002", "1003", "1004"}) EXPECT_TRUE(backoff.mismatch(object, "192.0.2.7").empty());
    age(601);  // the next mismatch comes after the counts' time
    for (const char* object : {"1005", "1006", "1007", "1008", "1009"})
        EXPECT_TRUE(backoff.mismatch(object, "192.0.2.7").empty());
    const auto started = backoff.mismatch("1010", "192.0.2.7");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].kind, LockoutKind::Address);
    EXPECT_EQ(started[0].mismatches, 6);
    EXPECT_TRUE(backoff.lockedOut(LockoutKind::Address, "192.0.2.7"));

    MismatchBackoff::Options never = options;
    never.addressLimit = 0;
    MismatchBackoff lenient(*store, never);
    for (const char* object : {"2001", "2002", "2003", "2004", "2005", "2006"}) (void)lenient.mismatch(object, "192.0.2.8");
    for (const LockoutRecord& record : store->lockouts(false)) EXPECT_NE(record.subject, "192.0.2.8");
}

TEST_F(BackoffTest, EveryServerOfTheStoreSeesALockOutAndItsClearing) {
    auto first = open(QStringLiteral("kv6d@a:1"));
    auto second = open(QStringLiteral("kv6d@b:2"));
    MismatchBackoff here(*first, options);
    MismatchBackoff there(*second, options);
    for (int i = 0; i < 3; ++i) (void)here.mismatch("1001", "192.0.2.7");
    EXPECT_FALSE(there.lockedOut(LockoutKind::Object, "1001"));
    there.refresh();
    EXPECT_TRUE(there.lockedOut(LockoutKind::Object, "1001"));

    const auto listed = second->lockouts(false);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].subject, "1001");
    EXPECT_FALSE(listed[0].lockedUntil.empty());
    EXPECT_EQ(listed[1].subject, "192.0.2.7");  // counted, not locked out
    EXPECT_EQ(listed[1].mismatches, 3);
    EXPECT_TRUE(listed[1].lockedUntil.empty());

    EXPECT_EQ(second->clearLockouts(std::string("1001")), 1);
    EXPECT_EQ(second->clearLockouts(std::string("1001")), 0);
    here.refresh();
    EXPECT_FALSE(here.lockedOut(LockoutKind::Object, "1001"));
    EXPECT_EQ(first->clearLockouts(std::nullopt), 1);
    EXPECT_TRUE(first->lockouts(false).empty());
}

TEST_F(BackoffTest, ALockOutEndsWhenItsTimeHasPassed) {
    auto store = open(QStringLiteral("kv6d@a:1"));
    MismatchBackoff::Options later = options;
    later.clock = [] { return std::string("2999-01-01T00:00:00Z"); };
    MismatchBackoff backoff(*store, later);
    for (int i = 0; i < 3; ++i) (void)backoff.mismatch("1001", "192.0.2.7");
    EXPECT_FALSE(backoff.lockedOut(LockoutKind::Object, "1001"));
    age(1200);
    store->expireLockouts(600);
    EXPECT_EQ(store->lockouts(false).size(), 1u);  // the lock-out itself still runs in the store's time
}

}  // namespace kv6::fleet::test
