#include "fleet/fleet_server.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <algorithm>

#include "fleet/proxy_header.h"

namespace kv6::fleet {

namespace {
Q_LOGGING_CATEGORY(lcFleet, "kv6.fleet")

QString q(const std::string& text) { return QString::fromStdString(text); }

// IPv4 peers as 192.0.2.1, not as the mapped ::ffff:192.0.2.1.
QString peerText(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

QHostAddress addressOf(const ProxyHeader::Result& header) {
    if (header.ipv6) return QHostAddress(header.address.data());
    const auto& a = header.address;
    return QHostAddress(quint32{a[0]} << 24 | quint32{a[1]} << 16 | quint32{a[2]} << 8 | quint32{a[3]});
}

std::span<const std::uint8_t> bytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())};
}
}  // namespace

class FleetServer::Connection final : public JobRunnerListener {
public:
    enum class Stage {
        Proxy,         // waiting for the load balancer's PROXY header
        Unidentified,  // greeted, waiting for the module's identification
        Contending,    // claims an object another connection speaks for: proving it, or waiting
        Serving,       // speaks for its object: gets its jobs
    };

    Connection(FleetServer& server, int id, QTcpSocket* socket)
        : m_server(server),
          id(id),
          socket(socket),
          peer(peerText(socket->peerAddress())),
          runner(id, server, *this, runnerOptions(server.m_options)) {}

    void moduleIdentified(const std::string& object, const std::string& text) override {
        m_server.identified(*this, object, text);
    }
    std::string imageRead(const FleetJob& job, const image::Image& image, const std::string& source,
                          const std::vector<journal::JournalRow>& journal) override {
        if (m_server.m_store.addBackup(job.object, job.id, source, image, journal) != 0) return {};
        return m_server.storeFailed(QStringLiteral("the backup of object %1 (job %2)").arg(q(job.object)).arg(job.id));
    }
    std::string changeSent(const FleetJob& job, const std::string& difference) override {
        if (m_server.m_store.addAudit(job.object, job.id, difference)) return {};
        return m_server.storeFailed(QStringLiteral("the audit line of object %1 (job %2)").arg(q(job.object)).arg(job.id));
    }
    void jobEnded(const FleetJob& job, const JobOutcome& outcome) override { m_server.jobEnded(*this, job, outcome); }
    void passwordProved(const FleetJob& job) override { m_server.m_backoff.proved(job.object); }
    void proofEnded(Proof proof) override { m_server.proofEnded(*this, proof); }
    void closeRequested(const std::string& reason) override {
        m_server.log(QStringLiteral("closing the connection from %1: %2").arg(peer, q(reason)));
        m_server.closeLater(id);
    }

    static JobRunner::Options runnerOptions(const Options& options) {
        JobRunner::Options o;
        o.pacing = options.pacing;
        o.zoneHours = options.zoneHours;
        o.identifyTicks = options.identifySeconds;
        return o;
    }

    FleetServer& m_server;
    const int id;
    QTcpSocket* socket;
    QString peer;  // the module's address: the socket's, or the one its PROXY header gave
    Stage stage = Stage::Unidentified;
    bool closing = false;
    bool tallied = false;  // counted among the unidentified connections, under tallyKey
    std::string tallyKey;
    QByteArray proxyBytes;
    std::string identification;
    JobRunner runner;
};

FleetServer::FleetServer(FleetStore& store, const Options& options, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_options(options),
      m_backoff(store, {options.objectMismatchLimit, options.addressMismatchLimit, options.backoffSeconds, {}}),
      m_unidentified(options.unidentified) {
    connect(&m_acceptor, &AcceptLoop::accepted, this, &FleetServer::onAccepted);
    connect(&m_acceptor, &AcceptLoop::descriptorsExhausted, this, [this](bool exhausted) {
        if (exhausted)
            log(QStringLiteral("out of file descriptors with %1 connections: accepting paused until one frees")
                    .arg(connectionCount()));
        else
            log(QStringLiteral("accepting connections again"));
    });
    connect(&m_timer4, &QTimer::timeout, this, &FleetServer::onTimer4);
    connect(&m_timer2, &QTimer::timeout, this, &FleetServer::onTimer2);
    connect(&m_pollTimer, &QTimer::timeout, this, &FleetServer::pollQueue);
    connect(&m_heartbeatTimer, &QTimer::timeout, this, &FleetServer::onHeartbeat);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &FleetServer::reconnectStore);
}

FleetServer::~FleetServer() { shutdown(); }

