// The server and its store: the queue, the heartbeat that renews the lease, a store lost and found again.
#include <algorithm>

#include "fleet/fleet_server.h"
#include "fleet/fleet_server_connection.h"

namespace kv6::fleet {

using detail::q;

void FleetServer::pollQueue() {
    if (!m_storeReachable || m_pollInFlight) return;
    bool anyIdle = false;
    for (const auto& [object, id] : m_byObject)
        if (m_connections.at(id)->runner.idle()) {
            anyIdle = true;
            break;
        }
    if (!anyIdle) return;
    m_pollInFlight = ask([](FleetStore& store) { return store.objectsWithQueuedJobs(); },
                         [this](const std::vector<std::string>& objects) {
                             m_pollInFlight = false;
                             for (const std::string& object : objects) queuedFor(object);
                         });
}

void FleetServer::queuedFor(const std::string& object) {
    const auto owner = m_byObject.find(object);
    if (owner != m_byObject.end()) startNextLater(owner->second);
}

void FleetServer::onHeartbeat() {
    // Woken after a stall, the leases are checked before they are renewed:
    // the jobs may have been taken over meanwhile.
    if (!holdsLeases() || m_heartbeatInFlight) return;
    renewLease([this](bool kept, const std::string& error) {
        if (kept) {
            refreshBackoff();  // other servers' lock-outs, and those kv6ctl cleared
            return;
        }
        if (m_storeReachable)
            storeLost(error.empty() ? QStringLiteral("the store cannot be reached")
                                    : QStringLiteral("the store cannot be reached: ") + q(error));
    });
}

void FleetServer::renewLease(std::function<void(bool kept, const std::string& error)> then) {
    // The lease counts from when the heartbeat was asked for, its wait in
    // the queue included: never longer than the store may grant it.
    const std::int64_t started = monotonicMs();
    const int epoch = m_storeEpoch;
    m_heartbeatInFlight = true;
    const bool posted = ask(
        [](FleetStore& store) { return store.heartbeat() ? Kept{true, {}} : Kept{false, store.lastError()}; },
        [this, started, epoch, then](const Kept& kept) {
            m_heartbeatInFlight = false;
            // A store lost meanwhile is joined again by reconnectStore(), not by this answer.
            if (epoch != m_storeEpoch) return;
            if (kept.ok) m_fence.renewed(started, monotonicMs());
            then(kept.ok, kept.error);
        });
    if (!posted) {
        m_heartbeatInFlight = false;
        then(false, storeBusy(QStringLiteral("the heartbeat")));
    }
}

bool FleetServer::holdsLeases() {
    if (!m_shared || m_fence.holds(monotonicMs())) return true;
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
    // The store's thread is watched, never asked: a check answers while a statement runs.
    const StoreThread::Load load = m_store.load();
    if (load.runningMs >= StoreThread::kSlowMs)
        return {StoreState::Slow, QStringLiteral("slow: a statement has run for %1 s (%2 queued)")
                                      .arg(seconds(load.runningMs))
                                      .arg(load.queued)};
    if (load.queued * 2 >= m_store.maxQueued())
        return {StoreState::Slow, QStringLiteral("slow: %1 store requests queued").arg(load.queued)};
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

std::string FleetServer::storeFailed(const QString& what, const std::string& error) {
    // Never empty: an empty reason would count as kept.
    const std::string reason = error.empty() ? "the store gave no reason" : error;
    ++m_counters.storeFailures;
    log(QStringLiteral("the store could not keep %1: %2").arg(what, q(reason)), QtWarningMsg);
    if (m_storeReachable) storeLost(QStringLiteral("the store failed: ") + q(reason));
    return reason;
}

std::string FleetServer::storeBusy(const QString& what) {
    const std::string reason =
        "the store is busy (" + std::to_string(m_store.load().queued) + " requests queued)";
    ++m_counters.storeFailures;
    log(QStringLiteral("the store could not take %1: %2").arg(what, q(reason)), QtWarningMsg);
    return reason;
}

void FleetServer::storeLost(const QString& problem) {
    log(problem + QStringLiteral("; the jobs running here go back to the queue"), QtWarningMsg);
    m_storeProblem = problem;
    m_storeReachable = false;
    ++m_storeEpoch;
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
    publish();
}

void FleetServer::reconnectStore() {
    const auto retry = [this](const QString& line, const std::string& error) {
        m_reconnectMs = std::min(m_reconnectMs * 2, kMaxReconnectMs);
        log(line.arg(m_reconnectMs / 1000), QtWarningMsg);
        if (!error.empty()) m_storeProblem = QStringLiteral("the store failed: ") + q(error);
        m_reconnectTimer.start(m_reconnectMs);
    };
    const bool posted = ask(
        [](FleetStore& store) {
            std::string error;
            return store.reconnect(error) ? Kept{true, {}} : Kept{false, error};
        },
        [this, retry](const Kept& reached) {
            if (!reached.ok) {
                retry(QStringLiteral("the store is still unreachable; next try in %1 s"), {});
                return;
            }
            // Reached is not yet usable: the heartbeat is the first change it must keep.
            renewLease([this, retry](bool kept, const std::string& error) {
                if (!kept) {
                    retry(QStringLiteral("the store still keeps nothing: %1; next try in %2 s").arg(q(error), QStringLiteral("%1")),
                          error);
                    return;
                }
                storeFound();
            });
        });
    if (!posted) retry(QStringLiteral("the store is busy; next try in %1 s"), {});
}

void FleetServer::storeFound() {
    log(QStringLiteral("the store is reachable again"));
    m_storeReachable = true;
    m_storeProblem.clear();
    publish();
    refreshBackoff();
    m_heartbeatTimer.start(std::max(1, m_options.leaseSeconds / 3) * 1000);
    // The connected modules, announced in one step.
    struct Seen {
        std::string object, peer, identification;
    };
    std::vector<Seen> seen;
    for (const auto& [object, id] : m_byObject) {
        const Connection& connection = *m_connections.at(id);
        seen.push_back({object, connection.peer.toStdString(), connection.identification});
    }
    const auto announced = [this](const std::pair<std::string, Kept>& result) {
        if (!result.second.ok) {
            (void)storeFailed(QStringLiteral("that object %1 is connected").arg(q(result.first)), result.second.error);
            return;
        }
        for (const auto& [object, id] : m_byObject) startNextLater(id);
    };
    if (!ask(
            [seen](FleetStore& store) {
                for (const Seen& module : seen)
                    if (!store.moduleSeen(module.object, module.peer, module.identification))
                        return std::pair(module.object, Kept{false, store.lastError()});
                return std::pair(std::string(), Kept{true, {}});
            },
            announced))
        storeLost(q(storeBusy(QStringLiteral("the connected modules"))));
}

void FleetServer::refreshBackoff() {
    (void)ask([seconds = m_backoff.options().seconds](FleetStore& store) { return MismatchBackoff::readLocked(store, seconds); },
              [this](const std::vector<LockoutRecord>& records) { m_backoff.replaceLocked(records); });
}

}  // namespace kv6::fleet
