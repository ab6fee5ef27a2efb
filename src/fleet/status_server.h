#pragma once

#include <QObject>

#include "fleet/accept_loop.h"

namespace kv6::fleet {

class FleetServer;

// The health check a load balancer asks: any request on the status port
// gets one HTTP/1.0 answer and the connection closes. "200 OK" while the
// server listens and reaches its store ("up", or "slow: ..." while its
// heartbeats take long or come late), "503 Service Unavailable" (with the
// store's problem) while the store is lost, keeps no change, or kept no
// heartbeat for a whole lease, so that new module calls go to the other
// servers. The answer comes from what the server last saw of its store,
// never from a statement of its own. It keeps a descriptor in reserve: a
// check is answered even while the modules hold every descriptor the process
// may open.
class StatusServer final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRequestLimit = 4096;  // more is not a health check
    static constexpr int kTimeoutMs = 2000;
    static constexpr int kBacklog = 128;

    explicit StatusServer(const FleetServer& fleet, QObject* parent = nullptr);

    bool listen(quint16 port, const QHostAddress& address = QHostAddress::Any);
    [[nodiscard]] quint16 serverPort() const { return m_server.serverPort(); }
    [[nodiscard]] QString errorString() const { return m_server.errorString(); }
    // The answer as it goes out, headers included.
    [[nodiscard]] QByteArray answer() const;

private:
    void onAccepted(QTcpSocket* socket);

    const FleetServer& m_fleet;
    AcceptLoop m_server{true};
};

}  // namespace kv6::fleet
