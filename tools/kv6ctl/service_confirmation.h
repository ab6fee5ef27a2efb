#pragma once

#include "ctl_backup.h"
#include "ctl_options.h"

namespace kv6::ctl {

// Reset and clear-journal cannot be undone. Asks `question` on a terminal
// ("[y/N]"); elsewhere only --yes lets them run. Returns 0 to go on, else the
// exit code (2: not confirmed).
[[nodiscard]] int confirmService(const char* command, const CtlOptions& options, const char* question);

// After the read that comes first: a module that refused the read password is
// not changed (exit 1). Returns 0 to go on.
[[nodiscard]] int requirePasswordAccepted(const char* command, FirstRead read);

}  // namespace kv6::ctl
