// The password back-off's lock-outs through the operator API: read by any
// key, ended by an admin's, each refusal and each clearing logged.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <set>

#include "fleet/api/api_service.h"
#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"

namespace kv6::fleet::api::test {

namespace {

using settings::Json;

constexpr int kLimit = 3;
constexpr int kSeconds = 600;

class ApiLockoutsTest : public ::testing::Test {
protected:
    ApiLockoutsTest() {
        kv6::test::coreApp();
        std::string error;
        EXPECT_TRUE(store.open(error)) << error;
        ApiService::Hooks hooks;
        hooks.sha256Hex = [](std::string_view key) { return "h:" + std::string(key); };
        hooks.newKey = [] { return std::string("kv6_new"); };
        hooks.log = [this](const std::string& line) { logged.push_back(line); };
        service = std::make_unique<ApiService>(store, std::move(hooks));
        EXPECT_TRUE(store.addApiKey("watch", "viewer", "h:kv6_viewer"));
        EXPECT_TRUE(store.addApiKey("desk", "operator", "h:kv6_operator"));
        EXPECT_TRUE(store.addApiKey("root", "admin", "h:kv6_admin"));
    }

    ApiResponse call(const std::string& method, const std::string& path, const std::string& key,
                     std::map<std::string, std::string> query = {}) {
        ApiRequest request;
        request.method = method;
        request.path = path;
        request.query = std::move(query);
        request.authorization = key.empty() ? "" : "Bearer " + key;
        request.peer = "198.51.100.4";
        return service->handle(request);
    }
    // `count` mismatches of the subject (at kLimit it is locked out).
    void mismatch(LockoutKind kind, const std::string& subject, int count) {
        for (int i = 0; i < count; ++i) ASSERT_TRUE(store.countMismatch(kind, subject, kLimit, kSeconds));
    }
    // "object 1001" for each item of a page.
    static std::vector<std::string> subjects(const Json& page) {
        std::vector<std::string> shown;
        for (const Json& item : page["items"])
            shown.push_back(item["kind"].get<std::string>() + " " + item["subject"].get<std::string>());
        return shown;
    }

    QTemporaryDir dir;
    SqlFleetStore store{dir.filePath(QStringLiteral("fleet.sqlite")), QStringLiteral("test")};
    std::unique_ptr<ApiService> service;
    std::vector<std::string> logged;
};

}  // namespace

TEST_F(ApiLockoutsTest, AnyKeyReadsThemObjectsFirstAndLockedTrueShowsOnlyThoseLockedOutNow) {
    mismatch(LockoutKind::Address, "203.0.113.9", 1);
    mismatch(LockoutKind::Object, "1002", 1);
    mismatch(LockoutKind::Object, "1001", kLimit);
    EXPECT_EQ(call("GET", "/api/v1/lockouts", "").status, 401);
    EXPECT_EQ(logged.back(), "api: refused GET /api/v1/lockouts from 198.51.100.4: no key");
    for (const char* key : {"kv6_viewer", "kv6_operator", "kv6_admin"}) {
        const ApiResponse all = call("GET", "/api/v1/lockouts", key);
        ASSERT_EQ(all.status, 200) << key;
        EXPECT_EQ(subjects(Json::parse(all.body)),
                  (std::vector<std::string>{"object 1001", "object 1002", "address 203.0.113.9"}));
    }
    const Json locked = Json::parse(call("GET", "/api/v1/lockouts", "kv6_viewer", {{"locked", "true"}}).body);
    ASSERT_EQ(locked["items"].size(), 1u) << locked.dump();
    const Json& item = locked["items"][0];
    EXPECT_EQ(item["subject"], "1001");
    EXPECT_EQ(item["mismatches"], kLimit);
    EXPECT_FALSE(item["lockedUntil"].get<std::string>().empty());
    EXPECT_FALSE(item["last"].get<std::string>().empty());
    EXPECT_EQ(locked["next"], nullptr);
    EXPECT_EQ(call("GET", "/api/v1/lockouts", "kv6_viewer", {{"locked", "false"}}).status, 200);
    EXPECT_EQ(call("GET", "/api/v1/lockouts", "kv6_viewer", {{"locked", "yes"}}).status, 400);
}

TEST_F(ApiLockoutsTest, PagesGoThroughEverySubjectOnceWhileOneIsClearedBetweenThem) {
    for (const char* object : {"1005", "1001", "A7", "1003"}) mismatch(LockoutKind::Object, object, 1);
    for (const char* address : {"10.0.0.2", "10.0.0.10", "2001:db8::1"}) mismatch(LockoutKind::Address, address, 1);
    std::vector<std::string> seen;
    std::map<std::string, std::string> query{{"limit", "2"}};
    for (int page = 0; page < 10; ++page) {
        const ApiResponse answer = call("GET", "/api/v1/lockouts", "kv6_viewer", query);
        ASSERT_EQ(answer.status, 200) << answer.body;
        const Json body = Json::parse(answer.body);
        for (const std::string& subject : subjects(body)) seen.push_back(subject);
        // Cleared behind the cursor: no gap, no duplicate.
        if (page == 0) {
            ASSERT_EQ(store.clearLockouts(std::string("1001")), 1);
        }
        if (body["next"].is_null()) break;
        query["cursor"] = body["next"].get<std::string>();
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"object 1001", "object 1003", "object 1005", "object A7",
                                              "address 10.0.0.10", "address 10.0.0.2", "address 2001:db8::1"}));
    const Json newest = Json::parse(call("GET", "/api/v1/lockouts", "kv6_viewer", {{"order", "newest"}, {"limit", "2"}}).body);
    EXPECT_EQ(subjects(newest), (std::vector<std::string>{"address 2001:db8::1", "address 10.0.0.2"}));
}

