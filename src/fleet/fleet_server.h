#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>

#include "fleet/accept_loop.h"
#include "fleet/backup_policy.h"
#include "fleet/duration_histogram.h"
#include "fleet/fleet_store.h"
#include "fleet/job_runner.h"
#include "fleet/lease_fence.h"
#include "fleet/module_loop.h"
#include "fleet/mismatch_backoff.h"
#include "fleet/proxy_sources.h"
#include "fleet/server_snapshot.h"
#include "fleet/store_thread.h"
#include "fleet/tick_deadlines.h"
#include "fleet/unidentified_tally.h"
#include "remote/frame_sink.h"

namespace kv6::fleet {

// Accepts module connections and gives each its own job runner, all in one
// event loop: one socket, one remote session, one runner per module. The
// module sockets are served by libuv's epoll loop inside Qt's (ModuleLoop),
// so an idle socket costs no turn of the loop anything. The
// runners' one-second ticks (Timer4) come by deadline: the timer wakes for
// the earliest tick that matters to some connection and visits only those
// due, so an idle connection costs nothing between its keep-alives. Timer2
// (300 ms) runs while some connection has a job, and visits only those.
// Work queued for a connected object starts at once when the store announces
// it (PostgreSQL's notifications), else at the next poll of the queue. A
// heartbeat renews this server's leases; when it fails the server drops the
// jobs it runs (the store requeues them) and reconnects with a back-off.
// On a shared store the same happens once its last kept heartbeat is older
// than the lease (the process stalled, or the store took too long): its jobs
// may be another server's then, so it sends nothing more for them, drops
// their connections (the modules call again), and joins again, announcing
// the connections it keeps.
//
// The store lives on a thread of its own (StoreThread): the server posts
// each step and goes on with its answer when it comes, so no statement
// holds up module frames, ticks or the health answer. An answer is for a
// connection id, looked up again: the connection may have gone meanwhile.
// Steps that must be ordered (a backup and its audit line before the write,
// a job's password before its end, a claim before the job's start) are
// posted in that order, and the store runs them in it.
//
// A connection from a listed load balancer first gives the module's address
// in a PROXY protocol v2 header. An object number is only a claim: a second
// connection for an object that is connected proves the recorded read
// password before the older one is closed, and password mismatches lock out
// the object number (and, at a higher count, the address) for a while.
class FleetServer final : public QObject, public remote::FrameSink {
    Q_OBJECT
public:
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
        int backupEveryDays = 0;     // a module whose newest backup is older gets a read job when it calls; 0: never
        int objectMismatchLimit = 3;    // password mismatches of one object number before it is locked out
        int addressMismatchLimit = 30;  // ... from one address (0: addresses are never locked out)
        int backoffSeconds = 600;       // how long a lock-out lasts
        int leaseSeconds = 30;       // a job's lease; the heartbeat comes three times as often
        UnidentifiedTally::Limits unidentified;  // connections not identified yet
        ProxySources proxyFrom;      // load balancers that send a PROXY protocol v2 header
        // Where the server's log lines go (one line each, no newline); empty: the kv6.fleet category.
        std::function<void(const QString&)> log;
    };

    FleetServer(StoreThread& store, const Options& options, QObject* parent = nullptr);
    ~FleetServer() override;
    FleetServer(const FleetServer&) = delete;
    FleetServer& operator=(const FleetServer&) = delete;

    bool listen(quint16 port, const QHostAddress& address = QHostAddress::Any);
    [[nodiscard]] quint16 serverPort() const { return m_acceptor.serverPort(); }
    [[nodiscard]] QString errorString() const { return m_acceptor.errorString(); }
    [[nodiscard]] int connectionCount() const { return static_cast<int>(m_connections.size()); }
    [[nodiscard]] bool storeReachable() const { return m_storeReachable; }
    [[nodiscard]] StoreThread& storeThread() { return m_store; }
    // The store as this server last saw it, without asking it: for the health check.
    enum class StoreState { Up, Slow, Unreachable };
    struct StoreHealth {
        StoreState state = StoreState::Up;
        QString text;  // "up", "slow: ...", or why the store is not usable now
    };
    [[nodiscard]] StoreHealth storeHealth() const;
    // The health checks' answer: whether this server can serve, and the
    // text ("up", "slow: ..." or "down: ...", then the connection count).
    // From what the server last saw of its store: a check never waits on it.
    [[nodiscard]] std::pair<bool, QByteArray> healthAnswer() const;
    // Why the store is not usable now ("the store failed: database or disk is full"); empty while it is.
    [[nodiscard]] const QString& storeProblem() const { return m_storeProblem; }
    // Stops listening and closes every connection; jobs they were running go back to the queue.
    void shutdown();

    // What this server has counted since it started, for its metrics.
    struct Counters {
        long long passwordMismatches = 0;  // a module's read password differed from the recorded one
        long long refusedLockedOut = 0;    // connections refused while their object or address was locked out
        long long storeFailures = 0;       // changes the store did not keep
        std::map<std::string, DurationHistogram> jobSeconds;  // claim to end, by the job's kind
    };
    [[nodiscard]] const Counters& counters() const { return m_counters; }
    // What this server shows of itself to other threads (its operator API):
    // published when asked (publish()), and whenever its store is lost or found.
    [[nodiscard]] const ServerSnapshot& snapshot() const { return m_snapshot; }
    void publish();
    // How long the store's statements took, as last fetched from its thread (with the heartbeat).
    [[nodiscard]] const DurationHistogram* statementTimes() const {
        return m_statementTimes ? &*m_statementTimes : nullptr;
    }

