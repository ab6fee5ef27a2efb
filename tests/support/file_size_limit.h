#pragma once

#include <csignal>
#include <sys/resource.h>
#include <sys/types.h>

namespace kv6::test {

// A file that cannot grow, as on a full disk, for any user and without a
// file system of its own: past the limit every write to a file fails (EFBIG)
// instead of raising SIGXFSZ, which is ignored here and in the programs
// started afterwards. The soft limit only: the hard one stays, so the limit
// can be lifted again.
inline bool limitFileSize(pid_t pid, rlim_t bytes) {
    rlimit limit{};
    if (prlimit(pid, RLIMIT_FSIZE, nullptr, &limit) != 0) return false;
    limit.rlim_cur = bytes;
    return prlimit(pid, RLIMIT_FSIZE, &limit, nullptr) == 0;
}

inline void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

// For QProcess::setChildProcessModifier: the program starts ignoring
// SIGXFSZ (a disposition kept across exec), and with `bytes` as its limit.
inline void startsWithFileSizeLimit(rlim_t bytes) {
    ignoreFileSizeSignal();
    (void)limitFileSize(0, bytes);
}

}  // namespace kv6::test
