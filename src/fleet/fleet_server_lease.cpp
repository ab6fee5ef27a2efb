// The server and its store: the queue, the heartbeat that renews the lease, a store lost and found again.
#include <algorithm>

#include "fleet/fleet_server.h"
#include "fleet/fleet_server_connection.h"

namespace kv6::fleet {

using detail::q;

void FleetServer::pollQueue() {
    if (!m_storeReachable) return;
    bool anyIdle = false;
    for (const auto& [object, id] : m_byObject)
        if (m_connections.at(id)->runner.idle()) {
            anyIdle = true;
            break;
        }
    if (!anyIdle) return;
    for (const std::string& object : m_store.objectsWithQueuedJobs()) queuedFor(object);
}

void FleetServer::queuedFor(const std::string& object) {
    const auto owner = m_byObject.find(object);
    if (owner != m_byObject.end()) startNextLater(owner->second);
}

void FleetServer::onHeartbeat() {
    // Woken after a stall, the leases are checked before they are renewed:
    // the jobs may have been taken over meanwhile.
    if (!holdsLeases()) return;
    if (renewLease()) {
        m_backoff.refresh();  // other servers' lock-outs, and those kv6ctl cleared
        return;
    }
    storeLost(QStringLiteral("the store cannot be reached"));
}

bool FleetServer::renewLease() {
    const std::int64_t started = monotonicMs();
    if (!m_store.heartbeat()) return false;
    m_fence.renewed(started, monotonicMs());
    return true;
}

bool FleetServer::holdsLeases() {
    if (!m_store.shared() || m_fence.holds(monotonicMs())) return true;
    if (m_storeReachable)
        storeLost(QStringLiteral("no heartbeat kept for %1 s, longer than the lease (%2 s): its jobs may be another "
                                 "server's now")
                      .arg(m_fence.ageMs(monotonicMs()) / 1000)
                      .arg(m_options.leaseSeconds));
    return false;
}

FleetServer::StoreHealth FleetServer::storeHealth() const {
    if (!m_storeReachable) return {StoreState::Unreachable, m_storeProblem};
    const std::int64_t now = monotonicMs();
    const auto seconds = [](std::int64_t ms) { return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1); };
    switch (m_fence.health(now)) {
        case LeaseFence::Health::Up:
            break;
        case LeaseFence::Health::Slow:
            if (m_fence.lastHeartbeatMs() >= LeaseFence::kSlowHeartbeatMs)
                return {StoreState::Slow,
                        QStringLiteral("slow: the last heartbeat took %1 s").arg(seconds(m_fence.lastHeartbeatMs()))};
            return {StoreState::Slow,
                    QStringLiteral("slow: no heartbeat kept for %1 s").arg(seconds(m_fence.ageMs(now)))};
        case LeaseFence::Health::Lapsed:
            return {StoreState::Unreachable, QStringLiteral("no heartbeat kept for %1 s, longer than the lease")
                                                 .arg(seconds(m_fence.ageMs(now)))};
    }
    return {StoreState::Up, QStringLiteral("up")};
}

std::pair<bool, QByteArray> FleetServer::healthAnswer() const {
    const StoreHealth health = storeHealth();
    const bool up = health.state != StoreState::Unreachable;
    return {up, (up ? health.text.toUtf8() : "down: " + health.text.toUtf8()) + "\nconnections " +
                    QByteArray::number(connectionCount()) + "\n"};
}

std::string FleetServer::storeFailed(const QString& what) {
    // Never empty: an empty reason would count as kept.
    const std::string reason = m_store.lastError().empty() ? "the store gave no reason" : m_store.lastError();
    ++m_counters.storeFailures;
    log(QStringLiteral("the store could not keep %1: %2").arg(what, q(reason)), QtWarningMsg);
    if (m_storeReachable) storeLost(QStringLiteral("the store failed: ") + q(reason));
    return reason;
}

void FleetServer::storeLost(const QString& problem) {
    log(problem + QStringLiteral("; the jobs running here go back to the queue"), QtWarningMsg);
    m_storeProblem = problem;
    m_storeReachable = false;
    m_fence.forget();
    m_heartbeatTimer.stop();
    // Their outcome could not be recorded: the modules call again and the
    // jobs run anew, here or on another server.
    std::vector<int> busy;
    for (const auto& [id, connection] : m_connections)
        if (connection->runner.busy()) busy.push_back(id);
    for (const int id : busy) closeLater(id);
    m_reconnectMs = 1000;
    m_reconnectTimer.start(m_reconnectMs);
}

void FleetServer::reconnectStore() {
    std::string error;
    if (!m_store.reconnect(error)) {
        m_reconnectMs = std::min(m_reconnectMs * 2, kMaxReconnectMs);
        log(QStringLiteral("the store is still unreachable; next try in %1 s").arg(m_reconnectMs / 1000), QtWarningMsg);
        m_reconnectTimer.start(m_reconnectMs);
        return;
    }
    // Reached is not yet usable: the heartbeat is the first change it must keep.
    if (!renewLease()) {
        m_reconnectMs = std::min(m_reconnectMs * 2, kMaxReconnectMs);
        log(QStringLiteral("the store still keeps nothing: %1; next try in %2 s")
                .arg(q(m_store.lastError()))
                .arg(m_reconnectMs / 1000),
            QtWarningMsg);
        m_storeProblem = QStringLiteral("the store failed: ") + q(m_store.lastError());
        m_reconnectTimer.start(m_reconnectMs);
        return;
    }
    log(QStringLiteral("the store is reachable again"));
    m_storeReachable = true;
    m_storeProblem.clear();
    m_backoff.refresh();
    m_heartbeatTimer.start(std::max(1, m_options.leaseSeconds / 3) * 1000);
    for (const auto& [object, id] : m_byObject) {
        const Connection& connection = *m_connections.at(id);
        if (!m_store.moduleSeen(object, connection.peer.toStdString(), connection.identification)) {
            (void)storeFailed(QStringLiteral("that object %1 is connected").arg(q(object)));
            return;
        }
        startNextLater(id);
    }
}

}  // namespace kv6::fleet
