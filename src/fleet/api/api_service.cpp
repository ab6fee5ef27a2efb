#include "fleet/api/api_service.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "fleet/api/job_request.h"

namespace kv6::fleet::api {

namespace {

std::vector<std::string> segments(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// "application/json", with or without parameters ("; charset=utf-8").
bool isJson(const std::string& contentType) {
    const std::string type = lower(contentType.substr(0, contentType.find(';')));
    const auto first = type.find_first_not_of(' ');
    const auto last = type.find_last_not_of(' ');
    return first != std::string::npos && type.substr(first, last - first + 1) == "application/json";
}

}  // namespace

ApiResponse errorResponse(int status, const std::string& message) {
    return jsonResponse(status, settings::Json{{"error", message}});
}

ApiResponse jsonResponse(int status, const settings::Json& json) {
    return {status, "application/json", json.dump(2, ' ', false, settings::Json::error_handler_t::replace) + "\n"};
}

ApiService::ApiService(FleetStore& store, Hooks hooks) : m_store(store), m_hooks(std::move(hooks)) {}

void ApiService::log(const std::string& line) const {
    if (m_hooks.log) m_hooks.log(line);
}

ApiResponse ApiService::handle(const ApiRequest& request) {
    if (request.path == "/healthz") {
        if (request.method != "GET" && request.method != "HEAD") return errorResponse(405, "GET /healthz");
        return health();
    }
    const bool metrics = request.path == "/metrics";
    if (!metrics && request.path != "/api/v1" && request.path.rfind("/api/v1/", 0) != 0)
        return errorResponse(404, "no such resource: " + request.path.substr(0, 200));
    // A key travels in the Authorization header only: a URL ends up in logs.
    if (request.query.contains("key") || request.query.contains("token") || request.query.contains("access_token"))
        return errorResponse(400, "key: send it as \"Authorization: Bearer KEY\", never in the URL");
    if (metrics && m_hooks.openMetrics) return this->metrics();
    ApiResponse refusal;
    const auto caller = authenticate(request, refusal);
    if (!caller) return refusal;
    if (metrics) {
        if (request.method != "GET") return errorResponse(405, "GET /metrics");
        return this->metrics();
    }
    return route(request, *caller);
}

std::optional<ApiService::Caller> ApiService::authenticate(const ApiRequest& request, ApiResponse& refusal) {
    const std::string& header = request.authorization;
    const std::string scheme = lower(header.substr(0, std::min<std::size_t>(header.size(), 7)));
    std::string why;
    if (header.empty()) {
        why = "no key";
        refusal = errorResponse(401, "Authorization: a key is needed (\"Authorization: Bearer KEY\")");
    } else if (scheme != "bearer " || header.size() == 7) {
        why = "no Bearer key";
        refusal = errorResponse(401, "Authorization: only \"Bearer KEY\" is taken");
    } else {
        std::string key = header.substr(7);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        if (const auto found = m_store.apiKeyByHash(m_hooks.sha256Hex(key))) {
            if (const auto role = roleFromName(found->role)) return Caller{found->name, *role};
            why = "key '" + found->name + "' has an unknown role";
        } else {
            why = "an unknown or revoked key";
        }
        refusal = errorResponse(401, "Authorization: the key is not known, or revoked");
    }
    ++m_unauthorized;
    log("api: refused " + request.method + " " + request.path.substr(0, 200) + " from " + request.peer + ": " + why);
    return std::nullopt;
}

ApiResponse ApiService::forbidden(const ApiRequest& request, const Caller& caller, const std::string& what) {
    const std::string message =
        "key '" + caller.name + "' (" + std::string(roleName(caller.role)) + ") may not " + what;
    ++m_forbidden;
    log("api: refused " + request.method + " " + request.path.substr(0, 200) + " from " + request.peer + ": " +
        message);
    return errorResponse(403, message);
}

ApiResponse ApiService::route(const ApiRequest& request, const Caller& caller) {
    const std::vector<std::string> parts = segments(request.path);  // "api", "v1", ...
    const std::size_t n = parts.size();
    const std::string& method = request.method;
    const std::string resource = n > 2 ? parts[2] : "";
    const auto methodNotAllowed = [&] { return errorResponse(405, method + " is not taken by " + request.path); };
    if (method == "POST" || method == "PUT" || method == "PATCH") {
        if (request.body.size() > kMaxBody)
            return errorResponse(413, "the body is over " + std::to_string(kMaxBody / 1024) + " KiB");
        if (!isJson(request.contentType))
            return errorResponse(415, "Content-Type: application/json is needed, not '" +
                                          request.contentType.substr(0, 64) + "'");
    }
    if (resource == "modules" && n == 6 && parts[4] == "tags") {
        if (method != "POST" && method != "DELETE") return methodNotAllowed();
        if (!validObjectNumber(parts[3])) return errorResponse(400, "object: one to four letters or digits are needed");
        return changeTags(request, caller, parts[5], {parts[3]}, method == "POST");
    }
    if (resource == "tags") return routeTags(request, caller, parts);
    if (resource == "rollouts" && n <= 5) {
        if (n == 3 && method == "GET") return listRollouts();
        if (n == 3 && method == "POST") {
            if (caller.role == Role::Viewer) return forbidden(request, caller, "create rollouts");
            return createRollout(request, caller);
        }
        if (n == 4 && method == "GET") return oneRollout(parts[3]);
        if (n == 5 && method == "POST") return stepRollout(request, caller, parts[3], parts[4]);
        return methodNotAllowed();
    }
    if (resource == "modules" && n <= 4) {
        if (method != "GET") return methodNotAllowed();
        return n == 3 ? listModules(request) : oneModule(parts[3]);
    }
    if (resource == "jobs" && n <= 4) {
        if (n == 3 && method == "GET") return listJobs(request);
        if (n == 3 && method == "POST") {
            if (!allows(caller.role, Action::QueueJob, JobKind::Read)) return forbidden(request, caller, "queue jobs");
            return queueJob(request, caller);
        }
        if (n == 4 && method == "GET") return oneJob(parts[3]);
        if (n == 4 && method == "DELETE") {
            if (!allows(caller.role, Action::CancelJob)) return forbidden(request, caller, "cancel jobs");
            return cancelJob(request, caller, parts[3]);
        }
        return methodNotAllowed();
    }
    if (resource == "backups" && n <= 5) {
        if (method != "GET") return methodNotAllowed();
        if (n == 3) return listBackups(request);
        return backup(parts[3], n == 5 ? parts[4] : "");
    }
    if (resource == "diff" && n == 3) {
        if (method == "GET") return diff(request);
        // Reads only, as GET does: the document travels in the body.
        if (method == "POST") return diffDocument(request);
        return methodNotAllowed();
    }
    // Reads only: a viewer may ask it too.
    if (resource == "drift" && n == 3) return method == "POST" ? drift(request) : methodNotAllowed();
    if (resource == "whoami" && n == 3) {
        if (method != "GET") return methodNotAllowed();
        return jsonResponse(200, settings::Json{{"name", caller.name}, {"role", std::string(roleName(caller.role))}});
    }
    if (resource == "audit" && n == 3) return method == "GET" ? listAudit(request) : methodNotAllowed();
    if (resource == "keys" && n <= 4) {
        if (!allows(caller.role, Action::ManageKeys)) return forbidden(request, caller, "manage keys");
        if (n == 3 && method == "GET") return listKeys();
        if (n == 3 && method == "POST") return addKey(request, caller);
        if (n == 4 && method == "DELETE") return revokeKey(request, caller, parts[3]);
        return methodNotAllowed();
    }
    if (resource == "lockouts" && n <= 4) {
        if (n == 3 && method == "GET") return listLockouts(request);
        if (method == "DELETE") {
            if (!allows(caller.role, Action::ClearLockouts)) return forbidden(request, caller, "clear lock-outs");
            return clearLockouts(request, caller, n == 4 ? std::optional(parts[3]) : std::nullopt);
        }
        return methodNotAllowed();
    }
    return errorResponse(404, "no such resource: " + request.path.substr(0, 200));
}

ApiResponse ApiService::health() {
    if (m_hooks.health) {
        const auto [up, text] = m_hooks.health();
        return {up ? 200 : 503, "text/plain", text};
    }
    const auto problem = m_hooks.storeProblem ? m_hooks.storeProblem() : std::nullopt;
    if (problem) return {503, "text/plain", "down: " + *problem + "\n"};
    return {200, "text/plain", "up\n"};
}

}  // namespace kv6::fleet::api
