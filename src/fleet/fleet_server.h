#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>

#include "fleet/fleet_store.h"
#include "fleet/job_runner.h"
#include "remote/frame_sink.h"

class QTcpSocket;

namespace kv6::fleet {

// Accepts module connections and gives each its own job runner, all in one
// event loop: one socket, one remote session, one runner per module. Two
// shared timers drive every runner (Timer4 each second, Timer2 every 300 ms).
// Work queued for a connected object starts at once when the store announces
// it (PostgreSQL's notifications), else at the next poll of the queue. A
// heartbeat renews this server's leases; when it fails the server drops the
// jobs it runs (the store requeues them) and reconnects with a back-off.
class FleetServer final : public QObject, public remote::FrameSink {
    Q_OBJECT
public:
    static constexpr qint64 kReadBufferSize = 64 * 1024;
    static constexpr int kTimer4Ms = 1000;
    static constexpr int kTimer2Ms = 300;
    static constexpr int kPollMs = 1000;            // the queue, without notifications
    static constexpr int kNotifiedPollMs = 5000;    // the queue, as a fallback to notifications
    static constexpr int kMaxReconnectMs = 30000;
    // Modules calling at once wait in the kernel's accept queue; with the
    // default of 50 a burst overflows it and the late ones hang half-open.
    static constexpr int kListenBacklog = 4096;

    struct Options {
        link::Pacing pacing = link::Pacing::Reactive;
        int zoneHours = 0;
        int identifySeconds = JobRunner::kDefaultIdentifyTicks;
        int maxAttempts = 5;         // attempts before an interrupted job fails
        bool inventoryRead = true;   // a first-seen module gets one read job
        int mismatchLimit = 3;       // password mismatches from one address before it is refused
        int backoffSeconds = 600;    // how long such an address is refused
        int leaseSeconds = 30;       // a job's lease; the heartbeat comes three times as often
        // Where the server's log lines go (one line each, no newline); empty: the kv6.fleet category.
        std::function<void(const QString&)> log;
    };

    FleetServer(FleetStore& store, const Options& options, QObject* parent = nullptr);
    ~FleetServer() override;
    FleetServer(const FleetServer&) = delete;
    FleetServer& operator=(const FleetServer&) = delete;

    bool listen(quint16 port);
    [[nodiscard]] quint16 serverPort() const { return m_server.serverPort(); }
    [[nodiscard]] QString errorString() const { return m_server.errorString(); }
    [[nodiscard]] int connectionCount() const { return static_cast<int>(m_connections.size()); }
    [[nodiscard]] bool storeReachable() const { return m_storeReachable; }
    // Why the store is not usable now ("the store failed: database or disk is full"); empty while it is.
    [[nodiscard]] const QString& storeProblem() const { return m_storeProblem; }
    // Stops listening and closes every connection; jobs they were running go back to the queue.
    void shutdown();

    // remote::FrameSink
    void sendBytes(int connectionId, std::span<const std::uint8_t> bytes) override;

private:
    class Connection;

    void onNewConnection();
    void onReadyRead(int id);
    void onDisconnected(int id);
    void onTimer4();
    void onTimer2();
    void pollQueue();
    void onHeartbeat();
    // A change the store did not keep: logged with the store's reason, and the
    // store treated as lost until it keeps changes again. Returns the reason.
    std::string storeFailed(const QString& what);
    // The jobs running here go back to the queue; the store is tried again with a back-off.
    void storeLost(const QString& problem);
    void reconnectStore();
    void queuedFor(const std::string& object);
    // Gives an idle identified connection its object's next job, later (outside runner callbacks).
    void startNextLater(int id);
    void startNext(int id);
    void closeLater(int id);
    void identified(Connection& connection, const std::string& object, const std::string& text);
    void jobEnded(Connection& connection, const FleetJob& job, const JobOutcome& outcome);
    [[nodiscard]] bool refused(const QString& peer);
    void log(const QString& line) const;
    void noteMismatch(const QString& peer);

    FleetStore& m_store;
    Options m_options;
    QTcpServer m_server;
    QTimer m_timer4;
    QTimer m_timer2;
    QTimer m_pollTimer;
    QTimer m_heartbeatTimer;
    QTimer m_reconnectTimer;
    bool m_storeReachable = true;
    QString m_storeProblem;
    bool m_stopping = false;
    int m_reconnectMs = 1000;
    std::map<int, std::unique_ptr<Connection>> m_connections;
    std::map<std::string, int> m_byObject;  // identified object -> connection id
    // Connections with a job: the pacing tick visits only these, not every
    // idle connection a few times a second.
    std::set<int> m_withJob;
    struct Backoff {
        int mismatches = 0;
        QDateTime until;
    };
    std::map<QString, Backoff> m_backoff;  // by peer address
    int m_nextId = 1;
};

}  // namespace kv6::fleet