bool FleetServer::listen(quint16 port) {
    if (!m_store.clearConnected()) (void)storeFailed(QStringLiteral("the connected modules"));
    if (!m_acceptor.listen(QHostAddress::Any, port, kListenBacklog)) return false;
    m_timer4.start(kTimer4Ms);
    m_timer2.start(kTimer2Ms);
    const bool notified = m_store.watchQueued([this](const std::string& object) { queuedFor(object); });
    m_pollTimer.start(notified ? kNotifiedPollMs : kPollMs);
    (void)m_store.heartbeat();
    m_backoff.refresh();
    m_heartbeatTimer.start(std::max(1, m_options.leaseSeconds / 3) * 1000);
    return true;
}

void FleetServer::shutdown() {
    m_acceptor.close();
    m_timer4.stop();
    m_timer2.stop();
    m_pollTimer.stop();
    m_heartbeatTimer.stop();
    m_reconnectTimer.stop();
    m_stopping = true;  // the attempts cut short here are given back
    auto connections = std::move(m_connections);
    m_connections.clear();
    for (auto& [id, connection] : connections) {
        connection->socket->disconnect(this);
        connection->runner.onDisconnected();  // a running job goes back to the queue
        connection->socket->abort();
        connection->socket->deleteLater();
    }
    m_byObject.clear();
    m_contenders.clear();
    m_withJob.clear();
    if (!m_store.clearConnected() || !m_store.leave())
        log(QStringLiteral("the store could not record the stop: %1").arg(q(m_store.lastError())));
}

void FleetServer::sendBytes(int connectionId, std::span<const std::uint8_t> bytes) {
    const auto it = m_connections.find(connectionId);
    if (it == m_connections.end()) return;
    it->second->socket->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

void FleetServer::onAccepted(QTcpSocket* socket) {
    const int id = m_nextId++;
    socket->setReadBufferSize(kReadBufferSize);
    auto connection = std::make_unique<Connection>(*this, id, socket);
    Connection& c = *connection;
    m_connections.emplace(id, std::move(connection));
    connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
    connect(socket, &QTcpSocket::disconnected, this, [this, id] { onDisconnected(id); });
    if (m_options.proxyFrom.contains(socket->peerAddress())) {
        // The module's address comes first; until then it counts in the total only.
        c.stage = Connection::Stage::Proxy;
        c.tallied = true;
        m_unidentified.add(c.tallyKey);
        updateAccepting();
        return;
    }
    (void)admit(c, socket->peerPort());
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
    quint16 port = c.socket->peerPort();
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

void FleetServer::onReadyRead(int id) {
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    Connection& c = *it->second;
    const QByteArray data = c.socket->readAll();
    if (c.closing) return;
    if (c.stage == Connection::Stage::Proxy)
        readProxyHeader(c, data);
    else
        c.runner.onData(bytesOf(data));
}

void FleetServer::onDisconnected(int id) {
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    std::unique_ptr<Connection> connection = std::move(it->second);
    m_connections.erase(it);
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
            if (!m_store.moduleGone(object))
                log(QStringLiteral("the store could not record that object %1 left: %2").arg(q(object), q(m_store.lastError())));
            log(QStringLiteral("object %1 disconnected").arg(q(object)));
            // A later connection that waited (with no password to prove) speaks for the object now.
            if (const auto waiting = m_contenders.find(object); waiting != m_contenders.end()) {
                Connection& next = *m_connections.at(waiting->second);
                if (!next.runner.proving() && !next.closing) {
                    m_contenders.erase(waiting);
                    take(next);
                }
            }
        }
    }
    connection->socket->deleteLater();
    m_acceptor.descriptorFreed();
}

void FleetServer::onTimer4() {
    // A runner may ask for its close from a tick; the close is deferred.
    for (auto& [id, connection] : m_connections) connection->runner.Timer4Timer();
}

void FleetServer::pollQueue() {
    if (!m_storeReachable) return;
    bool anyIdle = false;
    for (const auto& [object, id] : m_byObject)
        if (m_connections.at(id)->runner.idle()) anyIdle = true;
    if (!anyIdle) return;
    for (const std::string& object : m_store.objectsWithQueuedJobs()) queuedFor(object);
}

void FleetServer::queuedFor(const std::string& object) {
    const auto owner = m_byObject.find(object);
    if (owner != m_byObject.end()) startNextLater(owner->second);
}

void FleetServer::onHeartbeat() {
    if (m_store.heartbeat()) {
        m_backoff.refresh();  // other servers' lock-outs, and those kv6ctl cleared
        return;
    }
    storeLost(QStringLiteral("the store cannot be reached"));
}

