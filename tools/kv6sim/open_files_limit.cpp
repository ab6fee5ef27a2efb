#include "open_files_limit.h"

#include <sys/resource.h>

#include <limits>

namespace kv6::sim {

long long raiseOpenFilesLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY) return std::numeric_limits<long long>::max();
  return static_cast<long long>(limit.rlim_cur);
}

}  // namespace kv6::sim
