#pragma once

namespace kv6::test {

// Root passes every file permission check, so a test of what happens when a
// folder refuses new files or a file refuses writes would see nothing. This
// drops the capabilities that override file permissions (for this process and
// every program it starts afterwards); root keeps its user id, so files and
// folders stay reachable wherever the build lies. For any other user it does
// nothing. Returns false when the capabilities could not be dropped.
[[nodiscard]] bool dropFilePermissionOverride();

}  // namespace kv6::test