std::string FleetServer::storeFailed(const QString& what) {
    // Never empty: an empty reason would count as kept.
    const std::string reason = m_store.lastError().empty() ? "the store gave no reason" : m_store.lastError();
    ++m_counters.storeFailures;
    log(QStringLiteral("the store could not keep %1: %2").arg(what, q(reason)));
    if (m_storeReachable) storeLost(QStringLiteral("the store failed: ") + q(reason));
    return reason;
}

void FleetServer::storeLost(const QString& problem) {
    log(problem + QStringLiteral("; the jobs running here go back to the queue"));
    m_storeProblem = problem;
    m_storeReachable = false;
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
        log(QStringLiteral("the store is still unreachable; next try in %1 s").arg(m_reconnectMs / 1000));
        m_reconnectTimer.start(m_reconnectMs);
        return;
    }
    // Reached is not yet usable: the heartbeat is the first change it must keep.
    if (!m_store.heartbeat()) {
        m_reconnectMs = std::min(m_reconnectMs * 2, kMaxReconnectMs);
        log(QStringLiteral("the store still keeps nothing: %1; next try in %2 s")
                .arg(q(m_store.lastError()))
                .arg(m_reconnectMs / 1000));
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

void FleetServer::onTimer2() {
    // A tick may end a job, which leaves the set.
    const std::vector<int> ids(m_withJob.begin(), m_withJob.end());
    for (const int id : ids)
        if (const auto it = m_connections.find(id); it != m_connections.end() && it->second->runner.busy())
            it->second->runner.Timer2Timer();
}

void FleetServer::startNextLater(int id) {
    QMetaObject::invokeMethod(this, [this, id] { startNext(id); }, Qt::QueuedConnection);
}

void FleetServer::startNext(int id) {
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    Connection& c = *it->second;
    JobRunner& runner = c.runner;
    if (!m_storeReachable || c.closing || c.stage != Connection::Stage::Serving || !runner.identified() ||
        !runner.idle())
        return;
    std::optional<FleetJob> job = m_store.claimNextJob(runner.object());
    if (!job) return;
    log(QStringLiteral("object %1 job %2 %3 started").arg(q(job->object)).arg(job->id).arg(q(std::string(kindName(job->kind)))));
    m_withJob.insert(id);  // before the start, which may end the job at once
    runner.start(std::move(*job));
}

void FleetServer::closeLater(int id) {
    if (const auto it = m_connections.find(id); it != m_connections.end()) it->second->closing = true;
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            const auto it = m_connections.find(id);
            if (it == m_connections.end()) return;
            it->second->socket->abort();
            onDisconnected(id);  // in case abort() did not say so itself
        },
        Qt::QueuedConnection);
}

void FleetServer::identified(Connection& c, const std::string& object, const std::string& text) {
    leaveTally(c);
    c.identification = text;
    if (const auto until = m_backoff.lockedOut(LockoutKind::Object, object)) {
        ++m_counters.refusedLockedOut;
        log(QStringLiteral("refusing object %1 from %2: locked out until %3 after repeated password mismatches")
                .arg(q(object), c.peer, q(*until)));
        closeLater(c.id);
        return;
    }
    const auto owner = m_byObject.find(object);
    if (owner == m_byObject.end() || owner->second == c.id) {
        take(c);
        return;
    }
    // Anyone may claim a number: the connection that speaks for the object
    // stays until the newer one proves the password recorded for it.
    if (m_contenders.count(object) != 0) {
        log(QStringLiteral("refusing object %1 from %2: another connection is already claiming it").arg(q(object), c.peer));
        closeLater(c.id);
        return;
    }
    m_contenders[object] = c.id;
    c.stage = Connection::Stage::Contending;
    const std::optional<std::uint16_t> recorded = m_store.recordedPassword(object);
    if (!recorded) {
        log(QStringLiteral("object %1 called again from %2; with no password recorded to prove it, it waits until "
                           "the older connection ends")
                .arg(q(object), c.peer));
        return;
    }
    log(QStringLiteral("object %1 called again from %2; the older connection stays until this one proves the "
                       "recorded password")
            .arg(q(object), c.peer));
    const int id = c.id;
    const std::uint16_t password = *recorded;
    QMetaObject::invokeMethod(
        this,
        [this, id, password] {
            const auto it = m_connections.find(id);
            if (it != m_connections.end() && !it->second->closing) it->second->runner.prove(password);
        },
        Qt::QueuedConnection);
}

