// Rollouts and tags through the operator API: who may do what, the
// creator's own approval refused, the admin's above the threshold, the
// answers' statuses, and the halts in /metrics.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "fleet/api/api_service.h"
#include "fleet/sql_fleet_store.h"
#include "support/core_app.h"

namespace kv6::fleet::api::test {

namespace {

using settings::Json;

class ApiRolloutsTest : public ::testing::Test {
protected:
    ApiRolloutsTest() {
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
        EXPECT_TRUE(store.addApiKey("desk2", "operator", "h:kv6_operator2"));
        EXPECT_TRUE(store.addApiKey("root", "admin", "h:kv6_admin"));
    }

    ApiResponse call(const std::string& method, const std::string& path, const std::string& key,
                     const std::string& body = {}, std::map<std::string, std::string> query = {}) {
        ApiRequest request;
        request.method = method;
        request.path = path;
        request.query = std::move(query);
        request.authorization = "Bearer " + key;
        request.body = body;
        request.contentType = "application/json";
        request.peer = "198.51.100.4";
        return service->handle(request);
    }
    static Json json(const ApiResponse& response) { return Json::parse(response.body); }
    static std::string error(const ApiResponse& response) { return json(response).value("error", ""); }

    // `count` objects 2000.. tagged "north" through the API.
    void tag(int count) {
        Json objects = Json::array();
        for (int i = 0; i < count; ++i) objects.push_back(std::to_string(2000 + i));
        const ApiResponse tagged = call("POST", "/api/v1/tags/north/add", "kv6_operator", Json{{"objects", objects}}.dump());
        ASSERT_EQ(tagged.status, 200) << tagged.body;
        EXPECT_EQ(json(tagged)["changed"], count);
    }
    ApiResponse create(const std::string& key, const std::string& waves = "10%,100%") {
        const Json body = {{"name", "apn"},
                           {"settings", {{"format", "kv6-settings"}, {"version", 1}, {"object", {{"apn", "fleet.apn"}}}}},
                           {"target", "tag:north"},
                           {"waves", waves},
                           {"maxFailed", "5%"}};
        return call("POST", "/api/v1/rollouts", key, body.dump());
    }

