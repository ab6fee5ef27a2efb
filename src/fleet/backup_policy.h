#pragma once

#include <cstdint>
#include <string>

#include "fleet/fleet_store.h"

namespace kv6::fleet {

// Keeps a recent backup of every module: when a module calls and its newest
// backup is older than the period (or it has none), it gets one read job.
// Never a second while it has a job queued or running of any kind, and a
// read that failed is tried again a day later at the soonest, so a module
// whose reads keep failing does not fill the queue with them.
class BackupPolicy {
public:
    static constexpr std::int64_t kRetrySeconds = 86400;

    explicit BackupPolicy(int days) : m_days(days) {}

    struct Decision {
        enum class Action { None, Queued, StoreFailed };
        Action action = Action::None;
        std::int64_t jobId = 0;
        std::string why;  // Queued: why the backup was due ("its newest backup is 9 d old")
    };

    // Looks at the object's backups and jobs, and queues its read when one is due.
    [[nodiscard]] Decision apply(FleetStore& store, const std::string& object, std::int64_t nowSeconds) const;
    [[nodiscard]] int days() const { return m_days; }

private:
    int m_days;
};

}  // namespace kv6::fleet