TEST_F(ApiLockoutsTest, OnlyAnAdminEndsThemAndEachClearingIsLoggedWithTheKey) {
    mismatch(LockoutKind::Object, "1001", kLimit);
    mismatch(LockoutKind::Address, "203.0.113.9", 1);
    for (const char* key : {"kv6_viewer", "kv6_operator"}) {
        const ApiResponse refused = call("DELETE", "/api/v1/lockouts/1001", key);
        EXPECT_EQ(refused.status, 403) << key;
        EXPECT_EQ(call("DELETE", "/api/v1/lockouts", key).status, 403) << key;
    }
    EXPECT_EQ(logged.back(), "api: refused DELETE /api/v1/lockouts from 198.51.100.4: key 'desk' (operator) may not "
                             "clear lock-outs");
    EXPECT_EQ(store.lockouts(false).size(), 2u);  // a refusal changes nothing

    const ApiResponse one = call("DELETE", "/api/v1/lockouts/1001", "kv6_admin");
    ASSERT_EQ(one.status, 200) << one.body;
    EXPECT_EQ(Json::parse(one.body), (Json{{"cleared", 1}, {"subject", "1001"}}));
    EXPECT_EQ(logged.back(), "api: key 'root' cleared the lock-out and count of 1001 from 198.51.100.4");
    EXPECT_TRUE(store.lockouts(true).empty());
    const ApiResponse again = call("DELETE", "/api/v1/lockouts/1001", "kv6_admin");
    EXPECT_EQ(again.status, 404);
    EXPECT_EQ(Json::parse(again.body)["error"], "subject: no lock-out or mismatch count for 1001");

    // A subject no module could have, such as one that would split a log line, is refused unlogged.
    const std::size_t lines = logged.size();
    EXPECT_EQ(call("DELETE", "/api/v1/lockouts/1001\nkv6d: forged", "kv6_admin").status, 400);
    EXPECT_EQ(call("DELETE", "/api/v1/lockouts/" + std::string(65, '1'), "kv6_admin").status, 400);
    EXPECT_EQ(logged.size(), lines);
    EXPECT_EQ(call("GET", "/api/v1/lockouts/1001", "kv6_admin").status, 405);

    const ApiResponse all = call("DELETE", "/api/v1/lockouts", "kv6_admin");
    ASSERT_EQ(all.status, 200) << all.body;
    EXPECT_EQ(Json::parse(all.body), (Json{{"cleared", 1}}));
    EXPECT_EQ(logged.back(), "api: key 'root' cleared every lock-out and count (1) from 198.51.100.4");
    EXPECT_EQ(Json::parse(call("DELETE", "/api/v1/lockouts", "kv6_admin").body), (Json{{"cleared", 0}}));
    EXPECT_TRUE(store.lockouts(false).empty());
}

}  // namespace kv6::fleet::api::test
