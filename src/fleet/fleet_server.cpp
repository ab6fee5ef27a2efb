// The server's connections: accepting, the PROXY header, the ticks, closing.
#include "fleet/fleet_server.h"

#include <QLoggingCategory>
#include <QPointer>
#include <algorithm>
#include <utility>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fleet/fleet_server_connection.h"
#include "fleet/proxy_header.h"

namespace kv6::fleet {

using detail::peerText;
using detail::q;

namespace {
Q_LOGGING_CATEGORY(lcFleet, "kv6.fleet")

QHostAddress addressOf(const ProxyHeader::Result& header) {
    if (header.ipv6) return QHostAddress(header.address.data());
    const auto& a = header.address;
    return QHostAddress(quint32{a[0]} << 24 | quint32{a[1]} << 16 | quint32{a[2]} << 8 | quint32{a[3]});
}

std::span<const std::uint8_t> bytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())};
}
}  // namespace

FleetServer::FleetServer(StoreThread& store, const Options& options, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_shared(store.call([](FleetStore& s) { return s.shared(); })),
      m_options(options),
      m_backoff({options.objectMismatchLimit, options.addressMismatchLimit, options.backoffSeconds, {}}),
      m_unidentified(options.unidentified),
      m_fence(std::int64_t{options.leaseSeconds} * 1000) {
    m_monotonic.start();
    m_acceptor.handOverDescriptors(true);
    connect(&m_acceptor, &AcceptLoop::acceptedDescriptor, this, &FleetServer::onAccepted);
    connect(&m_acceptor, &AcceptLoop::descriptorsExhausted, this, [this](bool exhausted) {
        if (exhausted)
            log(QStringLiteral("out of file descriptors with %1 connections: accepting paused until one frees")
                    .arg(connectionCount()),
                QtWarningMsg);
        else
            log(QStringLiteral("accepting connections again"));
    });
    m_timer4.setSingleShot(true);
    m_timer4.setTimerType(Qt::PreciseTimer);  // a tick's deadline, not a period that may drift early
    connect(&m_timer4, &QTimer::timeout, this, &FleetServer::onTimer4);
    connect(&m_timer2, &QTimer::timeout, this, &FleetServer::onTimer2);
    connect(&m_pollTimer, &QTimer::timeout, this, &FleetServer::pollQueue);
    connect(&m_heartbeatTimer, &QTimer::timeout, this, &FleetServer::onHeartbeat);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &FleetServer::reconnectStore);
}

FleetServer::~FleetServer() { shutdown(); }

bool FleetServer::listen(quint16 port, const QHostAddress& address) {
    // Before any module is served, so waited for here: the store as this
    // server starts it, and the first heartbeat, without which no lease holds.
    const Kept cleared =
        m_store.call([](FleetStore& store) { return store.clearConnected() ? Kept{true, {}} : Kept{false, store.lastError()}; });
    if (!cleared.ok) (void)storeFailed(QStringLiteral("the connected modules"), cleared.error);
    if (!m_acceptor.listen(address, port, kListenBacklog)) return false;
    // Notifications come on the store's thread; they are handled on this one.
    StoreThread* storeThread = &m_store;
    const QPointer<QObject> receiver(this);
    const auto queued = [storeThread, receiver](const std::string& object) {
        storeThread->reply(receiver, [receiver, object] {
            if (auto* server = qobject_cast<FleetServer*>(receiver.data())) server->queuedFor(object);
        });
    };
    const bool notified = m_store.call([queued](FleetStore& store) { return store.watchQueued(queued); });
    m_pollTimer.start(notified ? kNotifiedPollMs : kPollMs);
    const std::int64_t started = monotonicMs();
    if (m_store.call([](FleetStore& store) { return store.heartbeat(); })) m_fence.renewed(started, monotonicMs());
    m_backoff.replaceLocked(m_store.call([seconds = m_backoff.options().seconds](FleetStore& store) {
        return MismatchBackoff::readLocked(store, seconds);
    }));
    m_heartbeatTimer.start(std::max(1, m_options.leaseSeconds / 3) * 1000);
    publish();
    return true;
}

