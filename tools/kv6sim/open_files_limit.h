#pragma once

namespace kv6::sim {

// Raises this process's soft limit of open files to its hard limit (each
// simulated module holds one socket) and returns the limit now in force, or
// -1 when it cannot be read.
[[nodiscard]] long long raiseOpenFilesLimit();

}  // namespace kv6::sim
