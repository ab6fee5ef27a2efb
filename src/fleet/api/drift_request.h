#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fleet/drift_query.h"

namespace kv6::fleet::api {

// The body of POST /api/v1/drift, its shape checked; the page (limit,
// cursor) comes from the query as for every list.
//
//   {"settings": {...} | "prg": "BASE64", "target": "all" | "tag:NAME" | ["1001", "1002"]}
struct DriftRequest {
    DriftSource source;
    FleetTarget target;

    // None with `error` naming the key or value at fault.
    [[nodiscard]] static std::optional<DriftRequest> parse(std::string_view body, std::string& error);
};

}  // namespace kv6::fleet::api