void FleetServer::publish() {
    ServerState state;
    state.storeReachable = m_storeReachable;
    state.storeProblem = m_storeProblem.toStdString();
    const auto [healthy, health] = healthAnswer();
    state.healthy = healthy;
    state.health = health.toStdString();
    state.connections = connectionCount();
    state.passwordMismatches = m_counters.passwordMismatches;
    state.refusedLockedOut = m_counters.refusedLockedOut;
    state.storeFailures = m_counters.storeFailures;
    state.jobSeconds = m_counters.jobSeconds;
    state.statementTimes = m_statementTimes;
    m_snapshot.publish(std::move(state));
    // The store's own figures live on its thread: fetched for the next time.
    if (m_timesInFlight || m_stopping) return;
    m_timesInFlight = ask(
        [](FleetStore& store) {
            const DurationHistogram* times = store.statementTimes();
            return times ? std::optional<DurationHistogram>(*times) : std::nullopt;
        },
        [this](const std::optional<DurationHistogram>& times) {
            m_timesInFlight = false;
            m_statementTimes = times;
        });
}

void FleetServer::shutdown() {
    m_acceptor.close();
    m_timer4.stop();
    m_armedTick = -1;
    m_timer2.stop();
    m_pollTimer.stop();
    m_heartbeatTimer.stop();
    m_reconnectTimer.stop();
    m_stopping = true;  // the attempts cut short here are given back
    auto connections = std::move(m_connections);
    m_connections.clear();
    for (auto& [id, connection] : connections) {
        connection->runner.onDisconnected();  // a running job goes back to the queue
        connection->socket.abort();
    }
    connections.clear();
    m_byObject.clear();
    m_contenders.clear();
    m_withJob.clear();
    m_deadlines = TickDeadlines();
    if (std::exchange(m_shutDown, true)) return;
    // Behind the ends of the jobs given back above; the store's thread runs
    // them all before it stops, whether or not this server is still there.
    const auto logLine = m_options.log;
    const bool posted = m_store.post([logLine](FleetStore& store) {
        if (store.clearConnected() && store.leave()) return;
        const QString line = QStringLiteral("the store could not record the stop: %1").arg(q(store.lastError()));
        if (logLine)
            logLine(line);
        else
            qCWarning(lcFleet).noquote() << line;
    });
    if (!posted) log(QStringLiteral("the store could not record the stop: its queue is full"), QtWarningMsg);
}

void FleetServer::sendBytes(int connectionId, std::span<const std::uint8_t> bytes) {
    const auto it = m_connections.find(connectionId);
    if (it == m_connections.end()) return;
    // Out now, not at the loop's next turn: a frame the lease allowed must
    // not wait in the buffer through a stall and leave after the lease lapsed.
    it->second->socket.write(bytes);
}

void FleetServer::onAccepted(int descriptor) {
    sockaddr_storage peerAddress{};
    socklen_t length = sizeof peerAddress;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peerAddress), &length) != 0) {
        ::close(descriptor);  // gone again before it was taken
        m_acceptor.descriptorFreed();
        return;
    }
    const QHostAddress address(reinterpret_cast<const sockaddr*>(&peerAddress));
    const auto port = static_cast<quint16>(
        ntohs(peerAddress.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&peerAddress)->sin6_port
                                               : reinterpret_cast<const sockaddr_in*>(&peerAddress)->sin_port));
    const int id = m_nextId++;
    auto connection = std::make_unique<Connection>(*this, id, address, port);
    Connection& c = *connection;
    if (!c.socket.open(
            descriptor, [this, id](std::span<const std::uint8_t> data) { onReadyRead(id, data); },
            [this, id] { onDisconnected(id); })) {
        m_acceptor.descriptorFreed();
        return;
    }
    m_connections.emplace(id, std::move(connection));
    m_deadlines.add(id, currentTick());
    if (m_options.proxyFrom.contains(address)) {
        // The module's address comes first; until then it counts in the total only.
        c.stage = Connection::Stage::Proxy;
        c.tallied = true;
        m_unidentified.add(c.tallyKey);
        updateAccepting();
        reschedule(id);
        return;
    }
    (void)admit(c, port);
    reschedule(id);
}

bool FleetServer::admit(Connection& c, quint16 port) {
    const std::string address = c.peer.toStdString();
    if (const auto until = m_backoff.lockedOut(LockoutKind::Address, address)) {
        ++m_counters.refusedLockedOut;
        log(QStringLiteral("refusing %1: locked out until %2 after repeated password mismatches").arg(c.peer, q(*until)));
        closeLater(c.id);
        return false;
    }
    if (!m_unidentified.admits(address)) {
        log(QStringLiteral("refusing %1: %2 connections from it have not identified themselves yet")
                .arg(c.peer)
                .arg(m_unidentified.from(address)));
        closeLater(c.id);
        return false;
    }
    c.stage = Connection::Stage::Unidentified;
    c.tallied = true;
    c.tallyKey = address;
    m_unidentified.add(address);
    updateAccepting();
    c.runner.onConnected(port);
    return true;
}

