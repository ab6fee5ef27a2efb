#pragma once

#include <string>

namespace kv6::ctl {

// Who runs kv6ctl, as the store records it beside each job queued or
// cancelled on the store directly ("by" in the job list and the audit).
[[nodiscard]] std::string localUserName();

}  // namespace kv6::ctl
