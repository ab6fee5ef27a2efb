#pragma once

#include <string>
#include <string_view>

namespace kv6::fleet {

// Why a write job failed, as a rollout's status groups its failures:
// "password mismatch", "no answer", "verify failed", "no password recorded"
// or "other", read from the result the job runner gave.
[[nodiscard]] std::string_view failureReason(std::string_view result);

}  // namespace kv6::fleet
