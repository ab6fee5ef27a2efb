#include "fleet/failure_reason.h"

namespace kv6::fleet {

std::string_view failureReason(std::string_view result) {
    const auto has = [&](std::string_view part) { return result.find(part) != std::string_view::npos; };
    if (has("read password differs")) return "password mismatch";
    if (has("did not hold")) return "verify failed";
    if (has("no read password is recorded")) return "no password recorded";
    // Attempts cut short by silence or a lost connection, until the job gave up.
    if (has("did not answer") || has("did not acknowledge") || has("connection dropped")) return "no answer";
    return "other";
}

}  // namespace kv6::fleet
