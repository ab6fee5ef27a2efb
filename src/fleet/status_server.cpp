#include "fleet/status_server.h"

#include <QTcpSocket>
#include <QTimer>

#include "fleet/fleet_server.h"

namespace kv6::fleet {

StatusServer::StatusServer(const FleetServer& fleet, QObject* parent) : QObject(parent), m_fleet(fleet) {
    connect(&m_server, &AcceptLoop::accepted, this, &StatusServer::onAccepted);
}

bool StatusServer::listen(quint16 port, const QHostAddress& address) {
    return m_server.listen(address, port, kBacklog);
}

QByteArray StatusServer::answer() const {
    const auto [up, body] = m_fleet.healthAnswer();
    return QByteArray(up ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.0 503 Service Unavailable\r\n") +
           "Content-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

void StatusServer::onAccepted(QTcpSocket* socket) {
    socket->setParent(this);
    // Answer once the request's head is in (closing on unread bytes would
    // reset the connection before the checker reads the answer); a silent
    // or endless peer is cut off.
    auto* timeout = new QTimer(socket);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, socket, [socket] { socket->abort(); });
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        const QByteArray seen = socket->peek(kRequestLimit);
        if (!seen.contains("\r\n\r\n") && !seen.contains("\n\n") && seen.size() < kRequestLimit) return;
        socket->readAll();
        socket->write(answer());
        socket->disconnectFromHost();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // Its descriptor is closed: the reserve is taken back.
    connect(socket, &QObject::destroyed, &m_server, &AcceptLoop::descriptorFreed);
    timeout->start(kTimeoutMs);
}

}  // namespace kv6::fleet
