#pragma once

// What the operator API's resources share: ids and query values taken
// apart, the store's failure as an answer, and one page of a list.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "fleet/api/api_paging.h"
#include "fleet/api/api_service.h"

namespace kv6::fleet::api::resources {

using settings::Json;

// A record's id in a path: a positive number, nothing else.
inline std::optional<std::int64_t> idValue(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
    return value;
}

inline std::optional<std::string> queryValue(const ApiRequest& request, const char* key) {
    const auto found = request.query.find(key);
    if (found == request.query.end()) return std::nullopt;
    return found->second;
}

inline ApiResponse storeFailed(FleetStore& store) {
    return errorResponse(503, "the store could not be read: " + store.lastError());
}

// One page as {"items": [...], "next": CURSOR|null}: `fetch(after, limit)`
// gives the store's records after that key, one more than the page holds to
// tell whether another page follows. `after` is the cursor's key as the
// store's list orders it.
template <class Fetch, class KeyOf, class ToJson>
ApiResponse paged(FleetStore& store, const ApiRequest& request, Fetch fetch, KeyOf keyOf, ToJson toJson) {
    std::string error;
    const auto page = Page::fromQuery(request.query, error);
    if (!page) return errorResponse(400, error);
    const auto items = fetch(page->after.value_or(std::string()), page->limit + 1, page->newestFirst);
    if (!items) return storeFailed(store);
    Json list = Json::array();
    const std::size_t shown = std::min(items->size(), page->limit);
    for (std::size_t i = 0; i < shown; ++i) list.push_back(toJson((*items)[i]));
    Json body = {{"items", std::move(list)}, {"next", nullptr}};
    if (items->size() > page->limit) body["next"] = encodeCursor(keyOf((*items)[shown - 1]));
    return jsonResponse(200, body);
}

}  // namespace kv6::fleet::api::resources
