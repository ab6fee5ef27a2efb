#pragma once

#include <cstdint>
#include <optional>

#include "fleet/drift_query.h"
#include "settings/settings_json.h"

namespace kv6::fleet {

// A drift row as the API and `kv6ctl fleet drift --json` give it:
//   {"object": "1001", "state": "differs"|"same"|"no backup"|"refused",
//    "backup": 12|null, "taken": "...", "ageDays": 3|null,
//    "items": [{"key", "a", "b"} | {"bytes": [first, last]}], "problems": [...]}
// The items are those of POST /api/v1/diff and `kv6ctl diff --json`.
[[nodiscard]] settings::Json driftRowJson(const DriftRow& row, std::int64_t nowSeconds);
// The row back from that JSON; none when it is no such row.
[[nodiscard]] std::optional<DriftRow> driftRowFromJson(const settings::Json& json);
// The state word of a row.
[[nodiscard]] const char* driftState(const DriftRow& row);

// A difference's items as `kv6ctl diff --json` and the API list them.
[[nodiscard]] settings::Json diffItemsJson(const settings::ConfigDiff& difference);

}  // namespace kv6::fleet
