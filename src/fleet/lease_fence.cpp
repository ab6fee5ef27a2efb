#include "fleet/lease_fence.h"

#include <algorithm>

namespace kv6::fleet {

void LeaseFence::renewed(std::int64_t startedMs, std::int64_t endedMs) {
    // A heartbeat begun before the last kept one renews nothing more.
    if (m_renewedAt && startedMs < *m_renewedAt) return;
    m_renewedAt = startedMs;
    m_tookMs = std::max<std::int64_t>(0, endedMs - startedMs);
}

bool LeaseFence::holds(std::int64_t nowMs) const { return m_renewedAt && nowMs - *m_renewedAt < m_leaseMs; }

LeaseFence::Health LeaseFence::health(std::int64_t nowMs) const {
    if (!holds(nowMs)) return Health::Lapsed;
    // Heartbeats come three times a lease.
    if (m_tookMs >= kSlowHeartbeatMs || ageMs(nowMs) >= m_leaseMs * 2 / 3) return Health::Slow;
    return Health::Up;
}

}  // namespace kv6::fleet