void FleetServer::readProxyHeader(Connection& c, const QByteArray& data) {
    c.proxyBytes += data;
    const ProxyHeader::Result header = ProxyHeader::parse(bytesOf(c.proxyBytes));
    quint16 port = c.peerPort;
    switch (header.status) {
        case ProxyHeader::Status::Incomplete:
            return;
        case ProxyHeader::Status::Invalid:
            log(QStringLiteral("closing the connection from %1: not a PROXY protocol v2 header (%2)")
                    .arg(c.peer, q(header.problem)));
            closeLater(c.id);
            return;
        case ProxyHeader::Status::Proxied:
            c.peer = peerText(addressOf(header));
            port = header.port;
            break;
        case ProxyHeader::Status::Local:
            break;
    }
    const QByteArray rest = c.proxyBytes.mid(static_cast<qsizetype>(header.size));
    c.proxyBytes = QByteArray();
    leaveTally(c);
    if (!admit(c, port)) return;
    if (!rest.isEmpty()) c.runner.onData(bytesOf(rest));
}

void FleetServer::onReadyRead(int id, std::span<const std::uint8_t> data) {
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    Connection& c = *it->second;
    if (c.closing) return;
    catchUp(c);
    if (c.stage == Connection::Stage::Proxy)
        readProxyHeader(c, QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())));
    else
        c.runner.onData(data);
    reschedule(id);
}

void FleetServer::onDisconnected(int id) {
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    std::unique_ptr<Connection> connection = std::move(it->second);
    m_connections.erase(it);
    m_deadlines.remove(id);
    connection->runner.onDisconnected();
    m_withJob.erase(id);
    leaveTally(*connection);
    const std::string& object = connection->runner.object();
    if (!object.empty()) {
        if (const auto contender = m_contenders.find(object); contender != m_contenders.end() && contender->second == id)
            m_contenders.erase(contender);
        const auto owner = m_byObject.find(object);
        if (owner != m_byObject.end() && owner->second == id) {
            m_byObject.erase(owner);
            const auto logged = [this, object](const Kept& kept) {
                if (!kept.ok)
                    log(QStringLiteral("the store could not record that object %1 left: %2").arg(q(object), q(kept.error)),
                        QtWarningMsg);
            };
            if (!ask([object](FleetStore& store) {
                    return store.moduleGone(object) ? Kept{true, {}} : Kept{false, store.lastError()};
                }, logged))
                logged(Kept{false, "the store is busy"});
            log(QStringLiteral("object %1 disconnected").arg(q(object)));
            // A later connection that waited (with no password to prove) speaks for the object now.
            if (const auto waiting = m_contenders.find(object); waiting != m_contenders.end()) {
                Connection& next = *m_connections.at(waiting->second);
                if (!next.runner.proving() && !next.askingPassword && !next.closing) {
                    m_contenders.erase(waiting);
                    take(next);
                }
            }
        }
    }
    connection->socket.abort();
    m_acceptor.descriptorFreed();
}

void FleetServer::onTimer4() {
    m_armedTick = -1;
    // A runner may ask for its close from a tick; the close is deferred.
    for (const TickDeadlines::Due& due : m_deadlines.advance(currentTick())) {
        const auto it = m_connections.find(due.id);
        if (it == m_connections.end()) continue;
        JobRunner& runner = it->second->runner;
        runner.skipQuietTicks(due.quiet);
        runner.Timer4Timer();
        reschedule(due.id);
    }
    armTicks();
}

void FleetServer::catchUp(Connection& c) { c.runner.skipQuietTicks(m_deadlines.catchUp(c.id, currentTick())); }

void FleetServer::reschedule(int id) {
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    m_deadlines.schedule(id, it->second->runner.ticksUntilDue());
    const std::int64_t earliest = m_deadlines.earliest();
    if (earliest >= 0 && (m_armedTick < 0 || earliest < m_armedTick)) armTicks();
}