    // remote::FrameSink
    void sendBytes(int connectionId, std::span<const std::uint8_t> bytes) override;

private:
    class Connection;

    void onAccepted(int descriptor);
    // The connection's address is known (at once, or from its PROXY header): refused or let in.
    [[nodiscard]] bool admit(Connection& connection, quint16 port);
    void readProxyHeader(Connection& connection, const QByteArray& data);
    void onReadyRead(int id, std::span<const std::uint8_t> data);
    void onDisconnected(int id);
    void onTimer4();
    void onTimer2();
    // The Timer4 tick the monotonic clock is in, counted from the server's start.
    [[nodiscard]] std::int64_t currentTick() const { return monotonicMs() / kTimer4Ms; }
    // Before an event is handed to a runner: the ticks it was not visited
    // for are counted. After: its next tick that matters is scheduled.
    void catchUp(Connection& connection);
    void reschedule(int id);
    // The tick timer set to the earliest scheduled tick.
    void armTicks();
    void pollQueue();
    void onHeartbeat();
    // Heartbeats the store; `then` learns whether it was kept (the lease renewed).
    void renewLease(std::function<void(bool kept, const std::string& error)> then);
    // Whether this server may act for the jobs it claimed; if not, it
    // drops them and joins again. Always true on a store of its own.
    bool holdsLeases();
    [[nodiscard]] std::int64_t monotonicMs() const { return m_monotonic.elapsed(); }
    // A change the store did not keep: logged with the store's reason, and the
    // store treated as lost until it keeps changes again. Returns the reason.
    std::string storeFailed(const QString& what, const std::string& error);
    // A step the store's queue refused: it is full. Logged and counted; the
    // reason, for the step's end.
    std::string storeBusy(const QString& what);
    // Posts store work whose answer comes back to this server.
    template <class Work, class Done>
    [[nodiscard]] bool ask(Work work, Done done) {
        return m_store.post(std::move(work), this, std::move(done));
    }
    // What a change's work tells: kept, or the store's reason why not.
    struct Kept {
        bool ok = false;
        std::string error;
    };
    // A backup or an audit line of a connection's job, posted; its answer
    // goes to the runner. None: it comes later; else why it was refused.
    [[nodiscard]] std::optional<std::string> keepForJob(int id, std::int64_t jobId, const QString& what,
                                                        std::function<Kept(FleetStore&)> work);
    void claimed(int id, std::optional<FleetJob> job);
    // A job claimed for a connection that can no longer run it goes back to the queue.
    void giveBack(const FleetJob& job, const std::string& why);
    void refreshBackoff();
    void recordProved(const std::string& object);
    void seen(int id, const std::string& object, const std::optional<bool>& first, const std::string& error,
              const std::optional<BackupPolicy::Decision>& due);
    // The jobs running here go back to the queue; the store is tried again with a back-off.
    void storeLost(const QString& problem);
    void reconnectStore();
    // The store keeps changes again: the connections this server holds are announced.
    void storeFound();
    void queuedFor(const std::string& object);
    // Gives an idle identified connection its object's next job, later (outside runner callbacks).
    void startNextLater(int id);
    void startNext(int id);
    void closeLater(int id);
    void identified(Connection& connection, const std::string& object, const std::string& text);
    // The connection now speaks for its object.
    void take(Connection& connection);
    void proofEnded(Connection& connection, Proof proof);
    void jobEnded(Connection& connection, const FleetJob& job, const JobOutcome& outcome);
    void noteMismatch(Connection& connection, const std::string& object);
    // The connection no longer counts as unidentified.
    void leaveTally(Connection& connection);
    // Accepting is held while the unidentified connections are at their limit.
    void updateAccepting();
    // One line of the server's log; failures at QtWarningMsg, so that their repeats fold.
    void log(const QString& line, QtMsgType level = QtInfoMsg) const;

    StoreThread& m_store;
    bool m_shared = false;  // the store's shared(), asked once
    Options m_options;
    AcceptLoop m_acceptor{false};
    ModuleLoop m_moduleLoop;  // before the connections, whose sockets it serves
    MismatchBackoff m_backoff;
    UnidentifiedTally m_unidentified;
    QTimer m_timer4;  // single shot, set to the earliest scheduled tick
    std::int64_t m_armedTick = -1;
    TickDeadlines m_deadlines;
    QTimer m_timer2;
    QTimer m_pollTimer;
    QTimer m_heartbeatTimer;
    QTimer m_reconnectTimer;
    QElapsedTimer m_monotonic;
    LeaseFence m_fence;
    bool m_storeReachable = true;
    QString m_storeProblem;
    bool m_stopping = false;
    bool m_shutDown = false;
    bool m_heartbeatInFlight = false;
    bool m_pollInFlight = false;
    // Counts the store's losses: an answer posted before the last one is not trusted after it.
    int m_storeEpoch = 0;
    bool m_holding = false;  // accepting held: the unidentified connections are at their limit
    int m_reconnectMs = 1000;
    std::map<int, std::unique_ptr<Connection>> m_connections;
    std::map<std::string, int> m_byObject;     // identified object -> the connection that speaks for it
    std::map<std::string, int> m_contenders;   // object -> a later connection that claims it too
    // Connections with a job: the pacing tick visits only these, not every
    // idle connection a few times a second.
    std::set<int> m_withJob;
    int m_nextId = 1;
    Counters m_counters;
    std::optional<DurationHistogram> m_statementTimes;
    ServerSnapshot m_snapshot;
    bool m_timesInFlight = false;
};

}  // namespace kv6::fleet
