// The rollouts and tags of the operator API: lists and status for every key,
// changes for operators, approval above kRolloutAdminAbove modules for admins.
#include <charconv>
#include <map>

#include "fleet/api/api_resource_helpers.h"
#include "fleet/api/api_service.h"
#include "fleet/api/job_request.h"
#include "fleet/api/rollout_json.h"
#include "fleet/queue_checks.h"

namespace kv6::fleet::api {

namespace {

using settings::Json;
using resources::idValue;

int statusOf(RolloutOutcome::Status status) {
    switch (status) {
        case RolloutOutcome::Status::Done: return 200;
        case RolloutOutcome::Status::NotFound: return 404;
        case RolloutOutcome::Status::Conflict: return 409;
        case RolloutOutcome::Status::Invalid: return 400;
        case RolloutOutcome::Status::Forbidden: return 403;
        case RolloutOutcome::Status::StoreFailed: return 503;
    }
    return 500;
}

}  // namespace

ApiResponse ApiService::listRollouts() {
    const auto all = m_store.rollouts(0);
    if (!all) return errorResponse(503, "the store could not be read: " + m_store.lastError());
    Json list = Json::array();
    for (const RolloutRecord& r : *all) list.push_back(rolloutJson(r));
    return jsonResponse(200, Json{{"items", std::move(list)}, {"next", nullptr}});
}

ApiResponse ApiService::oneRollout(const std::string& id) {
    const auto value = idValue(id);
    if (!value) return errorResponse(400, "id: a rollout's number is needed");
    const auto found = m_store.rollouts(*value);
    const auto waves = found ? m_store.rolloutWaves(*value) : std::nullopt;
    if (!found || !waves) return errorResponse(503, "the store could not be read: " + m_store.lastError());
    if (found->empty()) return errorResponse(404, "id: no rollout " + id);
    Json body = rolloutJson(found->front());
    body["waveStatus"] = Json::array();
    for (const RolloutWaveStatus& w : *waves) body["waveStatus"].push_back(waveJson(w));
    return jsonResponse(200, body);
}

ApiResponse ApiService::createRollout(const ApiRequest& request, const Caller& caller) {
    std::string error;
    auto rollout = newRolloutFromJson(request.body, error);
    if (!rollout) return errorResponse(400, error);
    const std::vector<std::string> problems = rolloutProblems(m_store, *rollout);
    if (!problems.empty()) {
        Json body = {{"error", problems.front()}, {"problems", problems}};
        return jsonResponse(400, body);
    }
    rollout->by = caller.name;
    const RolloutOutcome created = m_store.createRollout(*rollout);
    if (!created.done()) return errorResponse(statusOf(created.status), created.message);
    log("api: key '" + caller.name + "' created rollout " + std::to_string(created.id) + " '" + rollout->name +
        "' from " + request.peer);
    ApiResponse answer = oneRollout(std::to_string(created.id));
    if (answer.status == 200) answer.status = 201;
    return answer;
}

ApiResponse ApiService::stepRollout(const ApiRequest& request, const Caller& caller, const std::string& id,
                                    const std::string& stepName) {
    const auto step = rolloutStepFromName(stepName);
    if (!step) return errorResponse(404, "no such resource: rollouts/" + id + "/" + stepName.substr(0, 64));
    const auto value = idValue(id);
    if (!value) return errorResponse(400, "id: a rollout's number is needed");
    if (caller.role == Role::Viewer) return forbidden(request, caller, "change rollouts");
    if (*step == RolloutStep::Approve && caller.role != Role::Admin) {
        const auto found = m_store.rollouts(*value);
        if (!found) return errorResponse(503, "the store could not be read: " + m_store.lastError());
        if (found->empty()) return errorResponse(404, "id: no rollout " + id);
        if (found->front().modules > kRolloutAdminAbove)
            return forbidden(request, caller,
                             "approve a rollout of more than " + std::to_string(kRolloutAdminAbove) + " modules");
    }
    const RolloutOutcome done = m_store.stepRollout(*value, *step, caller.name);
    if (done.status == RolloutOutcome::Status::Forbidden) return forbidden(request, caller, "approve it: " + done.message);
    if (!done.done()) return errorResponse(statusOf(done.status), done.message);
    log("api: key '" + caller.name + "': " + done.message + " from " + request.peer);
    return oneRollout(id);
}

ApiResponse ApiService::changeTags(const ApiRequest& request, const Caller& caller, const std::string& tag,
                                   const std::vector<std::string>& objects, bool add) {
    if (caller.role == Role::Viewer) return forbidden(request, caller, "change tags");
    if (!validTagName(tag)) return errorResponse(400, "tag: 1..64 letters, digits, '.', '_' or '-' are needed");
    for (const std::string& object : objects)
        if (!validObjectNumber(object)) return errorResponse(400, "objects: each one to four letters or digits");
    const long long changed = m_store.changeTags(tag, objects, add);
    if (changed < 0) return errorResponse(503, "the store could not be changed: " + m_store.lastError());
    log("api: key '" + caller.name + "' " + (add ? "tagged " : "untagged ") + std::to_string(changed) + " modules '" +
        tag + "' from " + request.peer);
    return jsonResponse(200, Json{{"tag", tag}, {"changed", changed}});
}

ApiResponse ApiService::routeTags(const ApiRequest& request, const Caller& caller, const std::vector<std::string>& parts) {
    // POST /api/v1/tags/TAG/add|remove {"objects": [...]}
    if (parts.size() != 5 || request.method != "POST" || (parts[4] != "add" && parts[4] != "remove"))
        return errorResponse(404, "no such resource: " + request.path.substr(0, 200));
    const Json body = Json::parse(request.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("objects") || !body["objects"].is_array())
        return errorResponse(400, "objects: a list of object numbers is needed");
    std::vector<std::string> objects;
    for (const Json& o : body["objects"]) {
        if (!o.is_string()) return errorResponse(400, "objects: each one to four letters or digits");
        objects.push_back(o.get<std::string>());
    }
    return changeTags(request, caller, parts[3], objects, parts[4] == "add");
}

std::string ApiService::rolloutMetrics() {
    const auto all = m_store.rollouts(0);
    if (!all) return {};
    long long halts = 0;
    std::map<std::string, long long> byState;
    for (const std::string_view state : {kRolloutAwaiting, kRolloutApproved, kRolloutRunning, kRolloutPaused,
                                         kRolloutHalted, kRolloutFinished, kRolloutCancelled})
        byState[std::string(state)] = 0;
    for (const RolloutRecord& r : *all) {
        halts += r.halts;
        ++byState[r.state];
    }
    std::string text = "# HELP kv6_rollouts Rollouts in the store, by state.\n# TYPE kv6_rollouts gauge\n";
    for (const auto& [state, count] : byState)
        text += "kv6_rollouts{state=\"" + state + "\"} " + std::to_string(count) + "\n";
    text += "# HELP kv6_rollout_halts_total Rollouts halted because a wave failed beyond its limit.\n"
            "# TYPE kv6_rollout_halts_total counter\n";
    text += "kv6_rollout_halts_total " + std::to_string(halts) + "\n";
    return text;
}

}  // namespace kv6::fleet::api
