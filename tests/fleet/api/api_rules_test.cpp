#include <gtest/gtest.h>

#include <set>

#include "fleet/api/api_paging.h"
#include "fleet/api/api_role.h"

namespace kv6::fleet::api::test {

TEST(ApiRoles, EachRoleMayDoWhatTheOneBeforeMayAndNoMore) {
    struct Case {
        Role role;
        Action action;
        JobKind kind;
        bool allowed;
    };
    const Case cases[] = {
        {Role::Viewer, Action::Read, JobKind::Read, true},
        {Role::Viewer, Action::QueueJob, JobKind::Read, false},
        {Role::Viewer, Action::QueueJob, JobKind::Write, false},
        {Role::Viewer, Action::CancelJob, JobKind::Read, false},
        {Role::Viewer, Action::ManageKeys, JobKind::Read, false},
        {Role::Viewer, Action::ClearLockouts, JobKind::Read, false},
        {Role::Operator, Action::QueueJob, JobKind::Read, true},
        {Role::Operator, Action::QueueJob, JobKind::Write, true},
        {Role::Operator, Action::QueueJob, JobKind::Password, false},
        {Role::Operator, Action::QueueJob, JobKind::ClearJournal, false},
        {Role::Operator, Action::QueueJob, JobKind::Reset, false},
        {Role::Operator, Action::CancelJob, JobKind::Read, true},
        {Role::Operator, Action::ManageKeys, JobKind::Read, false},
        {Role::Operator, Action::ClearLockouts, JobKind::Read, false},
        {Role::Admin, Action::QueueJob, JobKind::Password, true},
        {Role::Admin, Action::QueueJob, JobKind::ClearJournal, true},
        {Role::Admin, Action::QueueJob, JobKind::Reset, true},
        {Role::Admin, Action::CancelJob, JobKind::Read, true},
        {Role::Admin, Action::ManageKeys, JobKind::Read, true},
        {Role::Admin, Action::ClearLockouts, JobKind::Read, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(allows(c.role, c.action, c.kind), c.allowed)
            << roleName(c.role) << " action " << static_cast<int>(c.action) << " kind " << kindName(c.kind);
    EXPECT_EQ(roleFromName("operator"), Role::Operator);
    EXPECT_FALSE(roleFromName("Admin"));
    EXPECT_FALSE(roleFromName(""));
}

TEST(ApiKeyNames, OnlyNamesThatShowSafelyInLogs) {
    EXPECT_TRUE(validKeyName("dispatch-7"));
    EXPECT_TRUE(validKeyName("ops@site.example"));
    EXPECT_TRUE(validKeyName(std::string(64, 'a')));
    EXPECT_FALSE(validKeyName(std::string(65, 'a')));
    EXPECT_FALSE(validKeyName(""));
    EXPECT_FALSE(validKeyName("two words"));
    EXPECT_FALSE(validKeyName("line\nbreak"));
    EXPECT_FALSE(validKeyName("quote'"));
}

TEST(ApiCursor, AnyKeyComesBackAsItWas) {
    for (const std::string& key : {std::string("1"), std::string("1001"), std::string("ab"), std::string("abc"),
                                  std::string("\0\xff\x80 /+=", 7), numberKey(42)}) {
        const std::string cursor = encodeCursor(key);
        EXPECT_EQ(cursor.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
                  std::string::npos)
            << cursor;
        EXPECT_EQ(decodeCursor(cursor), key);
    }
}

TEST(ApiCursor, ACursorNoServerMadeIsRefused) {
    EXPECT_FALSE(decodeCursor(""));
    EXPECT_FALSE(decodeCursor("a"));         // a length no encoding gives
    EXPECT_FALSE(decodeCursor("MQ=="));      // padding is not ours
    EXPECT_FALSE(decodeCursor("MR"));        // "1" with stray low bits
    EXPECT_FALSE(decodeCursor("a+b/"));      // standard base64, not base64url
    EXPECT_FALSE(decodeCursor(std::string(300, 'A')));
    EXPECT_EQ(decodeCursor("MQ"), "1");
}

TEST(ApiCursor, NumberKeysSortAsNumbers) {
    EXPECT_LT(numberKey(9), numberKey(10));
    EXPECT_LT(numberKey(99999), numberKey(100000));
    EXPECT_EQ(numberKey(7), "00000000000000000007");
}

TEST(ApiPage, LimitDefaultsTo100AndStaysWithin1To1000) {
    std::string error;
    EXPECT_EQ(Page::fromQuery({}, error)->limit, 100u);
    EXPECT_EQ(Page::fromQuery({{"limit", "1000"}}, error)->limit, 1000u);
    EXPECT_EQ(Page::fromQuery({{"limit", "1"}}, error)->limit, 1u);
    for (const char* bad : {"0", "1001", "-1", "10x", "", " 5", "99999999999999999999999"}) {
        error.clear();
        EXPECT_FALSE(Page::fromQuery({{"limit", bad}}, error)) << bad;
        EXPECT_EQ(error.rfind("limit: a number 1..1000 is needed", 0), 0u) << error;
    }
    EXPECT_FALSE(Page::fromQuery({{"cursor", "!!"}}, error));
    EXPECT_EQ(error, "cursor: not a cursor this server gave");
    EXPECT_EQ(Page::fromQuery({{"cursor", encodeCursor("1001")}}, error)->after, "1001");
}

}  // namespace kv6::fleet::api::test
