#include <cstdio>

#include "commands.h"

namespace kv6::ctl {

// Not built yet.
int runSet(const QStringList&) {
    std::fputs("kv6ctl: this command is not available yet\n", stderr);
    return 2;
}

}  // namespace kv6::ctl
