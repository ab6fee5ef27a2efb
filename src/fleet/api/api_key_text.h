#pragma once

#include <string>
#include <string_view>

namespace kv6::fleet::api {

// A new operator key: 32 bytes of the system's cryptographically secure
// generator in base64url, after "kv6_" so that a key is recognisable where
// it should not be (a leak scan, a pasted log).
[[nodiscard]] std::string newApiKey();
// The key as the store keeps it: its SHA-256 in lowercase hex.
[[nodiscard]] std::string apiKeySha256(std::string_view key);

}  // namespace kv6::fleet::api
