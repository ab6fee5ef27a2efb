#include "local_user.h"

#include <pwd.h>
#include <unistd.h>

namespace kv6::ctl {

std::string localUserName() {
    // The account, not $USER: the environment is the caller's to set.
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_name) return entry->pw_name;
    return "uid " + std::to_string(geteuid());
}

}  // namespace kv6::ctl