void FleetServer::take(Connection& c) {
    const std::string& object = c.runner.object();
    c.stage = Connection::Stage::Serving;
    m_byObject[object] = c.id;
    const std::optional<bool> first = m_store.moduleSeen(object, c.peer.toStdString(), c.identification);
    if (!first) {
        (void)storeFailed(QStringLiteral("that object %1 called").arg(q(object)));
        return;
    }
    log(QStringLiteral("object %1 identified from %2%3").arg(q(object), c.peer, *first ? QStringLiteral(" (first seen)") : QString()));
    if (*first && m_options.inventoryRead) {
        NewJob read;
        read.object = object;
        read.kind = JobKind::Read;
        if (m_store.queueJob(read) == 0) (void)storeFailed(QStringLiteral("the inventory read of object %1").arg(q(object)));
    }
    startNextLater(c.id);
}

void FleetServer::proofEnded(Connection& c, Proof proof) {
    const std::string object = c.runner.object();
    if (const auto it = m_contenders.find(object); it != m_contenders.end() && it->second == c.id) m_contenders.erase(it);
    if (c.closing) return;
    switch (proof) {
        case Proof::Proved: {
            m_backoff.proved(object);
            const auto owner = m_byObject.find(object);
            if (owner != m_byObject.end() && owner->second != c.id) {
                const Connection& older = *m_connections.at(owner->second);
                log(QStringLiteral("object %1 proved its password from %2; closing its older connection from %3")
                        .arg(q(object), c.peer, older.peer));
                closeLater(older.id);
            }
            take(c);
            break;
        }
        case Proof::Mismatch:
            log(QStringLiteral("refusing object %1 from %2: the read password it holds differs from the one recorded")
                    .arg(q(object), c.peer));
            noteMismatch(c, object);
            closeLater(c.id);
            break;
        case Proof::NoAnswer:
            log(QStringLiteral("closing the connection from %1: it claimed object %2 but did not answer the password read")
                    .arg(c.peer, q(object)));
            closeLater(c.id);
            break;
    }
}

void FleetServer::jobEnded(Connection& connection, const FleetJob& job, const JobOutcome& outcome) {
    m_withJob.erase(connection.id);
    // The password first: a job whose end is not stored runs again, and
    // proves the object with what is recorded.
    bool stored = !outcome.recordedPassword || m_store.recordPassword(job.object, *outcome.recordedPassword);
    // An attempt this server cut short (it stops, its store failed) is not the module's.
    const auto attempt = m_stopping || !m_storeReachable || outcome.end == JobEnd::StoreFailed
                             ? FleetStore::Attempt::GivenBack
                             : FleetStore::Attempt::Counted;
    switch (outcome.end) {
        case JobEnd::Done:
            stored = stored && m_store.finishJob(job.id, JobState::Done, outcome.result);
            break;
        case JobEnd::Failed:
            stored = stored && m_store.finishJob(job.id, JobState::Failed, outcome.result);
            break;
        case JobEnd::Interrupted:
        case JobEnd::StoreFailed:
            stored = stored && m_store.requeueJob(job.id, outcome.result, m_options.maxAttempts, attempt);
            break;
    }
    if (!stored && m_storeReachable) (void)storeFailed(QStringLiteral("the end of job %1").arg(job.id));
    log(QStringLiteral("object %1 job %2 %3: %4")
            .arg(q(job.object))
            .arg(job.id)
            .arg(q(std::string(kindName(job.kind))), q(outcome.result)));
    if (outcome.passwordMismatch) noteMismatch(connection, job.object);
    startNextLater(connection.id);
}

void FleetServer::noteMismatch(Connection& c, const std::string& object) {
    const std::string address = c.peer.toStdString();
    ++m_counters.passwordMismatches;
    for (const LockoutRecord& record : m_backoff.mismatch(object, address)) {
        if (record.kind == LockoutKind::Object)
            log(QStringLiteral("locking out object %1 until %2 after %3 password mismatches")
                    .arg(q(record.subject), q(record.lockedUntil))
                    .arg(record.mismatches));
        else
            log(QStringLiteral("locking out %1 until %2 after %3 password mismatches from it")
                    .arg(q(record.subject), q(record.lockedUntil))
                    .arg(record.mismatches));
    }
    // Its other jobs would fail alike: a locked-out module is not served on.
    if (!c.closing && (m_backoff.lockedOut(LockoutKind::Object, object) || m_backoff.lockedOut(LockoutKind::Address, address))) {
        log(QStringLiteral("closing the connection from %1 (object %2): locked out").arg(c.peer, q(object)));
        closeLater(c.id);
    }
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

void FleetServer::log(const QString& line) const {
    if (m_options.log)
        m_options.log(line);
    else
        qCInfo(lcFleet).noquote() << line;
}

}  // namespace kv6::fleet
