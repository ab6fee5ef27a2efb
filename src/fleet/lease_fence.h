#pragma once

#include <cstdint>
#include <optional>

namespace kv6::fleet {

// Whether a server may still act for the jobs it claimed. Each heartbeat the
// store keeps renews the server's leases, stamped by the database's clock;
// once a lease is older than its length another server may take the job.
// The server cannot read that clock, only its own monotonic one (in
// milliseconds; a stopped or paused process sees it jump on waking). It
// counts from the moment it began its last kept heartbeat, which is never
// later than the database's stamp: by this count a lease lapses no later
// than it does in the database, so a server that holds by it holds for sure.
class LeaseFence {
public:
    enum class Health {
        Up,      // heartbeats are kept on time
        Slow,    // the last one took long, or none was kept for two of their periods
        Lapsed,  // none kept for a whole lease (or none yet): the leases may be another server's
    };
    static constexpr std::int64_t kSlowHeartbeatMs = 1000;

    explicit LeaseFence(std::int64_t leaseMs) : m_leaseMs(leaseMs) {}

    // A heartbeat begun at `startedMs` was kept at `endedMs`.
    void renewed(std::int64_t startedMs, std::int64_t endedMs);
    // The server gave up its leases (it lost its store): nothing holds until the next renewal.
    void forget() { m_renewedAt.reset(); }

    [[nodiscard]] bool holds(std::int64_t nowMs) const;
    // Since the last kept heartbeat began; since the clock's start when none was.
    [[nodiscard]] std::int64_t ageMs(std::int64_t nowMs) const { return nowMs - m_renewedAt.value_or(0); }
    // How long the last kept heartbeat took.
    [[nodiscard]] std::int64_t lastHeartbeatMs() const { return m_tookMs; }
    [[nodiscard]] Health health(std::int64_t nowMs) const;
    [[nodiscard]] std::int64_t leaseMs() const { return m_leaseMs; }

private:
    std::int64_t m_leaseMs;
    std::optional<std::int64_t> m_renewedAt;
    std::int64_t m_tookMs = 0;
};

}  // namespace kv6::fleet
