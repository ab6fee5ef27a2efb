#pragma once

#include <QObject>
#include <QString>
#include <QTcpServer>
#include <cstdint>
#include <map>
#include <span>

#include "remote/frame_sink.h"

class QTcpSocket;
class QTimer;

namespace kv6::remote {
class RemoteSession;
}

namespace kv6::io {

// The listening socket of remote access: accepts modules connecting in over
// GPRS and hands their bytes to the RemoteSession, which decides everything;
// the session's frames go back out through this server's sockets.
class RemoteServer final : public QObject, public remote::FrameSink {
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 8099;
    // A peer that floods is read in slices of this size, never buffered whole.
    static constexpr qint64 kReadBufferSize = 64 * 1024;
    static constexpr int kTimer4IntervalMs = 1000;

    explicit RemoteServer(remote::RemoteSession& session, QObject* parent = nullptr);
    ~RemoteServer() override;
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // "Ожидание": closes any connection, then listens on every address. When
    // the port cannot be bound the session stays idle, status panel 1 shows
    // the system's reason, and errorString() returns it.
    bool listen(quint16 port = kDefaultPort);
    // "Разъединить": stops listening and closes every connection.
    void close();

    [[nodiscard]] bool isListening() const { return m_server.isListening(); }
    [[nodiscard]] quint16 serverPort() const { return m_server.serverPort(); }
    [[nodiscard]] QString errorString() const { return m_error; }
    [[nodiscard]] int connectionCount() const { return static_cast<int>(m_sockets.size()); }

    // A running one-second timer that drives session.Timer4Timer(); owned by `parent`.
    [[nodiscard]] QTimer* createTimer4(QObject* parent);

    // Hands every frame sent so far to the network, waiting at most `timeoutMs`.
    void flush(int timeoutMs);

    // remote::FrameSink
    void sendBytes(int connectionId, std::span<const std::uint8_t> bytes) override;

    // Bytes sent to and received from modules since the start, for measuring.
    [[nodiscard]] quint64 bytesSent() const { return m_bytesSent; }
    [[nodiscard]] quint64 bytesReceived() const { return m_bytesReceived; }

signals:
    // The session has handled a module's bytes (after RemoteSession::onData).
    void dataHandled();

private:
    void onNewConnection();
    void onReadyRead(int connectionId);
    void onDisconnected(int connectionId);
    void closeConnections();

    remote::RemoteSession& m_session;
    QTcpServer m_server;
    std::map<int, QTcpSocket*> m_sockets;
    int m_nextId = 1;
    QString m_error;
    quint64 m_bytesSent = 0;
    quint64 m_bytesReceived = 0;
};

}  // namespace kv6::io