void FleetServer::armTicks() {
    const std::int64_t earliest = m_deadlines.earliest();
    if (earliest < 0 || m_stopping) {
        m_timer4.stop();
        m_armedTick = -1;
        return;
    }
    if (earliest == m_armedTick && m_timer4.isActive()) return;
    m_armedTick = earliest;
    m_timer4.start(static_cast<int>(std::max<std::int64_t>(0, earliest * kTimer4Ms - monotonicMs())));
}

void FleetServer::onTimer2() {
    // A tick may end a job, which leaves the set.
    const std::vector<int> ids(m_withJob.begin(), m_withJob.end());
    for (const int id : ids)
        if (const auto it = m_connections.find(id); it != m_connections.end() && it->second->runner.busy())
            it->second->runner.Timer2Timer();
    if (m_withJob.empty()) m_timer2.stop();  // no wake-ups while no connection has a job
}

void FleetServer::startNextLater(int id) {
    QMetaObject::invokeMethod(this, [this, id] { startNext(id); }, Qt::QueuedConnection);
}

void FleetServer::startNext(int id) {
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    Connection& c = *it->second;
    JobRunner& runner = c.runner;
    if (!holdsLeases() || !m_storeReachable || c.closing || c.claiming || c.stage != Connection::Stage::Serving ||
        !runner.identified() || !runner.idle())
        return;
    c.claiming = true;
    // A busy store is asked again at the next poll of the queue.
    if (!ask([object = runner.object()](FleetStore& store) { return store.claimNextJob(object); },
             [this, id](std::optional<FleetJob> job) { claimed(id, std::move(job)); }))
        c.claiming = false;
}

void FleetServer::claimed(int id, std::optional<FleetJob> job) {
    const auto it = m_connections.find(id);
    if (it != m_connections.end()) it->second->claiming = false;
    if (!job) return;
    if (it == m_connections.end()) {
        giveBack(*job, "the connection dropped before the job started");
        return;
    }
    Connection& c = *it->second;
    JobRunner& runner = c.runner;
    // Anything may have changed while the store claimed it.
    if (c.closing || !runner.idle() || !m_storeReachable || !holdsLeases()) {
        giveBack(*job, "the job could not start on this connection");
        return;
    }
    log(QStringLiteral("object %1 job %2 %3 started").arg(q(job->object)).arg(job->id).arg(q(std::string(kindName(job->kind)))));
    m_withJob.insert(id);  // before the start, which may end the job at once
    c.jobStartedMs = monotonicMs();
    if (!m_timer2.isActive()) m_timer2.start(kTimer2Ms);
    catchUp(c);
    runner.start(std::move(*job));
    reschedule(id);
}

void FleetServer::giveBack(const FleetJob& job, const std::string& why) {
    const auto given = [this, jobId = job.id](const Kept& kept) {
        if (!kept.ok && m_storeReachable) (void)storeFailed(QStringLiteral("the end of job %1").arg(jobId), kept.error);
    };
    if (!ask([jobId = job.id, why, max = m_options.maxAttempts](FleetStore& store) {
            if (store.requeueJob(jobId, why, max, FleetStore::Attempt::GivenBack)) return Kept{true, {}};
            return Kept{false, store.lastError()};
        }, given))
        // Left running under this server's lease: only dropping the store's
        // hold (its reconnection gives back what ran here) frees it.
        storeLost(q(storeBusy(QStringLiteral("the end of job %1").arg(job.id))));
}

void FleetServer::closeLater(int id) {
    if (const auto it = m_connections.find(id); it != m_connections.end()) it->second->closing = true;
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            const auto it = m_connections.find(id);
            if (it == m_connections.end()) return;
            it->second->socket.abort();
            onDisconnected(id);
        },
        Qt::QueuedConnection);
}

void FleetServer::leaveTally(Connection& c) {
    if (!c.tallied) return;
    c.tallied = false;
    m_unidentified.remove(c.tallyKey);
    updateAccepting();
}

void FleetServer::updateAccepting() {
    const bool full = m_unidentified.full();
    if (full && !m_holding)
        log(QStringLiteral("%1 connections have not identified themselves: accepting paused until one does or ends")
                .arg(m_unidentified.total()));
    m_holding = full;
    m_acceptor.hold(full);
}

void FleetServer::log(const QString& line, QtMsgType level) const {
    if (m_options.log)
        m_options.log(line);
    else if (level == QtWarningMsg)
        qCWarning(lcFleet).noquote() << line;
    else
        qCInfo(lcFleet).noquote() << line;
}

}  // namespace kv6::fleet