    QTemporaryDir dir;
    SqlFleetStore store{dir.filePath(QStringLiteral("fleet.sqlite")), QStringLiteral("kv6d@a")};
    std::unique_ptr<ApiService> service;
    std::vector<std::string> logged;
};

}  // namespace

TEST_F(ApiRolloutsTest, AnOperatorCreatesAnotherApprovesAndTheStepsAnswerWithTheRollout) {
    tag(20);
    EXPECT_EQ(call("POST", "/api/v1/tags/north/add", "kv6_viewer", R"({"objects": ["2000"]})").status, 403);
    EXPECT_EQ(create("kv6_viewer").status, 403);
    const ApiResponse created = create("kv6_operator");
    ASSERT_EQ(created.status, 201) << created.body;
    EXPECT_EQ(json(created)["state"], "awaiting approval");
    EXPECT_EQ(json(created)["modules"], 20);
    EXPECT_EQ(json(created)["createdBy"], "desk");
    const std::string id = std::to_string(json(created)["id"].get<long long>());

    const ApiResponse own = call("POST", "/api/v1/rollouts/" + id + "/approve", "kv6_operator", "{}");
    EXPECT_EQ(own.status, 403);
    EXPECT_EQ(error(own), "key 'desk' (operator) may not approve it: rollout 1 'apn' was created by desk: another "
                          "person must approve it");
    EXPECT_EQ(call("POST", "/api/v1/rollouts/" + id + "/approve", "kv6_viewer", "{}").status, 403);
    EXPECT_EQ(call("POST", "/api/v1/rollouts/" + id + "/start", "kv6_operator", "{}").status, 409);
    const ApiResponse approved = call("POST", "/api/v1/rollouts/" + id + "/approve", "kv6_operator2", "{}");
    ASSERT_EQ(approved.status, 200) << approved.body;
    EXPECT_EQ(json(approved)["approvedBy"], "desk2");
    const ApiResponse started = call("POST", "/api/v1/rollouts/" + id + "/start", "kv6_operator", "{}");
    ASSERT_EQ(started.status, 200);
    EXPECT_EQ(json(started)["state"], "running");
    EXPECT_EQ(json(started)["waveStatus"][0]["queued"], 2);
    EXPECT_EQ(json(started)["waveStatus"][1]["waiting"], 18);

    EXPECT_EQ(call("POST", "/api/v1/rollouts/" + id + "/launch", "kv6_operator", "{}").status, 404);
    EXPECT_EQ(call("GET", "/api/v1/rollouts/77", "kv6_viewer").status, 404);
    EXPECT_EQ(call("GET", "/api/v1/rollouts/x", "kv6_viewer").status, 400);
    EXPECT_EQ(json(call("GET", "/api/v1/rollouts", "kv6_viewer"))["items"].size(), 1u);
    // Tagged modules list by their tag; a module's page names its tags.
    ASSERT_TRUE(store.moduleSeen("2000", "198.51.100.1", "KV6"));
    ASSERT_TRUE(store.moduleSeen("3000", "198.51.100.1", "KV6"));
    const Json north = json(call("GET", "/api/v1/modules", "kv6_viewer", {}, {{"tag", "north"}}));
    ASSERT_EQ(north["items"].size(), 1u);
    EXPECT_EQ(north["items"][0]["tags"], Json::array({"north"}));
}

TEST_F(ApiRolloutsTest, MoreThanAThousandModulesNeedAnAdminsApproval) {
    tag(1001);
    const ApiResponse created = create("kv6_operator", "1%,100%");
    ASSERT_EQ(created.status, 201) << created.body;
    const ApiResponse refused = call("POST", "/api/v1/rollouts/1/approve", "kv6_operator2", "{}");
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(error(refused), "key 'desk2' (operator) may not approve a rollout of more than 1000 modules");
    EXPECT_EQ(call("POST", "/api/v1/rollouts/1/approve", "kv6_admin", "{}").status, 200);
}

TEST_F(ApiRolloutsTest, BadRolloutsAreRefusedWithTheirReasonAndNothingIsStored) {
    tag(3);
    const auto refusal = [&](const std::string& body) {
        const ApiResponse answer = call("POST", "/api/v1/rollouts", "kv6_operator", body);
        EXPECT_EQ(answer.status, 400) << body;
        return error(answer);
    };
    EXPECT_EQ(refusal("[]"), "the body is no JSON object");
    EXPECT_EQ(refusal(R"({"name": "a", "target": "tag:north", "waves": "100%", "maxFailed": "1"})"),
              "settings: either \"settings\" (a kv6-settings document) or \"prg\" (base64) is needed");
    EXPECT_EQ(refusal(R"({"name": "a", "settings": {}, "target": "tag:north", "waves": "50%", "maxFailed": "1"})"),
              "waves: the last wave must be 100%");
    EXPECT_EQ(refusal(R"({"name": "a", "settings": {}, "target": "objects", "waves": "100%", "maxFailed": "1"})"),
              "objects: the list of object numbers is needed");
    EXPECT_EQ(refusal(R"({"name": "a", "prg": "AAAA", "target": "all", "waves": "100%", "maxFailed": "1"})"),
              "prg: the bytes of a .prg (4096) in base64 are needed");
    EXPECT_EQ(refusal(R"({"name": "a", "settings": {}, "target": "tag:north", "waves": "100%", "maxFailed": "x", "dry": 1})"),
              "unknown key 'dry'");
    EXPECT_EQ(json(call("GET", "/api/v1/rollouts", "kv6_viewer"))["items"].size(), 0u);
}

TEST_F(ApiRolloutsTest, HaltsAndRolloutsByStateAreInTheMetrics) {
    tag(2);
    const ApiResponse created = create("kv6_operator", "100%");
    ASSERT_EQ(created.status, 201) << created.body;
    ASSERT_EQ(call("POST", "/api/v1/rollouts/1/approve", "kv6_admin", "{}").status, 200);
    ASSERT_EQ(call("POST", "/api/v1/rollouts/1/start", "kv6_admin", "{}").status, 200);
    const auto job = store.claimNextJob("2000");
    ASSERT_TRUE(job);
    ASSERT_TRUE(store.finishJob(job->id, JobState::Failed, "did not hold: gsm.apn"));
    ASSERT_TRUE(store.advanceRollouts());
    const std::string metrics = call("GET", "/metrics", "kv6_viewer").body;
    EXPECT_NE(metrics.find("kv6_rollout_halts_total 1\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("kv6_rollouts{state=\"halted\"} 1\n"), std::string::npos);
    EXPECT_NE(metrics.find("kv6_rollouts{state=\"running\"} 0\n"), std::string::npos);
    EXPECT_NE(metrics.find("kv6_jobs{state=\"held\"} 1\n"), std::string::npos);
    const Json status = json(call("GET", "/api/v1/rollouts/1", "kv6_viewer"));
    EXPECT_EQ(status["state"], "halted");
    EXPECT_EQ(status["waveStatus"][0]["failures"], Json({{"verify failed", 1}}));
    EXPECT_EQ(status["waveStatus"][0]["held"], 1);
}

}  // namespace kv6::fleet::api::test
