#include "support/file_privileges.h"

#include <sys/capability.h>
#include <unistd.h>

#include <array>

namespace kv6::test {

bool dropFilePermissionOverride() {
    if (geteuid() != 0) return true;
    std::array<cap_value_t, 3> overrides{CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER};
    // Out of the bounding set too, or the next exec of a root program gives them back.
    for (const cap_value_t cap : overrides)
        if (cap_drop_bound(cap) != 0) return false;
    cap_t caps = cap_get_proc();
    if (caps == nullptr) return false;
    bool dropped = true;
    for (const cap_flag_t flag : {CAP_EFFECTIVE, CAP_PERMITTED, CAP_INHERITABLE})
        dropped = dropped && cap_set_flag(caps, flag, static_cast<int>(overrides.size()), overrides.data(), CAP_CLEAR) == 0;
    dropped = dropped && cap_set_proc(caps) == 0;
    cap_free(caps);
    return dropped;
}

}  // namespace kv6::test
