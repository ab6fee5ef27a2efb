#include "fleet/fleet_server.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <algorithm>

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
}  // namespace

class FleetServer::Connection final : public JobRunnerListener {
public:
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
    const QString peer;
    std::string identification;
    JobRunner runner;
};

FleetServer::FleetServer(FleetStore& store, const Options& options, QObject* parent)
    : QObject(parent), m_store(store), m_options(options) {
    connect(&m_server, &QTcpServer::newConnection, this, &FleetServer::onNewConnection);
    connect(&m_timer4, &QTimer::timeout, this, &FleetServer::onTimer4);
    connect(&m_timer2, &QTimer::timeout, this, &FleetServer::onTimer2);
    connect(&m_pollTimer, &QTimer::timeout, this, &FleetServer::pollQueue);
    connect(&m_heartbeatTimer, &QTimer::timeout, this, &FleetServer::onHeartbeat);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &FleetServer::reconnectStore);
    m_server.setMaxPendingConnections(kListenBacklog);
    m_server.setListenBacklogSize(kListenBacklog);
}

FleetServer::~FleetServer() { shutdown(); }

bool FleetServer::listen(quint16 port) {
    if (!m_store.clearConnected()) (void)storeFailed(QStringLiteral("the connected modules"));
    if (!m_server.listen(QHostAddress::Any, port)) return false;
    m_timer4.start(kTimer4Ms);
    m_timer2.start(kTimer2Ms);
    const bool notified = m_store.watchQueued([this](const std::string& object) { queuedFor(object); });
    m_pollTimer.start(notified ? kNotifiedPollMs : kPollMs);
    (void)m_store.heartbeat();
    m_heartbeatTimer.start(std::max(1, m_options.leaseSeconds / 3) * 1000);
    return true;
}

void FleetServer::shutdown() {
    m_server.close();
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
    m_withJob.clear();
    if (!m_store.clearConnected() || !m_store.leave())
        log(QStringLiteral("the store could not record the stop: %1").arg(q(m_store.lastError())));
}

void FleetServer::sendBytes(int connectionId, std::span<const std::uint8_t> bytes) {
    const auto it = m_connections.find(connectionId);
    if (it == m_connections.end()) return;
    it->second->socket->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

void FleetServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const QString peer = peerText(socket->peerAddress());
        if (refused(peer)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const int id = m_nextId++;
        socket->setReadBufferSize(kReadBufferSize);
        auto connection = std::make_unique<Connection>(*this, id, socket);
        Connection& c = *connection;
        m_connections.emplace(id, std::move(connection));
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { onDisconnected(id); });
        c.runner.onConnected(socket->peerPort());
    }
}

void FleetServer::onReadyRead(int id) {
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    const QByteArray data = it->second->socket->readAll();
    it->second->runner.onData(
        std::span(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())));
}

void FleetServer::onDisconnected(int id) {
    const auto it = m_connections.find(id);
    if (it == m_connections.end()) return;
    std::unique_ptr<Connection> connection = std::move(it->second);
    m_connections.erase(it);
    connection->runner.onDisconnected();
    m_withJob.erase(id);
    const std::string& object = connection->runner.object();
    if (!object.empty()) {
        const auto owner = m_byObject.find(object);
        if (owner != m_byObject.end() && owner->second == id) {
            m_byObject.erase(owner);
            if (!m_store.moduleGone(object))
                log(QStringLiteral("the store could not record that object %1 left: %2").arg(q(object), q(m_store.lastError())));
            log(QStringLiteral("object %1 disconnected").arg(q(object)));
        }
    }
    connection->socket->deleteLater();
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
    if (m_store.heartbeat()) return;
    storeLost(QStringLiteral("the store cannot be reached"));
}

std::string FleetServer::storeFailed(const QString& what) {
    // Never empty: an empty reason would count as kept.
    const std::string reason = m_store.lastError().empty() ? "the store gave no reason" : m_store.lastError();
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
    JobRunner& runner = it->second->runner;
    if (!m_storeReachable || !runner.identified() || !runner.idle()) return;
    std::optional<FleetJob> job = m_store.claimNextJob(runner.object());
    if (!job) return;
    log(QStringLiteral("object %1 job %2 %3 started").arg(q(job->object)).arg(job->id).arg(q(std::string(kindName(job->kind)))));
    m_withJob.insert(id);  // before the start, which may end the job at once
    runner.start(std::move(*job));
}

void FleetServer::closeLater(int id) {
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

void FleetServer::identified(Connection& connection, const std::string& object, const std::string& text) {
    // A module that calls again before its old connection timed out: the
    // newer connection speaks for the object.
    if (const auto owner = m_byObject.find(object); owner != m_byObject.end() && owner->second != connection.id) {
        log(QStringLiteral("object %1 called again; closing its older connection").arg(q(object)));
        closeLater(owner->second);
    }
    m_byObject[object] = connection.id;
    connection.identification = text;
    const std::optional<bool> first = m_store.moduleSeen(object, connection.peer.toStdString(), text);
    if (!first) {
        (void)storeFailed(QStringLiteral("that object %1 called").arg(q(object)));
        return;
    }
    log(QStringLiteral("object %1 identified from %2%3").arg(q(object), connection.peer, *first ? QStringLiteral(" (first seen)") : QString()));
    if (*first && m_options.inventoryRead) {
        NewJob read;
        read.object = object;
        read.kind = JobKind::Read;
        if (m_store.queueJob(read) == 0) (void)storeFailed(QStringLiteral("the inventory read of object %1").arg(q(object)));
    }
    startNextLater(connection.id);
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
    if (outcome.passwordMismatch) noteMismatch(connection.peer);
    startNextLater(connection.id);
}

void FleetServer::log(const QString& line) const {
    if (m_options.log)
        m_options.log(line);
    else
        qCInfo(lcFleet).noquote() << line;
}

bool FleetServer::refused(const QString& peer) {
    const auto it = m_backoff.find(peer);
    if (it == m_backoff.end() || !it->second.until.isValid()) return false;
    if (QDateTime::currentDateTimeUtc() < it->second.until) return true;
    m_backoff.erase(it);
    return false;
}

void FleetServer::noteMismatch(const QString& peer) {
    Backoff& b = m_backoff[peer];
    if (++b.mismatches < m_options.mismatchLimit) return;
    b.mismatches = 0;
    b.until = QDateTime::currentDateTimeUtc().addSecs(m_options.backoffSeconds);
    log(QStringLiteral("refusing %1 for %2 s after repeated password mismatches").arg(peer).arg(m_options.backoffSeconds));
}

}  // namespace kv6::fleet
