#pragma once

// The server's view of one module connection, shared by the files of
// FleetServer: the connections, the store side, the identities.
#include <QHostAddress>
#include <string>

#include "fleet/fleet_server.h"
#include "fleet/module_socket.h"

namespace kv6::fleet {

namespace detail {

inline QString q(const std::string& text) { return QString::fromStdString(text); }

// IPv4 peers as 192.0.2.1, not as the mapped ::ffff:192.0.2.1.
inline QString peerText(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

}  // namespace detail

class FleetServer::Connection final : public JobRunnerListener {
public:
    enum class Stage {
        Proxy,         // waiting for the load balancer's PROXY header
        Unidentified,  // greeted, waiting for the module's identification
        Contending,    // claims an object another connection speaks for: proving it, or waiting
        Serving,       // speaks for its object: gets its jobs
    };

    Connection(FleetServer& server, int id, const QHostAddress& address, quint16 port)
        : m_server(server),
          id(id),
          socket(server.m_moduleLoop),
          peerPort(port),
          peer(detail::peerText(address)),
          runner(id, server, *this, runnerOptions(server)) {}

    void moduleIdentified(const std::string& object, const std::string& text) override {
        m_server.identified(*this, object, text);
    }
    std::optional<std::string> imageRead(const FleetJob& job, const image::Image& image, const std::string& source,
                                         const std::vector<journal::JournalRow>& journal) override {
        return m_server.keepForJob(
            id, job.id, QStringLiteral("the backup of object %1 (job %2)").arg(detail::q(job.object)).arg(job.id),
            [object = job.object, jobId = job.id, source, image, journal](FleetStore& store) {
                if (store.addBackup(object, jobId, source, image, journal) != 0) return Kept{true, {}};
                return Kept{false, store.lastError()};
            });
    }
    std::optional<std::string> changeSent(const FleetJob& job, const std::string& difference) override {
        return m_server.keepForJob(
            id, job.id, QStringLiteral("the audit line of object %1 (job %2)").arg(detail::q(job.object)).arg(job.id),
            [object = job.object, jobId = job.id, difference](FleetStore& store) {
                if (store.addAudit(object, jobId, difference)) return Kept{true, {}};
                return Kept{false, store.lastError()};
            });
    }
    void jobEnded(const FleetJob& job, const JobOutcome& outcome) override { m_server.jobEnded(*this, job, outcome); }
    void passwordProved(const FleetJob& job) override { m_server.recordProved(job.object); }
    void proofEnded(Proof proof) override { m_server.proofEnded(*this, proof); }
    void closeRequested(const std::string& reason) override {
        m_server.log(QStringLiteral("closing the connection from %1: %2").arg(peer, detail::q(reason)));
        m_server.closeLater(id);
    }

    static JobRunner::Options runnerOptions(FleetServer& server) {
        const Options& options = server.m_options;
        JobRunner::Options o;
        o.pacing = options.pacing;
        o.zoneHours = options.zoneHours;
        o.identifyTicks = options.identifySeconds;
        // Only where another server may take a job over.
        if (server.m_shared) {
            o.fence = &server.m_fence;
            o.monotonicMs = [&server] { return server.monotonicMs(); };
        }
        return o;
    }

    FleetServer& m_server;
    const int id;
    ModuleSocket socket;
    quint16 peerPort;  // the socket's
    QString peer;  // the module's address: the socket's, or the one its PROXY header gave
    Stage stage = Stage::Unidentified;
    bool closing = false;
    bool claiming = false;  // a claim for it is with the store: not a second one
    bool askingPassword = false;  // contending: the recorded password is being read
    bool tallied = false;  // counted among the unidentified connections, under tallyKey
    std::string tallyKey;
    QByteArray proxyBytes;
    std::string identification;
    std::int64_t jobStartedMs = 0;  // the server's monotonic clock when its job was claimed
    JobRunner runner;
};

}  // namespace kv6::fleet
