#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fleet/fleet_store.h"
#include "settings/settings_json.h"

namespace kv6::fleet::api {

// The body of POST /api/v1/jobs, its shape checked; what it asks of the
// module is checked against the store afterwards, as for `kv6ctl fleet queue`.
//
//   {"object": "1001", "kind": "write", "settings": {...} | "prg": "BASE64",
//    "password": 1234, "renumber": true, "passwordFromFile": true}
//   {"object": "1001", "kind": "password", "newPassword": 42}
//   {"object": "1001", "kind": "reset", "force": true}
struct JobRequest {
    NewJob job;                              // without its payload's format for settings
    std::optional<settings::Json> settings;  // a write's settings document
    std::optional<std::uint16_t> password;   // the object's read password, to record

    // None with `error` naming the key or value at fault.
    [[nodiscard]] static std::optional<JobRequest> parse(std::string_view body, std::string& error);
};

// One to four letters or digits, as a module identifies itself.
[[nodiscard]] bool validObjectNumber(std::string_view text);

// Standard base64 (padding optional, no line breaks); none when the text is not.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);

}  // namespace kv6::fleet::api
