#include "io/remote_server.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include "remote/remote_session.h"

namespace kv6::io {

RemoteServer::RemoteServer(remote::RemoteSession& session, QObject* parent) : QObject(parent), m_session(session) {
    m_session.setFrameSink(this);
    connect(&m_server, &QTcpServer::newConnection, this, &RemoteServer::onNewConnection);
}

RemoteServer::~RemoteServer() {
    closeConnections();
    m_server.close();
    m_session.setFrameSink(nullptr);
}

bool RemoteServer::listen(quint16 port) {
    closeConnections();
    m_server.close();
    m_error.clear();
    m_session.N18Click();
    if (m_server.listen(QHostAddress::Any, port)) return true;
    m_error = m_server.errorString();
    m_session.listenFailed(m_error.toStdString());
    return false;
}

void RemoteServer::close() {
    closeConnections();
    m_server.close();
    m_session.N19Click();
}

QTimer* RemoteServer::createTimer4(QObject* parent) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(QStringLiteral("Timer4"));
    timer->setInterval(kTimer4IntervalMs);
    connect(timer, &QTimer::timeout, this, [this] { m_session.Timer4Timer(); });
    timer->start();
    return timer;
}

void RemoteServer::sendBytes(int connectionId, std::span<const std::uint8_t> bytes) {
    const auto it = m_sockets.find(connectionId);
    if (it == m_sockets.end()) return;
    const qint64 written =
        it->second->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    if (written > 0) m_bytesSent += static_cast<quint64>(written);
}

void RemoteServer::flush(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    for (auto& [id, socket] : m_sockets)
        while (socket->bytesToWrite() > 0 && clock.elapsed() < timeoutMs)
            if (!socket->waitForBytesWritten(static_cast<int>(timeoutMs - clock.elapsed()))) break;
}

void RemoteServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const int id = m_nextId++;
        socket->setReadBufferSize(kReadBufferSize);
        m_sockets.emplace(id, socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { onDisconnected(id); });
        m_session.onConnected(id, socket->peerPort());
    }
}

void RemoteServer::onReadyRead(int connectionId) {
    const auto it = m_sockets.find(connectionId);
    if (it == m_sockets.end()) return;
    const QByteArray data = it->second->readAll();
    m_bytesReceived += static_cast<quint64>(data.size());
    m_session.onData(connectionId, std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                             static_cast<std::size_t>(data.size())));
    emit dataHandled();
}

void RemoteServer::onDisconnected(int connectionId) {
    const auto it = m_sockets.find(connectionId);
    if (it == m_sockets.end()) return;
    it->second->deleteLater();
    m_sockets.erase(it);
    m_session.onDisconnected(connectionId);
}

void RemoteServer::closeConnections() {
    // The session is told by N18Click / N19Click; the sockets go quietly.
    auto sockets = std::move(m_sockets);
    m_sockets.clear();
    for (auto& [id, socket] : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

}  // namespace kv6::io
