#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/api/api_message.h"
#include "fleet/api/api_role.h"
#include "fleet/fleet_store.h"
#include "settings/settings_json.h"

namespace kv6::fleet::api {

// The operator API's rules over the store: who is asking (a key and its
// role), what they may do, and each resource's answer in JSON. The HTTP
// layer hands it parsed requests and writes back its answers.
//
//   GET    /healthz                       "up" (200) or "down: ..." (503), no key
//   GET    /metrics                       Prometheus text (see Metrics)
//   GET    /api/v1/modules[/OBJECT]       GET /api/v1/jobs[/ID]   POST /api/v1/jobs
//   DELETE /api/v1/jobs/ID                GET /api/v1/backups?object=N, /backups/ID[/settings|/journal]
//   GET    /api/v1/diff?from=ID&to=ID     POST /api/v1/diff (a document against a backup)
//   POST   /api/v1/drift                  (a document against each module's newest backup)
//   GET    /api/v1/audit                  GET /api/v1/whoami
//   GET    /api/v1/keys                   POST /api/v1/keys   DELETE /api/v1/keys/NAME
//   GET    /api/v1/lockouts[?locked=true] DELETE /api/v1/lockouts[/SUBJECT]
//   GET    /api/v1/rollouts[/ID]          POST /api/v1/rollouts
//   POST   /api/v1/rollouts/ID/approve|start|pause|resume|cancel|retry-failed
//   GET    /api/v1/modules?tag=T          POST /api/v1/tags/TAG/add|remove {"objects": [...]}
//   POST|DELETE /api/v1/modules/OBJECT/tags/TAG
class ApiService {
public:
    // Bodies beyond this are refused (413): a whole settings export is some
    // tens of kilobytes, a .prg in base64 under 6.
    static constexpr std::size_t kMaxBody = 64 * 1024;

    // What the service needs of the server around it.
    struct Hooks {
        // Hex SHA-256 of a key as sent.
        std::function<std::string(std::string_view key)> sha256Hex;
        // A new random key (a cryptographically secure generator's).
        std::function<std::string()> newKey;
        // Whether the store can be reached, and if not why.
        std::function<std::optional<std::string>()> storeProblem;
        // The health check's answer: whether the server can serve, and its text.
        std::function<std::pair<bool, std::string>()> health;
        // The metrics text of the server (appended to the store's figures).
        std::function<std::string()> metrics;
        std::function<void(const std::string& line)> log;
        // GET /metrics without a key: only where no one else can reach it.
        bool openMetrics = false;
    };

    ApiService(FleetStore& store, Hooks hooks);

    [[nodiscard]] ApiResponse handle(const ApiRequest& request);

private:
    struct Caller {
        std::string name;
        Role role = Role::Viewer;
    };
    // The caller of a request, or the 401 answer (logged).
    [[nodiscard]] std::optional<Caller> authenticate(const ApiRequest& request, ApiResponse& refusal);
    // A 403 answer, logged with the key's name and the address.
    [[nodiscard]] ApiResponse forbidden(const ApiRequest& request, const Caller& caller, const std::string& what);
    [[nodiscard]] ApiResponse route(const ApiRequest& request, const Caller& caller);

    [[nodiscard]] ApiResponse health();
    [[nodiscard]] ApiResponse listModules(const ApiRequest& request);
    [[nodiscard]] ApiResponse oneModule(const std::string& object);
    [[nodiscard]] ApiResponse listJobs(const ApiRequest& request);
    [[nodiscard]] ApiResponse oneJob(const std::string& id);
    [[nodiscard]] ApiResponse queueJob(const ApiRequest& request, const Caller& caller);
    [[nodiscard]] ApiResponse cancelJob(const ApiRequest& request, const Caller& caller, const std::string& id);
    [[nodiscard]] ApiResponse listBackups(const ApiRequest& request);
    [[nodiscard]] ApiResponse backup(const std::string& id, const std::string& part);
    [[nodiscard]] ApiResponse diff(const ApiRequest& request);
    [[nodiscard]] ApiResponse diffDocument(const ApiRequest& request);
    [[nodiscard]] ApiResponse drift(const ApiRequest& request);
    [[nodiscard]] ApiResponse listAudit(const ApiRequest& request);
    [[nodiscard]] ApiResponse listKeys();
    [[nodiscard]] ApiResponse addKey(const ApiRequest& request, const Caller& caller);
    [[nodiscard]] ApiResponse revokeKey(const ApiRequest& request, const Caller& caller, const std::string& name);
    [[nodiscard]] ApiResponse listLockouts(const ApiRequest& request);
    // One subject's lock-out and count, or every subject's (none given).
    [[nodiscard]] ApiResponse clearLockouts(const ApiRequest& request, const Caller& caller,
                                            const std::optional<std::string>& subject);
    [[nodiscard]] ApiResponse metrics();
    [[nodiscard]] ApiResponse listRollouts();
    [[nodiscard]] ApiResponse oneRollout(const std::string& id);
    [[nodiscard]] ApiResponse createRollout(const ApiRequest& request, const Caller& caller);
    [[nodiscard]] ApiResponse stepRollout(const ApiRequest& request, const Caller& caller, const std::string& id,
                                          const std::string& step);
    [[nodiscard]] ApiResponse changeTags(const ApiRequest& request, const Caller& caller, const std::string& tag,
                                         const std::vector<std::string>& objects, bool add);
    [[nodiscard]] ApiResponse routeTags(const ApiRequest& request, const Caller& caller,
                                        const std::vector<std::string>& parts);
    // The rollouts' figures of /metrics: by state, and the halts so far (every server's).
    [[nodiscard]] std::string rolloutMetrics();

    void log(const std::string& line) const;

    FleetStore& m_store;
    Hooks m_hooks;
    long long m_unauthorized = 0;  // 401s since the start
    long long m_forbidden = 0;     // 403s
};

// {"error": "..."} with a status.
[[nodiscard]] ApiResponse errorResponse(int status, const std::string& message);
[[nodiscard]] ApiResponse jsonResponse(int status, const settings::Json& json);

}  // namespace kv6::fleet::api
