#pragma once

#include <optional>
#include <string_view>

#include "fleet/fleet_job.h"

namespace kv6::fleet::api {

// What a key may do. Each role may do all the one before it may:
// a viewer reads everything; an operator also queues reads and writes and
// cancels queued jobs; an admin also queues password, clear-journal and
// reset jobs, manages the keys and ends lock-outs.
enum class Role { Viewer, Operator, Admin };

[[nodiscard]] std::string_view roleName(Role role);
[[nodiscard]] std::optional<Role> roleFromName(std::string_view name);

// What a request asks to do, as the roles see it.
enum class Action { Read, QueueJob, CancelJob, ManageKeys, ClearLockouts };

// Whether the role may do the action; a queued job's kind matters.
[[nodiscard]] bool allows(Role role, Action action, JobKind kind = JobKind::Read);

// A key's name: 1..64 letters, digits and . _ @ - (it shows in logs and lists).
[[nodiscard]] bool validKeyName(std::string_view name);

}  // namespace kv6::fleet::api
