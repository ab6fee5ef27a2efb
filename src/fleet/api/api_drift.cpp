// POST /api/v1/drift: what a document or image would change in each module
// of a target, against its newest backup; a page of modules at a time.
#include <chrono>

#include "fleet/api/api_paging.h"
#include "fleet/api/api_service.h"
#include "fleet/api/drift_request.h"
#include "fleet/drift_json.h"
#include "fleet/queue_checks.h"

namespace kv6::fleet::api {

using settings::Json;

ApiResponse ApiService::drift(const ApiRequest& request) {
    std::string error;
    const auto parsed = DriftRequest::parse(request.body, error);
    if (!parsed) return errorResponse(400, error);
    const auto page = Page::fromQuery(request.query, error);
    if (!page) return errorResponse(400, error);
    if (page->newestFirst) return errorResponse(400, "order: drift lists modules in object order only");
    if (parsed->source.format == WriteFormat::SettingsJson) {
        // Values no module could take are refused once, before any module is looked at.
        const std::vector<std::string> problems = settingsProblems(m_store, std::string(), parsed->source.document);
        if (!problems.empty()) {
            Json refusal = {{"error", "settings." + problems.front()}, {"problems", Json::array()}};
            for (const std::string& problem : problems) refusal["problems"].push_back("settings." + problem);
            return jsonResponse(400, refusal);
        }
    }
    DriftQuery query;
    query.source = parsed->source;
    query.target = parsed->target;
    query.after = page->after.value_or(std::string());
    query.limit = page->limit;
    const auto drift = m_store.driftPage(query);
    if (!drift) return errorResponse(503, "the store could not be read: " + m_store.lastError());
    if (!drift->error.empty()) return errorResponse(400, "target: " + drift->error);
    const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    Json items = Json::array();
    for (const DriftRow& row : drift->rows) items.push_back(driftRowJson(row, now));
    Json body = {{"items", std::move(items)}, {"next", nullptr}};
    if (!drift->next.empty()) body["next"] = encodeCursor(drift->next);
    return jsonResponse(200, body);
}

}  // namespace kv6::fleet::api
